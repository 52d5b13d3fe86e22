// The scheduled update tasks of the main program: created or replaced from the stored schedule,
// and re-created when the schedule is on and a task is missing.
#include "engine/UpdateTasks.h"

#include <windows.h>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/modCmdOutput.h"
#include "engine/Protection.h"
#include "engine/ScheduleRules.h"
#include "engine/modScheduleTask.h"
#include "platform/SystemFolder.h"
#include "platform/Text.h"

namespace UpdateTasks {

namespace {

using Protection::ReadSetting;

using Product::kAppUpdateTask;
using Product::kDefsUpdateTask;
using Product::kTaskAuthor;

// The application task's default hour and weekday, picked by one random number each.
std::wstring DefaultTaskHour() {
  const int n = RandomScheduleNumber();
  return n <= 12 ? L"08" : n <= 24 ? L"09" : n <= 36 ? L"10" : n <= 48 ? L"11" : L"07";
}
std::wstring DefaultTaskDay() {
  const int n = RandomScheduleNumber();
  return n <= 12 ? L"mon" : n <= 24 ? L"tues" : n <= 36 ? L"wed" : n <= 48 ? L"thur" : L"fri";
}

std::wstring MinuteText() { return ScheduleRules::TwoDigits(std::to_wstring(RandomScheduleNumber())); }

// The stored schedule, the settings key first and the INI second.
bool ScheduleIsOn() {
  return ReadSetting(L"ScheduleEnabled") == L"1" ||
         CommonModule::ReadIni(CommonModule::IniPath, L"Config", L"EnableSchedule") == L"1";
}
std::wstring StoredScheduleHour() {
  std::wstring hour = ReadSetting(L"ScheduleHour");
  return hour.empty() ? CommonModule::ReadIni(CommonModule::IniPath, L"Config", L"ScheduledHour") : hour;
}

bool TaskIsListed(const wchar_t* name) {
  return ScheduleRules::IsTaskListed(modCmdOutput::GetCommandOutput(
      CommonModule::QuoteArgument(platform::SystemTool(L"schtasks.exe")) + L" /query", true, false, true), name);
}

}  // namespace

int RandomScheduleNumber() { return ScheduleRules::ScheduleNumber(); }

bool CreateDefsUpdateTask(const std::wstring& hour, const std::wstring& minute) {
  // A stored hour may be missing; the task then takes the application task's default hours.
  const std::wstring taskHour = hour.empty() ? DefaultTaskHour() : hour;
  const std::wstring taskMinute = minute.empty() ? MinuteText() : minute;
  const std::wstring time =
      ScheduleRules::TwoDigits(taskHour) + L":" + ScheduleRules::TwoDigits(taskMinute) + L":00";
  return modScheduleTask::CreateDailyTask(kDefsUpdateTask, time, CommonModule::AppExeFullPath(), L"/autoupdate",
                                         Product::kDefsUpdateTaskDescription, kTaskAuthor, L"SYSTEM", L"");
}

bool CreateAppUpdateTask(const std::wstring& day, std::wstring& hour) {
  if (hour.empty()) hour = DefaultTaskHour();
  const std::wstring weekday = day.empty() ? DefaultTaskDay() : day;
  const std::wstring time = ScheduleRules::TwoDigits(hour) + L":" + MinuteText() + L":00";
  return modScheduleTask::CreateWeeklyTask(kAppUpdateTask, time, ScheduleRules::WeekdayMask(weekday),
                                          CommonModule::AppExeFullPath(), L"/autoupdateapp",
                                          Product::kAppUpdateTaskDescription, kTaskAuthor, L"SYSTEM", L"");
}

void ScheduleTasksFromIni() {
  const std::wstring& ini = CommonModule::IniPath;
  if (!CommonModule::DoesFileExist(ini) || CommonModule::ReadIni(ini, L"Config", L"EnableSchedule") != L"1") return;
  std::wstring hour = CommonModule::ReadIni(ini, L"Config", L"ScheduledHour");
  const std::wstring day = platform::Lower(CommonModule::ReadIni(ini, L"Config", L"ScheduledDay"));
  CreateDefsUpdateTask(hour, L"");
  CreateAppUpdateTask(day, hour);
}

void CheckDefsUpdateTask() {
  if (!ScheduleIsOn() || TaskIsListed(kDefsUpdateTask)) return;
  CreateDefsUpdateTask(StoredScheduleHour(), L"");
}

void CheckAppUpdateTask() {
  if (!ScheduleIsOn() || TaskIsListed(kAppUpdateTask)) return;
  std::wstring hour = StoredScheduleHour();
  std::wstring day = ReadSetting(L"ScheduleDay");
  if (day.empty()) day = platform::Lower(CommonModule::ReadIni(CommonModule::IniPath, L"Config", L"ScheduledDay"));
  CreateAppUpdateTask(day, hour);
}

}  // namespace UpdateTasks
