#pragma once
// Whether the program installed the event monitoring service, and its removal after a test.
#include <windows.h>

#include "platform/Handle.h"

namespace eventservice {

inline constexpr wchar_t kServiceName[] = L"IronlatchEventSvc";

inline bool Exists() {
  platform::UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  platform::UniqueServiceHandle service(manager ? OpenServiceW(manager.get(), kServiceName, SERVICE_QUERY_STATUS)
                                                : nullptr);
  return static_cast<bool>(service);
}

inline void Remove() {
  platform::UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  platform::UniqueServiceHandle service(manager ? OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS) : nullptr);
  if (!service) return;
  SERVICE_STATUS status = {};
  ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
  DeleteService(service.get());
}

}  // namespace eventservice
