// The open-file dialog: its pieces as plain functions, the hook against a stand-in dialog frame,
// and the whole call in a rehearsal, where the answer comes from ILATCH_OPENFILE_ANSWER.
#include <windows.h>
#include <cderr.h>
#include <commdlg.h>

#include <gtest/gtest.h>

#include "common/MCommonFile.h"
#include "tests/common/CommonTestHelpers.h"
#include "tests/common/RehearsalLog.h"

using namespace MCommonFile;
using namespace std::string_literals;
using rehearsal::TakePrompts;
using testsupport::ScratchDir;

namespace {

const std::wstring kNul(1, L'\0');

// The dialog's state as the hook would have recorded it (the texts end with the dialog's NUL).
void Recorded(const std::wstring& folder, const std::wstring& spec) {
  DialogFolder = folder.empty() ? folder : folder + kNul;
  DialogSpec = spec.empty() ? spec : spec + kNul;
}

}  // namespace

TEST(OpenFilePieces, TheFilterTurnsBarsAndColonsIntoNulsAndEndsWithTwo) {
  EXPECT_EQ(ConvertFilter(L"EXEs (*.exe)|*.exe"), L"EXEs (*.exe)\0*.exe\0\0"s);
  EXPECT_EQ(ConvertFilter(L"Text: a|*.txt|All|*.*"), L"Text\0 a\0*.txt\0All\0*.*\0\0"s);
  EXPECT_EQ(ConvertFilter(L""), std::wstring(2, L'\0'));
}

TEST(OpenFilePieces, TheChosenFilterPairIsFoundByItsIndex) {
  const std::wstring two = ConvertFilter(L"EXEs (*.exe)|*.exe|All files|*.*");
  struct Case {
    std::wstring list;
    int32_t index;
    std::wstring pair;
  };
  const Case cases[] = {
      {ConvertFilter(L"EXEs (*.exe)|*.exe"), 1, L"EXEs (*.exe)|*.exe"},
      {two, 1, L"EXEs (*.exe)|*.exe"},
      {two, 2, L"All files|*.*"},
      {two, 3, L""},
      {two, 0, L""},
      {two, -1, L""},
      {ConvertFilter(L"Lonely"), 1, L""},  // a description without its pattern
      {L"", 1, L""},
      {L"EXEs|*.exe", 1, L""},  // not converted: no NUL
  };
  for (const auto& c : cases) EXPECT_EQ(GetFilterPair(c.list, c.index), c.pair) << c.index;
}

TEST(OpenFilePieces, FlagsKeepTheCallersExceptHookAndTemplateAndAlwaysHookExplorerStyle) {
  constexpr DWORD kAlways = OFN_EXPLORER | OFN_ENABLESIZING | OFN_ENABLEHOOK;
  struct Case {
    bool multi, readOnly, hideReadOnly;
    int32_t extra;
    DWORD flags;
  };
  const Case cases[] = {
      {false, false, false, 0, kAlways},
      {true, false, false, 0, kAlways | OFN_ALLOWMULTISELECT},
      {false, true, true, 0, kAlways | OFN_READONLY | OFN_HIDEREADONLY},
      {false, false, false, OFN_ENABLETEMPLATE | OFN_ENABLEHOOK | OFN_FILEMUSTEXIST, kAlways | OFN_FILEMUSTEXIST},
  };
  for (const auto& c : cases) EXPECT_EQ(DialogFlags(c.multi, c.readOnly, c.hideReadOnly, c.extra), c.flags);
}

TEST(OpenFilePieces, TheFileBufferAlwaysKeepsItsClosingNul) {
  for (size_t length : {size_t{0}, size_t{12}, kFileChars - 1, kFileChars, kFileChars + 40}) {
    SCOPED_TRACE(length);
    const std::wstring name(length, L'n');
    std::vector<wchar_t> buffer = FileBuffer(name);
    ASSERT_EQ(buffer.size(), kFileChars + 1);
    EXPECT_EQ(buffer.back(), L'\0');
    EXPECT_EQ(std::wstring(buffer.data()), name.substr(0, kFileChars));
  }
}

