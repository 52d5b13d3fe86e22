#pragma once
// The event monitoring service as the service manager sees it, and its removal after a test.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Handle.h"
#include "tests/support/ProductState.h"

namespace eventservice {

using testsupport::kServiceName;

// exists false when the service is not installed.
struct State {
  bool exists = false;
  DWORD state = 0;
  DWORD processId = 0;
  std::wstring binaryPath;
  DWORD startType = 0;
};

inline State Query() {
  State result;
  platform::UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  platform::UniqueServiceHandle service(
      manager ? OpenServiceW(manager.get(), kServiceName, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS) : nullptr);
  if (!service) return result;
  result.exists = true;
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  if (QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                           &needed)) {
    result.state = status.dwCurrentState;
    result.processId = status.dwProcessId;
  }
  std::vector<BYTE> buffer(8192);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (QueryServiceConfigW(service.get(), config, static_cast<DWORD>(buffer.size()), &needed)) {
    result.binaryPath = config->lpBinaryPathName ? config->lpBinaryPathName : L"";
    result.startType = config->dwStartType;
  }
  return result;
}

inline bool Exists() { return Query().exists; }

inline bool WaitForState(DWORD wanted, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 250) {
    const State s = Query();
    if (s.exists && s.state == wanted) return true;
    Sleep(250);
  }
  return false;
}

// Stopped as the service manager stops it, and waited for; false when it did not stop in time.
inline bool Stop(DWORD timeoutMs) {
  platform::UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  platform::UniqueServiceHandle service(manager ? OpenServiceW(manager.get(), kServiceName, SERVICE_STOP) : nullptr);
  SERVICE_STATUS status = {};
  if (!service || !ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) return false;
  return WaitForState(SERVICE_STOPPED, timeoutMs);
}

// Stopped and deleted, if it is there.
inline void Remove() {
  platform::UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  platform::UniqueServiceHandle service(manager ? OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS) : nullptr);
  if (!service) return;
  SERVICE_STATUS status = {};
  ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
  DeleteService(service.get());
}

}  // namespace eventservice
