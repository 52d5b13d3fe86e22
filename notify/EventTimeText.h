#pragma once
// Texts of event-log entries as the blocked-events viewer and the event service show them: the
// message, the provider's date-time text, its local date form and the "UTCAdjustment" shift.
#include <cstdint>
#include <string>

#include "platform/EventLog.h"

namespace EventTimeText {

// The entry's text through its source's message file (else the insertion strings joined by a
// blank), NULs removed.
std::wstring MessageText(const platform::EventEntry& entry);
// The same with the message files of an earlier call still open: for walks over many entries.
std::wstring MessageText(const platform::EventEntry& entry, platform::EventMessageFormatter& formatter);

// yyyymmddHHMMSS.000000+000 in UTC; "" when the time cannot be converted.
std::wstring WmiTimeText(uint32_t secondsSince1970);

// A provider date-time text as the system's date and time; the text unchanged when it is not one.
std::wstring ParseWmiDate(const std::wstring& wmiTime);

// The shift of the "UTCAdjustment" setting applied to a date text: "-h" subtracts h hours, "n"
// adds n hours. The text unchanged when either is empty or not understood.
std::wstring ApplyTimeShift(const std::wstring& timeShift, const std::wstring& dateText);

}  // namespace EventTimeText
