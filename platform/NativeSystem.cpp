#include "platform/NativeSystem.h"

#include <windows.h>

#include "platform/Procedure.h"

namespace platform {

bool WindowsIs64Bit() {
#if defined(_WIN64)
  return true;  // a 64-bit program runs on 64-bit Windows only
#else
  // A 32-bit program is on 64-bit Windows when it runs under WOW64; XP before SP2 lacks the call.
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  const auto isWow64 = GetLoadedProcedure<IsWow64ProcessFn>(L"kernel32.dll", "IsWow64Process");
  BOOL wow64 = FALSE;
  return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
#endif
}

}  // namespace platform
