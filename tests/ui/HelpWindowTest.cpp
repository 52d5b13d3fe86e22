// The command-line help window as a user sees it: a real window under Xvfb, read and closed from
// outside the program.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/Handle.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

BOOL CALLBACK CollectText(HWND child, LPARAM param) {
  wchar_t text[512] = {};
  GetWindowTextW(child, text, 512);
  reinterpret_cast<std::vector<std::wstring>*>(param)->push_back(text);
  return TRUE;
}

HWND WaitForWindow(const wchar_t* caption, DWORD processId, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
    HWND window = FindWindowW(nullptr, caption);
    DWORD owner = 0;
    // Visible only once the dialog and all its controls are made.
    if (window && IsWindowVisible(window) && GetWindowThreadProcessId(window, &owner) && owner == processId)
      return window;
    Sleep(100);
  }
  return nullptr;
}

}  // namespace

TEST(HelpWindow, ShowsEverySwitchAndClosesWithOk) {
  InstalledProgram program;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  // Only slashes: nothing to do, so the help window opens (no rehearsal: the window stays).
  std::wstring line = L"\"" + program.ExePath() + L"\" / /";
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
  platform::UniqueKernelHandle process(info.hProcess), thread(info.hThread);

  HWND window =
      WaitForWindow((std::wstring(kProductName) + L":  Command Line Parameters").c_str(), info.dwProcessId, 30000);
  ASSERT_NE(window, nullptr) << "the help window did not appear";
  std::vector<std::wstring> texts;
  EnumChildWindows(window, CollectText, reinterpret_cast<LPARAM>(&texts));
  for (const std::wstring& expected :
       std::vector<std::wstring>{L"Command Line Parameters:", L"/apply", L"Apply protection and alert when completed.",
                                 L"/tempexes", L"from archives.  (not recommended!)", L"/w=[filename.exe]",
                                 L"Whitelist a specific executable in %appdata%  ", L"/undoall", L"Example Usage:",
                                 std::wstring(kMainProgram) + L" /apply /appdata /whitelist /reboot",
                                 std::wstring(kMainProgram) + L" /w=Foo\\Bar.exe /silent", L"OK"}) {
    EXPECT_NE(std::find(texts.begin(), texts.end(), expected), texts.end()) << "missing: " << testing::PrintToString(std::wstring(expected));
  }

  SendMessageW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0) << "OK closes the window and ends the program";
  if (WaitForSingleObject(process.get(), 0) != WAIT_OBJECT_0) TerminateProcess(process.get(), 1);
}
