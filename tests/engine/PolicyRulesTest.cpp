// The policy that the main program writes and removes, read back from the registry as Windows would.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "platform/Text.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

const std::wstring kRoot = kRestrictionPolicyKey;
const std::wstring kDisallowedPaths = kRoot + L"\\0\\Paths";
const std::wstring kHashes = kRoot + L"\\0\\Hashes";
const std::wstring kWhitelistPaths = kRoot + L"\\262144\\Paths";
const wchar_t kRloKey[] = L"{6d6b9889-662a-453e-8a3e-31668025d1be}";

struct PathRule {
  std::wstring key;
  std::wstring description;
  DWORD descriptionType = 0;
  DWORD saferFlags = 99;
  DWORD saferFlagsType = 0;
  std::wstring itemData;
  DWORD itemDataType = 0;
};

std::wstring AsText(const std::vector<BYTE>& data) {
  std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

std::vector<PathRule> ReadPathRules(const std::wstring& parent) {
  std::vector<PathRule> rules;
  for (const auto& name : RegSubkeys(HKEY_LOCAL_MACHINE, parent)) {
    PathRule rule;
    rule.key = name;
    std::vector<BYTE> data;
    if (RegReadRaw(HKEY_LOCAL_MACHINE, parent + L"\\" + name, L"Description", rule.descriptionType, data))
      rule.description = AsText(data);
    if (RegReadRaw(HKEY_LOCAL_MACHINE, parent + L"\\" + name, L"SaferFlags", rule.saferFlagsType, data) &&
        data.size() == 4)
      rule.saferFlags = *reinterpret_cast<const DWORD*>(data.data());
    if (RegReadRaw(HKEY_LOCAL_MACHINE, parent + L"\\" + name, L"ItemData", rule.itemDataType, data))
      rule.itemData = AsText(data);
    rules.push_back(rule);
  }
  return rules;
}

std::vector<std::wstring> Patterns(const std::vector<PathRule>& rules) {
  std::vector<std::wstring> patterns;
  for (const auto& rule : rules) patterns.push_back(rule.itemData);
  std::sort(patterns.begin(), patterns.end());
  return patterns;
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> items) {
  std::sort(items.begin(), items.end());
  return items;
}

std::string Hex(const std::vector<BYTE>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (BYTE b : bytes) {
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

bool IsLowerCaseGuidKey(const std::wstring& name) {
  if (name.size() != 38 || name.front() != L'{' || name.back() != L'}') return false;
  for (size_t i = 1; i < 37; ++i) {
    wchar_t c = name[i];
    bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? c != L'-' : !((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) return false;
  }
  return true;
}

// A registry-export text as reg.exe writes it: UTF-16 with its byte-order mark.
std::string RegFileBytes(const std::wstring& text) {
  std::string bytes = "\xFF\xFE";
  bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  return bytes;
}

// Where the program keeps the file classes as they were before their first hook.
const std::wstring kBackupStore = kSettingsKey + std::wstring(L"\\ClassBackups");
// A key nobody else writes: it appears only if a planted .reg text was imported.
const std::wstring kPlantedKey = std::wstring(kTestsKey) + L"\\Planted";
const std::wstring kPlantedText = L"Windows Registry Editor Version 5.00\r\n\r\n" +
                                  std::wstring(L"[HKEY_LOCAL_MACHINE\\Software\\") + kTestsKeyName +
                                  L"\\Planted]\r\n"
                                  L"\"Imported\"=\"yes\"\r\n";

std::wstring ClassCommand(const std::wstring& key, const std::wstring& value = L"") {
  std::wstring text;
  return RegRead(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\" + key, value, text) ? text : L"<missing>";
}

// Every test starts and ends with no policy of ours and the file classes as Windows has them.
class PolicyTest : public ClearedProductTest {
 protected:
  void SetUp() override {
    ClearedProductTest::SetUp();
    for (const wchar_t* c : {L"scrfile", L"piffile", L"cplfile", L"exefile", L"comfile"})
      originalOpen_[c] = ClassCommand(std::wstring(c) + L"\\shell\\open\\command");
  }
  void TearDown() override {
    if (hooked_) Run(L"/undo /silent /nogpupdate");
    ClearedProductTest::TearDown();
  }

  void Run(const std::wstring& arguments) {
    RunResult result = program_.Run(arguments);
    ASSERT_TRUE(result.finished) << platform::ToUtf8(kMainProgram) << " " << platform::ToUtf8(arguments)
                                 << " did not end";
  }

  InstalledProgram program_;
  std::map<std::wstring, std::wstring> originalOpen_;
  bool hooked_ = false;
};

}  // namespace

TEST_F(PolicyTest, BlockRuleIsOneDisallowedPathRuleUnderAFreshLowerCaseGuid) {
  Run(L"/b=%AppData%\\*\\Evil*.exe /b=%AppData%\\*\\Evil*.exe");
  auto rules = ReadPathRules(kDisallowedPaths);
  ASSERT_EQ(rules.size(), 2u) << "the same pattern twice gives two rules";
  EXPECT_NE(rules[0].key, rules[1].key);
  for (const auto& rule : rules) {
    EXPECT_TRUE(IsLowerCaseGuidKey(rule.key)) << platform::ToUtf8(rule.key);
    EXPECT_EQ(rule.description, kRuleDescription);
    EXPECT_EQ(rule.descriptionType, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(rule.saferFlags, 0u);
    EXPECT_EQ(rule.saferFlagsType, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(rule.itemData, L"%appdata%\\*\\evil*.exe") << "stored unexpanded, as the command line gave it";
    EXPECT_EQ(rule.itemDataType, static_cast<DWORD>(REG_EXPAND_SZ));
  }
  EXPECT_TRUE(RegSubkeys(HKEY_LOCAL_MACHINE, kWhitelistPaths).empty());
}

TEST_F(PolicyTest, EveryApplyWritesTheDefaultsAndTheBuiltInHashRules) {
  // A machine with a policy of its own: the defaults are set whatever they were.
  RegWriteDword(HKEY_LOCAL_MACHINE, kRoot, L"DefaultLevel", 0);
  RegWriteDword(HKEY_LOCAL_MACHINE, kRoot, L"PolicyScope", 1);
  Run(L"/silent /nogpupdate");

  const std::pair<const wchar_t*, DWORD> defaults[] = {
      {L"authenticodeenabled", 0}, {L"DefaultLevel", 262144}, {L"PolicyScope", 0}, {L"TransparentEnabled", 1}};
  for (const auto& [name, expected] : defaults) {
    DWORD value = 12345;
    EXPECT_TRUE(RegReadDword(HKEY_LOCAL_MACHINE, kRoot, name, value)) << platform::ToUtf8(name);
    EXPECT_EQ(value, expected) << platform::ToUtf8(name);
  }

  // The table the build zipped into the program, beside this test.
  std::map<std::wstring, std::vector<std::wstring>> expected;
  for (const auto& line : Lines(ReadTextFile(TestsDir() + L"hash-rules.tsv"))) {
    if (line.empty() || line[0] == L'#') continue;
    auto fields = platform::Split(line, L"\t");
    ASSERT_EQ(fields.size(), 4u);
    expected[fields[0]] = fields;
  }
  ASSERT_EQ(expected.size(), 21u);
  auto keys = RegSubkeys(HKEY_LOCAL_MACHINE, kHashes);
  ASSERT_EQ(keys.size(), 21u);
  for (const auto& key : keys) {
    SCOPED_TRACE(platform::ToUtf8(key));
    ASSERT_EQ(expected.count(key), 1u);
    const auto& row = expected[key];
    std::wstring hashKey = kHashes + L"\\" + key;
    std::vector<BYTE> data;
    DWORD type = 0;
    ASSERT_TRUE(RegReadRaw(HKEY_LOCAL_MACHINE, hashKey, L"ItemData", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(Hex(data), platform::ToUtf8(row[2]));
    ASSERT_TRUE(RegReadRaw(HKEY_LOCAL_MACHINE, hashKey, L"ItemSize", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_QWORD));
    ASSERT_EQ(data.size(), 8u);
    EXPECT_EQ(std::to_wstring(*reinterpret_cast<const uint64_t*>(data.data())), row[1]);
    DWORD number = 0;
    EXPECT_TRUE(RegReadDword(HKEY_LOCAL_MACHINE, hashKey, L"HashAlg", number));
    EXPECT_EQ(number, 0x8003u);
    std::wstring description;
    EXPECT_TRUE(RegRead(HKEY_LOCAL_MACHINE, hashKey, L"Description", description));
    EXPECT_EQ(description, kRuleDescription);
    ASSERT_TRUE(RegReadRaw(HKEY_LOCAL_MACHINE, hashKey + L"\\SHA256", L"ItemData", type, data));
    EXPECT_EQ(Hex(data), platform::ToUtf8(row[3]));
    EXPECT_TRUE(RegReadDword(HKEY_LOCAL_MACHINE, hashKey + L"\\SHA256", L"HashAlg", number));
    EXPECT_EQ(number, 0x800cu);
  }
  // Nothing of the import is left lying about.
  EXPECT_FALSE(FileExists(program_.Folder() + L"Hashes.zip"));
  EXPECT_FALSE(FileExists(program_.Folder() + L"Hashes.reg"));
}

TEST_F(PolicyTest, ApplyingTwiceLeavesOneSet) {
  Run(L"/silent /nogpupdate /appdata /syskey");
  auto first = Patterns(ReadPathRules(kDisallowedPaths));
  Run(L"/silent /nogpupdate /appdata /syskey");
  EXPECT_EQ(Patterns(ReadPathRules(kDisallowedPaths)), first);
  EXPECT_EQ(RegSubkeys(HKEY_LOCAL_MACHINE, kHashes).size(), 21u);
}

TEST_F(PolicyTest, FakeExtensionsWriteOneHundredRulesAndTheRightToLeftOverrideRule) {
  Run(L"/silent /nogpupdate /fakeexts");
  auto rules = ReadPathRules(kDisallowedPaths);
  ASSERT_EQ(rules.size(), 101u);
  auto rlo = std::find_if(rules.begin(), rules.end(), [](const PathRule& r) { return r.key == kRloKey; });
  ASSERT_NE(rlo, rules.end());
  EXPECT_EQ(rlo->itemData, std::wstring(L"*\x202E*"));
  EXPECT_EQ(rlo->itemDataType, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(rlo->description, kRuleDescription);
  auto patterns = Patterns(rules);
  for (const wchar_t* p : {L"*.pdf*.exe", L"*.7z*.pif", L"*.docx*.com", L"*.mp4*.scr"})
    EXPECT_TRUE(std::binary_search(patterns.begin(), patterns.end(), p)) << platform::ToUtf8(p);
  EXPECT_FALSE(FileExists(program_.Folder() + L"RLO.reg"));
}

TEST_F(PolicyTest, UndoRemovesOnlyOurRulesAndUndoAllAlsoOurWhitelist) {
  Run(L"/silent /nogpupdate /appdata /cipher");
  // Rules an administrator made, a rule of ours in other letter case, an old fixed-GUID rule.
  const std::wstring ours = kRuleDescription;
  const std::wstring oursInOtherCase =
      platform::Lower(ours.substr(0, ours.size() / 2)) + platform::Upper(ours.substr(ours.size() / 2));
  RegWriteString(HKEY_LOCAL_MACHINE, kDisallowedPaths + L"\\{11111111-2222-3333-4444-555555555555}", L"Description",
                 L"Site policy");
  RegWriteString(HKEY_LOCAL_MACHINE, kDisallowedPaths + L"\\{11111111-2222-3333-4444-555555555556}", L"ItemData",
                 L"x.exe");
  RegWriteString(HKEY_LOCAL_MACHINE, kDisallowedPaths + L"\\{11111111-2222-3333-4444-555555555557}", L"Description",
                 L"  " + oursInOtherCase + L" ");
  RegWriteString(HKEY_LOCAL_MACHINE, kDisallowedPaths + L"\\{fb2fb8b3-e5ad-4120-998e-ec692cff49f1}", L"Description",
                 L"anything");
  RegWriteString(HKEY_LOCAL_MACHINE, kWhitelistPaths + L"\\{22222222-2222-3333-4444-555555555555}", L"Description",
                 kRuleDescription);
  RegWriteString(HKEY_LOCAL_MACHINE, kWhitelistPaths + L"\\{33333333-2222-3333-4444-555555555555}", L"Description",
                 L"Site allow");

  Run(L"/undo /silent /nogpupdate");
  EXPECT_EQ(Sorted(RegSubkeys(HKEY_LOCAL_MACHINE, kDisallowedPaths)),
            (std::vector<std::wstring>{L"{11111111-2222-3333-4444-555555555555}",
                                       L"{11111111-2222-3333-4444-555555555556}"}));
  EXPECT_TRUE(RegSubkeys(HKEY_LOCAL_MACHINE, kHashes).empty());
  EXPECT_EQ(RegSubkeys(HKEY_LOCAL_MACHINE, kWhitelistPaths).size(), 2u) << "undo keeps the whitelist";
  DWORD level = 0;
  EXPECT_TRUE(RegReadDword(HKEY_LOCAL_MACHINE, kRoot, L"DefaultLevel", level)) << "the defaults stay";

  Run(L"/undoall /silent /nogpupdate");
  EXPECT_EQ(RegSubkeys(HKEY_LOCAL_MACHINE, kWhitelistPaths),
            std::vector<std::wstring>{L"{33333333-2222-3333-4444-555555555555}"});
}

TEST_F(PolicyTest, UndoGoesOnWhenTheHashesKeyIsMissing) {
  RegWriteString(HKEY_LOCAL_MACHINE, kDisallowedPaths + L"\\{44444444-2222-3333-4444-555555555555}", L"Description",
                 kRuleDescription);
  RegWriteString(HKEY_LOCAL_MACHINE, kDisallowedPaths + L"\\{7e4d0e46-a959-4c30-8bb7-769a09d0c274}", L"ItemData",
                 L"old.exe");
  RegWriteString(HKEY_LOCAL_MACHINE, kWhitelistPaths + L"\\{55555555-2222-3333-4444-555555555555}", L"Description",
                 kRuleDescription);
  ASSERT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kHashes));
  Run(L"/undoall /silent /nogpupdate");
  EXPECT_TRUE(RegSubkeys(HKEY_LOCAL_MACHINE, kDisallowedPaths).empty()) << "the legacy key goes too";
  EXPECT_TRUE(RegSubkeys(HKEY_LOCAL_MACHINE, kWhitelistPaths).empty());
}

class GroupPolicyRefreshTest : public PolicyTest {
 protected:
  void SetUp() override {
    PolicyTest::SetUp();
    ASSERT_TRUE(gpupdate_.Install());
  }
  void TearDown() override {
    gpupdate_.Remove();
    PolicyTest::TearDown();
  }
  std::wstring Base() const { return gpupdate_.Base(); }
  std::wstring Calls() const { return gpupdate_.CallsLog(); }
  GpUpdateStandIn gpupdate_;
};

TEST_F(GroupPolicyRefreshTest, UndoRefreshesUnlessTold) {
  Run(L"/undo /silent");
  auto calls = Lines(ReadTextFile(Calls()));
  ASSERT_EQ(calls.size(), 1u);
  // Started from the system folder, never found through the search path.
  EXPECT_TRUE(platform::EndsWith(platform::Lower(calls[0]), L"\\system32\\gpupdate.exe /force /wait:0"))
      << platform::ToUtf8(calls[0]);

  Run(L"/undo /silent /nogpupdate");
  EXPECT_EQ(Lines(ReadTextFile(Calls())).size(), 1u);
}

TEST_F(GroupPolicyRefreshTest, AHangingRefreshIsLeftBehindAfterItsLimit) {
  ASSERT_TRUE(WriteTextFile(Base() + L".fake.ini", "[fake]\r\nsleepms=90000\r\n"));
  RunResult result = program_.Run(L"/undo /silent", L"", 45000);
  EXPECT_TRUE(result.finished) << "the refresh wait must end after its limit";
  EXPECT_EQ(Lines(ReadTextFile(Calls())).size(), 1u);
}

TEST_F(PolicyTest, HookingAFileClassWritesTheFilterCommandsAndUndoRestoresTheClass) {
  hooked_ = true;
  const std::wstring filter = L"\"" + program_.Folder() + kFilterModuleProgram + L"\"";
  Run(L"/fs=scr /fc=pif /fs=cpl");
  EXPECT_EQ(ClassCommand(L"scrfile\\shell\\open\\command"), filter + L" \"%1\" /S %*");
  EXPECT_EQ(ClassCommand(L"scrfile\\shell\\runas\\command"), filter + L" \"%1\" /S %*");
  EXPECT_EQ(ClassCommand(L"scrfile\\shell\\runas\\command", L"IsolatedCommand"), L"\"%1\" /S %*");
  EXPECT_EQ(ClassCommand(L"piffile\\shell\\open\\command"), filter + L" *\"%1\" %*");
  EXPECT_EQ(ClassCommand(L"piffile\\shell\\runas\\command", L"IsolatedCommand"), L"\"%1\" %*");
  EXPECT_EQ(ClassCommand(L"cplfile\\shell\\open\\command"), filter + L" \"%1\" %*");
  EXPECT_EQ(ClassCommand(L"cplfile\\shell\\runas\\command"), L"<missing>") << "control-panel files get no run-as";
  // The backups are kept where only administrators can write, never beside the program.
  std::map<std::wstring, std::wstring> backups;
  for (const wchar_t* backup : {L"scrfile", L"piffile", L"cplfile"}) {
    EXPECT_FALSE(FileExists(program_.Folder() + backup + L"_backup.reg")) << platform::ToUtf8(backup);
    if (RegKeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\" + std::wstring(backup))) {
      EXPECT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kBackupStore, backup, backups[backup])) << platform::ToUtf8(backup);
    }
  }

  // A second hook in the other mode keeps the first backup.
  Run(L"/fc=scr");
  EXPECT_EQ(ClassCommand(L"scrfile\\shell\\open\\command"), filter + L" *\"%1\" /S %*");
  std::wstring again;
  RegRead(HKEY_LOCAL_MACHINE, kBackupStore, L"scrfile", again);
  EXPECT_EQ(again, backups[L"scrfile"]);

  Run(L"/undo /silent /nogpupdate");
  hooked_ = false;
  EXPECT_EQ(ClassCommand(L"scrfile\\shell\\open\\command"), originalOpen_[L"scrfile"]);
  EXPECT_EQ(ClassCommand(L"piffile\\shell\\open\\command"), originalOpen_[L"piffile"]);
  EXPECT_EQ(ClassCommand(L"scrfile\\shell\\runas\\command"), L"<missing>");
  EXPECT_EQ(ClassCommand(L"cplfile\\shell\\open\\command"), L"<missing>");
  std::wstring exeCom;
  EXPECT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kFilterModuleKey, L"SuspiciousExeComFiles",
                      exeCom));
  EXPECT_EQ(exeCom, L"0");
}

TEST_F(PolicyTest, ABackupThatHoldsOurOwnHookIsNeverRestored) {
  hooked_ = true;
  // A backup taken from an already hooked class, left by some earlier copy of the program.
  std::wstring stale =
      L"Windows Registry Editor Version 5.00\r\n\r\n"
      L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\piffile\\shell\\open\\command]\r\n" +
      std::wstring(L"@=\"\\\"C:\\\\Old\\\\") + kFilterModuleProgram + L"\\\" *\\\"%1\\\" %*\"\r\n";
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kBackupStore, L"piffile", stale));
  Run(L"/fc=pif");
  Run(L"/undo /silent /nogpupdate");
  hooked_ = false;
  EXPECT_EQ(ClassCommand(L"piffile\\shell\\open\\command"), L"\"%1\" %*");
}

