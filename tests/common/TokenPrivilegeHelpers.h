#pragma once
// Reads and sets this test process's own token privileges with the plain API, so that tests of
// the library's privilege code do not judge it by itself.
#include <windows.h>

#include <vector>

#include "platform/Handle.h"

namespace privilegetest {

enum class State { Absent, Disabled, Enabled };

inline State PrivilegeState(const wchar_t* name) {
  LUID luid;
  if (!LookupPrivilegeValueW(nullptr, name, &luid)) return State::Absent;
  platform::UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return State::Absent;
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenPrivileges, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (!GetTokenInformation(token.get(), TokenPrivileges, buffer.data(), size, &size)) return State::Absent;
  const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
  for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
    const LUID& held = privileges->Privileges[i].Luid;
    if (held.LowPart == luid.LowPart && held.HighPart == luid.HighPart)
      return (privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) ? State::Enabled : State::Disabled;
  }
  return State::Absent;
}

inline bool SetPrivilegeState(const wchar_t* name, bool enabled) {
  TOKEN_PRIVILEGES wanted = {};
  wanted.PrivilegeCount = 1;
  if (!LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid)) return false;
  wanted.Privileges[0].Attributes = enabled ? SE_PRIVILEGE_ENABLED : 0;
  platform::UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put())) return false;
  return AdjustTokenPrivileges(token.get(), FALSE, &wanted, 0, nullptr, nullptr) && GetLastError() == ERROR_SUCCESS;
}

// The value the next new handle gets. The handle table hands out the slot freed last (Windows)
// or the lowest free one (Wine), so a handle left open by code in between changes it.
inline HANDLE NextHandleValue() {
  platform::UniqueKernelHandle probe(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  return probe.get();
}

}  // namespace privilegetest
