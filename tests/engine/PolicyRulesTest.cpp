// The policy that the main program writes and removes, read back from the registry as Windows would.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "platform/Handle.h"
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
  // The elevated start runs the isolated command: it goes through the module as well.
  EXPECT_EQ(ClassCommand(L"scrfile\\shell\\runas\\command", L"IsolatedCommand"), filter + L" \"%1\" /S %*");
  EXPECT_EQ(ClassCommand(L"piffile\\shell\\open\\command"), filter + L" *\"%1\" %*");
  EXPECT_EQ(ClassCommand(L"piffile\\shell\\runas\\command", L"IsolatedCommand"), filter + L" *\"%1\" %*");
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

// ---- "Run as administrator" through the hooks, and back ----

namespace {

const wchar_t* const kClassKeys[] = {L"scrfile", L"piffile", L"cplfile", L"exefile", L"comfile"};

// One class key with everything below it, one line per value: subkey path and value name (lower
// case, as Windows compares them), type and data bytes. An absent key has no lines.
void AddTreeLines(HKEY key, const std::wstring& path, std::vector<std::string>& lines) {
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD nameLength = 16384, type = 0, size = 0;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    std::vector<BYTE> data(size);
    nameLength = 16384;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) break;
    data.resize(size);
    lines.push_back(platform::ToUtf8(path + L" | " + platform::Lower(name)) + " | " + std::to_string(type) + " | " +
                    Hex(data));
  }
  lines.push_back(platform::ToUtf8(path));  // the key itself, also when it holds no value
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    platform::UniqueRegKey sub;
    if (RegOpenKeyExW(key, name, 0, KEY_READ | KEY_WOW64_64KEY, sub.put()) == ERROR_SUCCESS)
      AddTreeLines(sub.get(), path + L"\\" + platform::Lower(name), lines);
  }
}

std::vector<std::string> ClassLines(const std::wstring& classKey) {
  std::vector<std::string> lines;
  platform::UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (L"SOFTWARE\\Classes\\" + classKey).c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                    key.put()) == ERROR_SUCCESS)
    AddTreeLines(key.get(), classKey, lines);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// A value of a class as some Windows has it.
struct ClassValue {
  const wchar_t* key;  // below SOFTWARE\Classes
  const wchar_t* name;
  DWORD type;
  const wchar_t* text;
};

// The five classes as Windows 7 has them, where each run-as command carries its isolated command.
const ClassValue kWindows7Classes[] = {
    {L"exefile", L"", REG_SZ, L"Application"},
    {L"exefile\\DefaultIcon", L"", REG_SZ, L"%1"},
    {L"exefile\\shell\\open\\command", L"", REG_SZ, L"\"%1\" %*"},
    {L"exefile\\shell\\open\\command", L"IsolatedCommand", REG_SZ, L"\"%1\" %*"},
    {L"exefile\\shell\\runas\\command", L"", REG_SZ, L"\"%1\" %*"},
    {L"exefile\\shell\\runas\\command", L"IsolatedCommand", REG_SZ, L"\"%1\" %*"},
    {L"exefile\\shell\\runasuser\\command", L"DelegateExecute", REG_SZ, L"{ea72d00e-4960-42fa-ba92-7792a7944c1d}"},
    {L"comfile", L"", REG_SZ, L"MS-DOS Application"},
    {L"comfile\\shell\\open\\command", L"", REG_SZ, L"\"%1\" %*"},
    {L"comfile\\shell\\open\\command", L"IsolatedCommand", REG_SZ, L"\"%1\" %*"},
    {L"comfile\\shell\\runas\\command", L"", REG_SZ, L"\"%1\" %*"},
    {L"comfile\\shell\\runas\\command", L"IsolatedCommand", REG_SZ, L"\"%1\" %*"},
    {L"scrfile", L"", REG_SZ, L"Screen saver"},
    {L"scrfile\\shell\\config\\command", L"", REG_SZ, L"\"%1\""},
    {L"scrfile\\shell\\install\\command", L"", REG_EXPAND_SZ, L"rundll32.exe desk.cpl,InstallScreenSaver %l"},
    {L"scrfile\\shell\\open\\command", L"", REG_SZ, L"\"%1\" /S"},
    {L"piffile", L"", REG_SZ, L"Shortcut to MS-DOS Program"},
    {L"piffile\\shell\\open\\command", L"", REG_SZ, L"\"%1\" %*"},
    {L"cplfile", L"", REG_SZ, L"Control Panel Item"},
    {L"cplfile\\shell\\cplopen\\command", L"", REG_SZ, L"rundll32.exe shell32.dll,Control_RunDLL \"%1\",%*"},
};

