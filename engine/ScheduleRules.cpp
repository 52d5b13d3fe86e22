#include "engine/ScheduleRules.h"

#include <windows.h>

#include <cmath>
#include <random>

#include "platform/Text.h"

namespace ScheduleRules {

int32_t ScheduleNumber() {
  // The clock is mixed into the last state, so that two draws within one tick of the clock differ.
  static std::mt19937 generator(static_cast<unsigned>(GetTickCount()));
  LARGE_INTEGER counter = {};
  QueryPerformanceCounter(&counter);
  generator.seed(static_cast<unsigned>(generator() ^ counter.LowPart ^ GetTickCount()));
  const double r = std::generate_canonical<double, 32>(generator);
  return static_cast<int32_t>(std::nearbyint(r * 57 + 1));
}

std::wstring TwoDigits(const std::wstring& number) {
  const std::wstring trimmed = platform::Trim(number);
  if (trimmed.empty()) return number;
  wchar_t* end = nullptr;
  const double value = wcstod(trimmed.c_str(), &end);
  if (!end || *end != L'\0' || value < 0 || value > 1e9) return number;
  wchar_t text[16] = {};
  swprintf(text, 16, L"%02.0f", value);
  return text;
}

bool ParseTimeText(const std::wstring& time, int& hour, int& minute, int& second) {
  const auto parts = platform::Split(time, L":");
  if (parts.size() != 3) return false;
  int64_t values[3] = {};
  for (size_t i = 0; i < 3; ++i) {
    if (parts[i].empty() || parts[i].size() > 2 || parts[i].find_first_not_of(L"0123456789") != std::wstring::npos)
      return false;
    platform::ParseInt64(parts[i], values[i]);
  }
  if (values[0] > 23 || values[1] > 59 || values[2] > 59) return false;
  hour = static_cast<int>(values[0]);
  minute = static_cast<int>(values[1]);
  second = static_cast<int>(values[2]);
  return true;
}

int32_t WeekdayMask(const std::wstring& word) {
  static const std::pair<const wchar_t*, int32_t> kDays[] = {{L"sun", 1},  {L"mon", 2},  {L"tues", 4}, {L"wed", 8},
                                                              {L"thur", 16}, {L"fri", 32}, {L"sat", 64}};
  for (const auto& [name, mask] : kDays)
    if (word == name) return mask;
  return 4;
}

bool IsTaskListed(const std::wstring& listing, const std::wstring& taskName) {
  return !taskName.empty() && platform::Contains(platform::Lower(listing), platform::Lower(taskName));
}

}  // namespace ScheduleRules
