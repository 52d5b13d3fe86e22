// The About window and the user hash-list editor as a user meets them: each live under Xvfb in the
// probe that hosts it as the main program does, driven from here.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/Text.h"
#include "tests/support/ProductState.h"
#include "tests/support/StandardUserAccess.h"
#include "tests/support/TestSupport.h"
#include "tests/support/LiveWindow.h"

using namespace testsupport;
using namespace livewindow;

namespace {

std::string U(const std::wstring& text) { return platform::ToUtf8(text); }

std::wstring ProbePath() { return TestsDir() + L"editorwindowsprobe.exe"; }

void ExpectBox(const LiveProgram& program, const std::wstring& text, std::vector<int> buttons, int answer) {
  MessageBoxSeen box = WaitForMessageBox(program.ProcessId());
  ASSERT_NE(box.window, nullptr) << "no message box: " << U(text);
  EXPECT_EQ(box.caption, kProductName);
  EXPECT_EQ(box.text, text);
  std::sort(buttons.begin(), buttons.end());
  std::sort(box.buttons.begin(), box.buttons.end());
  EXPECT_EQ(box.buttons, buttons) << U(text);
  Answer(box, answer);
}

void ExpectNoBox(const LiveProgram& program) {
  EXPECT_EQ(WaitForMessageBox(program.ProcessId(), 800).window, nullptr);
}

// ---- About window -------------------------------------------------------------------------------

enum : int { kPicture1 = 2002, kLabel2 = 2004, kLabel4 = 2009, kLabel7 = 2011 };

// Web addresses go to a recording stand-in instead of a browser while the test runs.
class BrowserStandIn {
 public:
  BrowserStandIn() {
    fake_ = dir_ / L"browser.exe";
    CopyProgram(L"fakeprog.exe", fake_);
    for (const wchar_t* scheme : {L"http", L"https"}) {
      const std::wstring key = std::wstring(L"SOFTWARE\\Classes\\") + scheme + L"\\shell\\open\\command";
      std::wstring old;
      saved_.push_back({key, RegRead(HKEY_LOCAL_MACHINE, key, L"", old), old});
      RegWriteString(HKEY_LOCAL_MACHINE, key, L"", L"\"" + fake_ + L"\" \"%1\"");
    }
  }
  ~BrowserStandIn() {
    for (const auto& s : saved_) {
      if (s.existed) {
        RegWriteString(HKEY_LOCAL_MACHINE, s.key, L"", s.value);
      } else {
        RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, s.key);
      }
    }
  }
  std::vector<std::wstring> Opened() const { return Lines(ReadTextFile(dir_ / L"browser.calls.log")); }

 private:
  struct Saved {
    std::wstring key;
    bool existed;
    std::wstring value;
  };
  ScratchDir dir_;
  std::wstring fake_;
  std::vector<Saved> saved_;
};

TEST(AboutWindow, ShowsItsTextsAndAsksBeforeEveryLink) {
  BrowserStandIn browser;
  LiveProgram program(L"\"" + ProbePath() + L"\" form3");
  ASSERT_TRUE(program.Started());
  HWND window = WaitForWindow(std::wstring(kProductName) + L":  About", program.ProcessId());
  ASSERT_NE(window, nullptr) << "the About window did not appear";
  EXPECT_EQ(Text(window), std::wstring(kProductName) + L":  About");
  const std::vector<std::wstring> texts = ChildTexts(window);
  for (const std::wstring& expected : std::vector<std::wstring>{
           std::wstring(kProductName) + L" was originally based on the prevention info in:",
           L"Some information on prevention tactics provided by:", L"PC technicians from around the globe",
           L"For the most current information on this tool, visit:",
           L"For a white-label redistributable version for IT providers:",
           std::wstring(L"Learn more about ") + kProductName + L" White-Label", L"OK"})
    EXPECT_NE(std::find(texts.begin(), texts.end(), expected), texts.end()) << "missing: " << U(expected);
  EXPECT_TRUE(platform::EndsWith(Text(GetDlgItem(window, 2006)), L"and some pretty awesome"));
  EXPECT_TRUE(platform::StartsWith(Text(GetDlgItem(window, kLabel4)), std::wstring(kProductName) + L" on "));

  // Each link asks first; No opens nothing and leaves the window open.
  for (int link : {kPicture1, kLabel2, kLabel4, kLabel7}) {
    SCOPED_TRACE(link);
    ClickLabel(GetDlgItem(window, link));
    MessageBoxSeen box = WaitForMessageBox(program.ProcessId());
    ASSERT_NE(box.window, nullptr) << "no question";
    EXPECT_EQ(box.caption, kProductName);
    EXPECT_TRUE(platform::EndsWith(box.text, L"?")) << U(box.text);
    std::sort(box.buttons.begin(), box.buttons.end());
    EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO}));
    Answer(box, IDNO);
    EXPECT_TRUE(IsWindowVisible(window));
  }
  Sleep(1000);
  EXPECT_TRUE(browser.Opened().empty()) << "No opened " << U(browser.Opened().front());

  // Yes opens the page it named, once.
  ClickLabel(GetDlgItem(window, kLabel4));
  MessageBoxSeen box = WaitForMessageBox(program.ProcessId());
  ASSERT_NE(box.window, nullptr);
  Answer(box, IDYES);
  std::vector<std::wstring> opened;
  for (int i = 0; i < 100 && opened.empty(); ++i, Sleep(100)) opened = browser.Opened();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_NE(opened[0].find(std::wstring(L"https://") + kMakerWebHost + L"/" + kProductWebFolder), std::wstring::npos)
      << U(opened[0]);

  SendNotifyMessageW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
  EXPECT_TRUE(program.WaitForExit(20000)) << "OK closes the window";
}

