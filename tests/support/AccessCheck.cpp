#include "tests/support/AccessCheck.h"

namespace testsupport {

platform::UniqueKernelHandle TestToken(bool standardUser) {
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

bool Granted(HANDLE token, PSECURITY_DESCRIPTOR descriptor, DWORD access, const GENERIC_MAPPING& mapping) {
  GENERIC_MAPPING map = mapping;
  MapGenericMask(&access, &map);
  PRIVILEGE_SET privileges = {};
  DWORD privilegesSize = sizeof privileges, grantedAccess = 0;
  BOOL status = FALSE;
  return AccessCheck(descriptor, token, access, &map, &privileges, &privilegesSize, &grantedAccess, &status) && status;
}

}  // namespace testsupport
