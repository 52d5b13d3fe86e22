// File owner changes and switching privileges of the own token.
#include <gtest/gtest.h>

#include "common/SetOwnerFS.h"
#include "platform/ProcessAccount.h"
#include "platform/Text.h"
#include "tests/common/CommonTestHelpers.h"
#include "tests/common/TokenPrivilegeHelpers.h"

using commontest::DebugCapture;
using privilegetest::PrivilegeState;
using privilegetest::SetPrivilegeState;
using privilegetest::State;
using testsupport::ScratchDir;

namespace {

constexpr wchar_t kRestore[] = L"SeRestorePrivilege";
// Held by an administrator's token, on Windows and under Wine, and off until asked for.
constexpr wchar_t kHeld[] = L"SeBackupPrivilege";

std::wstring ErrorLine(const wchar_t* call, DWORD code) {
  return L"\t" + std::wstring(call) + L" failed with error code " + std::to_wstring(code);
}

// A privilege this process's account does not hold, "" when it holds every one tried.
std::wstring UnheldPrivilege() {
  for (const wchar_t* name :
       {L"SeCreateTokenPrivilege", L"SeTcbPrivilege", L"SeAssignPrimaryTokenPrivilege", L"SeLockMemoryPrivilege",
        L"SeMachineAccountPrivilege", L"SeTrustedCredManAccessPrivilege", L"SeRelabelPrivilege"}) {
    if (PrivilegeState(name) == State::Absent) return name;
  }
  return {};
}

class SetOwnerFSTest : public testing::Test {
 protected:
  void SetUp() override {
    file_ = dir_ / L"owned.txt";
    ASSERT_TRUE(testsupport::WriteTextFile(file_, "x"));
    ASSERT_TRUE(SetPrivilegeState(kRestore, false));
    log_.Clear();
  }
  void TearDown() override { SetPrivilegeState(kRestore, false); }

  ScratchDir dir_;
  DebugCapture log_;
  std::wstring file_;
};

}  // namespace

TEST_F(SetOwnerFSTest, ChangeOwnerLogsTheCallAndTheOutcomeAndSwitchesTheRestorePrivilegeOffOnEveryRoad) {
  // No owner given: the token's account, never %USERNAME%.
  const std::wstring user = platform::ProcessAccountName();
  ASSERT_FALSE(user.empty());
  struct Case {
    std::wstring owner, path, ownerAfter, lastLine;
  };
  const std::wstring missing = dir_ / L"missing\\none.txt";
  const Case cases[] = {
      {L"", file_, user, L"\tOwner of " + file_ + L" changed to " + user},
      {L"Administrators", file_, L"Administrators", L"\tOwner of " + file_ + L" changed to Administrators"},
      {L"NoSuchAccount_x7", file_, L"NoSuchAccount_x7", ErrorLine(L"LookupAccountName", ERROR_NONE_MAPPED)},
      {L"Administrators", missing, L"Administrators", ErrorLine(L"SetFileSecurity", ERROR_PATH_NOT_FOUND)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "owner '" << c.owner << "' on " << c.path);
    log_.Clear();
    std::wstring owner = c.owner;
    SetOwnerFS::ChangeOwnerOfFile(c.path, owner);
    EXPECT_EQ(owner, c.ownerAfter);
    const std::vector<std::wstring> expected = {L"\tSetOwnerFS\\ChangeOwnerOfFile:", L"\t\t- Passed: " + c.path,
                                                L"\t\t- Optional Parm OwnerAccountName=" + c.owner, c.lastLine};
    EXPECT_EQ(log_.Lines(), expected);
    EXPECT_EQ(PrivilegeState(kRestore), State::Disabled);
  }
}

TEST_F(SetOwnerFSTest, TheOneArgumentFormUsesTheCurrentUser) {
  SetOwnerFS::ChangeOwnerOfFile(file_);
  auto lines = log_.Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), L"\tOwner of " + file_ + L" changed to " + platform::ProcessAccountName());
}

TEST_F(SetOwnerFSTest, ARestorePrivilegeThatWasAlreadyOnStaysOn) {
  ASSERT_TRUE(SetPrivilegeState(kRestore, true));
  std::wstring owner = L"Administrators";
  SetOwnerFS::ChangeOwnerOfFile(file_, owner);
  EXPECT_EQ(PrivilegeState(kRestore), State::Enabled);
  owner = L"NoSuchAccount_x7";
  SetOwnerFS::ChangeOwnerOfFile(file_, owner);
  EXPECT_EQ(PrivilegeState(kRestore), State::Enabled);
}