TEST(AboutWindow, ASecondOpenBringsBackTheSameWindow) {
  LiveProgram program(L"\"" + ProbePath() + L"\" form3");
  HWND window = WaitForWindow(std::wstring(kProductName) + L":  About", program.ProcessId());
  ASSERT_NE(window, nullptr);
  ShowWindow(window, SW_MINIMIZE);
  Sleep(300);
  ASSERT_TRUE(PostThreadMessageW(program.ThreadId(), WM_APP, 0, 0));
  Sleep(1000);
  const auto windows = WindowsOf(std::wstring(kProductName) + L":  About", program.ProcessId());
  ASSERT_EQ(windows.size(), 1u) << "one window, not two";
  EXPECT_EQ(windows[0], window);
  EXPECT_FALSE(IsIconic(window)) << "brought back";
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.WaitForExit(20000));
}

// ---- User hash-list editor ----------------------------------------------------------------------

enum : int { kOptMd5 = 2202, kOptSha256 = 2203, kText1 = 2206, kSave = 2207 };
const wchar_t kModified[] = L"Definitions file has been modified, save it?";

// The kernel's version of Windows XP, where the lists live beside the program.
const wchar_t kXp[] = L"5.2";

// The editor in a probe whose data folder lies in a scratch folder (ILATCH_DATA_ROOT). With a
// kernel version the probe runs on that Windows (the test runs' stand-in); with a told version it
// is told that Windows, as its user can set (Wine's per-program version).
class HashEditor {
 public:
  explicit HashEditor(const std::wstring& kernel = L"", const std::wstring& told = L"") {
    const std::wstring folder = dir_.Path().substr(0, dir_.Path().size() - 1);
    const std::wstring exeName = L"hashprobe_" + folder.substr(folder.find_last_of(L'\\') + 1) + L".exe";
    exe_ = dir_ / exeName;
    CopyFileW(ProbePath().c_str(), exe_.c_str(), FALSE);
    if (!kernel.empty()) kernel_ = std::make_unique<KernelVersionStandIn>(kernel);
    if (!told.empty()) told_ = std::make_unique<WineProgramVersion>(exeName, told);
    CreateDirectoryW((dir_ / L"data").c_str(), nullptr);
    SetEnvironmentVariableW(L"ILATCH_DATA_ROOT", (dir_ / L"data").c_str());
    program_ = std::make_unique<LiveProgram>(L"\"" + exe_ + L"\" form11");
    window_ = WaitForWindow(L"User Blacklist HASH Definitions", program_->ProcessId());
  }
  ~HashEditor() {
    program_.reset();
    // The saves named a list index in the scratch folder, which goes with it.
    RegDeleteValueQuiet(HKEY_LOCAL_MACHINE, kSettingsKey, kListIndexValue);
  }
  HWND Window() const { return window_; }
  HWND Item(int id) const { return GetDlgItem(window_, id); }
  const LiveProgram& Program() const { return *program_; }
  std::wstring DataFolder() const { return dir_ / L"data" + kProductFolder + L"\\"; }
  std::wstring ProgramFolder() const { return dir_.Path(); }