// Whoever may write to the program folder (a run from a share or a download folder) must not get
// a .reg file of theirs imported with administrator rights: not one planted under the names the
// program uses there, and not a backup that reaches beyond its own class.
TEST_F(PolicyTest, NoPlantedOrForeignRegistryTextIsImported) {
  hooked_ = true;
  RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kPlantedKey);
  // Read-only, so that a program that meant to replace it could not, and would import it instead.
  for (const wchar_t* name : {L"RLO.reg", L"cplfile_backup.reg", L"scrfile_backup.reg", L"exefile_backup.reg"}) {
    ASSERT_TRUE(WriteTextFile(program_.Folder() + name, RegFileBytes(kPlantedText)));
    ASSERT_TRUE(SetFileAttributesW((program_.Folder() + name).c_str(), FILE_ATTRIBUTE_READONLY));
  }
  Run(L"/silent /nogpupdate /fakeexts");
  Run(L"/fs=cpl /fc=scr");
  Run(L"/undo /silent /nogpupdate");
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kPlantedKey)) << "a planted file was imported";
  for (const wchar_t* name : {L"RLO.reg", L"cplfile_backup.reg", L"scrfile_backup.reg", L"exefile_backup.reg"}) {
    EXPECT_EQ(ReadFileBytes(program_.Folder() + name), RegFileBytes(kPlantedText)) << platform::ToUtf8(name);
    SetFileAttributesW((program_.Folder() + name).c_str(), FILE_ATTRIBUTE_NORMAL);
  }

  // A kept backup that names another key as well is refused as a whole.
  Run(L"/fs=pif");
  const std::wstring foreign =
      L"Windows Registry Editor Version 5.00\r\n\r\n"
      L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\piffile\\shell\\open\\command]\r\n"
      L"@=\"\\\"%1\\\" %*\"\r\n\r\n" +
      std::wstring(L"[HKEY_LOCAL_MACHINE\\Software\\") + kTestsKeyName +
      L"\\Planted]\r\n"
      L"\"Imported\"=\"yes\"\r\n";
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kBackupStore, L"piffile", foreign));
  Run(L"/undo /silent /nogpupdate");
  hooked_ = false;
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kPlantedKey)) << "a foreign backup was imported";
  EXPECT_EQ(ClassCommand(L"piffile\\shell\\open\\command"), L"\"%1\" %*") << "Windows' own command stays";
  RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kPlantedKey);
}

