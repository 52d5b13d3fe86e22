// The settings INI as the configuration builder writes and loads it, the whitelist file beside it,
// and one INI of ours applied by the real program's INI road.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/CommonModule.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"
#include "update/SettingsIni.h"

using namespace testsupport;
using ProtectionCatalogue::Choice;
using SettingsIni::Settings;

namespace {

// Every flag the builder owns (a protection option or a flag of its own), with its section and
// key, to switch them on one at a time.
struct Flag {
  Flag(Choice option, const wchar_t* section, const wchar_t* key) : option(option), section(section), key(key) {}
  Flag(bool Settings::*flag, const wchar_t* section, const wchar_t* key) : flag(flag), section(section), key(key) {}
  void Set(Settings& s, bool on) const {
    if (flag) s.*flag = on;
    else s.choices.Set(option, on);
  }
  Choice option{};
  bool Settings::*flag = nullptr;
  const wchar_t* section;
  const wchar_t* key;
};

const Flag kFlags[] = {
    {Choice::Sidebar, L"Config", L"SideBar"},
    {Choice::Appdata, L"Config", L"Appdata"},
    {Choice::AppdataDeep, L"Config", L"AppdataDeep"},
    {Choice::AppdataLocal, L"Config", L"AppdataLocal"},
    {Choice::RecycleBin, L"Config", L"RecycleBin"},
    {Choice::UserProfile, L"Config", L"UserProf"},
    {Choice::ProgramData, L"Config", L"ProgramData"},
    {Choice::StartupFolder, L"Config", L"StartupFolder"},
    {Choice::TempArchives, L"Config", L"TempEXEs"},
    {Choice::FakeExtensions, L"Config", L"FakeEXEs"},
    {Choice::Syskey, L"Config", L"BlockSyskey"},
    {Choice::BcdEdit, L"Config", L"BlockBCDEdit"},
    {Choice::Cipher, L"Config", L"cipher"},
    {Choice::Vssadmin, L"Config", L"vssadmin"},
    {Choice::AutoWhitelist, L"Config", L"ExcludeExisting"},
    {&Settings::NoRestartPrompt, L"Config", L"NoRestartPrompt"},
    {&Settings::EnableSchedule, L"Config", L"EnableSchedule"},
    {&Settings::UpdateOnInstall, L"Installer", L"UpdateOnInstall"},
    {&Settings::Advanced, L"Installer", L"Advanced"},
    {&Settings::ApplySilent, L"Installer", L"ApplySilent"},
    {&Settings::RebootSilent, L"Installer", L"RebootSilent"},
    {Choice::SilentBlock, L"FilterModule", L"SilentBlock"},
    {Choice::NoAllow, L"FilterModule", L"NoAllow"},
    {&Settings::SuspiciousCPL, L"FilterSuspicious", L"CPL"},
    {&Settings::SuspiciousSCR, L"FilterSuspicious", L"SCR"},
    {&Settings::SuspiciousPIF, L"FilterSuspicious", L"PIF"},
    {&Settings::ConstantCPL, L"FilterConstant", L"CPL"},
    {&Settings::ConstantSCR, L"FilterConstant", L"SCR"},
    {&Settings::ConstantPIF, L"FilterConstant", L"PIF"},
};

Settings Filled() {
  Settings s;
  s.RegName = L"Acme IT";
  s.ScheduledHour = L"07";
  s.ScheduledDay = L"thur";
  s.Website = L"www.acme.example";
  s.EULA = L"eula.rtf";
  s.PreInfo = L"before.txt";
  s.PostInfo = L"after.txt";
  s.Whitelist = {L"Vendor\\tool.exe", L"other.exe", L"Vendor\\tool.exe"};
  return s;
}

class SettingsIniTest : public testing::Test {
 protected:
  std::wstring Ini() const { return dir_ / kSettingsIni; }
  std::wstring List() const { return dir_ / kWhitelistFile; }
  ScratchDir dir_;
};

}  // namespace