// Commands an administrator set by hand, unlike any the hooks or the plain fallbacks write:
// each can only come back from the class backup.
const ClassValue kOwnClasses[] = {
    {L"exefile\\shell\\open\\command", L"", REG_EXPAND_SZ, L"\"%1\" %* "},
    {L"exefile\\shell\\runas\\command", L"", REG_EXPAND_SZ, L"\"%1\" %*  "},
    {L"exefile\\shell\\runas\\command", L"IsolatedCommand", REG_EXPAND_SZ, L"\"%1\"  %*"},
    {L"comfile\\shell\\runas\\command", L"IsolatedCommand", REG_SZ, L"\"%1\"  %*"},
    {L"scrfile\\shell\\open\\command", L"", REG_SZ, L"\"%1\"  /S"},
    {L"scrfile\\shell\\runas\\command", L"", REG_SZ, L"\"%1\" /S  %*"},
    {L"scrfile\\shell\\runas\\command", L"IsolatedCommand", REG_EXPAND_SZ, L"\"%1\"  /S %*"},
    {L"piffile\\shell\\runas\\command", L"IsolatedCommand", REG_SZ, L"\"%1\"  %*"},
};

bool WriteClassValue(const ClassValue& v) {
  return RegWriteString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\" + std::wstring(v.key), v.name, v.text, v.type);
}

// The classes of the prefix, exported before a test writes its own and imported again after.
class ClassesPutBack {
 public:
  ClassesPutBack() {
    for (const wchar_t* classKey : kClassKeys) {
      const std::wstring file = dir_ / (std::wstring(classKey) + L".reg");
      saved_[classKey] = RunProcess(L"reg.exe export HKLM\\SOFTWARE\\Classes\\" + std::wstring(classKey) + L" \"" +
                                        file + L"\" /y",
                                    {})
                                     .exitCode == 0 &&
                                 FileExists(file);
    }
  }
  ~ClassesPutBack() {
    for (const wchar_t* classKey : kClassKeys) {
      RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\" + std::wstring(classKey));
      if (saved_[classKey]) RunProcess(L"reg.exe import \"" + dir_ / (std::wstring(classKey) + L".reg") + L"\"", {});
    }
  }

 private:
  ScratchDir dir_;
  std::map<std::wstring, bool> saved_;
};

class RunAsHookTest : public PolicyTest {
 protected:
  void SetUp() override {
    PolicyTest::SetUp();
    ASSERT_TRUE(CopyProgram(L"fakeprog.exe", program_.Folder() + kFilterModuleProgram));
    ASSERT_TRUE(CopyFileW((TestsDir() + L"execomprobe.exe").c_str(), (program_.Folder() + L"execomprobe.exe").c_str(),
                          FALSE));
  }
  // Switches the EXE/COM filter as the main window's menu does.
  void ExeComFilter(const wchar_t* onOrOff) {
    const RunResult result = RunProcess(L"\"" + program_.Folder() + L"execomprobe.exe\" " + onOrOff, {});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0u) << "the EXE/COM filter was not switched " << platform::ToUtf8(onOrOff);
  }
  std::map<std::wstring, std::vector<std::string>> Classes() const {
    std::map<std::wstring, std::vector<std::string>> classes;
    for (const wchar_t* classKey : kClassKeys) classes[classKey] = ClassLines(classKey);
    return classes;
  }
  std::wstring Filter() const { return L"\"" + program_.Folder() + kFilterModuleProgram + L"\""; }

  ClassesPutBack putBack_;
};

}  // namespace

