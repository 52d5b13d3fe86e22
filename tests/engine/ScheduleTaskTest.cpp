// The scheduled update tasks: the task builders in-process, and the install road of the real
// program, which creates both tasks from the settings INI, on Windows 7 and on Windows XP.
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "engine/ScheduleRules.h"
#include "platform/Text.h"
#include "tests/support/ProductState.h"
#include "tests/update/ScheduleTestHelpers.h"
#include "engine/modScheduleTask.h"

using namespace testsupport;
using namespace scheduletest;

TEST(ScheduleRules, NumbersRunFromOneTo58WithBothEndsReached) {
  std::set<int32_t> seen;
  for (int i = 0; i < 5000; ++i) {
    const int32_t n = ScheduleRules::ScheduleNumber();
    ASSERT_GE(n, 1);
    ASSERT_LE(n, 58);
    seen.insert(n);
  }
  EXPECT_EQ(seen.size(), 58u) << "every number from 1 to 58 turns up";
  // Draws within one tick of the clock are reseeded from the same clock and must still differ.
  int same = 0;
  for (int i = 0; i < 100; ++i) same += ScheduleRules::ScheduleNumber() == ScheduleRules::ScheduleNumber();
  EXPECT_LT(same, 20);
}

TEST(ScheduleRules, TwoDigitsTimesAndWeekdays) {
  const std::pair<std::wstring, std::wstring> digits[] = {
      {L"9", L"09"}, {L"14", L"14"}, {L"0", L"00"}, {L"07", L"07"}, {L" 7 ", L"07"}, {L"", L""}, {L"abc", L"abc"}};
  for (const auto& [in, out] : digits) EXPECT_EQ(ScheduleRules::TwoDigits(in), out) << testing::PrintToString(in);

  int h = -1, m = -1, s = -1;
  EXPECT_TRUE(ScheduleRules::ParseTimeText(L"09:37:00", h, m, s));
  EXPECT_EQ(h * 10000 + m * 100 + s, 93700);
  for (const wchar_t* bad : {L":37:00", L"24:00:00", L"abc:37:00", L"09:60:00", L"09:37", L"9:3x:00", L""})
    EXPECT_FALSE(ScheduleRules::ParseTimeText(bad, h, m, s)) << testing::PrintToString(std::wstring(bad));

  const std::pair<std::wstring, int32_t> days[] = {{L"sun", 1},  {L"mon", 2},  {L"tues", 4}, {L"wed", 8},
                                                   {L"thur", 16}, {L"fri", 32}, {L"sat", 64}, {L"Mon", 4},
                                                   {L"tue", 4},  {L"SAT", 4},  {L"", 4},     {L"monday", 4}};
  for (const auto& [word, mask] : days) EXPECT_EQ(ScheduleRules::WeekdayMask(word), mask) << testing::PrintToString(word);

  SYSTEMTIME date = {};
  date.wYear = 2026;
  date.wMonth = 12;
  date.wDay = 8;
  date.wHour = 9;
  date.wMinute = 37;
  EXPECT_EQ(modScheduleTask::FormatTaskBoundary(date), L"2026-12-08T09:37:00");
}

TEST(ScheduleRules, TaskListingIsSearchedForTheWholeNameInAnyCase) {
  const std::wstring listing = L"Folder: \\\r\nTaskName   Next Run Time\r\n" + platform::Upper(kProductName) +
                               L" app UPDATE   12/12/2026 09:14:00\r\n";
  EXPECT_TRUE(ScheduleRules::IsTaskListed(listing, kAppTask));
  EXPECT_FALSE(ScheduleRules::IsTaskListed(listing, kDefsTask)) << "the other task's name is no match";
  EXPECT_TRUE(ScheduleRules::IsTaskListed(std::wstring(L"xx") + kProductName + L" Updatexx", kDefsTask));
  EXPECT_FALSE(ScheduleRules::IsTaskListed(L"", kDefsTask));
  EXPECT_FALSE(ScheduleRules::IsTaskListed(
      L"Failed to create process, check the path of the command line:\r\nschtasks.exe /query", kDefsTask));
}

