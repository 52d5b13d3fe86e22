#include "eventsvc/AlertLimiter.h"

#include <windows.h>

#include <algorithm>

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
  for (auto& sent : sent_)
    while (!sent.empty() && now - sent.front().at >= limits_.windowMs) sent.pop_front();
  for (auto it = lastMailed_.begin(); it != lastMailed_.end();)
    it = now - it->second >= limits_.repeatWindowMs ? lastMailed_.erase(it) : std::next(it);
}

Verdict Limiter::Offer(const Alert& alert) {
  const uint64_t now = clock_();
  ForgetOld(now);
  const size_t budget = static_cast<size_t>(alert.budget);
  // Windows names files without regard to case. No part holds the separator's NUL (entries carry
  // NUL-terminated texts): the parts cannot run into each other.
  const std::wstring key = std::to_wstring(budget) + L'\0' + alert.kind + L'\0' + alert.writer + L'\0' +
                           platform::Lower(alert.program);
  if (lastMailed_.count(key)) return Verdict::Repeat;
  std::deque<Sent>& sent = sent_[budget];
  const size_t fromWriter =
      std::count_if(sent.begin(), sent.end(), [&](const Sent& s) { return s.writer == alert.writer; });
  if (sent.size() >= limits_.mailsPerWindow || fromWriter >= limits_.writerMailsPerWindow) {
    if (heldBack_ == HeldBack{}) summaryDue_ = now + limits_.summaryPeriodMs;
    ++heldBack_[budget];
    return Verdict::HeldBack;
  }
  sent.push_back({now, alert.writer});
  lastMailed_[key] = now;
  return Verdict::Mail;
}

HeldBack Limiter::TakeDueSummary() {
  if (heldBack_ == HeldBack{} || clock_() < summaryDue_) return {};
  const HeldBack counts = heldBack_;
  heldBack_ = {};
  return counts;
}

}  // namespace AlertLimiter
