#include "eventsvc/Sample.h"

#include <ctime>
#include <string>
#include <vector>

#include "alerts/EventTimeText.h"
#include "common/CommonModule.h"
#include "common/modOpSys.h"
#include "common/Product.h"
#include "eventsvc/Module1.h"
#include "eventsvc/NTService.h"
#include "eventsvc/modFilterEvents.h"
#include "platform/EventLog.h"
#include "platform/Handle.h"
#include "platform/PromptSeam.h"

namespace Sample {
namespace {

using platform::UniqueKernelHandle;

// A service started by the manager and a copy started by hand may live in different sessions.
UniqueKernelHandle ClaimSingleInstance(bool& another) {
  another = false;
  for (const wchar_t* name : {L"Global\\IronlatchEventSvc.Instance", L"IronlatchEventSvc.Instance"}) {
    UniqueKernelHandle mutex(CreateMutexW(nullptr, FALSE, name));
    const DWORD error = GetLastError();
    if (mutex && error == ERROR_ALREADY_EXISTS) {
      another = true;
      return UniqueKernelHandle();
    }
    if (mutex) return mutex;
    // The service's mutex refuses other accounts: that refusal is the answer too.
    if (error == ERROR_ACCESS_DENIED) {
      another = true;
      return UniqueKernelHandle();
    }
  }
  return UniqueKernelHandle();
}

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

// True when the entry carries the stop notice.
bool Hand(const platform::EventEntry& e) {
  return modFilterEvents::FilterEvent(TypeText(e.type), std::to_wstring(e.eventId & 0xFFFF), e.source,
                                      EventTimeText::MessageText(e), e.log, EventTimeText::WmiTimeText(e.timeWritten));
}

bool HandAll(const std::vector<platform::EventEntry>& entries) {
  for (const auto& e : entries)
    if (Hand(e)) return true;
  return false;
}

// Runs until the stop notice arrives or the service manager asks for a stop. A stop request alone
// would otherwise leave the service in STOP_PENDING until the next entry that carries the notice.
void EventLoop(platform::NewEventWatch& watch) {
  while (!modFilterEvents::StopServiceFlag) {
    if (HandAll(watch.Next(kEventPollMs))) break;
    if (WaitForSingleObject(NTService::StopRequestedEvent, 0) == WAIT_OBJECT_0) {
      // What was written before the request still gets its alert.
      HandAll(watch.Next(0));
      break;
    }
  }
}

}  // namespace

bool IsNTPlatform() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(info);  // 148 bytes
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&info)) return false;
#pragma GCC diagnostic pop
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

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

void Main() {
  bool another = false;
  UniqueKernelHandle instance = ClaimSingleInstance(another);
  if (another) return;

  const bool nt = IsNTPlatform();
  UniqueKernelHandle endEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueKernelHandle stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueKernelHandle startedEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  NTService::ServiceEndEvent = endEvent.get();
  NTService::StopRequestedEvent = stopEvent.get();
  NTService::ServiceStartedEvent = startedEvent.get();
  if (!nt) {
    ShowPlain(L"This program is only for Windows NT/2000/XP/2003.");
    return;
  }
  if (!endEvent || !stopEvent || !startedEvent) return;

  Module1::BuildProductTitle();
  UniqueKernelHandle dispatcher(NTService::StartDispatcherThread());
  if (!dispatcher) return;
  const HANDLE handles[] = {dispatcher.get(), startedEvent.get()};
  int32_t noLimit = -1;
  if (WaitWithMessages(noLimit, handles, 2) != 1) {
    dispatcher.reset();
    ShowPlain(L"This program must be started as a service.");
    return;
  }

  // The watch begins before RUNNING is reported, so an entry written once the service runs is seen.
  platform::NewEventWatch watch(L"Application");
  NTService::ReportServiceState(SERVICE_RUNNING);
  CommonModule::InitAppSettings(true, true, false);
  CommonModule::IniPath = CommonModule::AppPath() + Product::kSettingsIni;
  modFilterEvents::EventTimeShift =
      modOpSys::IsVista() ? CommonModule::ReadIni(CommonModule::IniPath, L"Config", L"UTCAdjustment") : L"";

  if (watch.Ok()) {
    EventLoop(watch);
  } else {
    CommonModule::DPrint(L"Cannot watch the Application log");
    NTService::ServiceStatus.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    NTService::ServiceStatus.dwServiceSpecificExitCode = 1;
  }

  CommonModule::DPrint(L"Service stopping...");
  NTService::ReportServiceState(SERVICE_STOPPED);
  SetEvent(endEvent.get());
  noLimit = -1;
  const HANDLE dispatcherOnly[] = {dispatcher.get()};
  WaitWithMessages(noLimit, dispatcherOnly, 1);
}

}  // namespace Sample

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  Sample::Main();
  return 0;
}