// Task Scheduler 2.0 under Wine keeps the registration and settings but no trigger or action.
TEST(ScheduleBuilders, DailyTaskIsRegisteredWithItsSettings) {
  const std::wstring name = L"IlTest Daily " + std::to_wstring(GetCurrentProcessId());
  const std::wstring other = name + L" other account";
  modScheduleTask::CreateDailyTask(name, L"09:37:00", L"C:\\Tools\\Prog.exe", L"/go", L"A description", L"", L"", L"");
  modScheduleTask::CreateDailyTask(other, L"09:37:00", L"C:\\Tools\\Prog.exe", L"/go", L"", L"", L"someone", L"");
  const std::wstring xml = TaskXml(name);
  DeleteFileW(TaskXmlPath(name).c_str());
  EXPECT_NE(xml.find(L"<Description>A description</Description>"), std::wstring::npos) << xml;
  EXPECT_NE(xml.find(L"<Author>update_schedule_tests</Author>"), std::wstring::npos) << "no author: the program's name";
  for (const wchar_t* setting :
       {L"<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>", L"<WakeToRun>true</WakeToRun>",
        L"<StartWhenAvailable>true</StartWhenAvailable>", L"<DisallowStartIfOnBatteries>true</DisallowStartIfOnBatteries>",
        L"<StopIfGoingOnBatteries>true</StopIfGoingOnBatteries>", L"<AllowStartOnDemand>true</AllowStartOnDemand>",
        L"<Enabled>true</Enabled>", L"<Hidden>false</Hidden>"})
    EXPECT_NE(xml.find(setting), std::wstring::npos) << setting;
  EXPECT_FALSE(FileExists(TaskXmlPath(other))) << "another account without its password registers nothing";
  DeleteFileW(TaskXmlPath(other).c_str());
}

TEST(ScheduleBuilders, ATimeThatIsNoTimeRegistersNothing) {
  const std::wstring name = L"IlTest Bad Time " + std::to_wstring(GetCurrentProcessId());
  modScheduleTask::CreateWeeklyTask(name, L":37:00", 4, L"C:\\Tools\\Prog.exe", L"", L"", L"x", L"SYSTEM", L"");
  EXPECT_FALSE(FileExists(TaskXmlPath(name)));
  DeleteFileW(TaskXmlPath(name).c_str());
}

namespace {

// The install road ("/installer") of the real program, with a settings INI beside it.
class InstallerSchedule : public testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kMakerKey);
    DeleteProductTasks();
  }
  void TearDown() override {
    xp_.reset();
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kMakerKey);
    DeleteProductTasks();
  }
  std::vector<TaskCall> Install(InstalledProgram& program, const std::string& config) {
    if (!config.empty()) WriteTextFile(program.Folder() + kSettingsIni, "[Config]\r\n" + config);
    EXPECT_TRUE(program.Run(L"/debug /installer").finished);
    return TaskCalls(program.Folder() + kDebugLog);
  }
  // The program runs on Windows XP, as the test runs' stand-in for the kernel's version says.
  void AsWindowsXp() { xp_ = std::make_unique<KernelVersionStandIn>(L"5.2"); }

  std::unique_ptr<KernelVersionStandIn> xp_;
};

bool IsOneOf(const std::wstring& text, std::initializer_list<const wchar_t*> options) {
  for (const wchar_t* option : options)
    if (text == option) return true;
  return false;
}

}  // namespace

