#include "common/SetOwnerFS.h"

#include <new>

#include "common/CommonModule.h"
#include "common/ErrorReport.h"
#include "platform/Handle.h"
#include "platform/ProcessAccount.h"
#include "platform/Text.h"

namespace SetOwnerFS {

namespace {

constexpr wchar_t kRestorePrivilege[] = L"SeRestorePrivilege";

void LogFailure(const wchar_t* call, DWORD error) {
  CommonModule::DPrint(std::wstring(call) + L" failed with error code " + std::to_wstring(error));
}

void ReportOutOfMemory(const std::wstring& procedure) {
  ReportTrappedError(L"SetOwnerFS\\" + procedure + L" -", 7, L"Out of memory");
}

// ModifyState with the token access of the caller's choice; the change is handed back so that a
// caller can tell whether it switched the privilege on.
bool ModifyStateLogged(const std::wstring& privilegeName, bool enable, DWORD tokenAccess, PrivilegeChange& change) {
  change = ChangeOwnPrivilege(privilegeName, enable, tokenAccess);
  switch (change.failure) {
    case PrivilegeFailure::OpenToken: LogFailure(L"OpenProcessToken", change.error); return false;
    case PrivilegeFailure::LookupName: LogFailure(L"LookupPrivilegeValue", change.error); return false;
    default: break;
  }
  if (change.Done()) return true;
  LogFailure(L"AdjustTokenPrivileges", change.error);
  return false;
}

class RestorePrivilegeScope {
 public:
  RestorePrivilegeScope() {
    ModifyStateLogged(kRestorePrivilege, true, TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, change_);
  }
  ~RestorePrivilegeScope() {
    if (SwitchedOn(change_)) Disable_Privilege(kRestorePrivilege);
  }
  RestorePrivilegeScope(const RestorePrivilegeScope&) = delete;
  RestorePrivilegeScope& operator=(const RestorePrivilegeScope&) = delete;

 private:
  PrivilegeChange change_;
};

// Sets the owner; false after logging the call that failed.
bool ApplyOwner(const std::wstring& path, const std::wstring& owner) {
  BYTE sid[256] = {};
  DWORD sidSize = 255;
  wchar_t domain[256] = {};
  DWORD domainSize = 255;
  SID_NAME_USE use;
  if (!LookupAccountNameW(nullptr, owner.c_str(), sid, &sidSize, domain, &domainSize, &use)) {
    LogFailure(L"LookupAccountName", GetLastError());
    return false;
  }
  SECURITY_DESCRIPTOR descriptor;
  if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) {
    LogFailure(L"InitializeSecurityDescriptor", GetLastError());
    return false;
  }
  if (!SetSecurityDescriptorOwner(&descriptor, sid, FALSE)) {
    LogFailure(L"SetSecurityDescriptorOwner", GetLastError());
    return false;
  }
  BOOL applied = FALSE;
  DWORD error = 0;
  {
    const CommonModule::RedirectionOff off;
    applied = SetFileSecurityW(path.c_str(), OWNER_SECURITY_INFORMATION, &descriptor);
    error = GetLastError();
  }
  if (!applied) {
    LogFailure(L"SetFileSecurity", error);
    return false;
  }
  return true;
}

}  // namespace

PrivilegeChange ChangeOwnPrivilege(const std::wstring& privilegeName, bool enable, DWORD tokenAccess) {
  PrivilegeChange change;
  platform::UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), tokenAccess, token.put())) {
    change.failure = PrivilegeFailure::OpenToken;
    change.error = GetLastError();
    return change;
  }
  LUID luid;
  if (!LookupPrivilegeValueW(nullptr, privilegeName.c_str(), &luid)) {
    change.failure = PrivilegeFailure::LookupName;
    change.error = GetLastError();
    return change;
  }
  TOKEN_PRIVILEGES wanted = {};
  wanted.PrivilegeCount = 1;
  wanted.Privileges[0].Luid = luid;
  wanted.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  // The previous state can only be read through a token opened for querying.
  const bool keepPrevious = (tokenAccess & TOKEN_QUERY) != 0;
  DWORD previousSize = 0;
  SetLastError(ERROR_SUCCESS);
  BOOL adjusted =
      AdjustTokenPrivileges(token.get(), FALSE, &wanted, keepPrevious ? sizeof change.previous : 0,
                            keepPrevious ? &change.previous : nullptr, keepPrevious ? &previousSize : nullptr);
  change.error = GetLastError();
  if (!adjusted) {
    change.failure = PrivilegeFailure::Adjust;
    change.previous = {};
  }
  return change;
}

void RestoreOwnPrivilege(const PrivilegeChange& change) {
  if (change.failure != PrivilegeFailure::None || change.previous.PrivilegeCount == 0) return;
  platform::UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put())) return;
  TOKEN_PRIVILEGES previous = change.previous;
  AdjustTokenPrivileges(token.get(), FALSE, &previous, 0, nullptr, nullptr);
}

bool SwitchedOn(const PrivilegeChange& change) {
  return change.failure == PrivilegeFailure::None && change.previous.PrivilegeCount == 1 &&
         (change.previous.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED) == 0;
}

void ChangeOwnerOfFile(const std::wstring& path, std::wstring& OwnerAccountName) {
  try {
    CommonModule::DPrint(L"SetOwnerFS\\ChangeOwnerOfFile:");
    CommonModule::DPrint(L"\t- Passed: " + path);
    CommonModule::DPrint(L"\t- Optional Parm OwnerAccountName=" + OwnerAccountName);
    // No owner given: the account this program runs as, from its token.
    if (OwnerAccountName.empty()) OwnerAccountName = platform::ProcessAccountName();

    // The restore privilege lets us name an owner other than ourselves. The change is tried even
    // when it cannot be switched on; whoever had it off gets it off again on every road.
    RestorePrivilegeScope restore;
    if (ApplyOwner(path, OwnerAccountName))
      CommonModule::DPrint(L"Owner of " + path + L" changed to " + OwnerAccountName);
  } catch (const std::bad_alloc&) {
    ReportOutOfMemory(L"ChangeOwnerOfFile");
  }
}

void ChangeOwnerOfFile(const std::wstring& path) {
  std::wstring owner;
  ChangeOwnerOfFile(path, owner);
}

bool ModifyState(const std::wstring& privilegeName, bool enable) {
  try {
    PrivilegeChange change;
    return ModifyStateLogged(privilegeName, enable, TOKEN_ADJUST_PRIVILEGES, change);
  } catch (const std::bad_alloc&) {
    ReportOutOfMemory(L"ModifyState");
    return false;
  }
}

bool Enable_Privilege(const std::wstring& privilegeName) { return ModifyState(privilegeName, true); }

bool Disable_Privilege(const std::wstring& privilegeName) { return ModifyState(privilegeName, false); }

}  // namespace SetOwnerFS
