// Ending programs by name or id: victims are copies of the fake program that sleep for a minute.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "common/CommonModule.h"
#include "tests/common/CommonTestHelpers.h"
#include "tests/common/TokenPrivilegeHelpers.h"

using commontest::DebugCapture;
using testsupport::ScratchDir;

namespace {

// A running copy of the fake program under a name no other test uses.
class Victim {
 public:
  Victim(const ScratchDir& dir, const std::wstring& stem) {
    static std::atomic<unsigned> counter{0};
    name_ = stem + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(counter++) + L".exe";
    path_ = dir / name_;
    if (!testsupport::CopyProgram(L"fakeprog.exe", path_)) return;
    testsupport::WriteTextFile(path_.substr(0, path_.size() - 4) + L".fake.ini", "[fake]\r\nsleepms=60000\r\n");
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::wstring command = L"\"" + path_ + L"\"";
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return;
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    id_ = info.dwProcessId;
    // Running once it has written its call record.
    commontest::WaitForFile(path_.substr(0, path_.size() - 4) + L".calls.log");
  }
  ~Victim() {
    if (process_ && Running()) TerminateProcess(process_.get(), 99);
    if (process_) WaitForSingleObject(process_.get(), 10000);
  }
  Victim(const Victim&) = delete;
  Victim& operator=(const Victim&) = delete;

  bool Started() const { return static_cast<bool>(process_); }
  bool Running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
  // Waits a little for the end, since some ways end a program a moment later.
  bool Ended(DWORD waitMs = 10000) const { return WaitForSingleObject(process_.get(), waitMs) == WAIT_OBJECT_0; }
  DWORD ExitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
  }
  const std::wstring& Name() const { return name_; }
  const std::wstring& Path() const { return path_; }
  DWORD Id() const { return id_; }

 private:
  std::wstring name_, path_;
  platform::UniqueKernelHandle process_;
  DWORD id_ = 0;
};

// Recording fakes stand in for tskill and taskkill in the system folder, where the program takes
// them from (Wine has no tskill, and its taskkill knows no /t); Wine's own taskkill is put back
// afterwards. A planted tool in the current folder must never run. Each call's arguments are kept.
class StandInTools {
 public:
  explicit StandInTools(const ScratchDir& dir) : dir_(dir) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    system_ = std::wstring(system) + L"\\";
    for (const wchar_t* tool : {L"tskill", L"taskkill"}) {
      std::wstring path = system_ + tool + L".exe";
      MoveFileExW(path.c_str(), (path + L".real").c_str(), MOVEFILE_REPLACE_EXISTING);
      EXPECT_TRUE(testsupport::CopyProgram(L"fakeprog.exe", path));
      DeleteFileW((system_ + tool + L".calls.log").c_str());
      // Decoys in the current folder: a call that found these would show in their logs.
      EXPECT_TRUE(testsupport::CopyProgram(L"fakeprog.exe", dir / (std::wstring(tool) + L".exe")));
    }
    wchar_t old[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, old);
    oldFolder_ = old;
    SetCurrentDirectoryW(dir.Path().c_str());
    // Wine runs its own built-in taskkill unless told to take the file in the system folder.
    testsupport::RegWriteString(HKEY_CURRENT_USER, kWineOverrides, L"taskkill.exe", L"native");
  }
  ~StandInTools() {
    HKEY overrides = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kWineOverrides, 0, KEY_SET_VALUE, &overrides) == ERROR_SUCCESS) {
      RegDeleteValueW(overrides, L"taskkill.exe");
      RegCloseKey(overrides);
    }
    SetCurrentDirectoryW(oldFolder_.c_str());
    for (const wchar_t* tool : {L"tskill", L"taskkill"}) {
      std::wstring path = system_ + tool + L".exe";
      DeleteFileW(path.c_str());
      MoveFileExW((path + L".real").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
      DeleteFileW((system_ + tool + L".calls.log").c_str());
      EXPECT_FALSE(testsupport::FileExists(dir_ / (std::wstring(tool) + L".calls.log")))
          << "a tool from the current folder ran";
    }
  }
  StandInTools(const StandInTools&) = delete;
  StandInTools& operator=(const StandInTools&) = delete;

  std::vector<std::wstring> TskillCalls() const { return Arguments(L"tskill"); }
  std::vector<std::wstring> TaskkillCalls() const { return Arguments(L"taskkill"); }
  bool WaitForCalls(size_t each, DWORD timeoutMs = 20000) const {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
      if (TskillCalls().size() >= each && TaskkillCalls().size() >= each) return true;
      Sleep(50);
    }
    return false;
  }

 private:
  // The recorded command lines without the program part.
  std::vector<std::wstring> Arguments(const std::wstring& tool) const {
    std::vector<std::wstring> calls;
    for (const auto& line : testsupport::Lines(testsupport::ReadTextFile(system_ + tool + L".calls.log"))) {
      size_t at = line.find(tool);
      at = at == std::wstring::npos ? std::wstring::npos : line.find(L' ', at);
      calls.push_back(at == std::wstring::npos ? line : line.substr(at + 1));
    }
    return calls;
  }

  const ScratchDir& dir_;
  std::wstring system_;
  std::wstring oldFolder_;
  static constexpr wchar_t kWineOverrides[] = L"Software\\Wine\\DllOverrides";
};