TEST_F(InstallerSchedule, BothTasksFromTheIniHourAndWeekday) {
  struct Case {
    const char* config;
    const wchar_t* hour;  // both tasks
    const wchar_t* days;  // the application task's mask
  } cases[] = {
      {"EnableSchedule=1\r\nScheduledHour=14\r\nScheduledDay=Sat\r\n", L"14", L"64"},  // lower-cased when read
      {"EnableSchedule=1\r\nScheduledHour=9\r\nScheduledDay=sun\r\n", L"09", L"1"},
      {"EnableSchedule=1\r\nScheduledHour=07\r\nScheduledDay=tue\r\n", L"07", L"4"},  // unknown word: Tuesday
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.config);
    InstalledProgram program;
    const auto calls = Install(program, c.config);
    ASSERT_EQ(calls.size(), 2u);
    const TaskCall& defs = calls[0];
    const TaskCall& app = calls[1];
    EXPECT_FALSE(defs.weekly);
    EXPECT_EQ(defs.name, kDefsTask);
    EXPECT_EQ(defs.arguments, L"/autoupdate");
    EXPECT_EQ(defs.time.substr(0, 3), std::wstring(c.hour) + L":");
    EXPECT_TRUE(app.weekly);
    EXPECT_EQ(app.name, kAppTask);
    EXPECT_EQ(app.arguments, L"/autoupdateapp");
    EXPECT_EQ(app.days, c.days);
    EXPECT_EQ(app.time.substr(0, 3), std::wstring(c.hour) + L":");
    for (const TaskCall* call : {&defs, &app}) {
      EXPECT_EQ(call->program, program.ExePath());
      EXPECT_EQ(call->user, L"SYSTEM");
      EXPECT_GE(call->Minute(), 1);
      EXPECT_LE(call->Minute(), 58);
      EXPECT_EQ(call->time.substr(5), L":00");
    }
    const std::wstring defsXml = TaskXml(kDefsTask);
    EXPECT_NE(
        defsXml.find(std::wstring(L"<Description>") + kProductName + L" Automatic Definition Updates</Description>"),
        std::wstring::npos);
    EXPECT_NE(defsXml.find(std::wstring(L"<Author>") + kTaskAuthor + L"</Author>"), std::wstring::npos);
    EXPECT_NE(TaskXml(kAppTask).find(std::wstring(L"<Description>") + kProductName +
                                     L" Automatic Application Updates</Description>"),
              std::wstring::npos);
    EXPECT_EQ(ProductSetting(L"ScheduleEnabled"), L"<missing>") << "the INI road writes no schedule setting";
    DeleteProductTasks();
  }
}

TEST_F(InstallerSchedule, WithoutHourOrWeekdayTheDefaultsAreWeekdayMornings) {
  for (int run = 0; run < 4; ++run) {
    InstalledProgram program;
    const auto calls = Install(program, "EnableSchedule=1\r\n");
    ASSERT_EQ(calls.size(), 2u);
    for (const auto& call : calls)
      EXPECT_TRUE(IsOneOf(call.time.substr(0, 2), {L"07", L"08", L"09", L"10", L"11"})) << call.time;
    EXPECT_TRUE(IsOneOf(calls[1].days, {L"2", L"4", L"8", L"16", L"32"})) << calls[1].days;
    EXPECT_TRUE(FileExists(TaskXmlPath(kDefsTask)));
    EXPECT_TRUE(FileExists(TaskXmlPath(kAppTask)));
  }
}

TEST_F(InstallerSchedule, NoTasksUnlessTheIniAsksForThem) {
  for (const char* config : {"", "EnableSchedule=0\r\nScheduledHour=14\r\n", "EnableSchedule=yes\r\n"}) {
    InstalledProgram program;
    EXPECT_TRUE(Install(program, config).empty()) << config;
    EXPECT_FALSE(FileExists(TaskXmlPath(kDefsTask))) << config;
    EXPECT_FALSE(FileExists(TaskXmlPath(kAppTask))) << config;
  }
}

