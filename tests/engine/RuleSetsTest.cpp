// Every protection option's rules as the main program writes them, for both Windows families.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "platform/Text.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

const std::wstring kRoot = kRestrictionPolicyKey;
const std::wstring kDisallowedPaths = kRoot + L"\\0\\Paths";

std::vector<std::wstring> WrittenPatterns() { return RuleItemData(kDisallowedPaths); }

// Every pattern with each of the four extensions.
std::vector<std::wstring> WithExtensions(const std::vector<std::wstring>& patterns) {
  std::vector<std::wstring> rules;
  for (const wchar_t* extension : {L"exe", L"scr", L"com", L"pif"}) {
    for (const auto& pattern : patterns) rules.push_back(pattern + extension);
  }
  std::sort(rules.begin(), rules.end());
  return rules;
}

struct OptionCase {
  const wchar_t* option;
  std::vector<std::wstring> vista;    // patterns before the extension, Vista and later
  std::vector<std::wstring> earlier;  // the same on XP and Server 2003
};

const std::vector<OptionCase>& Options() {
  static const std::vector<OptionCase> cases = {
      {L"appdata",
       {L"%appdata%\\*.", L"%userprofile%\\AppData\\Roaming\\*.", L"%userprofile%\\AppData\\*."},
       {L"%appdata%\\*.", L"%allusersprofile%\\Application Data\\*.", L"%userprofile%\\Application Data\\*."}},
      {L"appdatadeep",
       {L"%appdata%\\*\\*.", L"%userprofile%\\AppData\\Roaming\\*\\*."},
       {L"%appdata%\\*\\*.", L"%allusersprofile%\\Application Data\\*\\*.", L"%userprofile%\\Application Data\\*\\*."}},
      {L"appdatalocal",
       {L"%userprofile%\\AppData\\Local\\*.", L"%userprofile%\\AppData\\LocalLow\\*.",
        L"%userprofile%\\AppData\\LocalLow\\*\\*."},
       {L"%allusersprofile%\\Local Settings\\Application Data\\*.",
        L"%allusersprofile%\\Local Settings\\Application Data\\*\\*.",
        L"%userprofile%\\Local Settings\\Application Data\\*.",
        L"%userprofile%\\Local Settings\\Application Data\\*\\*."}},
      {L"bin",
       {L"*:\\$Recycle.Bin\\*\\*.", L"*:\\$Recycle.Bin\\*\\*\\*.", L"*:\\$Recycle.Bin\\*\\*\\*\\*."},
       {L"*:\\RECYCLER\\*\\*.", L"*:\\RECYCLER\\*\\*\\*.", L"*:\\RECYCLER\\*\\*\\*\\*."}},
      {L"startup",
       {L"%programdata%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\*.",
        L"%userprofile%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\*."},
       {L"%allusersprofile%\\Start Menu\\Programs\\Startup\\*.", L"%userprofile%\\Start Menu\\Programs\\Startup\\*."}},
      {L"programdata", {L"%programdata%\\*."}, {}},
      {L"tempexes",
       {L"%userprofile%\\AppData\\Local\\Temp\\wz*\\*.", L"%userprofile%\\AppData\\Local\\Temp\\*.zip\\*.",
        L"%userprofile%\\AppData\\Local\\Temp\\7z*\\*.", L"%userprofile%\\AppData\\Local\\Temp\\rar*\\*."},
       {L"%userprofile%\\Local Settings\\Temp\\wz*\\*.", L"%userprofile%\\Local Settings\\Temp\\*.zip\\*.",
        L"%userprofile%\\Local Settings\\Temp\\7z*\\*.", L"%userprofile%\\Local Settings\\Temp\\rar*\\*."}},
  };
  return cases;
}

std::vector<std::wstring> UserProfileRules(const std::wstring& profilesFolder) {
  std::vector<std::wstring> rules;
  for (const wchar_t* extension : {L"exe", L"scr", L"com", L"pif"}) {
    rules.push_back(std::wstring(L"%userprofile%\\*.") + extension);
    if (std::wstring(extension) != L"com") rules.push_back(profilesFolder + L"\\*." + extension);
    rules.push_back(std::wstring(L"%allusersprofile%\\*.") + extension);
  }
  std::sort(rules.begin(), rules.end());
  return rules;
}

// Runs the program on Windows 7 or, through the test runs' stand-in for the kernel's version, on
// Windows XP.
class RuleSetsTest : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kRoot);
    if (!Vista()) xp_ = std::make_unique<KernelVersionStandIn>(L"5.2");
  }
  void TearDown() override {
    xp_.reset();
    ClearProductAndPolicy();
  }
  bool Vista() const { return GetParam(); }
  void Apply(const std::wstring& options) {
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kDisallowedPaths);
    ASSERT_TRUE(program_.Run(L"/silent /nogpupdate " + options).finished);
  }

  std::unique_ptr<KernelVersionStandIn> xp_;
  InstalledProgram program_;
};

}  // namespace

TEST_P(RuleSetsTest, EachOptionWritesItsPatternsWithEveryExtension) {
  for (const auto& option : Options()) {
    SCOPED_TRACE(platform::ToUtf8(option.option));
    Apply(std::wstring(L"/") + option.option);
    EXPECT_EQ(WrittenPatterns(), WithExtensions(Vista() ? option.vista : option.earlier));
  }
}

TEST_P(RuleSetsTest, UserProfileRulesNameTheProfilesFolderExceptForCom) {
  Apply(L"/userprofile");
  EXPECT_EQ(WrittenPatterns(), UserProfileRules(L"C:\\users"));
}

TEST_P(RuleSetsTest, ToolBlocksAreBareFileNames) {
  Apply(L"/syskey /bcdedit /cipher /vssadmin");
  EXPECT_EQ(WrittenPatterns(),
            (std::vector<std::wstring>{L"bcdedit.exe", L"cipher.exe", L"syskey.exe", L"vssadmin.exe"}));
}

TEST_P(RuleSetsTest, AllOptionsTogetherAddUpAndApplyingAgainReplacesThem) {
  const std::wstring all =
      L"/appdata /appdatadeep /appdatalocal /bin /userprofile /startup /programdata /tempexes /fakeexts /syskey "
      L"/bcdedit /cipher /vssadmin";
  Apply(all);
  size_t expected = 4 /* tools */ + 101 /* fake extensions and the override rule */ + 11 /* user profile */;
  for (const auto& option : Options()) expected += 4 * (Vista() ? option.vista : option.earlier).size();
  auto first = WrittenPatterns();
  EXPECT_EQ(first.size(), expected);
  ASSERT_TRUE(program_.Run(L"/silent /nogpupdate " + all).finished);
  EXPECT_EQ(WrittenPatterns(), first);

  ASSERT_TRUE(program_.Run(L"/undo /silent /nogpupdate").finished);
  EXPECT_TRUE(WrittenPatterns().empty());
}

INSTANTIATE_TEST_SUITE_P(Windows, RuleSetsTest, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "VistaAndLater" : "XpAndServer2003");
                         });
