// The text-input box of the prompt seam: rehearsed (recorded, answered from the list) and real.
#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

#include "platform/PromptSeam.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

// Each case runs in a process of its own, so the seam reads the environment set here.
TEST(InputBox, RehearsalTakesTheAnswerAsTypedAndRecordsIt) {
  ScratchDir dir;
  const std::wstring log = dir / L"prompts.log";
  SetEnvironmentVariableW(L"ILATCH_PROMPT_LOG", log.c_str());
  SetEnvironmentVariableW(L"ILATCH_PROMPT_ANSWERS", L"Yes, Typed Text ,,YES");
  ASSERT_TRUE(platform::IsRehearsal());

  EXPECT_EQ(platform::ShowMessageBox(nullptr, L"q", L"c", MB_YESNO), IDYES) << "boxes ignore the letter case";
  EXPECT_EQ(platform::ShowInputBox(nullptr, L"Type:", L"Title", L"default"), L"Typed Text");
  EXPECT_EQ(platform::ShowInputBox(nullptr, L"Type:", L"Title", L"default"), L"") << "empty answer: Cancel";
  EXPECT_EQ(platform::ShowInputBox(nullptr, L"Type:", L"Title", L""), L"YES") << "letter case kept";
  EXPECT_EQ(platform::ShowInputBox(nullptr, L"Type:", L"Title", L"default"), L"") << "list used up: Cancel";

  auto records = ReadPromptLog(log);
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[1].kind, L"input");
  EXPECT_EQ(records[1].fields, (std::vector<std::wstring>{L"Title", L"Type:", L"default", L"Typed Text"}));
  EXPECT_EQ(records[4].fields, (std::vector<std::wstring>{L"Title", L"Type:", L"default", L""}));
}

namespace {

// Finds this process's input box, lets `act` work on it, and gives back what ShowInputBox returned.
template <typename Act>
std::wstring Answer(const std::wstring& defaultText, Act act) {
  std::thread user([&] {
    for (int i = 0; i < 200; ++i, Sleep(50)) {
      HWND box = FindWindowW(L"#32770", L"CONFIRMATION REQUESTED.");
      DWORD owner = 0;
      if (!box || !IsWindowVisible(box) || (GetWindowThreadProcessId(box, &owner), owner != GetCurrentProcessId()))
        continue;
      act(box, FindWindowExW(box, nullptr, L"Edit", nullptr));
      return;
    }
  });
  std::wstring typed = platform::ShowInputBox(nullptr, L"Confirm by typing:", L"CONFIRMATION REQUESTED.", defaultText);
  user.join();
  return typed;
}

}  // namespace

TEST(InputBox, RealBoxReturnsTheTextOnOkAndNothingOnCancel) {
  if (platform::IsRehearsal()) GTEST_SKIP() << "needs a process without a prompt log";
  EXPECT_EQ(Answer(L"", [](HWND box, HWND edit) {
              SetWindowTextW(edit, L"YES");
              SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            }),
            L"YES");
  EXPECT_EQ(Answer(L"preset", [](HWND box, HWND edit) {
              wchar_t shown[32] = {};
              GetWindowTextW(edit, shown, 32);
              EXPECT_STREQ(shown, L"preset");
              SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            }),
            L"preset");
  EXPECT_EQ(Answer(L"preset", [](HWND box, HWND edit) {
              SetWindowTextW(edit, L"typed");
              SendMessageW(GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0);
            }),
            L"");
}