TEST_F(SetOwnerFSTest, EnableAndDisableReportTheTokensNewState) {
  ASSERT_EQ(PrivilegeState(kHeld), State::Disabled) << "the test needs a held, switched-off privilege";
  EXPECT_TRUE(SetOwnerFS::Disable_Privilege(kHeld)) << "already off";
  EXPECT_TRUE(SetOwnerFS::Enable_Privilege(kHeld));
  EXPECT_EQ(PrivilegeState(kHeld), State::Enabled);
  EXPECT_TRUE(SetOwnerFS::Enable_Privilege(kHeld)) << "already on";
  EXPECT_TRUE(SetOwnerFS::ModifyState(kHeld, false));
  EXPECT_EQ(PrivilegeState(kHeld), State::Disabled);
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(SetOwnerFSTest, AnUnknownOrUnheldPrivilegeGivesFalseWithTheSystemsCode) {
  EXPECT_FALSE(SetOwnerFS::Enable_Privilege(L"SeNoSuchPrivilege"));
  EXPECT_FALSE(SetOwnerFS::Disable_Privilege(L"SeNoSuchPrivilege"));
  const std::wstring lookupFailed = ErrorLine(L"LookupPrivilegeValue", ERROR_NO_SUCH_PRIVILEGE);
  EXPECT_EQ(log_.Lines(), (std::vector<std::wstring>{lookupFailed, lookupFailed}));

  const std::wstring unheld = UnheldPrivilege();
  if (unheld.empty()) GTEST_SKIP() << "this account holds every privilege tried";
  log_.Clear();
  EXPECT_FALSE(SetOwnerFS::Enable_Privilege(unheld));
  EXPECT_EQ(log_.Lines(), std::vector<std::wstring>{ErrorLine(L"AdjustTokenPrivileges", ERROR_NOT_ALL_ASSIGNED)});
  EXPECT_EQ(PrivilegeState(unheld.c_str()), State::Absent);
}

TEST_F(SetOwnerFSTest, NoRoadLeavesATokenHandleOpen) {
  const std::wstring unheld = UnheldPrivilege();
  auto everyRoad = [&] {
    SetOwnerFS::Enable_Privilege(L"SeNoSuchPrivilege");
    SetOwnerFS::Enable_Privilege(kHeld);
    SetOwnerFS::Disable_Privilege(kHeld);
    if (!unheld.empty()) SetOwnerFS::Enable_Privilege(unheld);
    std::wstring owner = L"NoSuchAccount_x7";
    SetOwnerFS::ChangeOwnerOfFile(file_, owner);
    owner.clear();
    SetOwnerFS::ChangeOwnerOfFile(file_, owner);
    SetOwnerFS::RestoreOwnPrivilege(SetOwnerFS::ChangeOwnPrivilege(kHeld, true));
  };
  everyRoad();  // whatever the system keeps open for good is opened now
  const HANDLE before = privilegetest::NextHandleValue();
  {
    platform::UniqueKernelHandle held(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_NE(privilegetest::NextHandleValue(), before) << "the probe must see a handle left open";
  }
  everyRoad();
  EXPECT_EQ(privilegetest::NextHandleValue(), before);
}

TEST(SetOwnerFSBuildingBlock, RestoreGivesBackThePreviousStateAndOnlyWhatChanged) {
  ASSERT_TRUE(SetPrivilegeState(kHeld, false));
  SetOwnerFS::PrivilegeChange on = SetOwnerFS::ChangeOwnPrivilege(kHeld, true);
  EXPECT_TRUE(on.Done());
  EXPECT_TRUE(SetOwnerFS::SwitchedOn(on));
  EXPECT_EQ(PrivilegeState(kHeld), State::Enabled);

  SetOwnerFS::PrivilegeChange again = SetOwnerFS::ChangeOwnPrivilege(kHeld, true);
  EXPECT_TRUE(again.Done());
  EXPECT_FALSE(SetOwnerFS::SwitchedOn(again)) << "it was on already";
  SetOwnerFS::RestoreOwnPrivilege(again);
  EXPECT_EQ(PrivilegeState(kHeld), State::Enabled) << "nothing changed, nothing to put back";

  SetOwnerFS::RestoreOwnPrivilege(on);
  EXPECT_EQ(PrivilegeState(kHeld), State::Disabled);

  SetOwnerFS::PrivilegeChange unknown = SetOwnerFS::ChangeOwnPrivilege(L"SeNoSuchPrivilege", true);
  EXPECT_EQ(unknown.failure, SetOwnerFS::PrivilegeFailure::LookupName);
  EXPECT_EQ(unknown.error, static_cast<DWORD>(ERROR_NO_SUCH_PRIVILEGE));
  EXPECT_FALSE(SetOwnerFS::SwitchedOn(unknown));
}