TEST_F(PolicyTest, AControlPanelClassWithoutABackupGetsItsPlainOpenCommandBack) {
  hooked_ = true;
  Run(L"/fs=cpl");
  RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kBackupStore);
  Run(L"/undo /silent /nogpupdate");
  hooked_ = false;
  EXPECT_EQ(ClassCommand(L"cplfile\\shell\\open\\command"), L"%SystemRoot%\\System32\\control.exe \"%1\",%*");
  DWORD type = 0;
  std::vector<BYTE> data;
  ASSERT_TRUE(RegReadRaw(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\cplfile\\shell\\open\\command", L"", type, data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
}

TEST_F(PolicyTest, TheApplyRoadHooksWhatTheSavedFilterSettingsChoose) {
  hooked_ = true;
  const std::wstring settings = kFilterModuleKey;
  RegWriteString(HKEY_LOCAL_MACHINE, settings + L"\\Suspicious", L"SCR", L"1");
  RegWriteString(HKEY_LOCAL_MACHINE, settings + L"\\Constant", L"SCR", L"1");
  RegWriteString(HKEY_LOCAL_MACHINE, settings + L"\\Suspicious", L"PIF", L"0");

  // Without the filter module in the program folder nothing is hooked.
  Run(L"/silent /nogpupdate");
  EXPECT_EQ(ClassCommand(L"scrfile\\shell\\open\\command"), originalOpen_[L"scrfile"]);

  ASSERT_TRUE(CopyProgram(L"fakeprog.exe", program_.Folder() + kFilterModuleProgram));
  Run(L"/silent /nogpupdate");
  const std::wstring filter = L"\"" + program_.Folder() + kFilterModuleProgram + L"\"";
  EXPECT_EQ(ClassCommand(L"scrfile\\shell\\open\\command"), filter + L" *\"%1\" /S %*") << "constant wins";
  EXPECT_EQ(ClassCommand(L"piffile\\shell\\open\\command"), originalOpen_[L"piffile"]);
}
