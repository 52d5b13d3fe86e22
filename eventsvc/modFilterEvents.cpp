#include "eventsvc/modFilterEvents.h"

#include <windows.h>
#include <oleauto.h>

#include "notify/AlertEntry.h"
#include "notify/EventTimeText.h"
#include "notify/modEmailSvc.h"
#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/Variant.h"
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
  Variant result;
  modRegistry::fReadValue(L"HKLM", kSettingsKey, value, L"S", Variant(L""), result);
  return result.Text();
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
void MailAlert(const std::wstring& kind, const std::wstring& program, const std::wstring& subject,
               const std::wstring& text) {
  if (!AlertsOn()) return;
  if (Limits().Offer(kind, program) != AlertLimiter::Verdict::Mail) return;
  CommonModule::DPrint(L"DoAction Initiated");
  modEmailSvc::SendEmail(subject, text);
}

}  // namespace

void ResetAlertLimits(AlertLimiter::Clock clock) {
  Limits() = AlertLimiter::Limiter(AlertLimiter::kServiceLimits, std::move(clock));
}

bool FilterEvent(const std::wstring& type, const std::wstring& eventCode, const std::wstring& sourceName,
                 const std::wstring& message, const std::wstring& logFile, const std::wstring& timeGenerated) {
  // Anyone may write an entry under any source, and a blocked file may carry the notice in its
  // name: the notice never ends monitoring, and a blocked entry that holds it is still reported.
  if (SameSource(sourceName, kOwnSource) && ContainsNoCase(message, kStopNotice)) return true;
  const std::wstring code = platform::Trim(eventCode);
  if (code == kBlockedEventCode && IsPolicySource(sourceName)) {
    ReportBlockedEvent(type, eventCode, sourceName, message, logFile, timeGenerated);
  } else if (code == std::to_wstring(modWriteEvent::ProductEventId) && SameSource(sourceName, kFilterModuleSource)) {
    MailFilterModuleAlert(message);
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
                        const std::wstring& message, const std::wstring& logFile, const std::wstring& timeGenerated) {
  DoAction(AlertBody(type, eventCode, sourceName, message, logFile, timeGenerated), message);
}

void MailFilterModuleAlert(const std::wstring& message) {
  const auto alert = AlertEntry::Parse(message);
  if (!alert || !AlertEntry::IsFilterModuleSubject(alert->subject)) return;
  MailAlert(alert->subject, alert->program, alert->subject, alert->body);
}

std::wstring AlertText(const std::wstring& body) {
  const bool test = ContainsNoCase(body, L"helloworld.exe") || ContainsNoCase(body, L"helloworld2.exe");
  return std::wstring(test ? L"TEST EVENT" : L"SUSPICIOUS APPLICATION BLOCKED") + L"\r\n\r\n" + body;
}

bool AlertsOn() {
  return SettingsText(L"EmailAlerts") == L"1" ||
         CommonModule::ReadIni(CommonModule::IniPath, L"EmailConfig", L"EmailAlerts") == L"1";
}

void DoAction(const std::wstring& body, const std::wstring& program) {
  MailAlert(kBlockedEventCode, program, kAlertSubject, AlertText(body));
}

std::wstring SummaryText(uint32_t heldBack, const AlertLimiter::Limits& limits) {
  return std::to_wstring(heldBack) + (heldBack == 1 ? L" alert was" : L" alerts were") +
         L" not mailed: at most " + std::to_wstring(limits.mailsPerWindow) + L" alert mails go out in any " +
         std::to_wstring(limits.windowMs / 60000) + L" minutes. The Application event log holds "
         L"every one of them.";
}

void SendDueSummary() {
  const uint32_t heldBack = Limits().TakeDueSummary();
  if (heldBack == 0) return;
  CommonModule::DPrint(L"SendDueSummary: ", std::to_wstring(heldBack));
  modEmailSvc::SendEmail(kSummarySubject, SummaryText(heldBack, Limits().Figures()));
}

std::wstring ShiftEventTime(const std::wstring& dateText) {
  return EventTimeText::ApplyTimeShift(EventTimeShift, dateText);
}

std::wstring ParseWmiDate(const std::wstring& wmiTime) { return EventTimeText::ParseWmiDate(wmiTime); }

}  // namespace modFilterEvents
