// The saved protection choices as each road sees the same registry: the main window's boxes, the
// re-apply after a program update, and the configuration INI's keys.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <optional>

#include "engine/SavedChoices.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;
using SavedChoices::Choice;

namespace {

const std::wstring kSettings = kSettingsKey;
const std::wstring kFilter = kFilterModuleKey;

struct Planted {
  std::wstring key, value, text;
};

struct Seen {
  Choice choice;
  std::wstring text;         // what the choice reads as
  std::optional<int> box;    // the main window's box (none: as the window preset it)
  bool on;                   // the re-apply after an update
};

struct Left {
  std::wstring value, text;  // under the settings key afterwards ("<missing>": not there)
};

struct ReadCase {
  const char* name;
  std::vector<Planted> planted;
  std::vector<Seen> seen;
  std::vector<Left> left;
};

const std::vector<ReadCase>& ReadCases() {
  static const std::vector<ReadCase> cases = {
      {"nothing saved: the Sidebar box unticked, no-allow ticked, syskey blocked on the update road",
       {},
       {{Choice::Sidebar, L"", 0, false},
        {Choice::NoAllow, L"", 1, false},
        {Choice::Appdata, L"", std::nullopt, false},
        {Choice::Syskey, L"", std::nullopt, true},
        {Choice::Cipher, L"", std::nullopt, false},
        {Choice::TempArchives, L"", std::nullopt, false},
        {Choice::ExeComFilter, L"", std::nullopt, false}},
       {}},
      {"a group's box value goes to every member, over their own, and the group goes",
       {{kSettings, L"ApplyUserProf", L"2"}, {kSettings, L"UserProfile", L"1"}},
       {{Choice::UserProfile, L"2", 2, false},
        {Choice::ProgramData, L"2", 2, false},
        {Choice::StartupFolder, L"2", 2, false},
        {Choice::Appdata, L"", std::nullopt, false}},
       {{L"ApplyUserProf", L"<missing>"}, {L"UserProfile", L"2"}, {L"ProgramData", L"2"}, {L"StartupFolder", L"2"}}},
      {"a group text out of the box values counts as absent and stays",
       {{kSettings, L"ApplyAppdata", L"3"}, {kSettings, L"Appdata", L"1"}},
       {{Choice::Appdata, L"1", 1, true}, {Choice::AppdataDeep, L"", std::nullopt, false}},
       {{L"ApplyAppdata", L"3"}, {L"AppdataDeep", L"<missing>"}}},
      {"the tool group saved off: syskey is a saved choice then, not the default",
       {{kSettings, L"BlockSyskey", L"0"}},
       {{Choice::Syskey, L"0", 0, false}, {Choice::Cipher, L"0", 0, false}, {Choice::Vssadmin, L"0", 0, false}},
       {{L"BlockSyskey", L"<missing>"}, {L"syskey", L"0"}}},
      {"syskey saved empty (an INI without the key) still counts as unsaved",
       {{kSettings, L"syskey", L""}},
       {{Choice::Syskey, L"", std::nullopt, true}},
       {{L"syskey", L""}}},
      {"only 1 is on; a box takes any whole number and ignores other text",
       {{kSettings, L"ApplyFakeExts", L"yes"},
        {kSettings, L"Sidebar", L"2"},
        {kSettings, L"BlockBCDEdit", L"0"},
        {kFilter, L"NoAllow", L"x"}},
       {{Choice::FakeExtensions, L"yes", std::nullopt, false},
        {Choice::Sidebar, L"2", 2, false},
        {Choice::BcdEdit, L"0", 0, false},
        {Choice::NoAllow, L"x", std::nullopt, false}},
       {}},
      {"the filter module's values are read under its key only",
       {{kSettings, L"SuspiciousExeComFiles", L"1"}, {kSettings, L"SilentBlock", L"1"}, {kFilter, L"NoAllow", L"0"}},
       {{Choice::ExeComFilter, L"", std::nullopt, false},
        {Choice::SilentBlock, L"", std::nullopt, false},
        {Choice::NoAllow, L"0", 0, false}},
       {}},
  };
  return cases;
}

class SavedChoicesTest : public ClearedProductTest {};

TEST_F(SavedChoicesTest, EachRoadSeesTheSavedTextsAsItsRuleSays) {
  for (const ReadCase& c : ReadCases()) {
    SCOPED_TRACE(c.name);
    Clean();
    for (const Planted& p : c.planted) ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, p.key, p.value, p.text));
    const SavedChoices::Saved saved = SavedChoices::Saved::Read();
    for (const Seen& s : c.seen) {
      SCOPED_TRACE(SavedChoices::ValueName(s.choice));
      EXPECT_EQ(saved.Text(s.choice), s.text);
      EXPECT_EQ(saved.BoxValue(s.choice), s.box);
      EXPECT_EQ(saved.On(s.choice), s.on);
    }
    for (const Left& l : c.left) EXPECT_EQ(ProductSetting(l.value), l.text) << testing::PrintToString(l.value);
  }
}

