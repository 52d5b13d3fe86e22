// Running outside programs: the command line, waiting, time limits, the SYSTEM road through
// psexec and Windows' own tools. The fake program records how it was called.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "common/CommonModule.h"
#include "platform/Process.h"
#include "tests/common/CommonTestHelpers.h"

using namespace CommonModule;
using commontest::DebugCapture;
using commontest::Probe;
using testsupport::ScratchDir;

namespace {

// Copies the fake program to path (its folder made first) and sets how it ends.
void PlaceFake(const std::wstring& path, int exitCode = 0, int sleepMs = 0) {
  SHCreateDirectoryExW(nullptr, path.substr(0, path.find_last_of(L'\\')).c_str(), nullptr);
  ASSERT_TRUE(testsupport::CopyProgram(L"fakeprog.exe", path)) << path;
  std::string ini = "[fake]\r\nexit=" + std::to_string(exitCode) + "\r\nsleepms=" + std::to_string(sleepMs) + "\r\n";
  ASSERT_TRUE(testsupport::WriteTextFile(path.substr(0, path.size() - 4) + L".fake.ini", ini));
}

std::wstring CallsLog(const std::wstring& fakePath) { return fakePath.substr(0, fakePath.size() - 4) + L".calls.log"; }

std::vector<std::wstring> Calls(const std::wstring& fakePath) {
  return testsupport::Lines(testsupport::ReadTextFile(CallsLog(fakePath)));
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

class Stopwatch {
 public:
  DWORD ElapsedMs() const { return GetTickCount() - start_; }

 private:
  DWORD start_ = GetTickCount();
};

}  // namespace

class ShellXTest : public testing::Test {
 protected:
  ScratchDir dir_;
};

TEST_F(ShellXTest, AProgramPathWithABlankIsQuotedAndParametersFollowAfterOneBlank) {
  const std::wstring fake = dir_ / L"with blank\\fake prog.exe";
  PlaceFake(fake);
  const std::wstring parameters[] = {L"/a", L"x", L"", L"\"C:\\a b\\c.txt\" /q"};
  std::vector<std::wstring> expected;
  for (const auto& p : parameters) {
    int32_t exitCode = -1;
    EXPECT_TRUE(ShellX(fake, p, true, SW_HIDE, exitCode, false, false, kNoTimeLimit)) << p;
    expected.push_back(Quoted(fake) + (p.empty() ? L"" : L" " + p));
  }
  EXPECT_EQ(Calls(fake), expected);
  EXPECT_FALSE(FsRedirDisabled);
}

TEST_F(ShellXTest, APathWithoutBlanksIsPassedAsItIs) {
  const std::wstring fake = dir_ / L"plain\\fake.exe";
  PlaceFake(fake);
  int32_t exitCode = -1;
  EXPECT_TRUE(ShellX(fake, L"/a", true, SW_HIDE, exitCode, false, false, kNoTimeLimit));
  EXPECT_EQ(Calls(fake), std::vector<std::wstring>{fake + L" /a"});
}

TEST_F(ShellXTest, WaitingGivesTheExitCodeAndAnExitCodeOf259EndsTheWaitToo) {
  for (int code : {0, 7, 259}) {
    SCOPED_TRACE(code);
    const std::wstring fake = dir_ / (L"exit" + std::to_wstring(code) + L".exe");
    PlaceFake(fake, code);
    int32_t exitCode = -1;
    Stopwatch watch;
    EXPECT_TRUE(ShellX(fake, L"", true, SW_HIDE, exitCode, false, false, kNoTimeLimit));
    EXPECT_EQ(exitCode, code);
    EXPECT_LT(watch.ElapsedMs(), 10000u);
  }
  // The same with the limit switched on but "no limit" passed.
  const std::wstring fake = dir_ / L"exit259.exe";
  int32_t exitCode = -1;
  Stopwatch watch;
  EXPECT_TRUE(ShellX(fake, L"", true, SW_HIDE, exitCode, false, true, kNoTimeLimit));
  EXPECT_EQ(exitCode, 259);
  EXPECT_LT(watch.ElapsedMs(), 10000u);
}

TEST_F(ShellXTest, TheTimeLimitEndsTheWaitWith259AndIsNoSuccess) {
  const std::wstring fake = dir_ / L"slow_limit.exe";
  PlaceFake(fake, 0, 4000);
  int32_t exitCode = -1;
  DebugCapture log;
  Stopwatch watch;
  EXPECT_FALSE(ShellX(fake, L"", true, SW_HIDE, exitCode, false, true, 300));
  DWORD elapsed = watch.ElapsedMs();
  EXPECT_EQ(exitCode, 259);
  const auto lines = log.Lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"\tShellX:  Time limit reached, the program is still running."),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"\tShellX (Failed):  " + QuoteArgument(fake)), lines.end());
  EXPECT_GE(elapsed, 300u);
  EXPECT_LT(elapsed, 3000u);
  commontest::WaitForProgramsToEnd(L"slow_limit.exe");
}