TEST(OpenFilePieces, SeveralFilesFromOneFolderAreJoinedToItInOrder) {
  Recorded(L"C:\\Data", L"\"a.exe\" \"b c.exe\" \"d.exe\"");
  std::vector<std::wstring> paths = {L"left over"};
  EXPECT_EQ(SplitMultiSelect(paths), 3);
  EXPECT_EQ(paths, (std::vector<std::wstring>{L"C:\\Data\\a.exe", L"C:\\Data\\b c.exe", L"C:\\Data\\d.exe"}));

  std::wstring fileName;
  EXPECT_EQ(TakeChoice(FileBuffer(L"ignored"), true, fileName), 3);
  EXPECT_EQ(fileName, L"C:\\Data" + kNul + L"\"a.exe\" \"b c.exe\" \"d.exe\"" + kNul + kNul);
}

TEST(OpenFilePieces, OneFileAndTheOddCasesOfTheSplit) {
  struct Case {
    std::wstring folder, spec;
    std::vector<std::wstring> paths;
  };
  const Case cases[] = {
      {L"C:\\Data", L"one.txt", {L"C:\\Data\\one.txt"}},
      {L"C:\\", L"one.txt", {L"C:\\one.txt"}},
      {L"C:\\Data", L"D:\\Else\\typed.txt", {L"D:\\Else\\typed.txt"}},  // a full path typed in
      {L"C:\\Data", L"\"a.txt\" \"unclosed", {L"C:\\Data\\a.txt"}},
      {L"", L"one.txt", {}},
      {L"C:\\Data", L"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.folder << " + " << c.spec);
    Recorded(c.folder, c.spec);
    std::vector<std::wstring> paths;
    EXPECT_EQ(SplitMultiSelect(paths), static_cast<int32_t>(c.paths.size()));
    EXPECT_EQ(paths, c.paths);
  }

  std::wstring fileName;
  EXPECT_EQ(TakeChoice(FileBuffer(L"C:\\Data\\one.txt"), false, fileName), 1);
  EXPECT_EQ(fileName, L"C:\\Data\\one.txt");
}

TEST(OpenFilePieces, OnlyAMultiSelectionThatOutgrewTheBufferSurvivesAFailedDialog) {
  EXPECT_TRUE(ChoiceStands(true, 0, false));
  EXPECT_TRUE(ChoiceStands(true, 0, true));
  EXPECT_TRUE(ChoiceStands(false, FNERR_BUFFERTOOSMALL, true));
  EXPECT_FALSE(ChoiceStands(false, FNERR_BUFFERTOOSMALL, false));
  EXPECT_FALSE(ChoiceStands(false, 0, true)) << "cancelled";
  EXPECT_FALSE(ChoiceStands(false, CDERR_STRUCTSIZE, true));
}

TEST(OpenFilePieces, SmallHelpers) {
  EXPECT_EQ(TrimNullW(std::wstring(L"ab\0cd", 5)), L"ab");
  EXPECT_EQ(TrimNullW(L"abc"), L"abc");
  EXPECT_EQ(StringFromPtrW(nullptr), L"");
  EXPECT_EQ(StringFromPtrW(L""), L"");
  EXPECT_EQ(StringFromPtrW(L"text"), L"text");
  EXPECT_EQ(CombinePath(L"C:\\a", L"b.txt"), L"C:\\a\\b.txt");
  EXPECT_EQ(CombinePath(L"C:\\a", std::wstring(300, L'x')), L"") << "too long for the buffer";

  ScratchDir dir;
  ASSERT_TRUE(testsupport::WriteTextFile(dir / L"there.txt", "x"));
  EXPECT_TRUE(IsExistingFile(dir / L"there.txt"));
  EXPECT_FALSE(IsExistingFile(dir / L"missing.txt"));
  EXPECT_FALSE(IsExistingFile(dir.Path()));
}

namespace {

// A stand-in for the dialog's frame: answers the two questions the hook asks, and the hook's own
// window as its child, with room for the dialog result.
LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  static std::wstring spec, folder;
  if (message == CDM_GETSPEC || message == CDM_GETFOLDERPATH) {
    const std::wstring& text = message == CDM_GETSPEC ? spec : folder;
    if (wParam > text.size()) wcscpy(reinterpret_cast<wchar_t*>(lParam), text.c_str());
    return static_cast<LRESULT>(text.size() + 1);
  }
  if (message == WM_APP) {  // sets the texts the frame reports
    spec = reinterpret_cast<const wchar_t*>(wParam);
    folder = reinterpret_cast<const wchar_t*>(lParam);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

class StandInDialog {
 public:
  StandInDialog() {
    WNDCLASSW frameClass = {};
    frameClass.lpfnWndProc = FrameProc;
    frameClass.hInstance = GetModuleHandleW(nullptr);
    frameClass.lpszClassName = L"ilatchTestFrame";
    RegisterClassW(&frameClass);
    WNDCLASSW hookClass = {};
    hookClass.lpfnWndProc = DefWindowProcW;
    hookClass.cbWndExtra = DLGWINDOWEXTRA;
    hookClass.hInstance = GetModuleHandleW(nullptr);
    hookClass.lpszClassName = L"ilatchTestHook";
    RegisterClassW(&hookClass);
    frame_ = CreateWindowW(L"ilatchTestFrame", L"Pick a program", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
    hook_ = CreateWindowW(L"ilatchTestHook", L"", WS_CHILD, 0, 0, 10, 10, frame_, nullptr, GetModuleHandleW(nullptr),
                          nullptr);
  }
  ~StandInDialog() {
    if (frame_) DestroyWindow(frame_);
  }
  bool Made() const { return frame_ && hook_; }
  void Shows(const std::wstring& folder, const std::wstring& spec) {
    SendMessageW(frame_, WM_APP, reinterpret_cast<WPARAM>(spec.c_str()), reinterpret_cast<LPARAM>(folder.c_str()));
  }
  UINT_PTR Notify(UINT code) {
    OFNOTIFYW notice = {};
    notice.hdr.hwndFrom = frame_;
    notice.hdr.code = code;
    return OpenFileHookProc(hook_, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notice));
  }
  LONG_PTR DialogResult() const { return GetWindowLongPtrW(hook_, DWLP_MSGRESULT); }
  HWND Hook() const { return hook_; }

 private:
  HWND frame_ = nullptr;
  HWND hook_ = nullptr;
};

}  // namespace

TEST(OpenFileHook, RecordsTheFolderAndTheNamesAndRefusesMissingFilesWhenAsked) {
  ASSERT_TRUE(rehearsal::kRehearsing);
  StandInDialog dialog;
  if (!dialog.Made()) GTEST_SKIP() << "no windows without a display";
  TakePrompts();
  ScratchDir dir;
  const std::wstring folder = dir.Path().substr(0, dir.Path().size() - 1);
  ASSERT_TRUE(testsupport::WriteTextFile(dir / L"a.txt", "x"));
  ASSERT_TRUE(CreateDirectoryW((dir / L"sub").c_str(), nullptr));

  EXPECT_EQ(OpenFileHookProc(dialog.Hook(), WM_INITDIALOG, 0, 0), 1u);
  EXPECT_EQ(OpenFileHookProc(dialog.Hook(), WM_SIZE, 0, 0), 0u);

  dialog.Shows(folder, L"\"a.txt\" \"sub\"");
  EXPECT_EQ(dialog.Notify(CDN_FOLDERCHANGE), 0u);
  EXPECT_EQ(DialogFolder, folder + kNul);
  EXPECT_EQ(dialog.Notify(CDN_SELCHANGE), 0u);
  EXPECT_EQ(DialogSpec, L"\"a.txt\" \"sub\"" + kNul);

  DialogCheckFiles = false;
  EXPECT_EQ(dialog.Notify(CDN_FILEOK), 0u) << "unchecked: anything goes";
  EXPECT_TRUE(TakePrompts().empty());

  DialogCheckFiles = true;
  EXPECT_EQ(dialog.Notify(CDN_FILEOK), 1u) << "a folder is not a file";
  EXPECT_EQ(dialog.DialogResult(), 1);
  auto prompts = TakePrompts();
  ASSERT_EQ(prompts.size(), 1u);
  const std::vector<std::wstring> box = {
      L"Pick a program", L"0x30",
      dir / L"sub" + L"\r\nFile not found.\r\nPlease verify the correct file name was given.", L"ok"};
  EXPECT_EQ(prompts[0].fields, box);

  dialog.Shows(folder, L"\"a.txt\" \"missing.txt\" \"sub\"");
  EXPECT_EQ(dialog.Notify(CDN_FILEOK), 1u);
  prompts = TakePrompts();
  ASSERT_EQ(prompts.size(), 1u) << "only the first name that fails is reported";
  EXPECT_TRUE(platform::StartsWith(prompts[0].fields[2], dir / L"missing.txt" + L"\r\n"));

  dialog.Shows(folder, L"a.txt");
  EXPECT_EQ(dialog.Notify(CDN_FILEOK), 0u);
  EXPECT_TRUE(TakePrompts().empty());
  DialogCheckFiles = false;
}

TEST(OpenFileRehearsal, NoAnswerIsACancel) {
  ASSERT_TRUE(rehearsal::kRehearsing);
  TakePrompts();
  commontest::EnvironmentGuard environment;
  environment.Set(L"ILATCH_OPENFILE_ANSWER", nullptr);
  Recorded(L"C:\\Old", L"old.txt");
  std::wstring fileName = L"start.exe", filter = L"EXEs (*.exe)|*.exe";
  bool readOnly = true;
  int32_t index = 1, flags = OFN_FILEMUSTEXIST;
  EXPECT_EQ(ShowOpenFile(fileName, true, false, readOnly, false, filter, index, L"C:\\", L"Pick C:\\ a program", L"exe",
                         nullptr, flags),
            0);
  EXPECT_EQ(fileName, L"");
  EXPECT_EQ(filter, L"");
  EXPECT_EQ(index, -1);
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(DialogFolder, L"");
  EXPECT_EQ(DialogSpec, L"");
  auto prompts = TakePrompts();
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_EQ(prompts[0].kind, L"openfile");
  EXPECT_EQ(prompts[0].fields, std::vector<std::wstring>{L"Pick C:\\ a program"});
}

TEST(OpenFileRehearsal, TheAnswerComesBackAsOneChosenFile) {
  ASSERT_TRUE(rehearsal::kRehearsing);
  commontest::EnvironmentGuard environment;
  environment.Set(L"ILATCH_OPENFILE_ANSWER", L"C:\\Tools\\chosen.exe");
  std::wstring fileName, filter = L"Text|*.txt|EXEs (*.exe)|*.exe";
  bool readOnly = false;
  int32_t index = 2, flags = 0;
  EXPECT_EQ(ShowOpenFile(fileName, false, false, readOnly, true, filter, index, L"", L"", L"", nullptr, flags), 1);
  EXPECT_EQ(fileName, L"C:\\Tools\\chosen.exe");
  EXPECT_EQ(filter, L"EXEs (*.exe)|*.exe");
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(readOnly);
  EXPECT_EQ(static_cast<DWORD>(flags), DialogFlags(false, false, true, 0));

  fileName.clear();
  filter = L"EXEs (*.exe)|*.exe";
  index = 1;
  EXPECT_EQ(ShowOpenFile(fileName, false, true, readOnly, false, filter, index, L"", L"", L"", nullptr, flags), 1);
  EXPECT_EQ(fileName, L"C:\\Tools" + kNul + L"chosen.exe" + kNul + kNul);
  EXPECT_EQ(filter, L"EXEs (*.exe)|*.exe");
  TakePrompts();
}