// On Windows XP an older task is deleted with schtasks first, the carried library is registered
// when it is there, and the task is kept by XP's scheduler, which Wine implements fully.
TEST_F(InstallerSchedule, WindowsXpReplacesTheTasksThroughItsOwnScheduler) {
  AsWindowsXp();
  SystemToolFakes fakes({L"schtasks", L"regsvr32"});
  InstalledProgram program;
  ASSERT_TRUE(WriteTextFile(program.Folder() + L"tskschd.dll", "not really a library"));
  const auto calls = Install(program, "EnableSchedule=1\r\nScheduledHour=9\r\nScheduledDay=wed\r\n");
  ASSERT_EQ(calls.size(), 2u);

  EXPECT_EQ(fakes.Calls(L"schtasks"),
            (std::vector<std::wstring>{std::wstring(L"/delete /f /tn \"") + kDefsUpdateTask + L"\"",
                                       std::wstring(L"/delete /f /tn \"") + kAppUpdateTask + L"\""}));
  const auto registered = fakes.Calls(L"regsvr32");
  ASSERT_FALSE(registered.empty());
  EXPECT_EQ(registered[0], L"/s \"" + program.Folder() + L"tskschd.dll\"");

  const std::wstring folder = program.Folder().substr(0, program.Folder().size() - 1);
  const XpTask defs = ReadXpTask(kDefsTask);
  ASSERT_TRUE(defs.found);
  EXPECT_EQ(defs.application, program.ExePath());
  EXPECT_EQ(defs.parameters, L"/autoupdate");
  EXPECT_EQ(defs.workingFolder, folder);
  EXPECT_EQ(defs.comment, std::wstring(kProductName) + L" Automatic Definition Updates");
  EXPECT_EQ(defs.creator, kTaskAuthor);
  EXPECT_EQ(defs.flags & TASK_FLAG_INTERACTIVE, static_cast<DWORD>(TASK_FLAG_INTERACTIVE));
  ASSERT_EQ(defs.triggers, 1);
  EXPECT_EQ(defs.trigger.TriggerType, TASK_TIME_TRIGGER_DAILY);
  EXPECT_EQ(defs.trigger.wStartHour, 9);
  EXPECT_EQ(defs.trigger.wStartMinute, calls[0].Minute());
  SYSTEMTIME today;
  GetLocalTime(&today);
  EXPECT_EQ(defs.trigger.wBeginDay, today.wDay);

  const XpTask app = ReadXpTask(kAppTask);
  ASSERT_TRUE(app.found);
  EXPECT_EQ(app.parameters, L"/autoupdateapp");
  EXPECT_EQ(app.comment, std::wstring(kProductName) + L" Automatic Application Updates");
  ASSERT_EQ(app.triggers, 1);
  EXPECT_EQ(app.trigger.TriggerType, TASK_TIME_TRIGGER_WEEKLY);
  EXPECT_EQ(app.trigger.Type.Weekly.rgfDaysOfTheWeek, TASK_WEDNESDAY);
  EXPECT_EQ(app.trigger.Type.Weekly.WeeksInterval, 1);
  EXPECT_EQ(app.trigger.wStartHour, 9);

  // A second install replaces both tasks rather than failing on the ones there.
  InstalledProgram again;
  Install(again, "EnableSchedule=1\r\nScheduledHour=16\r\nScheduledDay=fri\r\n");
  EXPECT_EQ(ReadXpTask(kAppTask).trigger.Type.Weekly.rgfDaysOfTheWeek, TASK_FRIDAY);
  EXPECT_EQ(ReadXpTask(kDefsTask).trigger.wStartHour, 16);
  EXPECT_EQ(ReadXpTask(kAppTask).application, again.ExePath());
}

TEST_F(InstallerSchedule, WindowsXpRegistersNoLibraryThatIsNotThere) {
  AsWindowsXp();
  SystemToolFakes fakes({L"schtasks", L"regsvr32"});
  InstalledProgram program;
  ASSERT_EQ(Install(program, "EnableSchedule=1\r\nScheduledHour=10\r\n").size(), 2u);
  EXPECT_TRUE(fakes.Calls(L"regsvr32").empty());
  EXPECT_EQ(fakes.Calls(L"schtasks").size(), 2u);
  EXPECT_TRUE(ReadXpTask(kAppTask).found);
}
