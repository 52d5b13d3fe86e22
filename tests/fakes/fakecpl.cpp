// A control-panel applet that records each message it is sent, with the build it is ("a" or "b",
// FAKECPL_MARK) and the file it was loaded from: "<mark> <message> <file>" in "<name>.calls.log"
// (tests/fakes/FakeCalls.h). A test that replaces the file can tell which build a host loaded.
// It shows no window.
#include <windows.h>
#include <cpl.h>

#include <string>

#include "tests/fakes/FakeCalls.h"

#ifndef FAKECPL_MARK
#define FAKECPL_MARK "a"
#endif

namespace {

HINSTANCE g_self = nullptr;

void Record(const wchar_t* message) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(g_self, self, MAX_PATH);
  std::wstring base = self;
  base.resize(base.find_last_of(L'.'));
  fakecalls::Record(base, std::wstring(L"" FAKECPL_MARK) + L" " + message + L" " + self + L"\r\n");
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_self = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) LONG CALLBACK CPlApplet(HWND, UINT message, LPARAM, LPARAM data) {
  switch (message) {
    case CPL_INIT:
      Record(L"CPL_INIT");
      return 1;
    case CPL_GETCOUNT:
      return 1;
    case CPL_INQUIRE: {
      auto* info = reinterpret_cast<CPLINFO*>(data);
      info->idIcon = info->idName = info->idInfo = 0;
      info->lData = 0;
      return 0;
    }
    case CPL_NEWINQUIRE: {
      auto* info = reinterpret_cast<NEWCPLINFOW*>(data);
      ZeroMemory(info, sizeof *info);
      info->dwSize = sizeof *info;
      lstrcpyW(info->szName, L"fakecpl");
      return 0;
    }
    case CPL_DBLCLK:
      Record(L"CPL_DBLCLK");
      return 0;
    case CPL_EXIT:
      Record(L"CPL_EXIT");
      return 0;
    default:
      return 0;
  }
}
