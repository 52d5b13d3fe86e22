// The restart road with the session-ending steps replaced by a recorder: the error numbers, the
// fallback and its order. Nothing here can reach ExitWindowsEx or shutdown.exe.
#include <gtest/gtest.h>

#include <vector>

#include "common/CommonModule.h"
#include "common/ShutDownMod.h"
#include "tests/common/TokenPrivilegeHelpers.h"

using ShutDownMod::ShutdownError;
using ShutDownMod::internal::Step;

namespace {

struct StepCall {
  Step step;
  UINT flags;
  std::wstring parameters;
  bool operator==(const StepCall&) const = default;
};

std::vector<StepCall> calls;
DWORD exitWindowsAnswer = 0;

DWORD RecordStep(Step step, UINT flags, const std::wstring& parameters) {
  calls.push_back({step, flags, parameters});
  return step == Step::ExitWindows ? exitWindowsAnswer : 0;
}

// In place before any test can run.
const bool kStepReplaced = (ShutDownMod::internal::PerformStep = RecordStep, true);

class ShutDownModTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kStepReplaced);
    ASSERT_EQ(ShutDownMod::internal::PerformStep, &RecordStep);
    calls.clear();
    exitWindowsAnswer = 0;
  }
};

std::wstring Source() { return CommonModule::AppExeName() + L".mShutDown"; }

}  // namespace

TEST_F(ShutDownModTest, ErrorNumbersCountFromTheObjectErrorBase) {
  EXPECT_EQ(ShutDownMod::kErrShutdownFailed, static_cast<int32_t>(0x8004062Bu));
  EXPECT_EQ(ShutDownMod::kErrNoPrivilegeValue, static_cast<int32_t>(0x8004062Cu));
  EXPECT_EQ(ShutDownMod::kErrNoCurrentProcess, static_cast<int32_t>(0x8004062Du));
  EXPECT_EQ(ShutDownMod::kErrNoPrivilege, static_cast<int32_t>(0x8004062Eu));
  EXPECT_EQ(ShutDownMod::kErrInvalidParameter, static_cast<int32_t>(0x8004062Fu));
}

TEST_F(ShutDownModTest, RebootAsksWindowsFirstAndFallsBackToShutdownExeOnlyWhenRefused) {
  struct Case {
    bool force;
    DWORD answer;
    std::vector<StepCall> expected;
  };
  const Case cases[] = {
      // Programs may ask to save: only a hung one is closed, and the fallback never forces.
      {true, 0, {{Step::ExitWindows, EWX_REBOOT | EWX_FORCEIFHUNG, L""}}},
      {false, 0, {{Step::ExitWindows, 2, L""}}},
      {true, ERROR_PRIVILEGE_NOT_HELD,
       {{Step::ExitWindows, EWX_REBOOT | EWX_FORCEIFHUNG, L""}, {Step::Fallback, 0, L"-r -t 0"}}},
      {false, ERROR_ACCESS_DENIED, {{Step::ExitWindows, 2, L""}, {Step::Fallback, 0, L"-r -t 0"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "force " << c.force << ", Windows answers " << c.answer);
    calls.clear();
    exitWindowsAnswer = c.answer;
    ShutDownMod::RebootSystem(c.force);
    EXPECT_EQ(calls, c.expected);
  }
}

TEST_F(ShutDownModTest, FlagsOutsideZeroToThirtyOneAreRefusedBeforeAnythingElse) {
  for (int32_t flags : {-1, 32, 0x7FFFFFFF, static_cast<int32_t>(0x80000000u)}) {
    SCOPED_TRACE(flags);
    ShutdownError error;
    EXPECT_FALSE(ShutDownMod::ShutdownSystem(flags, error));
    EXPECT_EQ(error.Number, ShutDownMod::kErrInvalidParameter);
    EXPECT_EQ(error.Source, Source());
    EXPECT_EQ(error.Description, L"Invalid parameter to ShutdownSystem: " + std::to_wstring(flags));
  }
  EXPECT_TRUE(calls.empty());
  for (int32_t flags : {0, 31}) {
    ShutdownError error;
    EXPECT_TRUE(ShutDownMod::ShutdownSystem(flags, error)) << flags;
    EXPECT_EQ(error.Number, 0);
  }
  EXPECT_EQ(calls, (std::vector<StepCall>{{Step::ExitWindows, 0, L""}, {Step::ExitWindows, 31, L""}}));
}

TEST_F(ShutDownModTest, ARefusalRaisesTheShutdownErrorWithTheSystemsText) {
  exitWindowsAnswer = ERROR_ACCESS_DENIED;
  ShutdownError error;
  EXPECT_FALSE(ShutDownMod::ShutdownSystem(6, error));
  EXPECT_EQ(error.Number, ShutDownMod::kErrShutdownFailed);
  EXPECT_EQ(error.Source, Source());
  const std::wstring text = ShutDownMod::GetApiErrorText(ERROR_ACCESS_DENIED);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(error.Description, L"ShutdownSystem failed: " + text);
}

TEST_F(ShutDownModTest, ThePrivilegeIsSwitchedOnBeforeWindowsIsAsked) {
  ASSERT_TRUE(privilegetest::SetPrivilegeState(L"SeShutdownPrivilege", false));
  ShutdownError error;
  EXPECT_TRUE(ShutDownMod::EnableShutdownPrivilege(error));
  EXPECT_EQ(error.Number, 0);
  EXPECT_EQ(privilegetest::PrivilegeState(L"SeShutdownPrivilege"), privilegetest::State::Enabled);

  ASSERT_TRUE(privilegetest::SetPrivilegeState(L"SeShutdownPrivilege", false));
  EXPECT_TRUE(ShutDownMod::ShutdownSystem(2, error));
  EXPECT_EQ(privilegetest::PrivilegeState(L"SeShutdownPrivilege"), privilegetest::State::Enabled);
}

TEST_F(ShutDownModTest, SystemTextsKeepTheirLineBreakAndUnknownCodesHaveNone) {
  const std::wstring denied = ShutDownMod::GetApiErrorText(ERROR_ACCESS_DENIED);
  ASSERT_GE(denied.size(), 2u);
  EXPECT_EQ(denied.substr(denied.size() - 2), L"\r\n");
  EXPECT_EQ(ShutDownMod::GetApiErrorText(0x2FFFFFFF), L"");
  EXPECT_TRUE(ShutDownMod::IsNTPlatform());
  EXPECT_TRUE(ShutDownMod::IsNTPlatform());
}