TEST_F(SettingsIniTest, EachFlagIsWrittenUnderItsOwnKeyAndLoadsBackAlone) {
  for (const auto& f : kFlags) {
    SCOPED_TRACE(testing::Message() << "[" << std::string(f.section, f.section + wcslen(f.section)) << "] "
                                    << std::string(f.key, f.key + wcslen(f.key)));
    Settings saved = Filled();
    f.Set(saved, true);
    SettingsIni::Save(Ini(), List(), saved);
    EXPECT_EQ(CommonModule::ReadIni(Ini(), f.section, f.key), L"1");

    Settings loaded;
    for (const auto& g : kFlags) g.Set(loaded, true);  // every box must be set by the file
    ASSERT_TRUE(SettingsIni::Load(Ini(), List(), loaded));
    EXPECT_TRUE(loaded == saved);
  }
}

TEST_F(SettingsIniTest, TheFileHoldsTheEngineKeysAndSavingTwiceGivesTheSameFile) {
  Settings s = Filled();
  SettingsIni::Save(Ini(), List(), s);
  const std::string once = ReadFileBytes(Ini());
  const std::string listOnce = ReadFileBytes(List());
  SettingsIni::Save(Ini(), List(), s);
  EXPECT_EQ(ReadFileBytes(Ini()), once);
  EXPECT_EQ(ReadFileBytes(List()), listOnce) << "the whitelist is replaced, not appended to";
  EXPECT_EQ(listOnce, "Vendor\\tool.exe\r\nother.exe\r\nVendor\\tool.exe\r\n") << "duplicates are written twice";

  EXPECT_EQ(once.find("[Reg]\r\nRegName=Acme IT\r\n"), 0u) << once;
  EXPECT_NE(once.find("\r\nBlockSyskey=0\r\nBlockBCDEdit=0\r\n"), std::string::npos);
  EXPECT_EQ(once.find("\r\nSyskey="), std::string::npos);
  EXPECT_EQ(once.find("\r\nBCDEdit="), std::string::npos);
  EXPECT_NE(once.find("ScheduledHour=07\r\nScheduledDay=thur\r\n"), std::string::npos);
}

TEST_F(SettingsIniTest, HandSetKeysSurviveASave) {
  ASSERT_TRUE(WriteTextFile(Ini(),
                            "[Config]\r\nClientName=Acme\r\nEmailAlerts=1\r\nUTCAdjustment=-5\r\nAppdata=1\r\n"
                            "[FilterModule]\r\nAlertAllow=1\r\n[EmailConfig]\r\nSMTPServer=mail.example\r\n"));
  SettingsIni::Save(Ini(), List(), Settings{});
  EXPECT_EQ(CommonModule::ReadIni(Ini(), L"Config", L"ClientName"), L"Acme");
  EXPECT_EQ(CommonModule::ReadIni(Ini(), L"Config", L"EmailAlerts"), L"1");
  EXPECT_EQ(CommonModule::ReadIni(Ini(), L"Config", L"UTCAdjustment"), L"-5");
  EXPECT_EQ(CommonModule::ReadIni(Ini(), L"FilterModule", L"AlertAllow"), L"1");
  EXPECT_EQ(CommonModule::ReadIni(Ini(), L"EmailConfig", L"SMTPServer"), L"mail.example");
  EXPECT_EQ(CommonModule::ReadIni(Ini(), L"Config", L"Appdata"), L"0") << "an owned key is overwritten";
}

TEST_F(SettingsIniTest, AnEmptyWhitelistLeavesNoFileAndBlankLinesAreNotLoaded) {
  ASSERT_TRUE(WriteTextFile(List(), "stale.exe\r\n"));
  SettingsIni::Save(Ini(), List(), Settings{});
  EXPECT_FALSE(FileExists(List()));

  ASSERT_TRUE(WriteTextFile(List(), "A\\One.exe\r\n\r\n   \r\ntwo.exe\r\n"));
  Settings loaded;
  loaded.Whitelist = {L"before.exe"};
  ASSERT_TRUE(SettingsIni::Load(Ini(), List(), loaded));
  EXPECT_EQ(loaded.Whitelist, (std::vector<std::wstring>{L"A\\One.exe", L"two.exe"}));
}

