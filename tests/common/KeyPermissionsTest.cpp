// Access lists of registry keys, and ownership and rights through subinacl.exe (a recording fake
// stands in for it; the probe program runs the procedures from a scratch folder).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "common/SetPerm.h"
#include "platform/ProcessAccount.h"
#include "tests/common/KeyOpsTestHelpers.h"

using keyopstest::CreateKey;
using keyopstest::KeyDacl;
using keyopstest::NormalDacl;
using keyopstest::ScratchKey;
using keyopstest::SetKeyDacl;

namespace {

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

}  // namespace

class KeyPermissionsTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, key_.Path())); }
  ScratchKey key_{L"KeyPerm"};
};

// ---- The rights step of the deletes ---------------------------------------------------------

// Full control for this (administrator) account, SYSTEM and Administrators, after the other
// accounts' explicit ACEs and before the inherited ones; this account's, SYSTEM's and
// Administrators' own explicit ACEs go. Users and Everyone keep exactly what they had.
TEST_F(KeyPermissionsTest, GrantsFullControlToAdministratorsOnlyInCanonicalOrder) {
  const std::wstring granted = L"(A;CI;KA;;;USER)(A;CI;KA;;;SY)(A;CI;KA;;;BA)";
  const struct {
    const wchar_t* name;
    std::wstring before, after;
  } cases[] = {
      {L"mixed", L"D:(D;CI;KW;;;BU)(D;CI;KW;;;USER)(A;CI;KR;;;BU)(A;CI;KR;;;SY)(A;;KR;;;WD)(A;CI;KR;;;USER)",
       L"D:(D;CI;KW;;;BU)(A;CI;KR;;;BU)(A;;KR;;;WD)" + granted},
      {L"inherited", L"D:AI(A;CIID;KR;;;BU)(A;CIID;KA;;;SY)", L"D:ARAI" + granted + L"(A;CIID;KR;;;BU)(A;CIID;KA;;;SY)"},
      {L"explicit and inherited", L"D:AI(D;CI;KW;;;BA)(A;CI;KR;;;PU)(A;CIID;KR;;;BU)",
       L"D:ARAI(A;CI;KR;;;PU)" + granted + L"(A;CIID;KR;;;BU)"},
      {L"protected", L"D:P(A;CI;KA;;;BU)(A;CI;KR;;;SY)", L"D:P(A;CI;KA;;;BU)" + granted},
      {L"null list", L"D:NO_ACCESS_CONTROL", L"D:" + granted},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.name));
    const std::wstring path = key_ / c.name;
    ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, path));
    ASSERT_TRUE(SetKeyDacl(HKEY_LOCAL_MACHINE, path, c.before));
    EXPECT_TRUE(SetPerm::GetRegKeyPermissions(L"hklm", path));
    EXPECT_EQ(KeyDacl(HKEY_LOCAL_MACHINE, path), NormalDacl(c.after));
  }
}

TEST_F(KeyPermissionsTest, RefusesHivesOutsideItsFourAndMissingKeysAndLeavesTheListAlone) {
  const std::wstring before = L"D:P(D;CI;KW;;;USER)(A;CI;KR;;;WD)";
  ASSERT_TRUE(SetKeyDacl(HKEY_LOCAL_MACHINE, key_.Path(), before));
  for (const wchar_t* hive : {L"HKEY_LOCAL_MACHINE", L"HKCC", L"HKDD", L""}) {
    SCOPED_TRACE(platform::ToUtf8(hive));
    EXPECT_FALSE(SetPerm::GetRegKeyPermissions(hive, key_.Path()));
    std::wstring account, allow;
    EXPECT_FALSE(SetPerm::RegSetKeyPermission(hive, key_.Path(), account, allow, L"ALL"));
    EXPECT_EQ(KeyDacl(HKEY_LOCAL_MACHINE, key_.Path()), NormalDacl(before));
  }
  EXPECT_FALSE(SetPerm::GetRegKeyPermissions(L"HKLM", key_ / L"missing"));
}

