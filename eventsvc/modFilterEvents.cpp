#include "eventsvc/modFilterEvents.h"

#include <windows.h>
#include <oleauto.h>

#include "notify/AlertEntry.h"
#include "notify/EventTimeText.h"
#include "notify/modEmailSvc.h"
#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/modOpSys.h"
#include "common/modRegistry.h"
#include "platform/Text.h"

namespace modFilterEvents {

std::wstring EventTimeShift;
bool StopServiceFlag = false;

namespace {

using Product::kSettingsKey;

bool ContainsNoCase(const std::wstring& text, const std::wstring& part) {
  return platform::Contains(platform::Lower(text), platform::Lower(part));
}

std::wstring SettingsText(const std::wstring& value) {
  return modRegistry::ReadText(HKEY_LOCAL_MACHINE, kSettingsKey, value);
}

bool SameSource(const std::wstring& source, const wchar_t* wanted) {
  return platform::Lower(platform::Trim(source)) == platform::Lower(wanted);
}

bool IsPolicySource(const std::wstring& source) {
  for (const wchar_t* policy : kPolicySources)
    if (SameSource(source, policy)) return true;
  return false;
}

AlertLimiter::Limiter& Limits() {
  static AlertLimiter::Limiter limiter;
  return limiter;
}

// The gate, the limits, then the mail.
void MailAlert(const AlertLimiter::Alert& alert, const std::wstring& subject, const std::wstring& text) {
  if (!AlertsOn()) return;
  if (Limits().Offer(alert) != AlertLimiter::Verdict::Mail) return;
  CommonModule::DPrint(L"DoAction Initiated");
  modEmailSvc::SendEmail(subject, text);
}

const std::wstring kProductEventCode = std::to_wstring(modWriteEvent::ProductEventId);

// What each budget's alerts are called in the summary, one and several.
struct KindName {
  const wchar_t* one;
  const wchar_t* several;
};
constexpr KindName kKindNames[AlertLimiter::kBudgets] = {
    {L"policy alert (event 866)", L"policy alerts (event 866)"},
    {L"filter-module alert", L"filter-module alerts"},
};

}  // namespace

bool IsWatched(const std::wstring& sourceName, uint32_t eventId) {
  // The event code shown is the identifier's low 16 bits; the rest are severity and facility.
  const uint32_t code = eventId & 0xFFFF;
  if (code == modWriteEvent::ProductEventId)
    return SameSource(sourceName, kOwnSource) || SameSource(sourceName, kFilterModuleSource);
  return std::to_wstring(code) == kBlockedEventCode && IsPolicySource(sourceName);
}

void ResetAlertLimits(AlertLimiter::Clock clock) {
  Limits() = AlertLimiter::Limiter(AlertLimiter::kServiceLimits, std::move(clock));
}

bool FilterEvent(const std::wstring& type, const std::wstring& eventCode, const std::wstring& sourceName,
                 const std::wstring& message, const std::wstring& logFile, const std::wstring& timeGenerated,
                 const std::wstring& writerSid) {
  // Anyone may write an entry under any source, and a blocked file may carry the notice in its
  // name: the notice never ends monitoring, and a blocked entry that holds it is still reported.
  if (SameSource(sourceName, kOwnSource) && ContainsNoCase(message, kStopNotice)) return true;
  const std::wstring code = platform::Trim(eventCode);
  if (code == kBlockedEventCode && IsPolicySource(sourceName)) {
    ReportBlockedEvent(type, eventCode, sourceName, message, logFile, timeGenerated, writerSid);
  } else if (code == kProductEventCode && SameSource(sourceName, kFilterModuleSource)) {
    MailFilterModuleAlert(message, writerSid);
  }
  return false;
}

std::wstring LoadTimeShift() {
  if (!modOpSys::IsVista()) return L"";
  const std::wstring fromIni = CommonModule::ReadIni(CommonModule::IniPath, L"Config", L"UTCAdjustment");
  return fromIni.empty() ? SettingsText(L"UTCAdjustment") : fromIni;
}

std::wstring AlertBody(const std::wstring& type, const std::wstring& eventCode, const std::wstring& sourceName,
                       const std::wstring& message, const std::wstring& logFile, const std::wstring& timeGenerated) {
  std::wstring timeLine;
  if (!modOpSys::IsVista()) {
    timeLine = L"Time: " + ShiftEventTime(timeGenerated);
  } else {
    // Read afresh for each alert, so a changed setting counts without a restart; the label
    // follows the setting that shifts the time.
    EventTimeShift = LoadTimeShift();
    const std::wstring label = EventTimeShift.empty() ? L"Time (UTC): " : L"Time: ";
    timeLine = label + ShiftEventTime(ParseWmiDate(timeGenerated));
  }
  return timeLine + L"\r\n" + L"Event Log: " + logFile + L"\r\n" + L"Event Type: " + type + L"\r\n" +
         L"Event ID: " + eventCode + L"\r\n" + L"Source Name: " + sourceName + L"\r\n" + L"Message: " +
         CommonModule::Strip(message, std::wstring(1, L'\0')) + L"\r\n";
}

void ReportBlockedEvent(const std::wstring& type, const std::wstring& eventCode, const std::wstring& sourceName,
                        const std::wstring& message, const std::wstring& logFile, const std::wstring& timeGenerated,
                        const std::wstring& writerSid) {
  DoAction(AlertBody(type, eventCode, sourceName, message, logFile, timeGenerated), message, writerSid);
}

void MailFilterModuleAlert(const std::wstring& message, const std::wstring& writerSid) {
  const auto alert = AlertEntry::Parse(message);
  if (!alert || !AlertEntry::IsFilterModuleSubject(alert->subject)) return;
  MailAlert({AlertLimiter::Budget::FilterModule, alert->subject, writerSid, alert->program}, alert->subject,
            alert->body);
}

std::wstring AlertText(const std::wstring& body) {
  const bool test = ContainsNoCase(body, L"helloworld.exe") || ContainsNoCase(body, L"helloworld2.exe");
  return std::wstring(test ? L"TEST EVENT" : L"SUSPICIOUS APPLICATION BLOCKED") + L"\r\n\r\n" + body;
}

bool AlertsOn() { return modEmailSvc::EmailAlertsSwitchedOn(); }

void DoAction(const std::wstring& body, const std::wstring& program, const std::wstring& writerSid) {
  MailAlert({AlertLimiter::Budget::Policy, kBlockedEventCode, writerSid, program}, kAlertSubject, AlertText(body));
}

std::wstring SummaryText(const AlertLimiter::HeldBack& heldBack, const AlertLimiter::Limits& limits) {
  std::wstring kinds;
  uint32_t total = 0;
  for (size_t budget = 0; budget < AlertLimiter::kBudgets; ++budget) {
    const uint32_t count = heldBack[budget];
    if (count == 0) continue;
    if (!kinds.empty()) kinds += L" and ";
    kinds += std::to_wstring(count) + L" " + (count == 1 ? kKindNames[budget].one : kKindNames[budget].several);
    total += count;
  }
  return kinds + (total == 1 ? L" was" : L" were") + L" not mailed: at most " +
         std::to_wstring(limits.mailsPerWindow) + L" alert mails of each kind go out in any " +
         std::to_wstring(limits.windowMs / 60000) + L" minutes, at most " +
         std::to_wstring(limits.writerMailsPerWindow) +
         L" of them for the entries of one account. The Application event log holds every one of them.";
}

void SendDueSummary() {
  const AlertLimiter::HeldBack heldBack = Limits().TakeDueSummary();
  if (heldBack == AlertLimiter::HeldBack{}) return;
  CommonModule::DPrint(L"SendDueSummary: ", std::to_wstring(heldBack[0]), std::to_wstring(heldBack[1]));
  modEmailSvc::SendEmail(kSummarySubject, SummaryText(heldBack, Limits().Figures()));
}

std::wstring ShiftEventTime(const std::wstring& dateText) {
  return EventTimeText::ApplyTimeShift(EventTimeShift, dateText);
}

std::wstring ParseWmiDate(const std::wstring& wmiTime) { return EventTimeText::ParseWmiDate(wmiTime); }

}  // namespace modFilterEvents
