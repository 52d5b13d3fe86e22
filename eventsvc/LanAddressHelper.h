#pragma once
// The alert mail's LAN address, asked of a short-lived copy of the service. The WMI provider a
// query loads can never be unloaded again (under Wine it brings graphics, printing and setup
// libraries along, about 10 MB), and the service runs for months: the copy pays for it and ends.
#include <string>

namespace LanAddressHelper {

// The argument that makes the service's program answer the query and end.
constexpr wchar_t kSwitch[] = L"/lanaddress";

// True when this process was started as the helper (its only argument is kSwitch).
bool IsHelperRun();
// The helper's work: the address text in UTF-8 on standard output. Its exit code.
int RunHelper();
// The service's side: the helper's answer, kept for a minute; "" (and a debug-log line, not
// kept) when it gave none.
std::wstring Ask();

}  // namespace LanAddressHelper
