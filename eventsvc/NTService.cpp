#include "eventsvc/NTService.h"

namespace NTService {

HANDLE ServiceEndEvent = nullptr;
HANDLE StopRequestedEvent = nullptr;
HANDLE ServiceStartedEvent = nullptr;

SERVICE_STATUS ServiceStatus{};
SERVICE_STATUS_HANDLE ServiceStatusHandle = nullptr;

HANDLE StartDispatcherThread() { return CreateThread(nullptr, 0, DispatcherThreadProc, nullptr, 0, nullptr); }

DWORD WINAPI DispatcherThreadProc(LPVOID) {
  std::wstring name = kServiceName;  // the table takes a writable text
  SERVICE_TABLE_ENTRYW table[] = {{name.data(), PassProcAddress(ServiceMain)}, {nullptr, nullptr}};
  // Returns at once, with failure, when the service manager did not start this process.
  return StartServiceCtrlDispatcherW(table) ? 1 : 0;
}

LPSERVICE_MAIN_FUNCTIONW PassProcAddress(LPSERVICE_MAIN_FUNCTIONW address) { return address; }

void WINAPI ServiceMain(DWORD, LPWSTR*) {
  ServiceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  ServiceStatus.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
  ServiceStatus.dwWin32ExitCode = 0;
  ServiceStatus.dwServiceSpecificExitCode = 0;
  ServiceStatus.dwCheckPoint = 0;
  ServiceStatus.dwWaitHint = 0;
  ServiceStatusHandle = RegisterServiceCtrlHandlerW(kServiceName, ServiceControlHandler);
  ReportServiceState(SERVICE_START_PENDING);
  SetEvent(ServiceStartedEvent);
  // The main thread reports STOPPED before it sets this, so nothing is reported after we return.
  WaitForSingleObject(ServiceEndEvent, INFINITE);
}

void WINAPI ServiceControlHandler(DWORD control) {
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    ReportServiceState(SERVICE_STOP_PENDING);
    SetEvent(StopRequestedEvent);
  } else {
    ReportServiceState(0);
  }
}

void ReportServiceState(DWORD state) {
  if (state != 0) ServiceStatus.dwCurrentState = state;
  SetServiceStatus(ServiceStatusHandle, &ServiceStatus);
}

}  // namespace NTService
