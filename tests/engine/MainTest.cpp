// The main program started the way administrators and scripts start it: what the user is shown and
// what is left in the registry and the program folder.
#include <gtest/gtest.h>

#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

const wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

class MainTest : public testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kMakerKey);
    RegDeleteValueQuiet(HKEY_LOCAL_MACHINE, kRunOnceKey, kRestartTestValue);
  }

  // Runs the program and returns what it showed, in order.
  std::vector<PromptRecord> RunShown(const std::wstring& arguments, const std::wstring& answers = L"") {
    RunResult result = program.Run(arguments, answers);
    EXPECT_TRUE(result.finished) << "the program did not end";
    return program.Prompts();
  }

  InstalledProgram program;
};

const std::wstring kHelpCaption = std::wstring(kProductName) + L":  Command Line Parameters";

void ExpectHelpWindow(const PromptRecord& record) {
  EXPECT_EQ(record.kind, L"window");
  ASSERT_EQ(record.fields.size(), 2u);
  EXPECT_EQ(record.fields[0], L"Form2");
  EXPECT_EQ(record.fields[1], kHelpCaption);
}

// A box record: caption, flags, text, answer.
void ExpectBox(const PromptRecord& record, const std::wstring& text, const std::wstring& flags) {
  EXPECT_EQ(record.kind, L"box");
  ASSERT_EQ(record.fields.size(), 4u);
  EXPECT_EQ(record.fields[0], kProductName);
  EXPECT_EQ(record.fields[1], flags);
  EXPECT_EQ(record.fields[2], text);
}

std::wstring Setting(const std::wstring& subkey, const std::wstring& value) {
  std::wstring text;
  return RegRead(HKEY_LOCAL_MACHINE, std::wstring(kSettingsKey) + subkey, value, text) ? text : L"<missing>";
}

}  // namespace

TEST_F(MainTest, UnknownSwitchIsReportedWithTheHelpWindowAndNothingActs) {
  auto shown = RunShown(L"/noallowprompt /Bogus /apply");
  ASSERT_EQ(shown.size(), 2u);
  ExpectBox(shown[0], L"The command parameter:  \"bogus \" was not recognized.  No changes made.", L"0x0");
  ExpectHelpWindow(shown[1]);
  EXPECT_EQ(Setting(L"\\FilterModule", L"NoAllow"), L"<missing>");
}

TEST_F(MainTest, ImmediateSwitchesAloneEndWithTheHelpWindow) {
  auto shown = RunShown(L"/NoAllowPrompt");
  ASSERT_EQ(shown.size(), 1u);
  ExpectHelpWindow(shown[0]);
  EXPECT_EQ(Setting(L"\\FilterModule", L"NoAllow"), L"1");

  RunShown(L"/allowprompt");
  EXPECT_EQ(Setting(L"\\FilterModule", L"NoAllow"), L"0");
}

TEST_F(MainTest, OnlySlashesShowTheHelpWindow) {
  auto shown = RunShown(L"/ /");
  ASSERT_EQ(shown.size(), 1u);
  ExpectHelpWindow(shown[0]);
}

TEST_F(MainTest, ValueSwitchesAloneEndQuietly) {
  EXPECT_TRUE(RunShown(L"/w=Tool.exe /b=*\\x.exe").empty());
}

TEST_F(MainTest, ApplyAsksToRestartAndQueuesThePreventionTest) {
  auto shown = RunShown(L"/apply /appdata", L"yes");
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].kind, L"window") << "the status window of the policy refresh";
  EXPECT_EQ(shown[0].fields[0], L"frmStatusWin");
  ExpectBox(shown[1],
            L"Prevention policies created, but you should restart the PC for changes to take effect!  Restart now?",
            L"0x24");
  EXPECT_EQ(shown[2].kind, L"reboot");
  std::wstring entry;
  ASSERT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kRunOnceKey, kRestartTestValue, entry));
  EXPECT_EQ(entry, L"cmd /c start \"\" \"" + program.ExePath() + L"\" /test");
}

TEST_F(MainTest, DecliningTheRestartLeavesNothingQueued) {
  auto shown = RunShown(L"/apply /whitelist /nogpupdate", L"no");
  ASSERT_EQ(shown.size(), 1u);
  ExpectBox(shown[0],
            L"Prevention and whitelist policies created, but you should restart the PC for changes to take effect!  "
            L"Restart now?",
            L"0x24");
  std::wstring entry;
  EXPECT_FALSE(RegRead(HKEY_LOCAL_MACHINE, kRunOnceKey, kRestartTestValue, entry));
}

