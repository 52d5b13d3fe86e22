#pragma once
// The built event service run under the service manager for a test.
#include <windows.h>

#include <string>

#include "platform/Handle.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

namespace testsupport {

// The built service and main program copied into a scratch folder, registered under a name of its
// own; stopped and deleted again when the object goes.
class InstalledService {
 public:
  InstalledService() : name_(L"IlEvtSvcTest" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                             std::to_wstring(GetTickCount())) {
    ok_ = CopyProgram(kServiceProgram, dir_ / kServiceProgram) && CopyProgram(kMainProgram, dir_ / kMainProgram);
    manager_.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!ok_ || !manager_) return;
    const std::wstring binary = L"\"" + (dir_ / kServiceProgram) + L"\" ";
    service_.reset(CreateServiceW(manager_.get(), name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS,
                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                  binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    ok_ = static_cast<bool>(service_);
  }
  ~InstalledService() {
    if (!service_) return;
    SERVICE_STATUS status{};
    if (State() != SERVICE_STOPPED) {
      ControlService(service_.get(), SERVICE_CONTROL_STOP, &status);
      WaitForState(SERVICE_STOPPED, 15000);
    }
    DeleteService(service_.get());
  }
  InstalledService(const InstalledService&) = delete;
  InstalledService& operator=(const InstalledService&) = delete;

  bool Ok() const { return ok_; }
  const ScratchDir& Dir() const { return dir_; }
  bool Start() { return StartServiceW(service_.get(), 0, nullptr) && WaitForState(SERVICE_RUNNING, 20000); }
  DWORD State() const {
    SERVICE_STATUS status{};
    return QueryServiceStatus(service_.get(), &status) ? status.dwCurrentState : 0;
  }
  bool Stop() {
    SERVICE_STATUS status{};
    return Control(SERVICE_CONTROL_STOP, status) && WaitForState(SERVICE_STOPPED, 15000);
  }
  bool Control(DWORD code, SERVICE_STATUS& status) { return ControlService(service_.get(), code, &status) != FALSE; }
  bool WaitForState(DWORD state, DWORD timeoutMs) const {
    const DWORD start = GetTickCount();
    do {
      if (State() == state) return true;
      Sleep(100);
    } while (GetTickCount() - start < timeoutMs);
    return State() == state;
  }

 private:
  ScratchDir dir_;
  std::wstring name_;
  platform::UniqueServiceHandle manager_;
  platform::UniqueServiceHandle service_;
  bool ok_ = false;
};

}  // namespace testsupport