// The prevention test's road: a program that hangs is ended at the limit, so that its copy can go.
TEST_F(ShellXTest, AProgramEndedAtItsLimitLeavesItsFileFreeToGo) {
  const std::wstring fake = dir_ / L"hangs.exe";
  PlaceFake(fake, 9, 60000);
  Stopwatch watch;
  const platform::ProgramRun run = platform::RunAndWait(Quoted(fake), SW_HIDE, 500, true);
  EXPECT_EQ(run.startError, 0u);
  EXPECT_FALSE(run.finished);
  EXPECT_TRUE(run.endedAtLimit);
  EXPECT_LT(watch.ElapsedMs(), 10000u);
  bool removed = false;
  for (int i = 0; i < 20 && !removed; ++i) {
    removed = DeleteFileW(fake.c_str()) != FALSE;
    if (!removed) Sleep(100);
  }
  EXPECT_TRUE(removed) << "the ended program still holds its file";

  // Without being asked, a program at its limit is left running.
  const std::wstring left = dir_ / L"left_running.exe";
  PlaceFake(left, 0, 3000);
  const platform::ProgramRun leftRun = platform::RunAndWait(Quoted(left), SW_HIDE, 300);
  EXPECT_FALSE(leftRun.finished);
  EXPECT_FALSE(leftRun.endedAtLimit);
  commontest::WaitForProgramsToEnd(L"left_running.exe");
}

TEST_F(ShellXTest, NotWaitingReturnsAtOnceAndLeavesTheExitCodeAlone) {
  const std::wstring fake = dir_ / L"slow_nowait.exe";
  PlaceFake(fake, 5, 2000);
  int32_t exitCode = 1234;
  Stopwatch watch;
  EXPECT_TRUE(ShellX(fake, L"/go", false, SW_HIDE, exitCode, false, false, kNoTimeLimit));
  EXPECT_LT(watch.ElapsedMs(), 1500u);
  EXPECT_EQ(exitCode, 1234);
  EXPECT_TRUE(commontest::WaitForFile(CallsLog(fake)));
  commontest::WaitForProgramsToEnd(L"slow_nowait.exe");
}

TEST_F(ShellXTest, AMissingProgramGivenWithAPathIsNotStarted) {
  const std::wstring fake = dir_ / L"fake.exe";
  PlaceFake(fake);
  // An already quoted path fails the existence test as well.
  for (const std::wstring& path : {dir_ / L"missing.exe", Quoted(fake)}) {
    SCOPED_TRACE(testing::Message() << path);
    DebugCapture log;
    int32_t exitCode = -1;
    EXPECT_FALSE(ShellX(path, L"/a", true, SW_HIDE, exitCode, false, false, kNoTimeLimit));
    EXPECT_EQ(exitCode, -1);
    const std::vector<std::wstring> expected = {L"\tCommonModule\\ShellX FILE NOT FOUND",
                                                L"\t\t- sPathAndFileName=" + path};
    EXPECT_EQ(log.Lines(), expected);
  }
  EXPECT_FALSE(testsupport::FileExists(CallsLog(fake)));
}

