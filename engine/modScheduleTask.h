#pragma once
// Registers the scheduled tasks that start the program unattended: Task Scheduler 2.0 on Windows
// Vista and later; on Windows XP the task-scheduler library the program carries, or the system's
// own scheduler when that library cannot be had.
#include <windows.h>

#include <cstdint>
#include <string>

namespace modScheduleTask {

// A daily task at time ("HH:mm:ss"), starting today. An empty user becomes "SYSTEM". True when
// the scheduler registered it.
bool CreateDailyTask(const std::wstring& name, const std::wstring& time, const std::wstring& program,
                     const std::wstring& arguments, const std::wstring& description, const std::wstring& author,
                     const std::wstring& user, const std::wstring& password);
// A weekly task on the days of daysMask (Sunday 1 ... Saturday 64), every week. True when the
// scheduler registered it.
bool CreateWeeklyTask(const std::wstring& name, const std::wstring& time, int32_t daysMask,
                      const std::wstring& program, const std::wstring& arguments, const std::wstring& description,
                      const std::wstring& author, const std::wstring& user, const std::wstring& password);

// Deletes a task of that name with schtasks.exe (hidden, waited for). True when schtasks ended
// content, or the scheduler holds no such task afterwards (a missing task is no error).
bool DeleteTask(const std::wstring& name);

// yyyy-mm-ddThh:mm:ss, every field zero-padded, 24-hour clock, no zone.
std::wstring FormatTaskBoundary(const SYSTEMTIME& date);

// Writes the Windows XP task-scheduler library beside the program and registers it when its type
// library is not registered yet.
void EnsureTaskSchedulerLibrary();

}  // namespace modScheduleTask
