#pragma once
// The service manager calls for the one event monitoring service. Each returns 0 or the Windows
// error of the step that failed; every handle is closed before it returns.
#include <windows.h>

#include <string>

namespace modServiceControl {

DWORD ServiceQueryConfig();
DWORD ServiceCreate(const std::wstring& arguments);
DWORD ServiceDelete();
DWORD ServiceStart();
DWORD ServiceStop(bool wait, bool quiet);

}  // namespace modServiceControl