TEST_F(KeyPermissionsTest, SetsOneAceByAccountRightsAndAllowOrDeny) {
  const std::wstring before = L"D:P(A;CI;KA;;;SY)";
  const struct {
    const wchar_t* account;
    const wchar_t* allowOrDeny;
    const wchar_t* rights;
    bool result;
    std::wstring after;
  } cases[] = {
      {L"Administrators", L"Allow", L"R", true, L"D:P(A;CI;KA;;;SY)(A;CI;KR;;;BA)"},
      {L"Administrators", L"Allow", L"Write", true, L"D:P(A;CI;KA;;;SY)(A;CI;KW;;;BA)"},
      {L"Administrators", L"Allow", L"X", true, L"D:P(A;CI;KA;;;SY)(A;CI;KX;;;BA)"},
      {L"Administrators", L"Deny", L"W", true, L"D:P(D;CI;KW;;;BA)(A;CI;KA;;;SY)"},
      // Only the exact words count: these give an allow ACE with full control.
      {L"Administrators", L"deny", L"read", true, L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)"},
      // The account's own ACEs are replaced.
      {L"SYSTEM", L"", L"Read", true, L"D:P(A;CI;KR;;;SY)"},
      {L"NoSuchAccount-OfTheseTests", L"", L"ALL", false, before},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << platform::ToUtf8(c.account) << " " << platform::ToUtf8(c.allowOrDeny) << " "
                                    << platform::ToUtf8(c.rights));
    ASSERT_TRUE(SetKeyDacl(HKEY_LOCAL_MACHINE, key_.Path(), before));
    std::wstring account = c.account, allowOrDeny = c.allowOrDeny;
    EXPECT_EQ(SetPerm::RegSetKeyPermission(L"HKLM", key_.Path(), account, allowOrDeny, c.rights), c.result);
    EXPECT_EQ(KeyDacl(HKEY_LOCAL_MACHINE, key_.Path()), NormalDacl(c.after));
  }
}

TEST_F(KeyPermissionsTest, AnEmptyAccountIsThisUserAndAnEmptyChoiceIsAllow) {
  ASSERT_TRUE(SetKeyDacl(HKEY_LOCAL_MACHINE, key_.Path(), L"D:P(A;CI;KA;;;SY)"));
  std::wstring account, allowOrDeny;
  EXPECT_TRUE(SetPerm::RegSetKeyPermission(L"HKLM", key_.Path(), account, allowOrDeny, L"ALL"));
  EXPECT_EQ(account, platform::ProcessAccountName()) << "the token's account, not %USERNAME%";
  EXPECT_EQ(allowOrDeny, L"Allow");
  EXPECT_EQ(KeyDacl(HKEY_LOCAL_MACHINE, key_.Path()), NormalDacl(L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;USER)"));
}

// The builder owns the SIDs it looked up and clears them; a SID the caller owns stays set.
TEST(KeyPermissionsBuilder, BuildsFromNoOldListAndClearsOnlyTheSidsItLookedUp) {
  BYTE system[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof system;
  ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size));
  std::vector<SetPerm::AccountAccessEntry> entries(2);
  entries[0].AccountName = platform::GetEnv(L"username");
  entries[0].AccessMask = KEY_WRITE;
  entries[0].AceType = ACCESS_DENIED_ACE_TYPE;
  entries[1].AccessMask = KEY_ALL_ACCESS;
  entries[1].AceFlags = CONTAINER_INHERIT_ACE;
  entries[1].Sid = system;
  entries[1].SidOwnedByCaller = true;

  SetPerm::NewKeySecurity security;
  ASSERT_TRUE(SetPerm::BuildNewDacl(nullptr, entries, security));
  EXPECT_EQ(entries[0].Sid, nullptr);
  EXPECT_EQ(entries[1].Sid, static_cast<PSID>(system));
  EXPECT_TRUE(security.Dacl);
  EXPECT_EQ(keyopstest::SddlOf(security.SecurityDescriptor.get()), NormalDacl(L"D:(D;;KW;;;USER)(A;CI;KA;;;SY)"));

  // An account that does not resolve fails the whole list and leaves nothing behind.
  entries[0].AccountName = L"NoSuchAccount-OfTheseTests";
  EXPECT_FALSE(SetPerm::BuildNewDacl(nullptr, entries, security));
  EXPECT_FALSE(security.SecurityDescriptor);
  EXPECT_FALSE(security.Dacl);
  EXPECT_EQ(entries[0].Sid, nullptr);
  EXPECT_EQ(entries[1].Sid, static_cast<PSID>(system));
}