 private:
  ScratchDir dir_;
  std::wstring exe_;
  std::unique_ptr<KernelVersionStandIn> kernel_;
  std::unique_ptr<WineProgramVersion> told_;
  std::unique_ptr<LiveProgram> program_;
  HWND window_ = nullptr;
};

TEST(HashListEditor, OpensWithNoListChosenAndSaysThatNothingIsSavedThen) {
  HashEditor editor;
  ASSERT_NE(editor.Window(), nullptr) << "the editor did not appear";
  EXPECT_TRUE(FolderExists(editor.DataFolder())) << "the data folder is made at the start";
  EXPECT_FALSE(IsChecked(editor.Window(), kOptMd5));
  EXPECT_FALSE(IsChecked(editor.Window(), kOptSha256));
  EXPECT_EQ(Text(editor.Item(kText1)), L"");
  EXPECT_NE(GetWindowLongW(editor.Item(kText1), GWL_STYLE) & ES_READONLY, 0)
      << "nothing can be typed before a list is chosen: it would belong to no list";
  for (int id : {2201, 2204, 2205, static_cast<int>(kSave)}) EXPECT_NE(Text(editor.Item(id)), L"");
  EXPECT_EQ(Text(editor.Item(2204)), L"Place each file hash value on a separate line.  ");
  EXPECT_EQ(Text(editor.Item(2205)),
            std::wstring(L"These definitions apply only to the ") + kProductName + L" Filter Module.  ");

  Click(editor.Window(), kSave);
  ExpectBox(editor.Program(), L"Nothing was saved: select a hash type first.", {IDOK}, IDOK);
  EXPECT_FALSE(FileExists(editor.DataFolder() + L"UserExecFilter.md5"));
  EXPECT_FALSE(FileExists(editor.DataFolder() + L"UserExecFilter.sha256"));
  PostMessageW(editor.Window(), WM_CLOSE, 0, 0);
  ExpectNoBox(editor.Program());
  EXPECT_TRUE(editor.Program().WaitForExit(20000));
}

TEST(HashListEditor, LoadsEditsAndSavesEachListInItsOwnFile) {
  HashEditor editor;
  ASSERT_NE(editor.Window(), nullptr);
  const std::wstring md5 = editor.DataFolder() + L"UserExecFilter.md5";
  const std::wstring sha = editor.DataFolder() + L"UserExecFilter.sha256";
  ASSERT_TRUE(WriteTextFile(md5, "\r\n\r\n; my md5 list\r\nD41D8CD98F00B204E9800998ECF8427E\r\n\r\nabc\r\n"));
  const std::string shaList = "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855\r\n";
  ASSERT_TRUE(WriteTextFile(sha, shaList));

  HWND box = editor.Item(kText1);
  Click(editor.Window(), kOptMd5);
  EXPECT_EQ(GetWindowLongW(box, GWL_STYLE) & ES_READONLY, 0) << "a chosen list can be edited";
  EXPECT_EQ(Text(box), L"; my md5 list\r\nD41D8CD98F00B204E9800998ECF8427E\r\n\r\nabc") << "leading empty lines dropped";
  Click(editor.Window(), kSave);  // unchanged: written back as shown
  ExpectBox(editor.Program(), L"File Saved!", {IDOK}, IDOK);
  EXPECT_EQ(ReadFileBytes(md5), "; my md5 list\r\nD41D8CD98F00B204E9800998ECF8427E\r\n\r\nabc\r\n");

  // Changed, then another list chosen: Yes saves into the list that was shown.
  Type(box, L"0CC175B9C0F1B6A831C399E269772661\r\nnot checked, kept as typed");
  Click(editor.Window(), kOptSha256);
  ExpectBox(editor.Program(), kModified, {IDYES, IDNO}, IDYES);
  EXPECT_EQ(ReadFileBytes(md5), "0CC175B9C0F1B6A831C399E269772661\r\nnot checked, kept as typed\r\n");
  EXPECT_EQ(ReadFileBytes(sha), shaList);
  EXPECT_EQ(Text(box), L"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855");

  // No throws the change away.
  Type(box, L"thrown away");
  Click(editor.Window(), kOptMd5);
  ExpectBox(editor.Program(), kModified, {IDYES, IDNO}, IDNO);
  EXPECT_EQ(ReadFileBytes(sha), shaList);
  EXPECT_EQ(Text(box), L"0CC175B9C0F1B6A831C399E269772661\r\nnot checked, kept as typed");

  // A click on the list already shown is no switch: nothing asked, nothing saved elsewhere.
  Type(box, L"AAAA");
  Click(editor.Window(), kOptMd5);
  ExpectNoBox(editor.Program());
  EXPECT_EQ(ReadFileBytes(sha), shaList);
  EXPECT_EQ(Text(box), L"AAAA");

  // Closing with a change asks; Yes saves into the chosen list.
  PostMessageW(editor.Window(), WM_CLOSE, 0, 0);
  ExpectBox(editor.Program(), kModified, {IDYES, IDNO}, IDYES);
  EXPECT_TRUE(editor.Program().WaitForExit(20000));
  EXPECT_EQ(ReadFileBytes(md5), "AAAA\r\n");
  EXPECT_EQ(ReadFileBytes(sha), shaList);
}

