#pragma once
// How the fakes record their calls: one line per call in "<name>.calls.log" beside the fake and,
// when FAKEPROG_HOME names a folder (a fake run from a folder that goes away), in
// "<name>.calls.log" there as well.
#include <windows.h>

#include <string>

namespace fakecalls {

// The fake's file without its extension, in FAKEPROG_HOME; "" when that names no folder.
inline std::wstring HomeBase(const std::wstring& base) {
  wchar_t home[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"FAKEPROG_HOME", home, MAX_PATH);
  if (!length || length >= MAX_PATH) return L"";
  return std::wstring(home) + L"\\" + base.substr(base.find_last_of(L'\\') + 1);
}

inline void Append(const std::wstring& log, const std::string& utf8) {
  // Another process may hold the log for a moment; a lost record would fail a test for nothing.
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) Sleep(20);
  }
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  CloseHandle(file);
}

// base: the fake's own file without its extension; line: the record, its line end included.
inline void Record(const std::wstring& base, const std::wstring& line) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), bytes, nullptr, nullptr);
  Append(base + L".calls.log", utf8);
  const std::wstring home = HomeBase(base);
  if (!home.empty()) Append(home + L".calls.log", utf8);
}

}  // namespace fakecalls
