#pragma once
// Restarting the computer: ExitWindowsEx with the shutdown privilege, and shutdown.exe when
// Windows refuses.
//
// A rehearsal (platform::IsRehearsal) restarts nothing: RebootSystem writes one "reboot" record,
// fields "force" or "normal" and the fallback command line, and returns. Outside a rehearsal the
// two acts that end the session go through internal::PerformStep and nowhere else.
#include <windows.h>

#include <cstdint>
#include <string>

namespace ShutDownMod {

// The module's error numbers count from the object-error base.
constexpr int32_t kObjectErrorBase = static_cast<int32_t>(0x80040000u);
constexpr int32_t kErrShutdownFailed = kObjectErrorBase + 1579;
constexpr int32_t kErrNoPrivilegeValue = kObjectErrorBase + 1580;
constexpr int32_t kErrNoCurrentProcess = kObjectErrorBase + 1581;
constexpr int32_t kErrNoPrivilege = kObjectErrorBase + 1582;
constexpr int32_t kErrInvalidParameter = kObjectErrorBase + 1583;

// A raised error: Number 0 means none. Source is the program's name and ".mShutDown".
struct ShutdownError {
  int32_t Number = 0;
  std::wstring Source;
  std::wstring Description;
};

// Restarts now. Every program is asked to close and may ask its user to save; force closes only
// those that do not answer in time (EWX_FORCEIFHUNG). Never fails to its caller: when Windows
// refuses, "shutdown.exe -r -t 0" (never -f) is started and not waited for.
void RebootSystem(bool force);

// Asks Windows to act on the ExitWindowsEx flag word (0 to 31). True when Windows accepted; false
// with error filled (1583 bad flags, 1579 refused, 1580 to 1582 from EnableShutdownPrivilege).
bool ShutdownSystem(int32_t flags, ShutdownError& error);

// Switches the shutdown privilege on for the rest of the process. True, or false with error
// filled (1580, 1581, 1582). An account without the privilege still gets true: Windows' own
// refusal comes later.
bool EnableShutdownPrivilege(ShutdownError& error);

// True on the NT family, as the kernel says.
bool IsNTPlatform();

// The system's message text for an error code, with its closing line break; "" when it has none.
std::wstring GetApiErrorText(int32_t code);

namespace internal {

enum class Step {
  ExitWindows,  // ExitWindowsEx(flags, every reason bit)
  Fallback,     // start shutdown.exe with fallbackParameters, minimised, without waiting
};
// Performs one step; 0 when done, else the system's error code. Tests put a recorder here.
using StepFn = DWORD (*)(Step step, UINT flags, const std::wstring& fallbackParameters);
extern StepFn PerformStep;
DWORD RealStep(Step step, UINT flags, const std::wstring& fallbackParameters);

}  // namespace internal

}  // namespace ShutDownMod
