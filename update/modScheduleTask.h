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

// ---- The rules the callers share ----

// A whole number from 1 to 58: one random value r (0 <= r < 1) gives r * 57 + 1, rounded to the
// nearest whole number, halves to the even one. The generator is reseeded from the clock each time.
int32_t ScheduleNumber();

// A number as two digits ("9" -> "09", "14" -> "14"); an empty text stays empty and a text that is
// no number comes back as it is.
std::wstring TwoDigits(const std::wstring& number);
// Reads "H:mm:ss" (hour 0-23, minute and second 0-59); false for anything else.
bool ParseTimeText(const std::wstring& time, int& hour, int& minute, int& second);
// The weekly trigger's mask for a weekday word ("sun" 1 ... "sat" 64, compared exactly); any other
// text gives Tuesday (4).
int32_t WeekdayMask(const std::wstring& word);
// True when the task's name occurs anywhere in a task listing, in any case.
bool IsTaskListed(const std::wstring& listing, const std::wstring& taskName);

}  // namespace modScheduleTask
