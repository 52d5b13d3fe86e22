#pragma once
// The library's report of a trapped failure: "Module\Procedure VB ERROR: number description",
// followed by TAB-led lines that name the arguments.
#include <windows.h>

#include <string>

#include "common/CommonModule.h"
#include "platform/Text.h"

inline void ReportTrappedError(const std::wstring& where, long number, const std::wstring& description) {
  CommonModule::DPrint(where + L" VB ERROR: " + std::to_wstring(number) + L" " + description);
}

inline void ReportWindowsError(const std::wstring& where, DWORD code) {
  ReportTrappedError(where, static_cast<long>(code), platform::ErrorText(code));
}

// One argument line of an error report: TAB, "- ", name, "=", value.
inline void ReportArgument(const std::wstring& name, const std::wstring& value) {
  CommonModule::DPrint(L"\t- " + name + L"=" + value);
}