TEST(HashListEditor, AnEmptyBoxDeletesTheListAndAMissingListShowsEmpty) {
  HashEditor editor;
  ASSERT_NE(editor.Window(), nullptr);
  const std::wstring sha = editor.DataFolder() + L"UserExecFilter.sha256";
  ASSERT_TRUE(WriteTextFile(sha, "ABCDEF\r\n"));
  Click(editor.Window(), kOptMd5);  // no file yet
  EXPECT_EQ(Text(editor.Item(kText1)), L"");
  Click(editor.Window(), kOptSha256);
  ExpectNoBox(editor.Program());  // loading a missing list leaves the window clean
  EXPECT_EQ(Text(editor.Item(kText1)), L"ABCDEF");
  Type(editor.Item(kText1), L"");
  Click(editor.Window(), kSave);
  ExpectBox(editor.Program(), L"File Saved!", {IDOK}, IDOK);
  EXPECT_FALSE(FileExists(sha));
  Click(editor.Window(), kSave);  // deleting a missing list is no error
  ExpectBox(editor.Program(), L"File Saved!", {IDOK}, IDOK);
  PostMessageW(editor.Window(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(editor.Program().WaitForExit(20000));
}

TEST(HashListEditor, AListThatCannotBeReadIsNeverOverwritten) {
  HashEditor editor;
  ASSERT_NE(editor.Window(), nullptr);
  const std::wstring md5 = editor.DataFolder() + L"UserExecFilter.md5";
  ASSERT_TRUE(WriteTextFile(md5, "KEEPME\r\n"));
  {
    platform::UniqueFileHandle lock(CreateFileW(md5.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(static_cast<bool>(lock));
    Click(editor.Window(), kOptMd5);
    MessageBoxSeen box = WaitForMessageBox(editor.Program().ProcessId());
    ASSERT_NE(box.window, nullptr) << "the user is told";
    EXPECT_NE(box.text.find(md5), std::wstring::npos) << U(box.text);
    Answer(box, IDOK);
  }
  Click(editor.Window(), kSave);
  ExpectBox(editor.Program(), L"The file could not be saved:\r\n" + md5, {IDOK}, IDOK);
  EXPECT_EQ(ReadFileBytes(md5), "KEEPME\r\n") << "an empty box saved over an unread list would lose it";
  PostMessageW(editor.Window(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(editor.Program().WaitForExit(20000));
}

// "File Saved!" only for a list that was written; a save that fails says so and loses nothing.
TEST(HashListEditor, ASaveThatFailsSaysSoAndKeepsTheText) {
  HashEditor editor;
  ASSERT_NE(editor.Window(), nullptr);
  const std::wstring sha = editor.DataFolder() + L"UserExecFilter.sha256";
  ASSERT_TRUE(CreateDirectoryW(sha.c_str(), nullptr)) << "a folder in the list's place: no file can be written there";
  Click(editor.Window(), kOptSha256);
  Type(editor.Item(kText1), L"FEEDFACE");
  Click(editor.Window(), kSave);
  ExpectBox(editor.Program(), L"The file could not be saved:\r\n" + sha, {IDOK}, IDOK);
  ExpectNoBox(editor.Program());

  // Closing asks to save; when that fails too the window stays with the text.
  PostMessageW(editor.Window(), WM_CLOSE, 0, 0);
  ExpectBox(editor.Program(), kModified, {IDYES, IDNO}, IDYES);
  ExpectBox(editor.Program(), L"The file could not be saved:\r\n" + sha, {IDOK}, IDOK);
  EXPECT_FALSE(editor.Program().WaitForExit(500));
  EXPECT_TRUE(IsWindow(editor.Window()));
  EXPECT_EQ(Text(editor.Item(kText1)), L"FEEDFACE");

  // Once the place is free the same save works, and only then is it reported as saved.
  ASSERT_TRUE(RemoveDirectoryW(sha.c_str()));
  Click(editor.Window(), kSave);
  ExpectBox(editor.Program(), L"File Saved!", {IDOK}, IDOK);
  EXPECT_EQ(ReadFileBytes(sha), "FEEDFACE\r\n");
  PostMessageW(editor.Window(), WM_CLOSE, 0, 0);
  ExpectNoBox(editor.Program());
  EXPECT_TRUE(editor.Program().WaitForExit(20000));
}

// On Windows XP the lists lie beside the program. A Windows version that the user sets for the
// program (a compatibility layer; here Wine's per-program version), also from an administrator's
// unelevated session, moves nothing: the lists still go to the data folder, where the filter
// module reads them.
TEST(HashListEditor, OnWindowsXpTheListsLieBesideTheProgramWhateverTheUserTellsIt) {
  const struct {
    const char* name;
    const wchar_t* kernel;
    const wchar_t* told;
    bool besideTheProgram;
  } cases[] = {
      {"Windows XP", kXp, L"", true},
      {"Windows 7 told winxp", L"", L"winxp", false},
      {"Windows 7 told winxp64", L"", L"winxp64", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HashEditor editor(c.kernel, c.told);
    ASSERT_NE(editor.Window(), nullptr);
    Click(editor.Window(), kOptSha256);
    Type(editor.Item(kText1), L"FEEDFACE");
    Click(editor.Window(), kSave);
    ExpectBox(editor.Program(), L"File Saved!", {IDOK}, IDOK);
    const std::wstring beside = editor.ProgramFolder() + L"UserExecFilter.sha256";
    const std::wstring inData = editor.DataFolder() + L"UserExecFilter.sha256";
    EXPECT_EQ(ReadFileBytes(c.besideTheProgram ? beside : inData), "FEEDFACE\r\n");
    EXPECT_FALSE(FileExists(c.besideTheProgram ? inData : beside));
    if (c.besideTheProgram) {
      EXPECT_FALSE(FolderExists(editor.DataFolder())) << "no data folder before Vista";
    }
    PostMessageW(editor.Window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(editor.Program().WaitForExit(20000));
  }
}

// A saved list ends with the folder's inherited rights, whatever the file it replaced carried:
// every user's filter module must be able to read it, and no user change it. Wine keeps no rights,
// so those the editor gives are taken from its record (ILATCH_RIGHTS_LOG).
TEST(HashListEditor, ASavedListLetsUsersReadAndOnlyAdministratorsChangeIt) {
  const auto user = TestToken(true);
  ASSERT_TRUE(user);
  for (const bool xp : {false, true}) {
    SCOPED_TRACE(xp ? "Windows XP, beside the program" : "the data folder");
    ScratchDir logs;
    SetEnvironmentVariableW(L"ILATCH_RIGHTS_LOG", (logs / L"rights.log").c_str());
    HashEditor editor(xp ? kXp : L"");
    SetEnvironmentVariableW(L"ILATCH_RIGHTS_LOG", nullptr);
    ASSERT_NE(editor.Window(), nullptr);
    const std::wstring md5 = (xp ? editor.ProgramFolder() : editor.DataFolder()) + L"UserExecFilter.md5";
    Click(editor.Window(), kOptMd5);
    Type(editor.Item(kText1), L"0CC175B9C0F1B6A831C399E269772661");
    Click(editor.Window(), kSave);
    ExpectBox(editor.Program(), L"File Saved!", {IDOK}, IDOK);
    EXPECT_EQ(ReadFileBytes(md5), "0CC175B9C0F1B6A831C399E269772661\r\n");
    EXPECT_FALSE(FileExists(md5 + L".new"));
    // The list, and the list index that came with it.
    const std::wstring index = md5.substr(0, md5.find_last_of(L'\\') + 1) + ListIndexName(CurrentListIndex());
    EXPECT_TRUE(FileExists(index));
    for (const std::wstring& file : {md5, index}) {
      SCOPED_TRACE(platform::ToUtf8(file));
      const std::wstring rights = RecordedRights(logs / L"rights.log")[platform::Lower(file)];
      EXPECT_TRUE(AccessGranted(user.get(), rights, FILE_GENERIC_READ)) << platform::ToUtf8(rights);
      EXPECT_FALSE(AccessGranted(user.get(), rights, FILE_WRITE_DATA));
      EXPECT_FALSE(AccessGranted(user.get(), rights, DELETE));
    }
    PostMessageW(editor.Window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(editor.Program().WaitForExit(20000));
  }
}

}  // namespace
