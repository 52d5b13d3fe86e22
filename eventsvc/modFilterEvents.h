#pragma once
// What the service does with each new Application-log entry: the stop notice ends the loop, the
// policy's "program blocked" entry (866) becomes an alert mail, everything else is ignored.
#include <string>

#include "alerts/modWriteEvent.h"
#include "common/Product.h"

namespace modFilterEvents {

using modWriteEvent::kStopNotice;
// The main program's own event source, the only one whose stop notice the loop heeds.
inline constexpr const wchar_t* kOwnSource = Product::kEventSource;
inline constexpr wchar_t kBlockedEventCode[] = L"866";
inline constexpr wchar_t kAlertSubject[] = L"Blocked Application Alert!";

// The UTCAdjustment setting in use: "" none, "-h" h hours earlier, "n" n hours later.
extern std::wstring EventTimeShift;
// Set when the event loop has ended on the service manager's stop.
extern bool StopServiceFlag;

// True when the entry is the main program's stop notice: the loop then looks for a stop request
// at once. Only the service manager's stop ends the loop. time: the provider's date-time text
// (yyyymmddHHMMSS...).
bool FilterEvent(const std::wstring& type, const std::wstring& eventCode, const std::wstring& sourceName,
                 const std::wstring& message, const std::wstring& logFile, const std::wstring& timeGenerated);
void ReportBlockedEvent(const std::wstring& type, const std::wstring& eventCode, const std::wstring& sourceName,
                        const std::wstring& message, const std::wstring& logFile, const std::wstring& timeGenerated);
void DoAction(const std::wstring& body);

// The alert text: header, two line breaks, body.
std::wstring AlertText(const std::wstring& body);
// The body lines for an entry, the time line first.
std::wstring AlertBody(const std::wstring& type, const std::wstring& eventCode, const std::wstring& sourceName,
                       const std::wstring& message, const std::wstring& logFile, const std::wstring& timeGenerated);

// The UTCAdjustment setting as it stands: the INI's [Config] value, else the settings key's; ""
// before Vista.
std::wstring LoadTimeShift();
// The date text shifted by EventTimeShift.
std::wstring ShiftEventTime(const std::wstring& dateText);
// The date and the time of a provider's date-time text, each in the platform's default form, joined
// by a blank; the fraction and the offset are ignored. The text unchanged when it is no such time.
std::wstring ParseWmiDate(const std::wstring& wmiTime);

}  // namespace modFilterEvents
