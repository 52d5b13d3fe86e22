#pragma once
// The service side of the program: the dispatcher thread, the service's main routine, its control
// handler and the status it reports. The main thread and these meet through three manual-reset
// events and the status record.
#include <windows.h>

#include <string>

#include "common/Product.h"

namespace NTService {

using Product::kServiceName;

// Created by the program's start-up, in this order; closed at its end.
extern HANDLE ServiceEndEvent;      // the main thread has reported STOPPED: ServiceMain may return
extern HANDLE StopRequestedEvent;   // the service manager asked for a stop (or shutdown)
extern HANDLE ServiceStartedEvent;  // ServiceMain runs and has reported START_PENDING

extern SERVICE_STATUS ServiceStatus;
extern SERVICE_STATUS_HANDLE ServiceStatusHandle;

// A thread that runs the service control dispatcher; null when it cannot be created.
HANDLE StartDispatcherThread();
DWORD WINAPI DispatcherThreadProc(LPVOID);
LPSERVICE_MAIN_FUNCTIONW PassProcAddress(LPSERVICE_MAIN_FUNCTIONW address);

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv);
void WINAPI ServiceControlHandler(DWORD control);

// A non-zero state becomes the current state; then the status is reported.
void ReportServiceState(DWORD state);

}  // namespace NTService
