#pragma once
// Access checks of security descriptors as a standard user and as an administrator see them: the
// test's own token, with Administrators made deny-only for the standard user. Wine keeps no rights
// on files, so tests check the rights a program writes (see ILATCH_RIGHTS_LOG) this way.
#include <windows.h>
#include <sddl.h>

#include <map>
#include <string>

#include "platform/Handle.h"
#include "platform/Text.h"
#include "tests/support/TestSupport.h"

namespace testsupport {

// An impersonation token of this process, with Administrators deny-only for a standard user.
inline platform::UniqueKernelHandle AccessToken(bool standardUser) {
  platform::UniqueKernelHandle own, restricted, impersonation;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, own.put())) return {};
  HANDLE source = own.get();
  if (standardUser) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size)) return {};
    SID_AND_ATTRIBUTES disabled = {sid, 0};
    if (!CreateRestrictedToken(own.get(), 0, 1, &disabled, 0, nullptr, 0, nullptr, restricted.put())) return {};
    source = restricted.get();
  }
  if (!DuplicateToken(source, SecurityImpersonation, impersonation.put())) return {};
  return impersonation;
}

inline bool AccessGranted(HANDLE token, PSECURITY_DESCRIPTOR descriptor, DWORD access) {
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
  PRIVILEGE_SET privileges = {};
  DWORD privilegesSize = sizeof privileges, grantedAccess = 0;
  BOOL status = FALSE;
  return AccessCheck(descriptor, token, access, &mapping, &privileges, &privilegesSize, &grantedAccess, &status) &&
         status;
}

// The same for rights in SDDL text; false when the text is no security descriptor.
inline bool AccessGranted(HANDLE token, const std::wstring& rights, DWORD access) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(rights.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  platform::UniqueLocal owned(descriptor);
  return AccessGranted(token, descriptor, access);
}

// The last rights recorded for each path (lower-cased) in an ILATCH_RIGHTS_LOG file.
inline std::map<std::wstring, std::wstring> RecordedRights(const std::wstring& log) {
  std::map<std::wstring, std::wstring> rights;
  for (const std::wstring& line : Lines(ReadTextFile(log))) {
    const size_t tab = line.find(L'\t');
    if (tab != std::wstring::npos) rights[platform::Lower(line.substr(0, tab))] = platform::Trim(line.substr(tab + 1));
  }
  return rights;
}

}  // namespace testsupport
