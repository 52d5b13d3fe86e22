#include "alerts/modServiceControl.h"

#include <vector>

#include "alerts/modService.h"
#include "common/CommonModule.h"
#include "common/modOpSys.h"
#include "platform/ProductName.h"
#include "platform/Handle.h"
#include "platform/SystemFolder.h"
#include "platform/Text.h"

namespace modServiceControl {

namespace {

using platform::UniqueServiceHandle;

// Known from Vista on (the headers show it only to builds for Vista); older systems refuse the
// level, which leaves recovery to crashes alone.
constexpr DWORD kConfigFailureActionsFlag = 4;
struct FailureActionsFlag {
  BOOL onNonCrashFailures;
};

DWORD OpenManager(DWORD access, UniqueServiceHandle& manager) {
  manager.reset(OpenSCManagerW(nullptr, nullptr, access));
  return manager ? 0 : GetLastError();
}

DWORD OpenService(DWORD managerAccess, DWORD serviceAccess, UniqueServiceHandle& manager,
                  UniqueServiceHandle& service) {
  if (DWORD error = OpenManager(managerAccess, manager)) return error;
  service.reset(OpenServiceW(manager.get(), modService::kServiceName, serviceAccess));
  return service ? 0 : GetLastError();
}

// Before Vista the service may show windows on the desktop of the logged-on user.
DWORD ServiceType() {
  return modOpSys::IsVista() ? SERVICE_WIN32_OWN_PROCESS : SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS;
}

std::wstring BinaryPath(const std::wstring& arguments) {
  return L"\"" + CommonModule::AppPath() + modService::kServiceExeName + L"\" " + arguments;
}

void SetDescription(SC_HANDLE service) {
  std::wstring description = modService::ServiceDescription();
  SERVICE_DESCRIPTIONW info = {description.data()};
  ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &info);
}

// net.exe from the system folder, not the one cmd.exe would find in the current folder.
std::wstring NetExe() { return platform::SystemTool(L"net.exe"); }

}  // namespace

DWORD ServiceQueryConfig() {
  UniqueServiceHandle manager, service;
  if (DWORD error = OpenService(SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG, manager, service)) return error;
  DWORD needed = 0;
  std::vector<BYTE> buffer(sizeof(QUERY_SERVICE_CONFIGW));
  if (QueryServiceConfigW(service.get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
                          static_cast<DWORD>(buffer.size()), &needed))
    return 0;
  DWORD error = GetLastError();
  if (error != ERROR_INSUFFICIENT_BUFFER) return error;
  buffer.resize(needed);
  if (!QueryServiceConfigW(service.get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
                           static_cast<DWORD>(buffer.size()), &needed))
    return GetLastError();
  return 0;
}

DWORD ServiceCreate(const std::wstring& arguments) {
  UniqueServiceHandle manager;
  if (DWORD error = OpenManager(SC_MANAGER_CREATE_SERVICE, manager)) return error;
  const std::wstring binary = BinaryPath(arguments);
  UniqueServiceHandle service(CreateServiceW(manager.get(), modService::kServiceName,
                                             modService::kServiceDisplayName, SERVICE_ALL_ACCESS, ServiceType(),
                                             SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, binary.c_str(), nullptr,
                                             nullptr, nullptr, L"LocalSystem", L""));
  if (!service) return GetLastError();
  SetDescription(service.get());
  return 0;
}

DWORD ServiceCorrectConfig(const std::wstring& arguments) {
  UniqueServiceHandle manager, service;
  if (DWORD error = OpenService(SC_MANAGER_CONNECT, SERVICE_CHANGE_CONFIG, manager, service)) return error;
  const std::wstring binary = BinaryPath(arguments);
  // No load-order group and no dependencies, as at creation: empty lists replace what was there.
  if (!ChangeServiceConfigW(service.get(), ServiceType(), SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, binary.c_str(),
                            L"", nullptr, L"\0", L"LocalSystem", L"", modService::kServiceDisplayName))
    return GetLastError();
  SetDescription(service.get());
  return 0;
}

DWORD ServiceSetRecovery(bool restart) {
  UniqueServiceHandle manager, service;
  if (DWORD error = OpenService(SC_MANAGER_CONNECT, SERVICE_CHANGE_CONFIG | SERVICE_START, manager, service))
    return error;
  const SC_ACTION_TYPE type = restart ? SC_ACTION_RESTART : SC_ACTION_NONE;
  SC_ACTION actions[3] = {{type, 0}, {type, 0}, {type, 0}};
  SERVICE_FAILURE_ACTIONSW failure = {};
  failure.cActions = 3;
  failure.lpsaActions = actions;
  if (!ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &failure)) return GetLastError();
  // From Vista on, an end with an error exit code counts as a failure too, not only a crash.
  FailureActionsFlag onErrorExit = {restart ? TRUE : FALSE};
  ChangeServiceConfig2W(service.get(), kConfigFailureActionsFlag, &onErrorExit);
  return 0;
}

DWORD ServiceDelete() {
  UniqueServiceHandle manager, service;
  if (DWORD error = OpenService(SC_MANAGER_CONNECT, SERVICE_ALL_ACCESS, manager, service)) return error;
  SERVICE_STATUS status = {};
  ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
  return DeleteService(service.get()) ? 0 : GetLastError();
}

DWORD ServiceStart() {
  UniqueServiceHandle manager, service;
  DWORD result = OpenService(SC_MANAGER_CONNECT, SERVICE_START, manager, service);
  if (!result && !StartServiceW(service.get(), 0, nullptr)) result = GetLastError();
  if (result == ERROR_SERVICE_ALREADY_RUNNING) result = 0;
  // A second request through net.exe; its outcome is not looked at.
  int32_t exitCode = 0;
  CommonModule::ShellX(NetExe(), std::wstring(L"start ") + modService::kServiceName, false, SW_HIDE, exitCode, false,
                       false, CommonModule::kNoTimeLimit);
  return result;
}

DWORD ServiceStop(bool wait, bool quiet) {
  UniqueServiceHandle manager, service;
  DWORD result = OpenService(SC_MANAGER_CONNECT, SERVICE_STOP, manager, service);
  SERVICE_STATUS status = {};
  if (!result && !ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) result = GetLastError();
  service.reset();
  manager.reset();
  CommonModule::Delay(1);

  int32_t exitCode = 0;
  const std::wstring stop = std::wstring(L"stop ") + modService::kServiceName;  // a name without blanks
  if (quiet) {
    CommonModule::ShellX(NetExe(), stop, wait, SW_HIDE, exitCode, false, false, CommonModule::kNoTimeLimit);
  } else {
    // A titled console window, so the user sees what the wait is for.
    const std::wstring cmd = platform::SystemTool(L"cmd.exe");
    CommonModule::ShellX(cmd,
                         std::wstring(L"/c title " ILATCH_PRODUCT_NAME L"&echo Stopping Service: ") +
                             modService::kServiceName + L", Please Wait...&" + NetExe() + L" " + stop,
                         wait, SW_SHOWNOACTIVATE, exitCode, false, false, CommonModule::kNoTimeLimit);
  }
  return result;
}

}  // namespace modServiceControl