TEST_F(SettingsIniTest, LineBreaksCannotSmuggleLinesIntoEitherFile) {
  Settings s;
  s.Website = L"www.acme.example\r\n[Config]\r\nAppdata=1";
  s.Whitelist = {L"ok.exe", L"evil.exe\r\nother\\x.exe"};
  SettingsIni::Save(Ini(), List(), s);
  EXPECT_EQ(CommonModule::ReadIni(Ini(), L"Config", L"Appdata"), L"0");
  EXPECT_EQ(ReadFileBytes(List()), "ok.exe\r\n");
}

TEST_F(SettingsIniTest, LoadingKeepsTheStateOfFlagsThatAreNoNumber) {
  Settings loaded;
  EXPECT_FALSE(SettingsIni::Load(Ini(), List(), loaded)) << "no INI, nothing loaded";

  const struct {
    const char* value;
    bool before;
    bool after;
  } kCases[] = {
      {"1", false, true}, {"0", true, false}, {"2", true, false}, {"yes", true, true},
      {"yes", false, false}, {"", true, true}, {" 1 ", false, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value);
    ASSERT_TRUE(WriteTextFile(Ini(), std::string("[config]\r\nsidebar=") + c.value + "\r\n"));
    loaded.choices.Set(Choice::Sidebar, c.before);
    ASSERT_TRUE(SettingsIni::Load(Ini(), List(), loaded));
    EXPECT_EQ(loaded.choices.Has(Choice::Sidebar), c.after) << "section and key names match without regard to case";
  }
}

TEST_F(SettingsIniTest, ReadersTakeFlagsAndFilterClassesByTheirOwnRules) {
  ASSERT_TRUE(WriteTextFile(Ini(), "[Config]\r\nAppdata=yes\r\nRecycleBin=1\r\n"));
  EXPECT_FALSE(SettingsIni::FlagOn(Ini(), L"Config", L"Appdata"));
  EXPECT_TRUE(SettingsIni::FlagOn(Ini(), L"config", L"recyclebin"));
  EXPECT_FALSE(SettingsIni::FlagOn(Ini(), L"Config", L"Missing"));

  // No filter sections at all: the defaults.
  EXPECT_TRUE(SettingsIni::FilterClassOn(Ini(), L"FilterSuspicious", L"CPL"));
  EXPECT_TRUE(SettingsIni::FilterClassOn(Ini(), L"FilterSuspicious", L"SCR"));
  EXPECT_FALSE(SettingsIni::FilterClassOn(Ini(), L"FilterSuspicious", L"PIF"));
  EXPECT_FALSE(SettingsIni::FilterClassOn(Ini(), L"FilterConstant", L"CPL"));
  EXPECT_FALSE(SettingsIni::FilterClassOn(Ini(), L"FilterConstant", L"SCR"));
  EXPECT_TRUE(SettingsIni::FilterClassOn(Ini(), L"FilterConstant", L"PIF"));

  // A hand-typed word counts as the opposite of each default.
  ASSERT_TRUE(WriteTextFile(Ini(), "[FilterSuspicious]\r\nCPL=0\r\nPIF=on\r\n[FilterConstant]\r\nSCR=1\r\nPIF=x\r\n"));
  EXPECT_FALSE(SettingsIni::FilterClassOn(Ini(), L"FilterSuspicious", L"CPL"));
  EXPECT_FALSE(SettingsIni::FilterClassOn(Ini(), L"FilterSuspicious", L"PIF"));
  EXPECT_TRUE(SettingsIni::FilterClassOn(Ini(), L"FilterConstant", L"SCR"));
  EXPECT_TRUE(SettingsIni::FilterClassOn(Ini(), L"FilterConstant", L"PIF"));
}

TEST(SettingsIniPaths, BothFilesLieInTheProgramFolder) {
  EXPECT_EQ(SettingsIni::BulkIniPath(), CommonModule::AppPath() + L"bulk.ini");
  EXPECT_EQ(SettingsIni::WhitelistTextFilePath(), CommonModule::AppPath() + kWhitelistFile);
}

