// The update-schedule dialog as a live window under the test display, and the check that
// re-creates a missing update task, both run from the main program's own code (schedprobe, copied
// as the main program into a scratch folder).
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/Text.h"
#include "tests/support/LiveWindow.h"
#include "tests/support/ProductState.h"
#include "tests/update/ScheduleTestHelpers.h"
#include "update/Form7Ids.h"

using namespace testsupport;
using namespace scheduletest;
using namespace livewindow;

namespace {

class ScheduleProgram {
 public:
  ScheduleProgram() { CopyFileW((TestsDir() + L"schedprobe.exe").c_str(), ExePath().c_str(), FALSE); }
  std::wstring ExePath() const { return dir_ / kMainProgram; }
  std::wstring Folder() const { return dir_.Path(); }
  std::wstring Line(const std::wstring& what) const { return L"\"" + ExePath() + L"\" " + what; }
  void Run(const std::wstring& what) const { EXPECT_TRUE(RunProcess(Line(what), {}).finished) << what; }
  std::vector<TaskCall> Calls() const { return TaskCalls(dir_ / kDebugLog); }
  void WriteIni(const std::string& config) const { WriteTextFile(dir_ / kSettingsIni, "[Config]\r\n" + config); }

 private:
  ScratchDir dir_;
};

void SetSetting(const wchar_t* value, const std::wstring& text) {
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, value, text));
}

class ScheduleTest : public testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kMakerKey);
    DeleteProductTasks();
  }
  ScheduleProgram program_;
};

std::wstring Selected(HWND list) {
  return ComboItem(list, static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0)));
}

// Opens the dialog with no schedule on, presses "Save Schedule" and gives the message it shows.
std::wstring SaveInDialog(const ScheduleProgram& program) {
  LiveProgram live(program.Line(L"form7"));
  HWND dialog = live.Window(L"Automatic Updates - NOT Enabled", false);
  if (!dialog) return L"(the dialog did not appear)";
  Press(dialog, IDC_FORM7_COMMAND1);
  const std::wstring told = live.Answer(kProductName, IDOK);
  EXPECT_TRUE(live.WaitForExit(20000));
  return told;
}

bool IsWeekdayWord(const std::wstring& word) {
  const wchar_t* const days[] = {L"mon", L"tues", L"wed", L"thur", L"fri"};
  return std::any_of(std::begin(days), std::end(days), [&](const wchar_t* d) { return word == d; });
}

}  // namespace

TEST_F(ScheduleTest, DialogPresetsAMorningOnAWeekdayAndSavesTheChosenTime) {
  LiveProgram live(program_.Line(L"form7"));
  ASSERT_TRUE(live.Started());
  HWND dialog = live.Window(L"Automatic Updates - NOT Enabled", false);
  ASSERT_NE(dialog, nullptr) << "the dialog did not appear";
  HWND hours = GetDlgItem(dialog, IDC_FORM7_COMBO1);
  HWND days = GetDlgItem(dialog, IDC_FORM7_COMBO2);
  ASSERT_EQ(SendMessageW(hours, CB_GETCOUNT, 0, 0), 24);
  EXPECT_EQ(ComboItem(hours, 0), L"00");
  EXPECT_EQ(ComboItem(hours, 9), L"09");
  EXPECT_EQ(ComboItem(hours, 23), L"23");
  ASSERT_EQ(SendMessageW(days, CB_GETCOUNT, 0, 0), 7);
  std::wstring order;
  for (int i = 0; i < 7; ++i) order += ComboItem(days, i) + L" ";
  EXPECT_EQ(order, L"mon tues wed thur fri sat sun ");
  const std::wstring presetHour = Selected(hours);
  EXPECT_TRUE(presetHour == L"08" || presetHour == L"09" || presetHour == L"10" || presetHour == L"11") << presetHour;
  EXPECT_TRUE(IsWeekdayWord(Selected(days))) << Selected(days);
  EXPECT_EQ(Text(GetDlgItem(dialog, IDC_FORM7_LABEL12)), L"Both tasks will share the Hour setting.");

  SendMessageW(hours, CB_SETCURSEL, 14, 0);
  SendMessageW(days, CB_SETCURSEL, 5, 0);  // sat
  Press(dialog, IDC_FORM7_COMMAND1);
  EXPECT_EQ(live.Answer(kProductName, IDOK), L"Schedule Created!");
  EXPECT_TRUE(live.WaitForExit(20000)) << "the dialog closes after saving";

  EXPECT_EQ(ProductSetting(L"ScheduleEnabled"), L"1");
  EXPECT_EQ(ProductSetting(L"ScheduleHour"), L"<missing>") << "the choice is kept only in the tasks";
  EXPECT_EQ(ProductSetting(L"ScheduleDay"), L"<missing>");
  const auto calls = program_.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].name, kAppTask);
  EXPECT_EQ(calls[0].days, L"64");
  EXPECT_EQ(calls[0].Hour(), 14);
  EXPECT_EQ(calls[0].program, program_.ExePath());
  EXPECT_EQ(calls[1].name, kDefsTask);
  EXPECT_EQ(calls[1].Hour(), 14);
  EXPECT_TRUE(FileExists(TaskXmlPath(kDefsTask)));
  EXPECT_TRUE(FileExists(TaskXmlPath(kAppTask)));
}