TEST_F(MainTest, WhitelistAloneRestartsWithoutQueueingTheTest) {
  auto shown = RunShown(L"/whitelist", L"yes");
  ASSERT_EQ(shown.size(), 2u);
  ExpectBox(shown[0], L"Whitelist policies created, but you should restart the PC for changes to take effect!  Restart now?",
            L"0x24");
  EXPECT_EQ(shown[1].kind, L"reboot");
  std::wstring entry;
  EXPECT_FALSE(RegRead(HKEY_LOCAL_MACHINE, kRunOnceKey, kRestartTestValue, entry));
}

TEST_F(MainTest, SilentAndRebootAskNothing) {
  EXPECT_TRUE(RunShown(L"/silent /appdata").empty());
  auto shown = RunShown(L"/reboot /nogpupdate");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].kind, L"reboot");
}

TEST_F(MainTest, UndoWinsOverApplyAndReportsUnlessSilent) {
  auto shown = RunShown(L"/apply /undo /nogpupdate");
  ASSERT_EQ(shown.size(), 1u);
  ExpectBox(shown[0], L"Prevention Removed.", L"0x0");

  InstalledProgram quiet;
  quiet.Run(L"/undoall /silent");
  EXPECT_TRUE(quiet.Prompts().empty());
}

TEST_F(MainTest, ApplyIniWithoutTheIniDoesNothing) { EXPECT_TRUE(RunShown(L"/applyini /apply").empty()); }

TEST_F(MainTest, InstallerMarksTheProgramInstalled) {
  EXPECT_TRUE(RunShown(L"/installer").empty());
  EXPECT_EQ(Setting(L"", L"Installed"), L"1");
}

TEST_F(MainTest, UninstallerAsksWhetherToKeepTheSettings) {
  RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"Installed", L"1");
  RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"AppData", L"1");
  auto shown = RunShown(L"/uninstaller", L"yes");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].fields[1], L"0x24");
  EXPECT_EQ(Setting(L"", L"Installed"), L"<missing>");
  EXPECT_EQ(Setting(L"", L"AppData"), L"1");

  InstalledProgram again;
  again.Run(L"/uninstaller", L"no");
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
}

TEST_F(MainTest, BulkUninstallerRemovesTheWholeSettingsKey) {
  RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"Installed", L"1");
  RunShown(L"/bulkuninstaller");
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
}

TEST_F(MainTest, NoArgumentsShowsTheMainWindow) {
  auto shown = RunShown(L"");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].kind, L"window");
  EXPECT_EQ(shown[0].fields[0], L"Form1");
}

TEST_F(MainTest, FirstStartAfterAnUpdateRemovesTheOldProgram) {
  ASSERT_TRUE(WriteTextFile(program.Folder() + kMainBackup, "old"));
  auto shown = RunShown(L"");
  ASSERT_EQ(shown.size(), 2u);
  ExpectBox(shown[0],
            L"It appears this application was recently updated.  You should re-apply protection by using the Apply "
            L"button.",
            L"0x40");
  EXPECT_EQ(shown[1].fields[0], L"Form1");
  EXPECT_FALSE(FileExists(program.Folder() + kMainBackup));
}

TEST_F(MainTest, WithAnIniAfterAnUpdateTheReapplyQuestionCanBeDeclined) {
  ASSERT_TRUE(WriteTextFile(program.Folder() + kSettingsIni, "[Config]\r\n"));
  ASSERT_TRUE(WriteTextFile(program.Folder() + kMainBackup, "old"));
  auto shown = RunShown(L"", L"no");
  ASSERT_EQ(shown.size(), 1u);
  ExpectBox(shown[0], L"It appears this application was recently updated.  Re-apply protection now?  (Recommended)",
            L"0x24");
}

TEST_F(MainTest, DebugSwitchLogsToTheProgramFolder) {
  RunShown(L"/w=a.exe /DEBUG");
  auto lines = Lines(ReadTextFile(program.Folder() + kDebugLog));
  ASSERT_FALSE(lines.empty());
  // The time of day, then a TAB that opens the line.
  const std::wstring& first = lines.front();
  size_t tab = first.find(L'\t');
  ASSERT_NE(tab, std::wstring::npos);
  EXPECT_NE(first.find(L':'), std::wstring::npos);
  EXPECT_EQ(first.substr(tab), std::wstring(L"\tStarted:  ") + kMainProgram + L" /w=a.exe /debug");
}
