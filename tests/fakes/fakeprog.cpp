// Records its command line in "<name>.calls.log" beside itself, then waits and exits as
// "<name>.fake.ini" says ([fake] sleepms=..., exit=...). A fake run from a folder that goes away
// after the run (a private download folder) is followed through FAKEPROG_HOME: when that names a
// folder, the line goes to "<name>.calls.log" there as well, and the ini is read from there when
// none lies beside the fake.
#include <windows.h>

#include <string>

namespace {

void Record(const std::wstring& log, const std::string& utf8) {
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

}  // namespace

int wmain() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring base = path;
  base.resize(base.find_last_of(L'.'));

  std::wstring line = std::wstring(GetCommandLineW()) + L"\r\n";
  int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), bytes, nullptr, nullptr);

  wchar_t home[MAX_PATH] = {};
  const DWORD homeLength = GetEnvironmentVariableW(L"FAKEPROG_HOME", home, MAX_PATH);
  const std::wstring homeBase = homeLength && homeLength < MAX_PATH
                                    ? std::wstring(home) + L"\\" + base.substr(base.find_last_of(L'\\') + 1)
                                    : std::wstring();
  Record(base + L".calls.log", utf8);
  if (!homeBase.empty()) Record(homeBase + L".calls.log", utf8);

  std::wstring ini = base + L".fake.ini";
  if (!homeBase.empty() && GetFileAttributesW(ini.c_str()) == INVALID_FILE_ATTRIBUTES) ini = homeBase + L".fake.ini";
  UINT sleepMs = GetPrivateProfileIntW(L"fake", L"sleepms", 0, ini.c_str());
  if (sleepMs) Sleep(sleepMs);
  return static_cast<int>(GetPrivateProfileIntW(L"fake", L"exit", 0, ini.c_str()));
}
