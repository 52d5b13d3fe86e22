// Records its command line in "<name>.calls.log" beside itself, then waits and exits as
// "<name>.fake.ini" says ([fake] sleepms=..., exit=...). A fake run from a folder that goes away
// after the run (a private download folder) is followed through FAKEPROG_HOME: when that names a
// folder, the line goes to "<name>.calls.log" there as well, and the ini is read from there when
// none lies beside the fake.
#include <windows.h>

#include <string>

#include "tests/fakes/FakeCalls.h"

int wmain() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring base = path;
  base.resize(base.find_last_of(L'.'));
  fakecalls::Record(base, std::wstring(GetCommandLineW()) + L"\r\n");

  const std::wstring homeBase = fakecalls::HomeBase(base);
  std::wstring ini = base + L".fake.ini";
  if (!homeBase.empty() && GetFileAttributesW(ini.c_str()) == INVALID_FILE_ATTRIBUTES) ini = homeBase + L".fake.ini";
  UINT sleepMs = GetPrivateProfileIntW(L"fake", L"sleepms", 0, ini.c_str());
  if (sleepMs) Sleep(sleepMs);
  return static_cast<int>(GetPrivateProfileIntW(L"fake", L"exit", 0, ini.c_str()));
}
