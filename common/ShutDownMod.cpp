#include "common/ShutDownMod.h"

#include <new>

#include "common/CommonModule.h"
#include "common/SetOwnerFS.h"
#include "platform/KernelVersion.h"
#include "platform/PromptSeam.h"

namespace ShutDownMod {

namespace {

constexpr wchar_t kFallbackProgram[] = L"shutdown.exe";

bool Raise(ShutdownError& error, int32_t number, const std::wstring& description) {
  error.Number = number;
  error.Source = CommonModule::AppExeName() + L".mShutDown";
  error.Description = description;
  return false;
}

std::wstring Bracketed(DWORD code) { return L"[" + GetApiErrorText(static_cast<int32_t>(code)) + L"]"; }

}  // namespace

namespace internal {

DWORD RealStep(Step step, UINT flags, const std::wstring& fallbackParameters) {
  if (step == Step::ExitWindows) return ExitWindowsEx(flags, 0xFFFFFFFF) ? 0 : GetLastError();
  int32_t exitCode = 0;
  return CommonModule::ShellX(kFallbackProgram, fallbackParameters, false, SW_SHOWMINIMIZED, exitCode, false, false,
                              CommonModule::kNoTimeLimit)
             ? 0
             : ERROR_FILE_NOT_FOUND;
}

StepFn PerformStep = RealStep;

}  // namespace internal

void RebootSystem(bool force) {
  // Programs with unsaved work are asked, on either road; only one that does not answer is
  // closed (force). shutdown.exe has no such middle way, so it never forces.
  const std::wstring parameters = L"-r -t 0";
  if (platform::IsRehearsal()) {
    platform::RecordPrompt(L"reboot", {force ? L"force" : L"normal", std::wstring(kFallbackProgram) + L" " + parameters});
    return;
  }
  try {
    ShutdownError error;
    if (ShutdownSystem(force ? EWX_REBOOT | EWX_FORCEIFHUNG : EWX_REBOOT, error)) return;
    internal::PerformStep(internal::Step::Fallback, 0, parameters);
  } catch (const std::bad_alloc&) {
    // Nothing is reported from here; the caller goes on either way.
  }
}

bool ShutdownSystem(int32_t flags, ShutdownError& error) {
  if (flags < 0 || flags > 31)
    return Raise(error, kErrInvalidParameter, L"Invalid parameter to ShutdownSystem: " + std::to_wstring(flags));
  if (IsNTPlatform() && !EnableShutdownPrivilege(error)) return false;
  const DWORD refused = internal::PerformStep(internal::Step::ExitWindows, static_cast<UINT>(flags), {});
  if (refused == 0) return true;
  return Raise(error, kErrShutdownFailed, L"ShutdownSystem failed: " + GetApiErrorText(static_cast<int32_t>(refused)));
}

bool EnableShutdownPrivilege(ShutdownError& error) {
  if (!GetCurrentProcess())
    return Raise(error, kErrNoCurrentProcess,
                 L"Can't enable shutdown: Can't determine the current process. " + Bracketed(GetLastError()));
  // Only a refused call counts; an account that lacks the privilege hears it from ExitWindowsEx.
  const SetOwnerFS::PrivilegeChange change =
      SetOwnerFS::ChangeOwnPrivilege(L"SeShutdownPrivilege", true, TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
  switch (change.failure) {
    case SetOwnerFS::PrivilegeFailure::None: return true;
    case SetOwnerFS::PrivilegeFailure::LookupName:
      return Raise(
          error, kErrNoPrivilegeValue,
          L"Can't enable shutdown: Can't find the SE_SHUTDOWN_NAME privilege value." + Bracketed(change.error));
    default:
      return Raise(
          error, kErrNoPrivilege,
          L"Can't enable shutdown: You do not have the privileges to shutdown this system. " + Bracketed(change.error));
  }
}

// The kernel's answer: a compatibility setting for Windows 95 would tell the program "not NT".
bool IsNTPlatform() { return platform::RunningKernelVersion().platformId == VER_PLATFORM_WIN32_NT; }

std::wstring GetApiErrorText(int32_t code) {
  wchar_t buffer[256] = {};
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      static_cast<DWORD>(code), 0, buffer, 256, nullptr);
  return length > 0 ? std::wstring(buffer, length) : std::wstring();
}

}  // namespace ShutDownMod
