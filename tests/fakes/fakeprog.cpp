// Records its command line in "<name>.calls.log" beside itself, then waits and exits as
// "<name>.fake.ini" says ([fake] sleepms=..., exit=...).
#include <windows.h>

#include <string>

int wmain() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring base = path;
  base.resize(base.find_last_of(L'.'));

  std::wstring line = std::wstring(GetCommandLineW()) + L"\r\n";
  int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), bytes, nullptr, nullptr);
  // Another process may hold the log for a moment; a lost record would fail a test for nothing.
  HANDLE log = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && log == INVALID_HANDLE_VALUE; ++attempt) {
    log = CreateFileW((base + L".calls.log").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) Sleep(20);
  }
  if (log != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(log, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(log);
  }

  std::wstring ini = base + L".fake.ini";
  UINT sleepMs = GetPrivateProfileIntW(L"fake", L"sleepms", 0, ini.c_str());
  if (sleepMs) Sleep(sleepMs);
  return static_cast<int>(GetPrivateProfileIntW(L"fake", L"exit", 0, ini.c_str()));
}
