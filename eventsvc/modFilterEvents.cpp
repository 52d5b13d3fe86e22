#include "eventsvc/modFilterEvents.h"

#include <windows.h>
#include <oleauto.h>

#include "alerts/modEmailSvc.h"
#include "common/CommonModule.h"
#include "common/Variant.h"
#include "common/modOpSys.h"
#include "common/modRegistry.h"
#include "platform/Text.h"

namespace modFilterEvents {

std::wstring EventTimeShift;
bool StopServiceFlag = false;

namespace {

const wchar_t kSettingsKey[] = L"Software\\Merrowind IT\\Ironlatch";

bool ContainsNoCase(const std::wstring& text, const std::wstring& part) {
  return platform::Contains(platform::Lower(text), platform::Lower(part));
}

std::wstring SettingsText(const std::wstring& value) {
  Variant result;
  modRegistry::fReadValue(L"HKLM", kSettingsKey, value, L"S", Variant(L""), result);
  return result.Text();
}

std::wstring DateText(double date, ULONG flags) {
  BSTR text = nullptr;
  if (FAILED(VarBstrFromDate(date, LOCALE_USER_DEFAULT, flags, &text)) || !text) return L"";
  std::wstring result(text, SysStringLen(text));
  SysFreeString(text);
  return result;
}

bool TextToDate(const std::wstring& text, double& date) {
  BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!b) return false;
  const HRESULT hr = VarDateFromStr(b, LOCALE_USER_DEFAULT, 0, &date);
  SysFreeString(b);
  return SUCCEEDED(hr);
}

// A whole number that fits 16 bits, blanks around it allowed; 0 otherwise (the shift is skipped).
int ShortNumber(const std::wstring& text) {
  int64_t n = 0;
  if (!platform::ParseInt64(text, n) || n < -32768 || n > 32767) return 0;
  return static_cast<int>(n);
}

bool Digits(const std::wstring& text, size_t from, size_t count, int& value) {
  value = 0;
  if (text.size() < from + count) return false;
  for (size_t i = from; i < from + count; ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
    value = value * 10 + (text[i] - L'0');
  }
  return true;
}

}  // namespace

bool FilterEvent(const std::wstring& type, const std::wstring& eventCode, const std::wstring& sourceName,
                 const std::wstring& message, const std::wstring& logFile, const std::wstring& timeGenerated) {
  if (ContainsNoCase(message, kStopNotice)) {
    StopServiceFlag = true;
    return true;
  }
  if (platform::Trim(eventCode) == kBlockedEventCode)
    ReportBlockedEvent(type, eventCode, sourceName, message, logFile, timeGenerated);
  return false;
}

std::wstring AlertBody(const std::wstring& type, const std::wstring& eventCode, const std::wstring& sourceName,
                       const std::wstring& message, const std::wstring& logFile, const std::wstring& timeGenerated) {
  std::wstring timeLine;
  if (!modOpSys::IsVista()) {
    timeLine = L"Time: " + ShiftEventTime(timeGenerated);
  } else {
    // The label follows the setting as it stands now; the shift may still load it from the registry.
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
  if (EventTimeShift.empty() && modOpSys::IsVista()) EventTimeShift = SettingsText(L"UTCAdjustment");
  if (EventTimeShift.empty() || dateText.empty()) return dateText;
  double date = 0;
  if (!TextToDate(dateText, date)) return dateText;
  if (EventTimeShift[0] == L'-') {
    const size_t digits = EventTimeShift.find_first_not_of(L'-');
    const int hours = digits == std::wstring::npos ? 0 : ShortNumber(EventTimeShift.substr(digits));
    date -= hours / 24.0;
  } else {
    date += ShortNumber(EventTimeShift) / 60.0;
  }
  const std::wstring shifted = DateText(date, 0);
  return shifted.empty() ? dateText : shifted;
}

std::wstring ParseWmiDate(const std::wstring& wmiTime) {
  int year, month, day, hour, minute, second;
  if (!Digits(wmiTime, 0, 4, year) || !Digits(wmiTime, 4, 2, month) || !Digits(wmiTime, 6, 2, day) ||
      !Digits(wmiTime, 8, 2, hour) || !Digits(wmiTime, 10, 2, minute) || !Digits(wmiTime, 12, 2, second))
    return wmiTime;
  SYSTEMTIME dayOnly{};
  dayOnly.wYear = static_cast<WORD>(year);
  dayOnly.wMonth = static_cast<WORD>(month);
  dayOnly.wDay = static_cast<WORD>(day);
  double date = 0;
  if (!SystemTimeToVariantTime(&dayOnly, &date) || hour > 23 || minute > 59 || second > 59) return wmiTime;
  const double time = (hour * 3600 + minute * 60 + second) / 86400.0;
  return DateText(date, VAR_DATEVALUEONLY) + L" " + DateText(time, VAR_TIMEVALUEONLY);
}

}  // namespace modFilterEvents
