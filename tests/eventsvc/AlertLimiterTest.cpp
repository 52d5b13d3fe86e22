// The alert limits on a clock of the test's own: the repeat window, each kind's budget and each
// account's share of it, and the summary of what was held back.
#include <gtest/gtest.h>

#include <string>

#include "eventsvc/AlertLimiter.h"
#include "platform/Text.h"

namespace {

using AlertLimiter::Budget;
using V = AlertLimiter::Verdict;

class LimiterTest : public ::testing::Test {
 protected:
  V Offer(Budget budget, const std::wstring& kind, const std::wstring& writer, const std::wstring& program) {
    return limiter_.Offer({budget, kind, writer, program});
  }
  // Offers count alerts, each for a program of its own; the number mailed.
  int Burst(Budget budget, const std::wstring& writer, int count, bool writerPerAlert = false) {
    int mailed = 0;
    for (int i = 0; i < count; ++i) {
      const std::wstring n = std::to_wstring(++serial_);
      mailed += Offer(budget, L"k", writerPerAlert ? L"S-1-5-21-9-9-9-" + n : writer, L"p" + n + L".exe") == V::Mail;
    }
    return mailed;
  }
  uint64_t now_ = 5000;
  int serial_ = 0;
  AlertLimiter::Limiter limiter_{AlertLimiter::kServiceLimits, [this] { return now_; }};
};

TEST_F(LimiterTest, OneKindForOneProgramFromOneAccountIsMailedOnceAMinute) {
  struct Step {
    uint64_t at;
    Budget budget;
    const wchar_t* kind;
    const wchar_t* writer;
    const wchar_t* program;
    V verdict;
  };
  const Budget P = Budget::Policy, M = Budget::FilterModule;
  const Step steps[] = {
      {0, P, L"866", L"S-1-5-21-1", L"a.exe", V::Mail},        {1, P, L"866", L"S-1-5-21-1", L"a.exe", V::Repeat},
      {2, P, L"866", L"S-1-5-21-1", L"A.EXE", V::Repeat},      {3, P, L"866", L"S-1-5-21-2", L"a.exe", V::Mail},
      {4, P, L"866", L"", L"a.exe", V::Mail},                  {5, M, L"blocked", L"S-1-5-21-1", L"a.exe", V::Mail},
      {6, M, L"allowed", L"S-1-5-21-1", L"a.exe", V::Mail},    {7, P, L"866", L"S-1-5-21-1", L"b.exe", V::Mail},
      {59999, P, L"866", L"S-1-5-21-1", L"a.exe", V::Repeat},  {60000, P, L"866", L"S-1-5-21-1", L"a.exe", V::Mail},
      {60001, P, L"866", L"S-1-5-21-1", L"a.exe", V::Repeat},
  };
  const uint64_t start = now_;
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << step.at << " " << static_cast<int>(step.budget) << " "
                                    << platform::ToUtf8(step.kind) << " " << platform::ToUtf8(step.writer) << " "
                                    << platform::ToUtf8(step.program));
    now_ = start + step.at;
    EXPECT_EQ(Offer(step.budget, step.kind, step.writer, step.program), step.verdict);
  }
  EXPECT_EQ(limiter_.TakeDueSummary(), AlertLimiter::HeldBack{}) << "nothing was held back";
}

// One account, or entries naming none, get ten of a kind's thirty; entries naming made-up accounts
// share the thirty; the other kind keeps its own.
TEST_F(LimiterTest, EachAccountHasItsShareAndEachKindItsThirty) {
  struct Step {
    const char* name;
    Budget budget;
    const wchar_t* writer;
    int alerts;
    bool writerPerAlert;
    int mailed;
  };
  const Step steps[] = {
      {"one account floods", Budget::Policy, L"S-1-5-21-1", 15, false, 10},
      {"entries naming none", Budget::Policy, L"", 15, false, 10},
      {"another account", Budget::Policy, L"S-1-5-21-2", 1, false, 1},
      {"made-up accounts fill the kind", Budget::Policy, nullptr, 20, true, 9},
      {"the kind is spent for everyone", Budget::Policy, L"S-1-5-21-3", 1, false, 0},
      {"the other kind has its own", Budget::FilterModule, L"S-1-5-21-1", 12, false, 10},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    EXPECT_EQ(Burst(step.budget, step.writer ? step.writer : L"", step.alerts, step.writerPerAlert), step.mailed);
    now_ += 1000;
  }
  now_ += 10 * 60 * 1000;
  EXPECT_EQ(limiter_.TakeDueSummary(), (AlertLimiter::HeldBack{5 + 5 + 11 + 1, 2}));
}

TEST_F(LimiterTest, ThirtyInAnyTenMinutesThenOneSummaryPerTenMinutes) {
  const uint64_t start = now_;
  EXPECT_EQ(Burst(Budget::FilterModule, L"", 200, true), 30);
  now_ = start + 10 * 60 * 1000 - 1;
  EXPECT_EQ(limiter_.TakeDueSummary(), AlertLimiter::HeldBack{}) << "due ten minutes after the first held back";
  EXPECT_EQ(Burst(Budget::FilterModule, L"S-1-5-21-7", 1), 0) << "the window has not moved on";
  EXPECT_EQ(Burst(Budget::Policy, L"S-1-5-21-7", 1), 1) << "the other kind's window is its own";
  now_ = start + 10 * 60 * 1000;
  EXPECT_EQ(limiter_.TakeDueSummary(), (AlertLimiter::HeldBack{0, 171}));
  EXPECT_EQ(limiter_.TakeDueSummary(), AlertLimiter::HeldBack{});
  // The first thirty have left the window, and an account's share renews with it: mails go out
  // again, and a new flood waits its own ten minutes for the next summary.
  EXPECT_EQ(Burst(Budget::FilterModule, L"S-1-5-21-8", 11), 10);
  now_ += 10 * 60 * 1000 - 1;
  EXPECT_EQ(limiter_.TakeDueSummary(), AlertLimiter::HeldBack{});
  now_ += 1;
  EXPECT_EQ(limiter_.TakeDueSummary(), (AlertLimiter::HeldBack{0, 1}));
  EXPECT_EQ(Burst(Budget::FilterModule, L"S-1-5-21-8", 10), 10) << "the account's share renewed";
}

}  // namespace