// ---- Ownership and rights through subinacl --------------------------------------------------

TEST(TakeOwnRegKey, RunsSubinaclOnTheKeyAndItsSubkeysWithTheDefaultAccounts) {
  // The token's account whatever the environment says.
  const std::wstring user = platform::ProcessAccountName();
  const std::wstring key = L"Software\\Classes\\piffile\\Shell\\runas";
  const struct {
    const wchar_t* hive;
    const wchar_t* owner;
    const wchar_t* grantee;
    std::vector<std::wstring> env;
    const wchar_t* root;  // nullptr: nothing is run
    std::wstring ownerOut, granteeOut;
  } cases[] = {
      {L"HKLM", L"", L"", {}, L"HKEY_LOCAL_MACHINE\\", L"administrators", user},
      {L"hkcu", L"", L"", {}, L"HKEY_CURRENT_USER\\", user, user},
      {L"HKCR", L"", L"", {L"USERNAME="}, L"HKEY_CLASSES_ROOT\\", L"administrators", user},
      {L"HKCU", L"", L"", {L"USERNAME=Guest"}, L"HKEY_CURRENT_USER\\", user, user},
      {L"HKU", L"Key Owners", L"Some One", {}, L"HKEY_USERS\\", L"Key Owners", L"Some One"},
      {L"HKEY_LOCAL_MACHINE", L"", L"", {}, nullptr, L"", L""},
  };
  keyopstest::KeyOpsProbe probe;
  const std::wstring subinacl = probe.PlaceFake(L"subinacl.exe");
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.hive));
    probe.ClearTimeline();
    auto out = probe.Run({L"takeown", c.hive, key, c.owner, c.grantee}, c.env);
    EXPECT_EQ(out[L"owner"], c.ownerOut);
    EXPECT_EQ(out[L"grantee"], c.granteeOut);
    std::vector<std::wstring> calls;
    if (c.root) {
      const std::wstring tail = L" " + Quoted(c.root + key) + L" " + CommonModule::QuoteArgument(L"/setowner=" + c.ownerOut) +
                                L" " + CommonModule::QuoteArgument(L"/grant=" + c.granteeOut + L"=f");
      calls = {Quoted(subinacl) + L" /keyreg" + tail, Quoted(subinacl) + L" /subkeyreg" + tail};
    }
    EXPECT_EQ(probe.Calls(), calls);
  }
}

// The last place that holds subinacl.exe wins: the program folder beats Windows' own folders and,
// for files and folders only, "3rd Party Tools" beside the program folder beats the program
// folder. (Windows' folders cannot be stood in for here: Wine starts no program whose SystemRoot
// is moved.)
TEST(TakeOwnership, UsesTheLastOfTheFixedPlacesThatHoldsSubinacl) {
  const struct {
    std::vector<std::wstring> places;  // under the scratch folder; the probe lies in "app"
    const wchar_t* forKey;             // nullptr: nothing is run
    const wchar_t* forFile;
  } cases[] = {
      {{L"app\\subinacl.exe"}, L"app\\subinacl.exe", L"app\\subinacl.exe"},
      {{L"app\\subinacl.exe", L"3rd Party Tools\\subinacl.exe"}, L"app\\subinacl.exe",
       L"app\\..\\3rd Party Tools\\subinacl.exe"},
      {{L"3rd Party Tools\\subinacl.exe"}, nullptr, L"app\\..\\3rd Party Tools\\subinacl.exe"},
      {{}, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.places.size() << " places, last "
                                    << (c.places.empty() ? "" : platform::ToUtf8(c.places.back())));
    keyopstest::KeyOpsProbe probe(L"app");
    for (const auto& place : c.places) probe.PlaceFake(place, true);
    const std::wstring file = probe.Root() + L"target.txt";
    ASSERT_TRUE(testsupport::WriteTextFile(file, "x"));

    probe.Run({L"takeown", L"HKLM", L"Software\\X", L"", L""});
    auto calls = probe.Calls();
    if (c.forKey) {
      ASSERT_EQ(calls.size(), 2u);
      EXPECT_EQ(calls[0].rfind(Quoted(probe.Root() + c.forKey) + L" /keyreg ", 0), 0u) << platform::ToUtf8(calls[0]);
    } else {
      EXPECT_TRUE(calls.empty()) << keyopstest::Dump(calls);
    }

    probe.ClearTimeline();
    probe.Run({L"takecontrol", file, L"0", L"", L""});
    calls = probe.Calls();
    if (c.forFile) {
      ASSERT_EQ(calls.size(), 1u);
      EXPECT_EQ(calls[0].rfind(Quoted(probe.Root() + c.forFile) + L" /file ", 0), 0u) << platform::ToUtf8(calls[0]);
    } else {
      // Not even the log line.
      EXPECT_TRUE(probe.TimelineLines().empty()) << keyopstest::Dump(probe.TimelineLines());
    }
  }
}

