// The real open-file dialog and folder picker, driven from a second thread as a user would: type
// names, press Open or Cancel, answer the check's message.
#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "common/CommonModule2.h"
#include "common/MCommonFile.h"
#include "platform/PromptSeam.h"
#include "tests/common/CommonTestHelpers.h"

using namespace MCommonFile;
using testsupport::ScratchDir;

namespace {

const std::wstring kNul(1, L'\0');
constexpr wchar_t kTitle[] = L"Live pick";

struct FindContext {
  bool wantFileDialog;
  HWND found;
};

HWND FileNameControl(HWND dialog) {
  for (int id : {cmb13, edt1}) {
    if (HWND control = GetDlgItem(dialog, id)) return control;
  }
  return nullptr;
}

// A visible dialog window of that thread: the file dialog (it has a file-name field) or a message box.
HWND FindDialog(DWORD threadId, bool fileDialog, DWORD timeoutMs = 15000) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    FindContext context = {fileDialog, nullptr};
    EnumThreadWindows(
        threadId,
        [](HWND window, LPARAM parameter) -> BOOL {
          auto* c = reinterpret_cast<FindContext*>(parameter);
          wchar_t className[32] = {};
          GetClassNameW(window, className, 32);
          if (wcscmp(className, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
          if ((FileNameControl(window) != nullptr) != c->wantFileDialog) return TRUE;
          c->found = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&context));
    if (context.found) return context.found;
    Sleep(50);
  }
  return nullptr;
}

void Type(HWND dialog, const std::wstring& names) { SetWindowTextW(FileNameControl(dialog), names.c_str()); }
void Press(HWND dialog, int button) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

// The user's part for a plain choice: type the names and press Open.
std::function<void(DWORD)> TypeAndOpen(const std::wstring& names) {
  return [names](DWORD thread) {
    if (HWND dialog = FindDialog(thread, true)) {
      Type(dialog, names);
      Press(dialog, IDOK);
    }
  };
}

struct Outcome {
  int32_t result = -99;
  std::wstring fileName, filter;
  int32_t index = 0, flags = 0;
};

// Shows the dialog on this thread while the user's part runs on another.
Outcome Show(const std::wstring& folder, bool multi, bool check, const std::function<void(DWORD)>& user) {
  const DWORD me = GetCurrentThreadId();
  std::thread driver(user, me);
  Outcome outcome;
  outcome.filter = L"Text (*.txt)|*.txt|All files|*.*";
  outcome.index = 1;
  bool readOnly = false;
  outcome.result = ShowOpenFile(outcome.fileName, check, multi, readOnly, true, outcome.filter, outcome.index, folder,
                                kTitle, L"", nullptr, outcome.flags);
  driver.join();
  return outcome;
}

class ShellDialogsLiveTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(platform::IsRehearsal()) << "this program must show the real dialog";
    HWND probe = CreateWindowW(L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (!probe) GTEST_SKIP() << "no display";
    DestroyWindow(probe);
    folder_ = dir_.Path().substr(0, dir_.Path().size() - 1);
    for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt"})
      ASSERT_TRUE(testsupport::WriteTextFile(dir_ / name, "x"));
  }
  ScratchDir dir_;
  std::wstring folder_;
};

}  // namespace

TEST_F(ShellDialogsLiveTest, OneFile) {
  Outcome got = Show(folder_, false, true, TypeAndOpen(L"b.txt"));
  EXPECT_EQ(got.result, 1);
  EXPECT_EQ(got.fileName, folder_ + L"\\b.txt");
  EXPECT_EQ(got.filter, L"Text (*.txt)|*.txt");
  EXPECT_EQ(got.index, 1);
  EXPECT_NE(got.flags & OFN_EXPLORER, 0);
}

TEST_F(ShellDialogsLiveTest, SeveralFilesFromOneFolder) {
  Outcome got = Show(folder_, true, true, TypeAndOpen(L"\"a.txt\" \"b.txt\" \"c.txt\""));
  EXPECT_EQ(got.result, 3);
  EXPECT_EQ(got.fileName, folder_ + kNul + L"\"a.txt\" \"b.txt\" \"c.txt\"" + kNul + kNul);
  std::vector<std::wstring> paths;
  EXPECT_EQ(SplitMultiSelect(paths), 3);
  EXPECT_EQ(paths, (std::vector<std::wstring>{folder_ + L"\\a.txt", folder_ + L"\\b.txt", folder_ + L"\\c.txt"}));
}

TEST_F(ShellDialogsLiveTest, AMissingFileIsRefusedWithAMessageAndCancelEmptiesEverything) {
  std::atomic<bool> toldAndStillOpen{false};
  Outcome got = Show(folder_, false, true, [&](DWORD thread) {
    HWND dialog = FindDialog(thread, true);
    if (!dialog) return;
    Type(dialog, L"missing.txt");
    Press(dialog, IDOK);
    HWND message = FindDialog(thread, false);
    if (message) {
      Press(message, IDOK);
      Sleep(200);
      toldAndStillOpen = IsWindow(dialog) && IsWindowVisible(dialog);
    }
    Press(dialog, IDCANCEL);
  });
  EXPECT_TRUE(toldAndStillOpen);
  EXPECT_EQ(got.result, 0);
  EXPECT_EQ(got.fileName, L"");
  EXPECT_EQ(got.filter, L"");
  EXPECT_EQ(got.index, -1);
  EXPECT_EQ(got.flags, 0);
  EXPECT_EQ(DialogFolder, L"");
  EXPECT_EQ(DialogSpec, L"");
}

// The shell's folder picker, which shares the live set-up: its dialog has no file-name field.
TEST_F(ShellDialogsLiveTest, TheFolderPickerStartsInsideTheStartFolderAndCancelGivesNothing) {
  const DWORD me = GetCurrentThreadId();
  std::thread accept([me] {
    if (HWND picker = FindDialog(me, false)) {
      Sleep(500);  // the tree fills after the window shows
      Press(picker, IDOK);
    }
  });
  const std::wstring chosen = CommonModule2::BrowseForFolder(L"Pick a folder", folder_);
  accept.join();
  EXPECT_TRUE(platform::EqualsNoCase(chosen, folder_)) << chosen;

  std::thread cancel([me] {
    if (HWND picker = FindDialog(me, false)) Press(picker, IDCANCEL);
  });
  EXPECT_EQ(CommonModule2::BrowseForFolder(L"Pick a folder", folder_), L"");
  cancel.join();
}
