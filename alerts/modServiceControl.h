#pragma once
// The service manager calls for the one event monitoring service. Each returns 0 or the Windows
// error of the step that failed; every handle is closed before it returns.
#include <windows.h>

#include <string>

namespace modServiceControl {

DWORD ServiceQueryConfig();
DWORD ServiceCreate(const std::wstring& arguments);
// Gives an existing service the settings ServiceCreate would: program path, type, start, account.
DWORD ServiceCorrectConfig(const std::wstring& arguments);
// The recovery actions: restart three times without delay, or none.
DWORD ServiceSetRecovery(bool restart);
DWORD ServiceDelete();
// 0 also when the service already runs.
DWORD ServiceStart();
DWORD ServiceStop(bool wait, bool quiet);

}  // namespace modServiceControl