// A bare name is one of Windows' tools: it is started from the system folder or not at all, never
// found through the search path (the program's folder, the current folder, PATH).
TEST_F(ShellXTest, ABareNameThatCannotBeStartedGivesFalseAndTheErrorReport) {
  DebugCapture log;
  int32_t exitCode = -1;
  EXPECT_FALSE(ShellX(L"no_such_program_x.exe", L"/a", true, SW_HIDE, exitCode, false, false, kNoTimeLimit));
  auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind(L"\tCommonModule\\ShellX VB ERROR: ", 0), 0u) << lines[0];
  wchar_t system[MAX_PATH] = {};
  ASSERT_NE(GetSystemDirectoryW(system, MAX_PATH), 0u);
  EXPECT_EQ(lines[1], L"\t\t- sShell=" + std::wstring(system) + L"\\no_such_program_x.exe /a");
  EXPECT_FALSE(FsRedirDisabled);
}

TEST_F(ShellXTest, AsSystemWithoutPsexecRunsTheProgramAsItIs) {
  // The test program's own folder holds no "3rd Party Tools\psexec.exe".
  const std::wstring fake = dir_ / L"fake.exe";
  PlaceFake(fake, 4);
  commontest::EnvironmentGuard environment;
  environment.Set(L"USERNAME", L"tester");
  environment.Set(L"COMPUTERNAME", L"PC1");
  environment.Set(L"SYSTEMDRIVE", L"C:");
  DebugCapture log;
  EXPECT_TRUE(ShellXAsSystem(fake, L"/s", L"True"));
  EXPECT_EQ(Calls(fake), std::vector<std::wstring>{fake + L" /s"});
  EXPECT_EQ(log.Lines(), std::vector<std::wstring>{L"\tShellX:  Cannot find PSEXEC.EXE"});

  EXPECT_FALSE(ShellXAsSystem(fake, L"/s", L"perhaps"));  // no truth value: nothing runs
  EXPECT_EQ(Calls(fake).size(), 1u);
}

TEST_F(ShellXTest, ShellAndWaitForTerminationReportsItsOutcomeAsText) {
  const std::wstring quick = dir_ / L"quick.exe", slow = dir_ / L"slow_sawft.exe";
  PlaceFake(quick, 3);
  PlaceFake(slow, 0, 4000);
  struct Case {
    std::wstring command;
    bool useLimit;
    bool result;
    std::wstring message;
  };
  const Case cases[] = {
      {quick + L" /a", false, true, L""},
      {slow, true, false, L"The process has timed out."},
      {dir_ / L"missing.exe", false, false,
       L"This program could not determine whether the process started.Please watch the program and check it "
       L"completes."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.command);
    DebugCapture log;
    std::wstring message;
    EXPECT_EQ(ShellAndWaitForTermination(c.command, SW_HIDE, message, 300, c.useLimit), c.result);
    EXPECT_EQ(message, c.message);
    auto lines = log.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), L"\tShellandWaitForTermination:  " + c.command);
    EXPECT_EQ(lines.back(), c.result ? L"\t\tSuccess=True" : L"\t\tSuccess=False");
  }
  EXPECT_EQ(Calls(quick), std::vector<std::wstring>{quick + L" /a"});
  commontest::WaitForProgramsToEnd(L"slow_sawft.exe");
}

TEST(RedirectionSwitch, OneRestoreUndoesAnyNumberOfSwitchOffs) {
  DisableFSRedir();
  DisableFSRedir();
  EXPECT_TRUE(FsRedirDisabled);
  RevertFSRedir();
  EXPECT_FALSE(FsRedirDisabled);
  RevertFSRedir();
  EXPECT_FALSE(FsRedirDisabled);
}

// A helper that needs redirection off inside a caller's block must not switch it back on for the
// rest of the caller's block.
TEST(RedirectionSwitch, AnInnerBlockLeavesTheOuterBlocksStateAlone) {
  {
    const RedirectionOff outer;
    EXPECT_TRUE(FsRedirDisabled);
    { const RedirectionOff inner; }
    EXPECT_TRUE(FsRedirDisabled) << "still off for the rest of the outer block";
  }
  EXPECT_FALSE(FsRedirDisabled);
}

TEST(Delay, ZeroSecondsReturnsWhenTheSecondChanges) {
  Stopwatch watch;
  Delay(0);
  EXPECT_LT(watch.ElapsedMs(), 2000u);
}

