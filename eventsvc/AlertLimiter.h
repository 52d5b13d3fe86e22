#pragma once
// How many alert mails the service sends: anyone may write entries to the Application log, and a
// flood of them must neither bury the alerts that matter nor get the mail account throttled.
// - the first alert goes out at once;
// - one kind of alert for one program is mailed once within the repeat window;
// - at most mailsPerWindow alert mails within any window;
// - past that, the alerts held back are counted, and a summary of them is due one summary period
//   after the first of them; at most one summary per period.
// The clock is passed in, so that tests need not wait the minutes.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>

namespace AlertLimiter {

struct Limits {
  uint32_t repeatWindowMs;
  uint32_t mailsPerWindow;
  uint32_t windowMs;
  uint32_t summaryPeriodMs;
};

// The service's figures.
inline constexpr Limits kServiceLimits = {60 * 1000, 30, 10 * 60 * 1000, 10 * 60 * 1000};

enum class Verdict {
  Mail,      // send it now
  Repeat,    // the same kind for the same program was mailed within the repeat window
  HeldBack,  // over the limit: counted for the next summary
};

// Milliseconds from any fixed moment, never going back.
using Clock = std::function<uint64_t()>;
// The system's tick count, without its 49-day wrap.
uint64_t SystemClockMs();

class Limiter {
 public:
  explicit Limiter(const Limits& limits = kServiceLimits, Clock clock = SystemClockMs);

  // Weighs one alert; a Mail verdict counts as sent.
  Verdict Offer(const std::wstring& kind, const std::wstring& program);
  // The number of alerts held back when their summary is due now, else 0. A non-zero answer
  // counts as the summary sent.
  uint32_t TakeDueSummary();

  const Limits& Figures() const { return limits_; }

 private:
  void ForgetOld(uint64_t now);

  Limits limits_;
  Clock clock_;
  std::deque<uint64_t> sent_;                       // times of the mails within the window
  std::map<std::wstring, uint64_t> lastMailed_;     // kind and program -> time of its last mail
  uint32_t heldBack_ = 0;
  uint64_t summaryDue_ = 0;  // when the held-back alerts are summarised; meaningful when heldBack_ > 0
};

}  // namespace AlertLimiter
