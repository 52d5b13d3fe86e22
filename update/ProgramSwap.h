#pragma once
// The running program's version and the program swap that both update roads (HTTP and FTP) end
// in: the running program and the service executable take their backup names, a verified package
// is extracted over the program folder, and a failed extraction gives every name back.
#include <string>

namespace ProgramSwap {

// The running program's major, minor and revision (the fourth word) numbers, joined by "."; the
// form the update index gives its version in.
std::wstring RunningVersion();

// A version as the update index may give it: one to four dot-separated whole numbers of at most
// 65535, digits only. Anything else cannot be compared and means that no check was possible.
bool IsVersionText(const std::wstring& text);

// The backup names: the program folder, the running program's name and "_old.exe"; and the
// service executable's "IronlatchEventSvc_old.exe".
std::wstring ProgramBackupPath();
std::wstring ServiceExePath();
std::wstring ServiceBackupPath();
// Deletes both backups (a locked one stays).
void DeleteSwapBackups();

// Gives the running program (and, with withService, the service executable) its backup name and
// extracts packageZip over the program folder. The extraction replaces every file or none; when it
// fails both names are given back. True when it was extracted.
bool SwapInProgramPackage(const std::wstring& packageZip, bool withService);

}  // namespace ProgramSwap