TEST(TakeControl, SetsOwnerAndGrantsTheOwnerOnAFileOrAFolderTree) {
  keyopstest::KeyOpsProbe probe;
  const std::wstring subinacl = Quoted(probe.PlaceFake(L"subinacl.exe"));
  const std::wstring file = probe.Folder() + L"data file.txt";
  const std::wstring folder = probe.Folder() + L"some folder";
  ASSERT_TRUE(testsupport::WriteTextFile(file, "x"));
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  // The token's account whatever the environment says: a planted %USERNAME% of the machine
  // account does not make this SYSTEM, nor does another name move the rights.
  const std::wstring user = platform::ProcessAccountName();
  const std::vector<std::wstring> asSystem = {L"COMPUTERNAME=BOX", L"USERNAME=BOX$"};
  const struct {
    const wchar_t* name;
    std::wstring path;
    const wchar_t* recurse;
    const wchar_t* owner;
    const wchar_t* grantee;
    std::vector<std::wstring> env;
    std::wstring target;  // empty: nothing is run
    const wchar_t* recurseOut;
    std::wstring ownerOut, granteeOut;
    bool subdirectories;
  } cases[] = {
      {L"file", file, L"1", L"", L"", {}, file, L"False", user, user, false},
      {L"folder tree", folder + L"\\", L"1", L"", L"", {}, folder, L"True", user, user, true},
      {L"folder only", folder, L"0", L"", L"", {}, folder, L"False", user, user, false},
      {L"given accounts", file, L"0", L"Key Owners", L"Some One", {}, file, L"False", L"Key Owners", L"Some One", false},
      {L"system planted in the environment", folder, L"1", L"", L"", asSystem, folder, L"True", user, user, true},
      {L"another account planted", file, L"0", L"", L"", {L"USERNAME=Guest"}, file, L"False", user, user, false},
      {L"missing", probe.Folder() + L"missing", L"1", L"", L"", {}, L"", L"True", L"", L"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.name));
    probe.ClearTimeline();
    auto out = probe.Run({L"takecontrol", c.path, c.recurse, c.owner, c.grantee}, c.env);
    EXPECT_EQ(out[L"recurse"], c.recurseOut);
    std::vector<std::wstring> calls;
    std::vector<std::wstring> logged;
    if (!c.target.empty()) {
      EXPECT_EQ(out[L"owner"], c.ownerOut);
      EXPECT_EQ(out[L"grantee"], c.granteeOut);
      const std::wstring accounts = L" " + CommonModule::QuoteArgument(L"/setowner=" + c.ownerOut) + L" " +
                                    CommonModule::QuoteArgument(L"/grant=" + c.granteeOut + L"=F");
      calls.push_back(subinacl + L" /file " + Quoted(c.target) + accounts);
      if (c.subdirectories) calls.push_back(subinacl + L" /subdirectories " + Quoted(c.target + L"\\*.*") + accounts);
    }
    EXPECT_EQ(probe.Calls(), calls);
    bool loggedTarget = false;
    for (const auto& line : probe.TimelineLines()) loggedTarget |= line == L"\tTakeControl:  " + c.target;
    EXPECT_EQ(loggedTarget, !c.target.empty());
  }
}
