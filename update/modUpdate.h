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

// ---- The HTTP update roads --------------------------------------------------------------------

// The configuration builder's update check: offers the package even when it is not newer and
// comes back into the builder ("/config") after the swap.
void CheckForUpdatesInteractive();
// Download, swap and: no restart / restart with "/applyini" (plus " /silent", " /reboot") /
// restart without arguments. Each returns only when the update failed.
void ApplyUpdateSilently(const std::wstring& url);
void ApplyUpdateAndReapply(const std::wstring& url, bool silent, bool reboot);
void ApplyUpdate(const std::wstring& url);
// Download the definitions package into folder (ending in "\"), unpack it there, import its
// "Hashes.reg" and refresh group policy.
void UpdateDefinitions(const std::wstring& url, bool silent, const std::wstring& folder);

// Where the definitions and hash lists live, ending in "\": the product's folder under ProgramData
// on Vista and later (created when missing), else the program folder.
std::wstring DefinitionsFolder();

// The host (and, optionally, ":port" and a path) the update index is fetched from. The
// environment variable ILATCH_UPDATE_HOST replaces the maker's host; tests point it at a local server.
std::wstring UpdateHost();

// The running program's major, minor and revision (the fourth word) numbers, joined by "."; the
// form the update index gives its version in.
std::wstring RunningVersion();

// ---- Program swap, shared by the HTTP and FTP update roads ------------------------------------

// The backup names: the program folder, the running program's name and "_old.exe"; and the
// service executable's "IronlatchEventSvc_old.exe".
std::wstring ProgramBackupPath();
std::wstring ServiceExePath();
std::wstring ServiceBackupPath();
// Deletes both backups (a locked one stays).
void DeleteSwapBackups();
// Gives the running program (and, with withService, the service executable) its backup name and
// extracts packageZip over the program folder. When the extraction fails both names are given
// back, replacing whatever the failed extraction left under them. True when it was extracted.
bool SwapInProgramPackage(const std::wstring& packageZip, bool withService);

}  // namespace modUpdate
