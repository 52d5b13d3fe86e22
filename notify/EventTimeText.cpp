#include "notify/EventTimeText.h"

#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <ctime>

#include "common/CommonModule.h"
#include "platform/Com.h"
#include "platform/Text.h"

namespace EventTimeText {

namespace {

std::wstring DateText(double date, ULONG flags) {
  platform::Bstr text;
  if (FAILED(VarBstrFromDate(date, LOCALE_USER_DEFAULT, flags, text.put()))) return L"";
  return text.Text();
}

bool TextToDate(const std::wstring& text, double& date) {
  const platform::Bstr b(text);
  return b && SUCCEEDED(VarDateFromStr(b.get(), LOCALE_USER_DEFAULT, 0, &date));
}

// A whole number that fits 16 bits; 0 otherwise, which leaves the time as it is.
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

std::wstring MessageText(const platform::EventEntry& entry) {
  platform::EventMessageFormatter formatter;
  return MessageText(entry, formatter);
}

std::wstring MessageText(const platform::EventEntry& entry, platform::EventMessageFormatter& formatter) {
  return CommonModule::Strip(formatter.Format(entry), std::wstring(1, L'\0'));
}

std::wstring WmiTimeText(uint32_t secondsSince1970) {
  const std::time_t t = static_cast<std::time_t>(secondsSince1970);
  std::tm utc{};
  if (gmtime_s(&utc, &t) != 0) return L"";
  wchar_t text[32];
  swprintf(text, 32, L"%04d%02d%02d%02d%02d%02d.000000+000", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
           utc.tm_hour, utc.tm_min, utc.tm_sec);
  return text;
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

std::wstring ApplyTimeShift(const std::wstring& timeShift, const std::wstring& dateText) {
  if (timeShift.empty() || dateText.empty()) return dateText;
  double date = 0;
  if (!TextToDate(dateText, date)) return dateText;
  if (timeShift[0] == L'-') {
    const size_t digits = timeShift.find_first_not_of(L'-');
    date -= (digits == std::wstring::npos ? 0 : ShortNumber(timeShift.substr(digits))) / 24.0;
  } else {
    date += ShortNumber(timeShift) / 24.0;
  }
  const std::wstring shifted = DateText(date, 0);
  return shifted.empty() ? dateText : shifted;
}

}  // namespace EventTimeText
