#include "eventsvc/Sample.h"

#include <sddl.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "notify/EventTimeText.h"
#include "notify/modWriteEvent.h"
#include "notify/modEmailSvc.h"
#include "common/CommonModule.h"
#include "common/modOpSys.h"
#include "common/Product.h"
#include "eventsvc/LanAddressHelper.h"
#include "eventsvc/Module1Names.h"
#include "eventsvc/NTService.h"
#include "eventsvc/modFilterEvents.h"
#include "platform/EventLog.h"
#include "platform/Handle.h"
#include "platform/KernelVersion.h"
#include "platform/PromptSeam.h"

namespace Sample {
namespace {

using platform::UniqueKernelHandle;

constexpr wchar_t kGuardName[] = L"Global\\" ILATCH_PRODUCT_NAME L"EventSvc.Instance";
// Only SYSTEM and Administrators may open the guard; a copy started by hand by anyone else is
// refused, and that refusal tells it the service runs.
constexpr wchar_t kGuardAccess[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";

// How often, and how far apart, the watch over the log is tried before the service gives up with
// an error exit, so that the service manager's recovery can start it again.
constexpr int kWatchAttempts = 5;
constexpr DWORD kWatchRetryMs = 1000;
constexpr DWORD kWatchFailedCode = 1;

// The service manager runs one instance of the service; the guard only lets a copy started by
// hand meanwhile end silently. An object of that name made by someone else changes nothing for
// the service itself.
UniqueKernelHandle CreateGuard() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kGuardAccess, SDDL_REVISION_1, &descriptor, nullptr))
    return UniqueKernelHandle();
  platform::UniqueLocal owner(descriptor);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  return UniqueKernelHandle(CreateMutexW(&attributes, FALSE, kGuardName));
}

bool GuardExists() {
  UniqueKernelHandle guard(OpenMutexW(SYNCHRONIZE, FALSE, kGuardName));
  return guard || GetLastError() == ERROR_ACCESS_DENIED;
}

bool StopRequested() { return WaitForSingleObject(NTService::StopRequestedEvent, 0) == WAIT_OBJECT_0; }

void ShowPlain(const std::wstring& text) {
  platform::ShowMessageBox(nullptr, text, Module1::ProductLabel, MB_ICONINFORMATION | MB_SETFOREGROUND);
}

std::wstring TypeText(uint16_t type) {
  switch (type) {
    case EVENTLOG_ERROR_TYPE: return L"Error";
    case EVENTLOG_WARNING_TYPE: return L"Warning";
    case EVENTLOG_INFORMATION_TYPE: return L"Information";
    case EVENTLOG_AUDIT_SUCCESS: return L"Audit Success";
    case EVENTLOG_AUDIT_FAILURE: return L"Audit Failure";
    default: return L"";
  }
}

// The text of a watched entry. The product's own entries carry it as their one insertion string:
// it is read as written, whatever a message file would make of it, and one of another shape is
// neither a notice nor an alert. Only the policy's entries are formatted with their source's
// message file.
std::wstring TextOf(const platform::EventEntry& e) {
  if ((e.eventId & 0xFFFF) != modWriteEvent::ProductEventId) return EventTimeText::MessageText(e);
  if (e.strings.size() != 1) return L"";
  std::wstring text = e.strings[0];
  text.erase(std::remove(text.begin(), text.end(), L'\0'), text.end());
  return text;
}

// True when the entry is the program's stop notice.
bool Hand(const platform::EventEntry& e) {
  return modFilterEvents::FilterEvent(TypeText(e.type), std::to_wstring(e.eventId & 0xFFFF), e.source, TextOf(e), e.log,
                                      EventTimeText::WmiTimeText(e.timeWritten), e.userSid);
}

// Runs until the service manager asks for a stop, which is looked at between any two entries and
// every half second; a mail under way is abandoned by the same request. The stop notice from the
// program's own source only makes the loop look at once. A summary of the alerts held back goes
// out when it is due. Entries of no watched source and ID are passed over unbuilt.
void EventLoop(platform::NewEventWatch& watch) {
  while (!StopRequested()) {
    for (const auto& e : watch.Next(kEventPollMs, &modFilterEvents::IsWatched)) {
      if (StopRequested()) break;
      Hand(e);
    }
    if (!StopRequested()) modFilterEvents::SendDueSummary();
  }
  modFilterEvents::StopServiceFlag = true;
}