class ProcessKillTest : public testing::Test {
 protected:
  ScratchDir dir_;
  DebugCapture log_;
};

}  // namespace

TEST_F(ProcessKillTest, KillProcessEndsWholeNamesInAnyCaseAndNothingElse) {
  Victim victim(dir_, L"victim");
  Victim second(dir_, L"victim");
  Victim longer(dir_, L"myvictim");
  ASSERT_TRUE(victim.Started() && second.Started() && longer.Started());
  // The longer name ends with the victim's whole name: "myvictim7_2.exe" must not match "victim7_2.exe".
  const std::wstring suffixOfLonger = longer.Name().substr(2);
  CommonModule::KillProcess(suffixOfLonger);
  EXPECT_FALSE(longer.Ended(500));

  CommonModule::KillProcess(platform::Upper(victim.Name()));
  EXPECT_TRUE(victim.Ended());
  EXPECT_EQ(victim.ExitCode(), 0u);
  EXPECT_TRUE(second.Running());
  EXPECT_TRUE(longer.Running());
}

TEST_F(ProcessKillTest, NamesNoFileCouldCarryEndNothingInAnyWay) {
  Victim victim(dir_, L"victim");
  ASSERT_TRUE(victim.Started());
  const std::wstring names[] = {L"", L"*", L"*.exe", L"victim*", L"?" + victim.Name().substr(1),
                                L"\"" + victim.Name() + L"\"", victim.Name() + L"\" & echo"};
  for (const auto& name : names) {
    SCOPED_TRACE(testing::Message() << "'" << name << "'");
    CommonModule::KillProcess(name);
    CommonModule::KillProcessViaWMI(name);
    CommonModule::KillProcessViaTools(name, true);
    CommonModule::KillProcessAllWays(name, true);
    CommonModule::KillProcessAllWays(dir_ / name, true);
  }
  CommonModule::KillProcessAllWays(dir_.Path(), true);  // a folder: no name at all
  EXPECT_TRUE(victim.Running());
  EXPECT_FALSE(log_.Lines().empty()) << "each refusal is logged";
}

TEST_F(ProcessKillTest, KillProcess2EndsOneProcessWithTheGivenCodeAndPutsTheDebugPrivilegeBack) {
  Victim victim(dir_, L"victim");
  Victim other(dir_, L"victim");
  ASSERT_TRUE(victim.Started() && other.Started());
  ASSERT_TRUE(privilegetest::SetPrivilegeState(L"SeDebugPrivilege", false));
  EXPECT_TRUE(CommonModule::KillProcess2(victim.Id(), 7));
  EXPECT_TRUE(victim.Ended());
  EXPECT_EQ(victim.ExitCode(), 7u);
  EXPECT_TRUE(other.Running());
  EXPECT_EQ(privilegetest::PrivilegeState(L"SeDebugPrivilege"), privilegetest::State::Disabled);

  EXPECT_FALSE(CommonModule::KillProcess2(0, 0)) << "no such process";
  EXPECT_EQ(privilegetest::PrivilegeState(L"SeDebugPrivilege"), privilegetest::State::Disabled);

  ASSERT_TRUE(privilegetest::SetPrivilegeState(L"SeDebugPrivilege", true));
  EXPECT_TRUE(CommonModule::KillProcess2(other.Id(), 0));
  EXPECT_EQ(privilegetest::PrivilegeState(L"SeDebugPrivilege"), privilegetest::State::Enabled) << "it was on before";
  privilegetest::SetPrivilegeState(L"SeDebugPrivilege", false);
}