// On Vista and later the shell's elevated start runs a verb's "IsolatedCommand": each hooked
// run-as command carries the module's hook there too, and so do both verbs of the program classes. Undo and the EXE/COM filter's off switch put
// every class back byte for byte, the isolated commands included, also where there was none, and
// add none where nothing was hooked.
TEST_F(RunAsHookTest, ElevatedStartsGoThroughTheModuleAndEveryClassComesBackAsItWas) {
  const struct {
    const char* name;
    bool isolatedCommands;  // Windows 7's classes with their isolated commands, or without any
    bool ownCommands;       // with the administrator's own commands over them
  } cases[] = {
      {"Windows 7", true, false},
      {"no isolated commands (as Windows XP)", false, false},
      {"an administrator's own commands", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kMakerKey);  // no backup of an earlier case
    for (const wchar_t* classKey : kClassKeys)
      RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\" + std::wstring(classKey));
    for (const ClassValue& v : kWindows7Classes) {
      if (!c.isolatedCommands && std::wstring(v.name) == L"IsolatedCommand") continue;
      ASSERT_TRUE(WriteClassValue(v));
    }
    if (c.ownCommands) {
      for (const ClassValue& v : kOwnClasses) ASSERT_TRUE(WriteClassValue(v));
    }
    const auto before = Classes();
    if (!c.ownCommands) {
      // Nothing hooked: an undo writes the plain commands, which are Windows' own, and adds nothing.
      Run(L"/undo /silent /nogpupdate");
      for (const auto& [classKey, lines] : Classes())
        EXPECT_EQ(lines, before.at(classKey)) << "after an undo with nothing hooked: " << platform::ToUtf8(classKey);
    }

    hooked_ = true;
    Run(L"/fs=scr /fc=pif /fs=cpl");
    ExeComFilter(L"on");
    EXPECT_EQ(ClassCommand(L"scrfile\\shell\\runas\\command", L"IsolatedCommand"), Filter() + L" \"%1\" /S %*");
    EXPECT_EQ(ClassCommand(L"piffile\\shell\\runas\\command", L"IsolatedCommand"), Filter() + L" *\"%1\" %*");
    EXPECT_EQ(ClassCommand(L"cplfile\\shell\\runas\\command", L"IsolatedCommand"), L"<missing>");
    for (const wchar_t* programClass : {L"exefile", L"comfile"}) {
      for (const wchar_t* verb : {L"open", L"runas"}) {
        const std::wstring key = std::wstring(programClass) + L"\\shell\\" + verb + L"\\command";
        EXPECT_EQ(ClassCommand(key), Filter() + L" /\"%1\" %*") << platform::ToUtf8(key);
        EXPECT_EQ(ClassCommand(key, L"IsolatedCommand"), Filter() + L" /\"%1\" %*") << platform::ToUtf8(key);
      }
    }

    Run(L"/undo /silent /nogpupdate");
    hooked_ = false;
    for (const auto& [classKey, lines] : Classes())
      EXPECT_EQ(lines, before.at(classKey)) << "after undo: " << platform::ToUtf8(classKey);

    ExeComFilter(L"on");
    ExeComFilter(L"off");
    const auto afterOff = Classes();
    for (const wchar_t* programClass : {L"exefile", L"comfile"})
      EXPECT_EQ(afterOff.at(programClass), before.at(programClass))
          << "after the EXE/COM filter's off switch: " << platform::ToUtf8(programClass);
  }
}
