#pragma once
// Rights put to the test: AccessCheck of a security descriptor with a standard user's token (this
// process's own, with Administrators made deny-only) or an administrator's.
#include <windows.h>

#include <string>

#include "platform/Handle.h"

namespace testsupport {

// An impersonation token of this process; standardUser: Administrators deny-only.
platform::UniqueKernelHandle TestToken(bool standardUser);

inline constexpr GENERIC_MAPPING kFileMapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                                                 FILE_ALL_ACCESS};
inline constexpr GENERIC_MAPPING kKeyMapping = {KEY_READ, KEY_WRITE, KEY_EXECUTE, KEY_ALL_ACCESS};

// Whether the token is granted every right of access by the descriptor.
bool Granted(HANDLE token, PSECURITY_DESCRIPTOR descriptor, DWORD access, const GENERIC_MAPPING& mapping);

}  // namespace testsupport
