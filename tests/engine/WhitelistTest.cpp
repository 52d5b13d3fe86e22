// Whitelist (unrestricted) rules from the switches and from the scan of the protected folders.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>

#include "platform/Text.h"
#include "tests/support/PlantedFolders.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

const std::wstring kRoot = kRestrictionPolicyKey;
const std::wstring kWhitelistPaths = kRoot + L"\\262144\\Paths";
const std::wstring kDisallowedPaths = kRoot + L"\\0\\Paths";

std::vector<std::wstring> Sorted(std::vector<std::wstring> items) {
  std::sort(items.begin(), items.end());
  return items;
}

std::wstring Env(const wchar_t* name) { return platform::GetEnv(name); }

class WhitelistTest : public ClearedProductTest {
 protected:
  void TearDown() override {
    ClearedProductTest::TearDown();
    for (const auto& file : planted_) DeleteFileW(file.c_str());
  }
  void Run(const std::wstring& arguments) { ASSERT_TRUE(program_.Run(arguments).finished); }
  // A program dropped somewhere in the protected folders, removed after the test.
  void Plant(const std::wstring& path) {
    std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    ASSERT_TRUE(WriteTextFile(path, "MZ")) << platform::ToUtf8(path);
    planted_.push_back(path);
  }

  InstalledProgram program_;
  std::vector<std::wstring> planted_;
};

}  // namespace

TEST_F(WhitelistTest, EachSwitchWritesTheRulesOfItsFoldersOnce) {
  Run(L"/w=Tools\\Agent.exe /p=Vendor\\svc.exe /u=tool.exe /s=start.exe /a=C:\\Apps\\ok.exe");
  EXPECT_EQ(RuleItemData(kWhitelistPaths),
            Sorted({L"%appdata%\\tools\\agent.exe", L"%userprofile%\\AppData\\Roaming\\tools\\agent.exe",
                    L"%userprofile%\\AppData\\Local\\tools\\agent.exe",
                    L"%userprofile%\\AppData\\LocalLow\\tools\\agent.exe", L"%programdata%\\vendor\\svc.exe",
                    L"%userprofile%\\tool.exe",
                    L"%userprofile%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\start.exe",
                    L"%programdata%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\start.exe",
                    L"c:\\apps\\ok.exe"}));
  // Each rule is ours: ItemData unexpanded, SaferFlags 0, the description.
  for (const auto& name : RegSubkeys(HKEY_LOCAL_MACHINE, kWhitelistPaths)) {
    std::wstring description;
    DWORD flags = 7;
    EXPECT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kWhitelistPaths + L"\\" + name, L"Description", description));
    EXPECT_EQ(description, kRuleDescription);
    EXPECT_TRUE(RegReadDword(HKEY_LOCAL_MACHINE, kWhitelistPaths + L"\\" + name, L"SaferFlags", flags));
    EXPECT_EQ(flags, 0u);
  }

  // The same items again add nothing, except the literal path, which is never looked up.
  size_t before = RuleItemData(kWhitelistPaths).size();
  Run(L"/w=TOOLS\\AGENT.EXE /p=vendor\\svc.exe /u=tool.exe /s=start.exe /a=C:\\Apps\\ok.exe");
  EXPECT_EQ(RuleItemData(kWhitelistPaths).size(), before + 1);
}

TEST_F(WhitelistTest, AFullPathUnderAppDataBecomesItsRelativeItem) {
  Run(L"/w=" + Env(L"appdata") + L"\\Vendor\\Updater.exe");
  auto patterns = RuleItemData(kWhitelistPaths);
  ASSERT_EQ(patterns.size(), 4u);
  EXPECT_TRUE(std::binary_search(patterns.begin(), patterns.end(), L"%appdata%\\vendor\\updater.exe"));
}

TEST_F(WhitelistTest, ThePreventionTestProgramAndEmptyItemsAreNeverWhitelisted) {
  Run(L"/w=HelloWorld2.EXE /w=helloworld.exe /w= /w=   /p= /u= /s= /a= /b=");
  EXPECT_TRUE(RuleItemData(kWhitelistPaths).empty());
  EXPECT_TRUE(RuleItemData(kDisallowedPaths).empty());
  Run(L"/w=sub\\helloworld2.exe");
  EXPECT_EQ(RuleItemData(kWhitelistPaths).size(), 4u) << "behind a folder name it is an ordinary item";
}

TEST_F(WhitelistTest, AnExistingRuleInOtherCaseCountsButADisallowedOneDoesNot) {
  RegWriteString(HKEY_LOCAL_MACHINE, kWhitelistPaths + L"\\{10000000-0000-0000-0000-000000000001}", L"ItemData",
                 L"%USERPROFILE%\\TOOL.EXE", REG_EXPAND_SZ);
  RegWriteString(HKEY_LOCAL_MACHINE, kDisallowedPaths + L"\\{10000000-0000-0000-0000-000000000002}", L"ItemData",
                 L"%programdata%\\x.exe", REG_EXPAND_SZ);
  Run(L"/u=tool.exe /p=x.exe");
  EXPECT_EQ(RuleItemData(kWhitelistPaths), Sorted({L"%USERPROFILE%\\TOOL.EXE", L"%programdata%\\x.exe"}));
}

