#pragma once
// The scheduled update tasks of the main program: created or replaced from the stored schedule or
// the INI's, and re-created when the schedule is on and a task is missing.
#include <string>

namespace UpdateTasks {

// The INI's schedule, when it is on: both tasks.
void ScheduleTasksFromIni();
// The random number that picks the tasks' minute and their default hour and weekday.
int RandomScheduleNumber();
bool CreateDefsUpdateTask(const std::wstring& hour, const std::wstring& minute);
bool CreateAppUpdateTask(const std::wstring& day, std::wstring& hour);
void CheckDefsUpdateTask();
void CheckAppUpdateTask();

}  // namespace UpdateTasks