TEST_F(ScheduleTest, DialogShowsTheStoredScheduleAndRemovesItOnYesOnly) {
  SetSetting(L"ScheduleEnabled", L"1");
  SetSetting(L"ScheduleHour", L"14");
  SetSetting(L"ScheduleDay", L"sun");
  SystemToolFakes fakes({L"schtasks"});
  LiveProgram live(program_.Line(L"form7"));
  HWND dialog = live.Window(L"Automatic Updates - ENABLED!", false);
  ASSERT_NE(dialog, nullptr) << "the dialog did not appear";
  EXPECT_EQ(Selected(GetDlgItem(dialog, IDC_FORM7_COMBO1)), L"14");
  EXPECT_EQ(Selected(GetDlgItem(dialog, IDC_FORM7_COMBO2)), L"sun");

  const wchar_t question[] = L"Are you sure you wish to delete the schedule for automatic updates?";
  Press(dialog, IDC_FORM7_COMMAND2);
  EXPECT_EQ(live.Answer(kProductName, IDNO), question);
  Sleep(300);
  EXPECT_TRUE(fakes.Calls(L"schtasks").empty());
  EXPECT_EQ(ProductSetting(L"ScheduleEnabled"), L"1");

  Press(dialog, IDC_FORM7_COMMAND2);
  EXPECT_EQ(live.Answer(kProductName, IDYES), question);
  EXPECT_EQ(live.Answer(kProductName, IDOK), L"Schedule Deleted!");
  EXPECT_EQ(fakes.Calls(L"schtasks"),
            (std::vector<std::wstring>{std::wstring(L"/delete /f /tn \"") + kDefsUpdateTask + L"\"",
                                       std::wstring(L"/delete /f /tn \"") + kAppUpdateTask + L"\""}));
  EXPECT_EQ(ProductSetting(L"ScheduleEnabled"), L"<missing>");
  EXPECT_EQ(ProductSetting(L"ScheduleHour"), L"14");
  ASSERT_TRUE(IsWindow(dialog)) << "the dialog stays open";
  EXPECT_EQ(Text(dialog), L"Automatic Updates - NOT Enabled");
  EXPECT_TRUE(program_.Calls().empty());
  PostMessageW(dialog, WM_CLOSE, 0, 0);
  EXPECT_TRUE(live.WaitForExit(20000));
}

// The failure twins of the two messages: a task the scheduler will not store, and a delete that
// leaves the tasks in place. Neither is reported as done, and the schedule stays as it really is.
TEST_F(ScheduleTest, ATaskTheSchedulerRefusesIsReportedAsNotCreated) {
  // A folder where the scheduler keeps the definitions task's file: it cannot store the task.
  ASSERT_TRUE(CreateDirectoryW(TaskXmlPath(kDefsTask).c_str(), nullptr));
  EXPECT_EQ(SaveInDialog(program_), L"The schedule could not be created.");
  RemoveDirectoryW(TaskXmlPath(kDefsTask).c_str());
  EXPECT_TRUE(FileExists(TaskXmlPath(kAppTask))) << "the other task was still made";
  EXPECT_EQ(ProductSetting(L"ScheduleEnabled"), L"1") << "a check may re-create the missing task";
}

TEST_F(ScheduleTest, ADeleteThatLeavesTheTasksIsReportedAsNotDeleted) {
  EXPECT_EQ(SaveInDialog(program_), L"Schedule Created!");
  ASSERT_TRUE(FileExists(TaskXmlPath(kDefsTask)));
  SystemToolFakes fakes({L"schtasks"});
  const std::wstring failing = SystemFolder() + L"schtasks.fake.ini";
  ASSERT_TRUE(WriteTextFile(failing, "[fake]\r\nexit=1\r\n"));
  {
    LiveProgram live(program_.Line(L"form7"));
    HWND dialog = live.Window(L"Automatic Updates - ENABLED!", false);
    ASSERT_NE(dialog, nullptr) << "the dialog did not appear";
    Press(dialog, IDC_FORM7_COMMAND2);
    live.Answer(kProductName, IDYES);
    EXPECT_EQ(live.Answer(kProductName, IDOK), L"The schedule could not be deleted.");
    EXPECT_EQ(Text(dialog), L"Automatic Updates - ENABLED!");
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(live.WaitForExit(20000));
  }
  DeleteFileW(failing.c_str());
  EXPECT_EQ(fakes.Calls(L"schtasks"),
            (std::vector<std::wstring>{std::wstring(L"/delete /f /tn \"") + kDefsUpdateTask + L"\"",
                                       std::wstring(L"/delete /f /tn \"") + kAppUpdateTask + L"\""}));
  EXPECT_EQ(ProductSetting(L"ScheduleEnabled"), L"1");
}