namespace {

const std::wstring kRules = kRestrictionPolicyKey;

class SettingsIniAppliedTest : public ClearedProductTest {
 protected:
  // The INI and the whitelist as the builder writes them into the program folder; name picks
  // the settings INI or its bulk twin.
  void SaveBeside(const std::wstring& name, const Settings& s) {
    SettingsIni::Save(program_.Folder() + name, program_.Folder() + kWhitelistFile, s);
  }
  InstalledProgram program_;
};

Settings Chosen() {
  Settings s;
  s.choices = {Choice::Appdata, Choice::Syskey, Choice::Cipher, Choice::FakeExtensions, Choice::NoAllow};
  s.NoRestartPrompt = true;
  s.SuspiciousSCR = s.ConstantCPL = true;  // suspicious CPL off, constant PIF off
  s.Whitelist = {L"Vendor\\tool.exe"};
  return s;
}

void ExpectApplied() {
  EXPECT_EQ(ProductSetting(L"Installed"), L"1");
  EXPECT_EQ(ProductSetting(L"Appdata"), L"1");
  EXPECT_EQ(ProductSetting(L"syskey"), L"1");
  EXPECT_EQ(ProductSetting(L"cipher"), L"1");
  EXPECT_EQ(ProductSetting(L"ApplyFakeExts"), L"1");
  EXPECT_EQ(ProductSetting(L"AppdataDeep"), L"0");
  EXPECT_EQ(ProductSetting(L"NoRestartPrompt"), L"1");
  EXPECT_EQ(ProductSetting(L"NoAllow", L"\\FilterModule"), L"1");
  EXPECT_EQ(ProductSetting(L"SilentBlock", L"\\FilterModule"), L"0");
  EXPECT_EQ(ProductSetting(L"CPL", L"\\FilterModule\\Suspicious"), L"0");
  EXPECT_EQ(ProductSetting(L"SCR", L"\\FilterModule\\Suspicious"), L"1");
  EXPECT_EQ(ProductSetting(L"CPL", L"\\FilterModule\\Constant"), L"1");
  EXPECT_EQ(ProductSetting(L"PIF", L"\\FilterModule\\Constant"), L"0");
  auto allowed = RuleItemData(kRules + L"\\262144\\Paths");
  EXPECT_NE(std::find(allowed.begin(), allowed.end(), L"%appdata%\\vendor\\tool.exe"), allowed.end());
  auto blocked = RuleItemData(kRules + L"\\0\\Paths");
  EXPECT_NE(std::find(blocked.begin(), blocked.end(), L"syskey.exe"), blocked.end());
  EXPECT_NE(std::find(blocked.begin(), blocked.end(), L"cipher.exe"), blocked.end());
}

}  // namespace

TEST_F(SettingsIniAppliedTest, TheProgramAppliesWhatOurIniSays) {
  SaveBeside(kSettingsIni, Chosen());
  RunResult run = program_.Run(L"/applyini /silent /nogpupdate");
  ASSERT_TRUE(run.finished);
  ExpectApplied();
  EXPECT_EQ(ProductSetting(L"BulkInstall"), L"<missing>");
}

TEST_F(SettingsIniAppliedTest, TheBulkTwinCarriesTheSameKeysAndHandSetOnes) {
  SaveBeside(L"bulk.ini", Chosen());
  CommonModule::WriteIni(program_.Folder() + L"bulk.ini", L"Config", L"ClientName", L"Acme");
  RunResult run = program_.Run(L"/bulkinstaller");
  ASSERT_TRUE(run.finished);
  ExpectApplied();
  EXPECT_EQ(ProductSetting(L"ClientName"), L"Acme");
  EXPECT_EQ(ProductSetting(L"BulkInstall"), L"1");
  EXPECT_FALSE(FileExists(program_.Folder() + L"bulk.ini")) << "the bulk import deletes its file";
}