// ---- From a program in a scratch folder: psexec beside it, look-alike tools beside it -------

class ShellXFromProgramFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    target_ = probe_.Folder() + L"my tool.exe";
    PlaceFake(target_, 6);
  }
  std::wstring Psexec() const { return probe_.Folder() + L"3rd Party Tools\\psexec.exe"; }
  std::wstring Run(const std::wstring& wait, const std::vector<std::wstring>& env) {
    auto out = probe_.Run(L"shellx " + Quoted(target_) + L" /x " + wait + L" 1", env);
    EXPECT_EQ(out[L"result"], L"True");
    return out[L"exit"];
  }

  const std::vector<std::wstring> user_ = {L"USERNAME=tester", L"COMPUTERNAME=PC1", L"SYSTEMDRIVE=C:"};
  const std::vector<std::wstring> forgedSystem_ = {L"USERNAME=PC1$", L"COMPUTERNAME=PC1", L"SYSTEMDRIVE=C:"};
  Probe probe_;
  std::wstring target_;
};

TEST_F(ShellXFromProgramFolderTest, AsSystemNotWaitingGoesThroughPsexecWithD) {
  PlaceFake(Psexec(), 3);
  EXPECT_EQ(Run(L"0", user_), L"-1");  // not waiting: untouched
  ASSERT_TRUE(commontest::WaitForFile(CallsLog(Psexec())));
  EXPECT_EQ(Calls(Psexec()), std::vector<std::wstring>{Quoted(Psexec()) + L" -accepteula -s -i -d " + Quoted(target_) + L" /x"});
  EXPECT_FALSE(testsupport::FileExists(CallsLog(target_)));
}

TEST_F(ShellXFromProgramFolderTest, AsSystemWaitingGoesThroughPsexecAndGivesItsExitCode) {
  PlaceFake(Psexec(), 3);
  EXPECT_EQ(Run(L"1", user_), L"3");
  EXPECT_EQ(Calls(Psexec()), std::vector<std::wstring>{Quoted(Psexec()) + L" -accepteula -s -i " + Quoted(target_) + L" /x"});
  EXPECT_FALSE(testsupport::FileExists(CallsLog(target_)));
}

TEST_F(ShellXFromProgramFolderTest, WithoutPsexecTheProgramRunsAsItIs) {
  EXPECT_EQ(Run(L"1", user_), L"6");
  EXPECT_EQ(Calls(target_), std::vector<std::wstring>{Quoted(target_) + L" /x"});
  const auto lines = probe_.LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"\tShellX:  Cannot find PSEXEC.EXE"), lines.end());
}

TEST_F(ShellXFromProgramFolderTest, AUserNamedLikeTheMachineAccountStillGoesThroughPsexec) {
  // The environment claims SYSTEM; the token does not, so the program is still run as SYSTEM.
  PlaceFake(Psexec(), 3);
  EXPECT_EQ(Run(L"1", forgedSystem_), L"3");
  EXPECT_EQ(Calls(Psexec()),
            std::vector<std::wstring>{Quoted(Psexec()) + L" -accepteula -s -i " + Quoted(target_) + L" /x"});
  EXPECT_FALSE(testsupport::FileExists(CallsLog(target_)));
}

TEST_F(ShellXFromProgramFolderTest, WindowsToolsStartFromTheSystemFolderNotBesideTheProgram) {
  // A look-alike beside the program, where a search would find it first.
  const std::wstring fakeCmd = probe_.Folder() + L"cmd.exe";
  PlaceFake(fakeCmd, 99);

  auto out = probe_.Run(L"shellx cmd.exe \"/c exit 7\" 1 0", user_);
  EXPECT_EQ(out[L"result"], L"True");
  EXPECT_EQ(out[L"exit"], L"7");
  out = probe_.Run(L"shellx cmd \"/c exit 8\" 1 0", user_);
  EXPECT_EQ(out[L"result"], L"True");
  EXPECT_EQ(out[L"exit"], L"8");
  out = probe_.Run(L"shellwait \"cmd.exe /c exit 0\"", user_);
  EXPECT_EQ(out[L"result"], L"True");

  EXPECT_FALSE(testsupport::FileExists(CallsLog(fakeCmd)));
}
