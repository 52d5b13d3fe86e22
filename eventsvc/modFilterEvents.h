#pragma once
// What the service does with each new Application-log entry: the stop notice ends the loop; the
// policy's "program blocked" entry (866) and the filter module's alert entries become alert mails,
// within the limits of AlertLimiter; everything else is passed over on its header, unread.
#include <cstdint>
#include <string>

#include "notify/modWriteEvent.h"
#include "common/Product.h"
#include "eventsvc/AlertLimiter.h"

namespace modFilterEvents {

using modWriteEvent::kStopNotice;
// The main program's own event source, the only one whose stop notice the loop heeds.
inline constexpr const wchar_t* kOwnSource = Product::kEventSource;
inline constexpr wchar_t kBlockedEventCode[] = L"866";
// The sources whose 866 entries are the policy's: Windows writes them under this one. Any user
// may write an 866 under a source of their own, and such an entry is not mailed.
inline constexpr const wchar_t* kPolicySources[] = {L"Microsoft-Windows-SoftwareRestrictionPolicies"};
// The filter module's source, the only one whose alert entries are mailed.
inline constexpr const wchar_t* kFilterModuleSource = Product::kFilterModuleEventSource;
inline constexpr wchar_t kAlertSubject[] = L"Blocked Application Alert!";
inline constexpr wchar_t kSummarySubject[] = L"Alerts not mailed";

// The UTCAdjustment setting in use: "" none, "-h" h hours earlier, "n" n hours later.
extern std::wstring EventTimeShift;
// Set when the event loop has ended on the service manager's stop.
extern bool StopServiceFlag;

// True for the entries the service reads: the stop notice's, the policy's 866 and the filter
// module's alert entries, known by source and event ID alone. Every other entry is passed over
// before its text is built, so no message file of another source is ever loaded.
bool IsWatched(const std::wstring& sourceName, uint32_t eventId);

// True when the entry is the main program's stop notice: the loop then looks for a stop request
// at once. Only the service manager's stop ends the loop. time: the provider's date-time text
// (yyyymmddHHMMSS...). message: for the product's own entries, their one insertion string.
// writerSid: the account the entry names, "" for none; the limits keep each account's share.
bool FilterEvent(const std::wstring& type, const std::wstring& eventCode, const std::wstring& sourceName,
                 const std::wstring& message, const std::wstring& logFile, const std::wstring& timeGenerated,
                 const std::wstring& writerSid = L"");
void ReportBlockedEvent(const std::wstring& type, const std::wstring& eventCode, const std::wstring& sourceName,
                        const std::wstring& message, const std::wstring& logFile, const std::wstring& timeGenerated,
                        const std::wstring& writerSid);
// Mails an 866 alert; program: what tells one blocked program from another (the entry's message).
void DoAction(const std::wstring& body, const std::wstring& program, const std::wstring& writerSid);
// Mails the filter module's alert entry, when it is one and of the module's kinds.
void MailFilterModuleAlert(const std::wstring& message, const std::wstring& writerSid);

// True when the registry or the INI switches alerts on.
bool AlertsOn();
// Sends the summary of the alerts held back, when one is due; the event loop calls it every turn.
void SendDueSummary();
// The summary's body for the alerts held back under the limits: it names each kind held back.
std::wstring SummaryText(const AlertLimiter::HeldBack& heldBack, const AlertLimiter::Limits& limits);
// Starts the limits afresh on the clock given.
void ResetAlertLimits(AlertLimiter::Clock clock = AlertLimiter::SystemClockMs);

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
