#include "eventsvc/modFilterEvents.h"

#include <windows.h>
#include <oleauto.h>

#include "alerts/EventTimeText.h"
#include "alerts/modEmailSvc.h"
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

}  // namespace

bool FilterEvent(const std::wstring& type, const std::wstring& eventCode, const std::wstring& sourceName,
                 const std::wstring& message, const std::wstring& logFile, const std::wstring& timeGenerated) {
  // Anyone may write an entry under any source, and a blocked file may carry the notice in its
  // name: the notice never ends monitoring, and a blocked entry that holds it is still reported.
  if (platform::Lower(platform::Trim(sourceName)) == platform::Lower(kOwnSource) && ContainsNoCase(message, kStopNotice))
    return true;
  if (platform::Trim(eventCode) == kBlockedEventCode)
    ReportBlockedEvent(type, eventCode, sourceName, message, logFile, timeGenerated);
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
  DoAction(AlertBody(type, eventCode, sourceName, message, logFile, timeGenerated));
}

std::wstring AlertText(const std::wstring& body) {
  const bool test = ContainsNoCase(body, L"helloworld.exe") || ContainsNoCase(body, L"helloworld2.exe");
  return std::wstring(test ? L"TEST EVENT" : L"SUSPICIOUS APPLICATION BLOCKED") + L"\r\n\r\n" + body;
}

void DoAction(const std::wstring& body) {
  if (SettingsText(L"EmailAlerts") != L"1" &&
      CommonModule::ReadIni(CommonModule::IniPath, L"EmailConfig", L"EmailAlerts") != L"1")
    return;
  CommonModule::DPrint(L"DoAction Initiated");
  modEmailSvc::SendEmail(kAlertSubject, AlertText(body));
}

std::wstring ShiftEventTime(const std::wstring& dateText) {
  return EventTimeText::ApplyTimeShift(EventTimeShift, dateText);
}

std::wstring ParseWmiDate(const std::wstring& wmiTime) { return EventTimeText::ParseWmiDate(wmiTime); }

}  // namespace modFilterEvents