TEST_F(ScheduleTest, AStoredHourThatIsNoListItemLeavesThePreset) {
  SetSetting(L"ScheduleHour", L"7");
  SetSetting(L"ScheduleDay", L"SAT");
  LiveProgram live(program_.Line(L"form7"));
  HWND dialog = live.Window(L"Automatic Updates - NOT Enabled", false);
  ASSERT_NE(dialog, nullptr) << "the dialog did not appear";
  const std::wstring hour = Selected(GetDlgItem(dialog, IDC_FORM7_COMBO1));
  EXPECT_TRUE(hour == L"08" || hour == L"09" || hour == L"10" || hour == L"11") << hour;
  EXPECT_EQ(Selected(GetDlgItem(dialog, IDC_FORM7_COMBO2)), L"sat") << "found as the list finds its items";
  Press(dialog, IDC_FORM7_COMMAND1);
  EXPECT_EQ(live.Answer(kProductName, IDOK), L"Schedule Created!");
  EXPECT_TRUE(live.WaitForExit(20000));
  const auto calls = program_.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].time.substr(0, 2), hour);
  EXPECT_EQ(calls[1].time.substr(0, 2), hour);
  EXPECT_EQ(calls[0].days, L"64");
}

TEST_F(ScheduleTest, TheCheckRecreatesOnlyAMissingTaskFromTheStoredSchedule) {
  struct Case {
    const char* name;
    const wchar_t* enabled;  // ScheduleEnabled, nullptr: absent
    const char* ini;         // the INI's [Config] lines
    std::string listing;     // what schtasks /query prints
    const wchar_t* hour;     // ScheduleHour
    const wchar_t* day;      // ScheduleDay
    bool defsMade, appMade;
    int hourMade;            // -1: not checked
    const wchar_t* daysMade;
  } cases[] = {
      {"both missing", L"1", "", "", L"14", L"sat", true, true, 14, L"64"},
      {"defs listed in other case", L"1", "",
       "TaskName\r\n" + platform::ToUtf8(platform::Upper(kDefsUpdateTask)) + "   Ready\r\n", L"14", L"sat", false, true,
       14, L"64"},
      {"only the app task listed", L"1", "", std::string("\\") + kAppUpdateTaskA + "   Ready\r\n", L"9", L"", true,
       false, 9, nullptr},
      {"both listed, other hour stored", L"1", "", std::string(kDefsUpdateTaskA) + "\r\n" + kAppUpdateTaskA + "\r\n",
       L"3", L"mon", false, false, -1, nullptr},
      {"the INI switches it on", nullptr, "EnableSchedule=1\r\nScheduledHour=10\r\nScheduledDay=Wed\r\n", "", nullptr,
       nullptr, true, true, 10, L"8"},
      {"stored day used as stored", L"1", "ScheduledDay=fri\r\n", "", L"16", L"Thur", true, true, 16, L"4"},
      {"off everywhere", nullptr, "ScheduledHour=10\r\n", "", L"10", L"wed", false, false, -1, nullptr},
      {"switched on with other text", L"yes", "EnableSchedule=0\r\n", "", L"10", L"wed", false, false, -1, nullptr},
  };
  SystemToolFakes fakes({L"schtasks"}, L"tasklistfake.exe");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Clean();
    ScheduleProgram program;
    if (c.enabled) SetSetting(L"ScheduleEnabled", c.enabled);
    if (c.hour) SetSetting(L"ScheduleHour", c.hour);
    if (c.day) SetSetting(L"ScheduleDay", c.day);
    program.WriteIni(c.ini);
    fakes.SetListing(L"schtasks", c.listing);
    program.Run(L"checkdefs");
    program.Run(L"checkapp");
    const auto calls = program.Calls();
    const bool defs = std::any_of(calls.begin(), calls.end(), [](const TaskCall& t) { return t.name == kDefsTask; });
    const auto app = std::find_if(calls.begin(), calls.end(), [](const TaskCall& t) { return t.name == kAppTask; });
    EXPECT_EQ(defs, c.defsMade);
    EXPECT_EQ(app != calls.end(), c.appMade);
    EXPECT_EQ(calls.size(), static_cast<size_t>(c.defsMade) + static_cast<size_t>(c.appMade));
    for (const auto& call : calls) {
      if (c.hourMade >= 0) {
        EXPECT_EQ(call.Hour(), c.hourMade) << call.name;
      }
      EXPECT_EQ(call.program, program.ExePath());
    }
    if (c.daysMade && app != calls.end()) {
      EXPECT_EQ(app->days, c.daysMade);
    }
  }
}

TEST_F(ScheduleTest, WithoutAStoredHourTheCheckPicksAMorningHour) {
  SetSetting(L"ScheduleEnabled", L"1");
  SystemToolFakes fakes({L"schtasks"}, L"tasklistfake.exe");
  program_.Run(L"checkdefs");
  program_.Run(L"checkapp");
  const auto calls = program_.Calls();
  ASSERT_EQ(calls.size(), 2u);
  for (const auto& call : calls) {
    EXPECT_GE(call.Hour(), 7) << call.time;
    EXPECT_LE(call.Hour(), 11) << call.time;
  }
  const std::wstring weekdays = L" 2 4 8 16 32 ";
  EXPECT_NE(weekdays.find(L" " + calls[1].days + L" "), std::wstring::npos) << calls[1].days;
}
