#include "eventsvc/AlertLimiter.h"

#include <windows.h>

#include "platform/Text.h"

namespace AlertLimiter {

uint64_t SystemClockMs() {
  // GetTickCount64 is not on Windows XP; the service's one thread extends the 32-bit count.
  static DWORD last = GetTickCount();
  static uint64_t wraps = 0;
  const DWORD now = GetTickCount();
  if (now < last) ++wraps;
  last = now;
  return (wraps << 32) + now;
}

Limiter::Limiter(const Limits& limits, Clock clock) : limits_(limits), clock_(std::move(clock)) {}

void Limiter::ForgetOld(uint64_t now) {
  while (!sent_.empty() && now - sent_.front() >= limits_.windowMs) sent_.pop_front();
  for (auto it = lastMailed_.begin(); it != lastMailed_.end();)
    it = now - it->second >= limits_.repeatWindowMs ? lastMailed_.erase(it) : std::next(it);
}

Verdict Limiter::Offer(const std::wstring& kind, const std::wstring& program) {
  const uint64_t now = clock_();
  ForgetOld(now);
  // Windows names files without regard to case. The kind never holds the separator's NUL: the
  // two parts cannot run into each other.
  const std::wstring key = kind + L'\0' + platform::Lower(program);
  if (lastMailed_.count(key)) return Verdict::Repeat;
  if (sent_.size() >= limits_.mailsPerWindow) {
    if (heldBack_++ == 0) summaryDue_ = now + limits_.summaryPeriodMs;
    return Verdict::HeldBack;
  }
  sent_.push_back(now);
  lastMailed_[key] = now;
  return Verdict::Mail;
}

uint32_t Limiter::TakeDueSummary() {
  if (heldBack_ == 0 || clock_() < summaryDue_) return 0;
  const uint32_t count = heldBack_;
  heldBack_ = 0;
  return count;
}

}  // namespace AlertLimiter
