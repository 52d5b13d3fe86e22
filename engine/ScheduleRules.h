#pragma once
// The rules of the update schedule that the engine's task roads, the schedule dialog and the task
// module share: the random number that spreads the tasks over the morning, and the texts of times,
// weekdays and task listings.
#include <cstdint>
#include <string>

namespace ScheduleRules {

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

}  // namespace ScheduleRules