// The watch over the Application log, tried a few times; empty when every attempt failed or a
// stop was asked for meanwhile.
std::unique_ptr<platform::NewEventWatch> OpenWatch() {
  for (int attempt = 0; attempt < kWatchAttempts; ++attempt) {
    auto watch = std::make_unique<platform::NewEventWatch>(L"Application");
    if (watch->Ok()) return watch;
    CommonModule::DPrint(L"Cannot watch the Application log");
    if (WaitForSingleObject(NTService::StopRequestedEvent, kWatchRetryMs) == WAIT_OBJECT_0) break;
  }
  return nullptr;
}

}  // namespace

// The kernel's answer: a compatibility setting for Windows 95 would tell the service "not NT",
// and it would end at once.
bool IsNTPlatform() { return platform::RunningKernelVersion().platformId == VER_PLATFORM_WIN32_NT; }

int32_t WaitWithMessages(int32_t& intervalMs, const HANDLE* handles, DWORD count) {
  const bool limited = intervalMs != -1;
  const DWORD deadline = GetTickCount() + static_cast<DWORD>(intervalMs);
  DWORD result;
  do {
    DWORD remaining = INFINITE;
    if (limited) {
      const int32_t left = static_cast<int32_t>(deadline - GetTickCount());
      if (left < 0 || left > intervalMs) return WAIT_TIMEOUT;  // late, or the tick count wrapped
      remaining = static_cast<DWORD>(left);
    }
    result = MsgWaitForMultipleObjects(count, handles, FALSE, remaining, QS_ALLINPUT & 0xFF);
    if (result == WAIT_TIMEOUT) return WAIT_TIMEOUT;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  } while (result == WAIT_OBJECT_0 + count);
  return static_cast<int32_t>(result);
}

int Main() {
  if (LanAddressHelper::IsHelperRun()) {
    CommonModule::InitAppSettings(true, true, false);
    return LanAddressHelper::RunHelper();
  }
  const bool nt = IsNTPlatform();
  UniqueKernelHandle endEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueKernelHandle stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueKernelHandle startedEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  NTService::ServiceEndEvent = endEvent.get();
  NTService::StopRequestedEvent = stopEvent.get();
  NTService::ServiceStartedEvent = startedEvent.get();
  if (!nt) {
    ShowPlain(L"This program is only for Windows NT/2000/XP/2003.");
    return 0;
  }
  if (!endEvent || !stopEvent || !startedEvent) return 1;

  Module1::BuildProductTitle();
  UniqueKernelHandle dispatcher(NTService::StartDispatcherThread());
  if (!dispatcher) return 1;
  const HANDLE handles[] = {dispatcher.get(), startedEvent.get()};
  int32_t noLimit = -1;
  if (WaitWithMessages(noLimit, handles, 2) != 1) {
    dispatcher.reset();
    // A copy started by hand while the service runs ends without a word.
    if (!GuardExists()) ShowPlain(L"This program must be started as a service.");
    return 0;
  }
  UniqueKernelHandle guard = CreateGuard();

  // The watch begins before RUNNING is reported, so an entry written once the service runs is seen.
  std::unique_ptr<platform::NewEventWatch> watch = OpenWatch();
  NTService::ReportServiceState(SERVICE_RUNNING);
  CommonModule::InitAppSettings(true, true, false);
  CommonModule::IniPath = CommonModule::AppPath() + Product::kSettingsIni;
  modFilterEvents::EventTimeShift = modFilterEvents::LoadTimeShift();

  modEmailSvc::SetAbandonEvent(stopEvent.get());
  modEmailSvc::SetLanIpsSource(&LanAddressHelper::Ask);
  int exitCode = 0;
  if (watch) {
    EventLoop(*watch);
  } else if (!StopRequested()) {
    // An error exit: the recovery actions restart a service that ends so.
    NTService::ServiceStatus.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    NTService::ServiceStatus.dwServiceSpecificExitCode = kWatchFailedCode;
    exitCode = static_cast<int>(kWatchFailedCode);
  }
  modEmailSvc::SetAbandonEvent(nullptr);

  CommonModule::DPrint(L"Service stopping...");
  NTService::ReportServiceState(SERVICE_STOPPED);
  SetEvent(endEvent.get());
  noLimit = -1;
  const HANDLE dispatcherOnly[] = {dispatcher.get()};
  WaitWithMessages(noLimit, dispatcherOnly, 1);
  return exitCode;
}

}  // namespace Sample

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return Sample::Main(); }