TEST_F(ProcessKillTest, TheOutsideProgramsGetTheWholeNameWithTheirSwitchesWaitedForOrNot) {
  StandInTools tools(dir_);
  CommonModule::KillProcessViaTools(L"Side Bar.exe", true);
  EXPECT_EQ(tools.TskillCalls(), std::vector<std::wstring>{L"\"Side Bar.exe\" /a"});
  EXPECT_EQ(tools.TaskkillCalls(), std::vector<std::wstring>{L"/f /t /im \"Side Bar.exe\""});

  CommonModule::KillProcessViaTools(L"sidebar.exe", false);
  ASSERT_TRUE(tools.WaitForCalls(2));
  EXPECT_EQ(tools.TskillCalls().back(), L"\"sidebar.exe\" /a");
  EXPECT_EQ(tools.TaskkillCalls().back(), L"/f /t /im \"sidebar.exe\"");
}

TEST_F(ProcessKillTest, WmiEndsTheProgramOrSaysWhyNot) {
  Victim victim(dir_, L"victim");
  ASSERT_TRUE(victim.Started());
  CommonModule::KillProcessViaWMI(L"nosuchprogram_x7.exe");
  EXPECT_TRUE(log_.Lines().empty()) << "no match, nothing to report";

  CommonModule::KillProcessViaWMI(platform::Upper(victim.Name()));
  if (victim.Ended(2000)) return;
  // Some WMI providers cannot terminate (Wine's has no Terminate method): that must be reported.
  auto lines = log_.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(platform::StartsWith(lines[0], L"\tCommonModule\\KillProcessViaWMI VB ERROR: ")) << lines[0];
  EXPECT_EQ(lines[1], L"\t\t- sProcessName=" + platform::Upper(victim.Name()));
}

TEST_F(ProcessKillTest, AllWaysReducesAPathToItsNameAndEndsEveryCopy) {
  Victim victim(dir_, L"victim");
  ASSERT_TRUE(victim.Started());
  // A second copy of the same program in another folder: same name.
  ScratchDir otherDir;
  const std::wstring copy = otherDir / victim.Name();
  ASSERT_TRUE(CopyFileW(victim.Path().c_str(), copy.c_str(), FALSE));
  testsupport::WriteTextFile(copy.substr(0, copy.size() - 4) + L".fake.ini", "[fake]\r\nsleepms=60000\r\n");
  testsupport::RunResult started = testsupport::RunProcess(L"\"" + copy + L"\"", {}, 0);
  ASSERT_TRUE(started.started);

  CommonModule::KillProcessAllWays(L"C:\\Some\\Where\\" + platform::Upper(victim.Name()), true);
  EXPECT_TRUE(victim.Ended());
  commontest::WaitForProgramsToEnd(victim.Name(), 10000);
  platform::UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
    EXPECT_FALSE(platform::EqualsNoCase(entry.szExeFile, victim.Name())) << "a copy still runs";
}

TEST_F(ProcessKillTest, AllWaysGoesOnAfterTheFirstWayWorked) {
  Victim victim(dir_, L"victim");
  ASSERT_TRUE(victim.Started());
  StandInTools tools(dir_);
  CommonModule::KillProcessAllWays(victim.Path(), true);
  EXPECT_TRUE(victim.Ended());
  EXPECT_EQ(tools.TskillCalls(), std::vector<std::wstring>{L"\"" + victim.Name() + L"\" /a"});
  EXPECT_EQ(tools.TaskkillCalls(), std::vector<std::wstring>{L"/f /t /im \"" + victim.Name() + L"\""});
}

TEST_F(ProcessKillTest, AllWaysTakesANumberForAProcessId) {
  Victim victim(dir_, L"victim");
  ASSERT_TRUE(victim.Started());
  CommonModule::KillProcessAllWays(std::to_wstring(victim.Id()), true);
  EXPECT_TRUE(victim.Ended());
}
