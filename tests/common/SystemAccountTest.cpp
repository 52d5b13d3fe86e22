// The SYSTEM-account test and TrimNull.
#include <gtest/gtest.h>

#include "common/CommonModule.h"
#include "common/CommonModule2.h"
#include "tests/common/CommonTestHelpers.h"
#include "tests/common/RehearsalLog.h"

namespace {

// Boxes and windows of this program are recorded, never shown (see RehearsalLog.h).
std::vector<testsupport::PromptRecord> Prompts() { return testsupport::ReadPromptLog(rehearsal::LogPath()); }

}  // namespace

TEST(IsSystemAccount, SystemNameOrPreinstallationDriveOrNoUser) {
  struct Case {
    const wchar_t *user, *computer, *systemDrive;  // nullptr: not set
    bool system;
  };
  const Case cases[] = {
      {L"PC1$", L"PC1", L"C:", true},      {L"pc1$", L"PC1", L"C:", false},  // case matters
      {L"PC1$", L"pc1", L"C:", false},     {L"PC1", L"PC1", L"C:", false},   {L"tester", L"PC1", L"C:", false},
      {L"tester", L"PC1", L"X:", true},    {L"tester", L"PC1", L"x:", true}, {L"tester", L"PC1", L"X:\\", false},
      {L"tester", L"PC1", nullptr, false}, {nullptr, L"PC1", L"C:", true},   {L"", L"PC1", L"C:", true},
      {L"$", nullptr, L"C:", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.user ? c.user : L"(unset)") << " on "
                                    << (c.computer ? c.computer : L"(unset)") << " drive "
                                    << (c.systemDrive ? c.systemDrive : L"(unset)"));
    commontest::EnvironmentGuard environment;
    environment.Set(L"USERNAME", c.user);
    environment.Set(L"COMPUTERNAME", c.computer);
    environment.Set(L"SYSTEMDRIVE", c.systemDrive);
    EXPECT_EQ(CommonModule2::IsSystemAccount(false), c.system);
  }
  EXPECT_TRUE(Prompts().empty());
}

TEST(IsSystemAccount, TellsTheUserOnlyWhenAskedAndSystem) {
  ASSERT_TRUE(rehearsal::kRehearsing);
  commontest::EnvironmentGuard environment;
  environment.Set(L"COMPUTERNAME", L"PC1");
  environment.Set(L"SYSTEMDRIVE", L"C:");
  environment.Set(L"USERNAME", L"tester");
  EXPECT_FALSE(CommonModule2::IsSystemAccount(true));
  environment.Set(L"USERNAME", L"PC1$");
  EXPECT_TRUE(CommonModule2::IsSystemAccount(false));
  EXPECT_TRUE(Prompts().empty());

  EXPECT_TRUE(CommonModule2::IsSystemAccount(true));
  auto prompts = Prompts();
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_EQ(prompts[0].kind, L"box");
  const std::vector<std::wstring> fields = {CommonModule::AppTitle(), L"0x0",
                                            L"It appears you now have SYSTEM access.  Congrats!", L"ok"};
  EXPECT_EQ(prompts[0].fields, fields);
}

TEST(TrimNull, CutsBeforeTheFirstNul) {
  struct Case {
    std::wstring text, result;
  };
  const Case cases[] = {
      {L"abc", L"abc"},
      {L"", L""},
      {std::wstring(L"ab\0cd", 5), L"ab"},
      {std::wstring(L"\0abc", 4), L""},
      {std::wstring(L"abc\0\0", 5), L"abc"},
  };
  for (const auto& c : cases) EXPECT_EQ(CommonModule2::TrimNull(c.text), c.result);
}
