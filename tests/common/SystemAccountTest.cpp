// The SYSTEM-account test and TrimNull.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/CommonModule.h"
#include "common/CommonModule2.h"
#include "platform/Handle.h"
#include "tests/common/CommonTestHelpers.h"
#include "tests/common/RehearsalLog.h"

namespace {

// Boxes and windows of this program are recorded, never shown (see RehearsalLog.h).
std::vector<testsupport::PromptRecord> Prompts() { return testsupport::ReadPromptLog(rehearsal::LogPath()); }

}  // namespace

// Whether this test runs as LocalSystem, from its own token.
bool TestRunsAsLocalSystem() {
  platform::UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  BYTE buffer[256] = {};
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)) return false;
  BYTE system[SECURITY_MAX_SID_SIZE] = {};
  DWORD systemSize = sizeof system;
  return CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize) &&
         EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, system);
}

TEST(IsSystemAccount, TheEnvironmentCannotMakeAUserSystem) {
  ASSERT_FALSE(TestRunsAsLocalSystem()) << "these cases need a token that is not LocalSystem's";
  struct Case {
    const wchar_t *user, *computer, *systemDrive;  // nullptr: not set
  };
  // Every way the environment used to claim SYSTEM: the machine account's name, a
  // preinstallation drive, no user name at all.
  const Case cases[] = {
      {L"PC1$", L"PC1", L"C:"}, {L"tester", L"PC1", L"X:"}, {L"tester", L"PC1", L"x:"},
      {nullptr, L"PC1", L"C:"}, {L"", L"PC1", L"C:"},       {L"$", nullptr, L"C:"},
      {L"tester", L"PC1", L"C:"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.user ? c.user : L"(unset)") << " on "
                                    << (c.computer ? c.computer : L"(unset)") << " drive "
                                    << (c.systemDrive ? c.systemDrive : L"(unset)"));
    commontest::EnvironmentGuard environment;
    environment.Set(L"USERNAME", c.user);
    environment.Set(L"COMPUTERNAME", c.computer);
    environment.Set(L"SYSTEMDRIVE", c.systemDrive);
    EXPECT_FALSE(CommonModule2::IsSystemAccount(false));
    // Not SYSTEM: the congratulation is never shown, asked or not.
    EXPECT_FALSE(CommonModule2::IsSystemAccount(true));
  }
  EXPECT_TRUE(Prompts().empty());
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
