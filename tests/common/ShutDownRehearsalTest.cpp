// A rehearsing program records the restart and never takes a step towards it.
#include <gtest/gtest.h>

#include "common/ShutDownMod.h"
#include "tests/common/RehearsalLog.h"

using ShutDownMod::internal::Step;

namespace {

int stepsTaken = 0;
DWORD CountStep(Step, UINT, const std::wstring&) {
  ++stepsTaken;
  return ERROR_ACCESS_DENIED;
}
const bool kStepReplaced = (ShutDownMod::internal::PerformStep = CountStep, true);

}  // namespace

TEST(ShutDownRehearsal, RebootIsRecordedWithItsFallbackAndNothingIsDone) {
  ASSERT_TRUE(rehearsal::kRehearsing && kStepReplaced);
  ShutDownMod::RebootSystem(true);
  ShutDownMod::RebootSystem(false);
  EXPECT_EQ(stepsTaken, 0);
  auto records = rehearsal::TakePrompts();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].kind, L"reboot");
  EXPECT_EQ(records[0].fields, (std::vector<std::wstring>{L"force", L"shutdown.exe -r -t 0"}));
  EXPECT_EQ(records[1].kind, L"reboot");
  EXPECT_EQ(records[1].fields, (std::vector<std::wstring>{L"normal", L"shutdown.exe -r -t 0"}));
}