TEST_F(WhitelistTest, TheScanWhitelistsProgramsAlreadyInTheProtectedFoldersOnce) {
  const std::wstring appData = Env(L"appdata");
  const std::wstring profile = Env(L"userprofile");
  Plant(appData + L"\\ScanTop.exe");
  Plant(appData + L"\\ScanVendor\\Tool.com");
  Plant(appData + L"\\ScanVendor\\Deep\\TooDeep.exe");  // two levels down: not found
  Plant(profile + L"\\AppData\\LocalLow\\ScanVendor\\Tool.com");  // the same item: one set of rules
  Plant(profile + L"\\ScanProfile.scr");
  Plant(Env(L"programdata") + L"\\ScanShared.exe");
  Plant(appData + L"\\HelloWorld2.exe");
  Run(L"/whitelist /silent /nogpupdate");

  auto patterns = RuleItemData(kWhitelistPaths);
  auto has = [&](const std::wstring& p) { return std::binary_search(patterns.begin(), patterns.end(), p); };
  for (const wchar_t* prefix : {L"%appdata%\\", L"%userprofile%\\AppData\\Roaming\\", L"%userprofile%\\AppData\\Local\\",
                                L"%userprofile%\\AppData\\LocalLow\\"}) {
    EXPECT_TRUE(has(std::wstring(prefix) + L"scantop.exe")) << platform::ToUtf8(prefix);
    EXPECT_TRUE(has(std::wstring(prefix) + L"scanvendor\\tool.com")) << platform::ToUtf8(prefix);
  }
  EXPECT_TRUE(has(L"%userprofile%\\scanprofile.scr"));
  EXPECT_TRUE(has(L"%programdata%\\scanshared.exe"));
  for (const auto& p : patterns) {
    EXPECT_EQ(platform::Lower(p).find(L"toodeep"), std::wstring::npos);
    EXPECT_EQ(platform::Lower(p).find(L"helloworld2"), std::wstring::npos);
  }
  std::wstring autoWhitelist;
  EXPECT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kSettingsKey, L"AutoWhitelist", autoWhitelist));
  EXPECT_EQ(autoWhitelist, L"0");

  Run(L"/whitelist /silent /nogpupdate");
  EXPECT_EQ(RuleItemData(kWhitelistPaths), patterns) << "a second scan writes nothing new";
}

// Every pattern a switch looks up is logged before its rule is written or found, as the
// one-at-a-time check logs it: the first run logs the check, the second the check and the find.
TEST_F(WhitelistTest, EachCheckOfAPatternIsInTheDebugLog) {
  const std::wstring log = program_.Folder() + kDebugLog;
  const std::wstring pattern = L"%appdata%\\logged\\tool.exe";
  auto count = [&](const std::wstring& prefix) {
    const auto lines = Lines(ReadTextFile(log));
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::wstring& line) { return platform::EndsWith(line, prefix + pattern); });
  };
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    DeleteFileW(log.c_str());
    Run(L"/DEBUG /w=Logged\\Tool.exe");  // the switches act in order
    EXPECT_EQ(count(L"ItemExistCheck:  "), 1);
    EXPECT_EQ(count(L"ItemExistCheck RULE EXISTS:  "), run == 1 ? 0 : 1);
  }
}

// The scan and "w=" take the folders from the system. The environment belongs to whoever started the
// program: a folder it names is not scanned, and its programs become no unrestricted rule.
TEST_F(WhitelistTest, TheEnvironmentChoosesNoFolderToScanOrStrip) {
  PlantedFolders planted;
  for (const wchar_t* program :
       {L"PlantedTop.exe", L"PlantedVendor\\PlantedTool.exe", L"AppData\\Roaming\\PlantedRoaming.exe",
        L"AppData\\Roaming\\PlantedVendor\\PlantedDeep.com", L"AppData\\Local\\PlantedLocal.exe",
        L"AppData\\LocalLow\\PlantedLow.scr",
        L"AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\PlantedStart.exe",
        L"Microsoft\\Windows\\Start Menu\\Programs\\Startup\\PlantedShared.exe"})
    ASSERT_TRUE(planted.PlantProgram(program)) << platform::ToUtf8(program);
  const std::wstring appData = OwnFolder(CSIDL_APPDATA);
  Plant(appData + L"\\ScanOwn.exe");
  std::vector<std::wstring> env = planted.Environment();
  env.push_back(L"ILATCH_PROMPT_LOG=" + program_.PromptLog());
  const std::wstring exe = L"\"" + program_.ExePath() + L"\" ";
  ASSERT_TRUE(RunProcess(exe + L"/whitelist /silent /nogpupdate", env).finished);
  ASSERT_TRUE(RunProcess(exe + L"/w=" + appData + L"\\Vendor\\Full.exe", env).finished);

  const auto patterns = RuleItemData(kWhitelistPaths);
  for (const auto& p : patterns) EXPECT_EQ(platform::Lower(p).find(L"planted"), std::wstring::npos) << platform::ToUtf8(p);
  // This user's own folders are still the ones scanned and stripped.
  EXPECT_TRUE(std::binary_search(patterns.begin(), patterns.end(), L"%appdata%\\scanown.exe"));
  EXPECT_TRUE(std::binary_search(patterns.begin(), patterns.end(), L"%appdata%\\vendor\\full.exe"));
  EXPECT_EQ(planted.StartsRecorded(), std::vector<std::wstring>{});
}