// Makes the settings key readable but not writable for everyone while it lives.
class ReadOnlySettingsKey {
 public:
  ReadOnlySettingsKey() {
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, READ_CONTROL | WRITE_DAC | KEY_WOW64_64KEY,
                        nullptr, &key_, nullptr) != ERROR_SUCCESS)
      return;
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KR;;;WD)(A;;RCWD;;;BA)", SDDL_REVISION_1,
                                                              &readOnly, nullptr))
      return;
    applied_ = RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS;
    LocalFree(readOnly);
  }
  ~ReadOnlySettingsKey() {
    if (!key_) return;
    PSECURITY_DESCRIPTOR open = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KA;;;WD)", SDDL_REVISION_1, &open, nullptr)) {
      RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, open);
      LocalFree(open);
    }
    RegCloseKey(key_);
  }
  ReadOnlySettingsKey(const ReadOnlySettingsKey&) = delete;
  ReadOnlySettingsKey& operator=(const ReadOnlySettingsKey&) = delete;
  bool Applied() const { return applied_; }

 private:
  HKEY key_ = nullptr;
  bool applied_ = false;
};

// A group whose members cannot be saved is kept, so the choice is not lost; the window still
// shows the group's choice, and the update road, finding nothing saved of syskey, blocks it.
TEST_F(SavedChoicesTest, AGroupWhoseMembersCannotBeSavedStays) {
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kSettings, L"BlockSyskey", L"0"));
  {
    ReadOnlySettingsKey readOnly;
    ASSERT_TRUE(readOnly.Applied());
    if (SavedChoices::Write(Choice::Cipher, L"1")) GTEST_SKIP() << "the key's rights are not enforced here";
    const SavedChoices::Saved saved = SavedChoices::Saved::Read();
    EXPECT_EQ(saved.BoxValue(Choice::Syskey), 0);
    EXPECT_EQ(saved.BoxValue(Choice::Cipher), 0);
    EXPECT_TRUE(saved.On(Choice::Syskey));
    EXPECT_FALSE(saved.On(Choice::Cipher));
  }
  EXPECT_EQ(ProductSetting(L"BlockSyskey"), L"0");
  EXPECT_EQ(ProductSetting(L"syskey"), L"<missing>");
}

// The INI's keys: some named unlike the value they are saved in, some only applied.
TEST_F(SavedChoicesTest, TheIniRoadCopiesEachSectionAsReadAndAppliesByItsKeys) {
  const std::wstring ini = TestsDir() + L"SavedChoicesTest.ini";
  ASSERT_TRUE(WriteTextFile(ini,
                            "[Config]\r\nUserProf=1\r\nFakeEXEs=1\r\nTempEXEs=1\r\nExcludeExisting=1\r\n"
                            "programdata=1\r\nSidebar=0\r\nBlockSyskey=yes\r\n"
                            "[FilterModule]\r\nNoAllow=0\r\nSuspiciousExeComFiles=1\r\n"));
  SavedChoices::CopyFromIni(ini, SavedChoices::IniSection::Config);
  const std::pair<const wchar_t*, const wchar_t*> copied[] = {
      {L"UserProfile", L"1"},       {L"ApplyFakeExts", L"1"}, {L"ProgramData", L"1"},
      {L"Sidebar", L"0"},           {L"syskey", L"yes"},      {L"Appdata", L""},
      {L"ApplyTempEXEs", L"<missing>"}, {L"AutoWhitelist", L"<missing>"},
  };
  for (const auto& [value, text] : copied) EXPECT_EQ(ProductSetting(value), text) << testing::PrintToString(value);
  EXPECT_EQ(ProductSetting(L"NoAllow", L"\\FilterModule"), L"<missing>") << "each section is copied on its own";
  SavedChoices::CopyFromIni(ini, SavedChoices::IniSection::FilterModule);
  EXPECT_EQ(ProductSetting(L"NoAllow", L"\\FilterModule"), L"0");
  EXPECT_EQ(ProductSetting(L"SilentBlock", L"\\FilterModule"), L"");
  EXPECT_EQ(ProductSetting(L"SuspiciousExeComFiles", L"\\FilterModule"), L"<missing>");

  const std::pair<Choice, bool> applied[] = {
      {Choice::UserProfile, true},   {Choice::TempArchives, true}, {Choice::AutoWhitelist, true},
      {Choice::ProgramData, true},   {Choice::Syskey, false},      {Choice::Sidebar, false},
      {Choice::ExeComFilter, false}, {Choice::Appdata, false},
  };
  for (const auto& [choice, on] : applied)
    EXPECT_EQ(SavedChoices::IniChoice(ini, choice), on) << testing::PrintToString(SavedChoices::ValueName(choice));
  DeleteFileW(ini.c_str());
}

}  // namespace
