#pragma once
// How many alert mails the service sends: anyone may write entries to the Application log, under
// any source and naming any account, and a flood of them must neither bury the alerts that matter
// nor get the mail account throttled.
// - the policy's entries and the filter module's alert entries each have a budget of their own,
//   so a flood of one kind holds back none of the other;
// - the first alert goes out at once;
// - one kind of alert for one program, from the entries of one account, is mailed once within the
//   repeat window;
// - at most mailsPerWindow mails of one budget within any window, and at most writerMailsPerWindow
//   of them for the entries of one account (the account an entry names, or none): one account's
//   flood leaves the rest of the budget to the others, and entries naming made-up accounts still
//   share the one budget;
// - past that, the alerts held back are counted per budget, and a summary of them is due one
//   summary period after the first of them; at most one summary per period.
// The clock is passed in, so that tests need not wait the minutes.
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>

namespace AlertLimiter {

struct Limits {
  uint32_t repeatWindowMs;
  uint32_t mailsPerWindow;        // of one budget
  uint32_t writerMailsPerWindow;  // of one budget, for the entries of one account
  uint32_t windowMs;
  uint32_t summaryPeriodMs;
};

// The service's figures.
inline constexpr Limits kServiceLimits = {60 * 1000, 30, 10, 10 * 60 * 1000, 10 * 60 * 1000};

enum class Budget {
  Policy,        // the policy's "program blocked" entries (event 866)
  FilterModule,  // the filter module's alert entries
};
inline constexpr size_t kBudgets = 2;

struct Alert {
  Budget budget;
  std::wstring kind;     // the kind of alert within its budget (the filter module's subject)
  std::wstring writer;   // the account the entry names ("S-1-5-..."), "" for none
  std::wstring program;  // the file the alert is about; names differing only in case are one file
};

enum class Verdict {
  Mail,      // send it now
  Repeat,    // the same kind for the same program from the same account was mailed within the repeat window
  HeldBack,  // over a limit: counted for the next summary
};

// The alerts held back, per budget.
using HeldBack = std::array<uint32_t, kBudgets>;

// Milliseconds from any fixed moment, never going back.
using Clock = std::function<uint64_t()>;
// The system's tick count, without its 49-day wrap.
uint64_t SystemClockMs();

class Limiter {
 public:
  explicit Limiter(const Limits& limits = kServiceLimits, Clock clock = SystemClockMs);

  // Weighs one alert; a Mail verdict counts as sent.
  Verdict Offer(const Alert& alert);
  // The alerts held back when their summary is due now, else all 0. An answer that is not all 0
  // counts as the summary sent.
  HeldBack TakeDueSummary();

  const Limits& Figures() const { return limits_; }

 private:
  struct Sent {
    uint64_t at;
    std::wstring writer;
  };
  void ForgetOld(uint64_t now);

  Limits limits_;
  Clock clock_;
  std::array<std::deque<Sent>, kBudgets> sent_;  // the mails of each budget within the window
  std::map<std::wstring, uint64_t> lastMailed_;  // budget, kind, account and program -> time of its last mail
  HeldBack heldBack_{};
  uint64_t summaryDue_ = 0;  // when the held-back alerts are summarised; meaningful while any are held back
};

}  // namespace AlertLimiter
