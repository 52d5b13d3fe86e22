#pragma once
// Program and definition updates.
#include <string>

namespace modUpdate {

void CheckForAppUpdate();
void CheckForDefsUpdate(bool silent, bool fromInstaller);
void AutoUpdateApp();
void ApplyUpdatePostInstall();
void CheckUpdateThenApplyProtection(bool silent, bool reboot);
void SilentUpdateCheck();

// ---- The scheduled program update ("/autoupdateapp") and the step after it ("/applyupdate") ----

// What a program swap leaves behind: the old program and the old service executable, renamed.
std::wstring ProgramBackupPath();
std::wstring ServiceBackupPath();
void DeleteSwapBackups();

// The program swap of the scheduled update: deletes earlier backups, renames the running program
// and the service executable to their backup names and extracts the package over the program
// folder. A name the package did not fill gets its old file back; when the extraction fails or
// leaves no program, both old files get their names back (over anything the package wrote there).
// True when a new program is in place.
bool SwapInProgramPackage(const std::wstring& package);

}  // namespace modUpdate
