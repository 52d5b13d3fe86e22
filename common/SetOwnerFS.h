#pragma once
// File and folder ownership through the security API, and switching one privilege of this
// process's token on or off. Nothing here raises or shows a message: failures are debug-log lines
// and, for the privilege procedures, the result false.
#include <windows.h>

#include <string>

namespace SetOwnerFS {

// Makes OwnerAccountName (any name the account lookup accepts: "Administrators", "DOMAIN\user")
// the owner of the file or folder; only the owner changes, its permissions stay. An empty name
// becomes %username%, and the caller's variable receives it. The restore privilege is switched on
// for the change and left as it was found afterwards. The outcome is only logged: callers judge by
// retrying their own operation.
void ChangeOwnerOfFile(const std::wstring& path, std::wstring& OwnerAccountName);
void ChangeOwnerOfFile(const std::wstring& path);  // owner: the current user

// Switch the named privilege ("SeRestorePrivilege") on or off on this process's token. True only
// when the token now has it in that state: false for an unknown name or a privilege the account
// does not hold.
bool Enable_Privilege(const std::wstring& privilegeName);
bool Disable_Privilege(const std::wstring& privilegeName);
bool ModifyState(const std::wstring& privilegeName, bool enable);

// ---- The unlogged building block, shared with the library's reboot and process-ending code ----

enum class PrivilegeFailure { None, OpenToken, LookupName, Adjust };

struct PrivilegeChange {
  PrivilegeFailure failure = PrivilegeFailure::None;
  // Last error of the failed call; when the adjustment itself went through, its last error
  // (ERROR_NOT_ALL_ASSIGNED when the account does not hold the privilege).
  DWORD error = 0;
  // The privilege's state before, when the adjustment changed it (PrivilegeCount 0: unchanged).
  TOKEN_PRIVILEGES previous = {};
  bool Done() const { return failure == PrivilegeFailure::None && error == 0; }
};

// Sets one privilege of this process's token, opening the token with tokenAccess (adjusting and
// querying at least). The token is closed again on every road.
PrivilegeChange ChangeOwnPrivilege(const std::wstring& privilegeName, bool enable,
                                   DWORD tokenAccess = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
// Puts back what a successful ChangeOwnPrivilege changed; nothing when it changed nothing.
void RestoreOwnPrivilege(const PrivilegeChange& change);
// True when the change switched the privilege on from off, so that it must be switched off again.
bool SwitchedOn(const PrivilegeChange& change);

}  // namespace SetOwnerFS
