// The protection catalogue as each road meets it: every option named alike on the command line, in
// the main window, in the configuration INI, in the registry and in the rules it writes; and the
// set of choices each road builds from an input of its own. In process, with the main program's
// code.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>

#include "common/ProtectionCatalogue.h"
#include "engine/CommandLine.h"
#include "engine/Protection.h"
#include "engine/SavedChoices.h"
#include "platform/Text.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"
#include "ui/Form1Ids.h"

namespace ProtectionCatalogue {
void PrintTo(const ChoiceSet& set, std::ostream* os) {
  *os << "{";
  for (const Row& row : kRows)
    if (set.Has(row.choice)) *os << " " << platform::ToUtf8(row.saved.value);
  *os << " }";
}
}  // namespace ProtectionCatalogue

using namespace testsupport;
using ProtectionCatalogue::Choice;
using ProtectionCatalogue::ChoiceSet;
using ProtectionCatalogue::Control;
using ProtectionCatalogue::Row;

namespace {

const std::wstring kSettings = kSettingsKey;
const std::wstring kFilter = kFilterModuleKey;
const std::wstring kDisallowedPaths = std::wstring(kRestrictionPolicyKey) + L"\\0\\Paths";

// What the choices are called outside the program: by users' scripts, saved settings of earlier
// versions, administrators' INIs. A change here is a change users meet.
struct OptionCase {
  Choice choice;
  const wchar_t* switchWord;  // nullptr: no switch
  Control control;
  int controlId;
  const wchar_t* iniSection;  // nullptr: not in the INI
  const wchar_t* iniKey;
  const std::wstring* key;    // where it is saved, below HKLM
  const wchar_t* value;
  const wchar_t* rule;        // one rule it writes (Vista and later); nullptr: none
};

const OptionCase kOptions[] = {
    {Choice::SilentBlock, nullptr, Control::Box, IDC_FORM1_CHKSILENTBLOCK, L"FilterModule", L"SilentBlock", &kFilter,
     L"SilentBlock", nullptr},
    {Choice::AlertAllow, nullptr, Control::None, 0, L"FilterModule", L"AlertAllow", &kFilter, L"AlertAllow", nullptr},
    {Choice::NoAllow, nullptr, Control::Box, IDC_FORM1_CHKNOALLOW, L"FilterModule", L"NoAllow", &kFilter, L"NoAllow",
     nullptr},
    {Choice::ExeComFilter, nullptr, Control::None, 0, nullptr, nullptr, &kFilter, L"SuspiciousExeComFiles", nullptr},
    {Choice::Sidebar, nullptr, Control::Box, IDC_FORM1_CHKSIDEBAR, L"Config", L"SideBar", &kSettings, L"Sidebar",
     nullptr},
    {Choice::Appdata, L"appdata", Control::Box, IDC_FORM1_CHKAPPDATA, L"Config", L"Appdata", &kSettings, L"Appdata",
     L"%appdata%\\*.exe"},
    {Choice::AppdataDeep, L"appdatadeep", Control::Box, IDC_FORM1_CHKAPPDATADEEP, L"Config", L"AppdataDeep",
     &kSettings, L"AppdataDeep", L"%appdata%\\*\\*.exe"},
    {Choice::AppdataLocal, L"appdatalocal", Control::Box, IDC_FORM1_CHKAPPDATALOCAL, L"Config", L"AppdataLocal",
     &kSettings, L"AppdataLocal", L"%userprofile%\\AppData\\Local\\*.exe"},
    {Choice::RecycleBin, L"bin", Control::Box, IDC_FORM1_CHKRECYCLEBIN, L"Config", L"RecycleBin", &kSettings,
     L"RecycleBin", L"*:\\$Recycle.Bin\\*\\*.exe"},
    {Choice::UserProfile, L"userprofile", Control::Box, IDC_FORM1_CHKUSERPROFILE, L"Config", L"UserProf", &kSettings,
     L"UserProfile", L"%userprofile%\\*.exe"},
    {Choice::ProgramData, L"programdata", Control::Box, IDC_FORM1_CHKPROGRAMDATA, L"Config", L"ProgramData",
     &kSettings, L"ProgramData", L"%programdata%\\*.exe"},
    {Choice::StartupFolder, L"startup", Control::Box, IDC_FORM1_CHKSTARTUPFOLDER, L"Config", L"StartupFolder",
     &kSettings, L"StartupFolder", L"%programdata%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\*.exe"},
    {Choice::Syskey, L"syskey", Control::Box, IDC_FORM1_CHKSYSKEY, L"Config", L"BlockSyskey", &kSettings, L"syskey",
     L"syskey.exe"},
    {Choice::Cipher, L"cipher", Control::Box, IDC_FORM1_CHKCIPHER, L"Config", L"cipher", &kSettings, L"cipher",
     L"cipher.exe"},
    {Choice::Vssadmin, L"vssadmin", Control::Box, IDC_FORM1_CHKVSSADMIN, L"Config", L"vssadmin", &kSettings,
     L"vssadmin", L"vssadmin.exe"},
    {Choice::TempArchives, L"tempexes", Control::MenuItem, IDM_FORM1_BLOCK, L"Config", L"TempEXEs", &kSettings,
     L"ApplyTempEXEs", L"%userprofile%\\AppData\\Local\\Temp\\*.zip\\*.exe"},
    {Choice::BcdEdit, L"bcdedit", Control::MenuItem, IDM_FORM1_BLOCKBCDEDIT, L"Config", L"BlockBCDEdit", &kSettings,
     L"BlockBCDEdit", L"bcdedit.exe"},
    {Choice::FakeExtensions, L"fakeexts", Control::Box, IDC_FORM1_CHKFAKEEXT, L"Config", L"FakeEXEs", &kSettings,
     L"ApplyFakeExts", L"*.pdf*.exe"},
    {Choice::AutoWhitelist, L"whitelist", Control::Box, IDC_FORM1_CHKWHITELIST, L"Config", L"ExcludeExisting",
     &kSettings, L"AutoWhitelist", nullptr},
};

class ProtectionCatalogueTest : public ClearedProductTest {
 public:
  std::wstring Ini() const { return dir_ / kSettingsIni; }

 private:
  ScratchDir dir_;
};

// The re-apply after an update also blocks syskey while nothing of it is saved.
ChoiceSet WithUnsavedSyskey(ChoiceSet set) { return set.Add(Choice::Syskey); }

}  // namespace

TEST_F(ProtectionCatalogueTest, EveryOptionIsNamedAlikeOnEveryRoad) {
  ASSERT_EQ(std::size(kOptions), static_cast<size_t>(ProtectionCatalogue::kChoiceCount)) << "a case for every option";
  for (const OptionCase& c : kOptions) {
    SCOPED_TRACE(platform::ToUtf8(c.value));
    Clean();
    const ChoiceSet alone = {c.choice};

    // The switch names the option (and only it: a word two rows shared would name the first).
    if (c.switchWord) {
      const auto parsed = CommandLine::Parse(std::wstring(L"/") + c.switchWord);
      ASSERT_FALSE(parsed.unknown);
      ASSERT_EQ(parsed.pieces.size(), 1u);
      EXPECT_EQ(parsed.pieces[0].id, CommandLine::Switch::Option);
      EXPECT_EQ(CommandLine::Options(parsed.pieces), alone);
    }

    // The main window's control chooses it; with every control chosen, it is chosen only when it has one.
    const ChoiceSet byControl = ProtectionCatalogue::FromControls(
        [&c](const Row& row) { return row.window.control == c.control && row.window.id == c.controlId ? 1 : 0; });
    EXPECT_EQ(byControl, c.control == Control::None ? ChoiceSet{} : alone);
    EXPECT_EQ(ProtectionCatalogue::FromControls([](const Row&) { return 1; }).Has(c.choice), c.control != Control::None);

    // The INI's key turns it on with "1" only; an option without a key is never read from the INI.
    const std::string section = platform::ToUtf8(c.iniSection ? c.iniSection : L"FilterModule");
    const std::string key = platform::ToUtf8(c.iniKey ? c.iniKey : c.value);
    ASSERT_TRUE(WriteTextFile(Ini(), "[" + section + "]\r\n" + key + "=1\r\n"));
    EXPECT_EQ(SavedChoices::IniChoices(Ini()), c.iniKey ? alone : ChoiceSet{});
    ASSERT_TRUE(WriteTextFile(Ini(), "[" + section + "]\r\n" + key + "=yes\r\n"));
    EXPECT_TRUE(SavedChoices::IniChoices(Ini()).Empty());

    // Saved as "1" under its value, the re-apply after an update takes it.
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, *c.key, c.value, L"1"));
    EXPECT_EQ(SavedChoices::Saved::Read().Chosen(), c.choice == Choice::Syskey ? alone : WithUnsavedSyskey(alone));

    // Its rules, or none.
    Protection::WriteRuleSet(c.choice);
    const auto rules = RuleItemData(kDisallowedPaths);
    if (c.rule) {
      EXPECT_NE(std::find(rules.begin(), rules.end(), c.rule), rules.end()) << testing::PrintToString(rules);
    } else {
      EXPECT_TRUE(rules.empty()) << testing::PrintToString(rules);
    }
  }
}

TEST_F(ProtectionCatalogueTest, EachRoadBuildsTheSetItsInputChooses) {
  const struct {
    const char* road;
    std::function<ChoiceSet(ProtectionCatalogueTest&)> build;
    ChoiceSet expected;
  } kRoads[] = {
      {"a switch line: options in any case, among other switches",
       [](ProtectionCatalogueTest&) {
         const auto parsed = CommandLine::Parse(L"/silent /nogpupdate /AppData /bin /TEMPEXES /w=tool.exe /whitelist");
         return CommandLine::Options(parsed.pieces);
       },
       {Choice::Appdata, Choice::RecycleBin, Choice::TempArchives, Choice::AutoWhitelist}},
      {"the main window: a ticked box or checked item chooses; unticked and greyed do not",
       [](ProtectionCatalogueTest&) {
         const std::map<int, int> shown = {
             {IDC_FORM1_CHKAPPDATA, 1},   {IDC_FORM1_CHKCIPHER, 1},  {IDC_FORM1_CHKPROGRAMDATA, 2},
             {IDC_FORM1_CHKSIDEBAR, 0},   {IDC_FORM1_CHKWHITELIST, 1}, {IDC_FORM1_CHKNOALLOW, 1},
             {IDC_FORM1_CHKFAKEEXT, 2},   {IDM_FORM1_BLOCK, 1},      {IDM_FORM1_BLOCKBCDEDIT, 0},
         };
         return ProtectionCatalogue::FromControls([&shown](const Row& row) {
           const auto found = shown.find(row.window.id);
           return found == shown.end() ? 0 : found->second;
         });
       },
       {Choice::Appdata, Choice::Cipher, Choice::AutoWhitelist, Choice::NoAllow, Choice::TempArchives}},
      {"an INI: only \"1\" chooses, each key in its own section, in any case",
       [](ProtectionCatalogueTest& t) {
         EXPECT_TRUE(WriteTextFile(t.Ini(),
                                   "[Config]\r\nAppdata=1\r\nuserprof=1\r\nTempEXEs=1\r\nFakeEXEs=yes\r\n"
                                   "BlockBCDEdit=1\r\nSidebar=1\r\ncipher=0\r\nExcludeExisting=1\r\nNoAllow=1\r\n"
                                   "[FilterModule]\r\nSilentBlock=1\r\nSuspiciousExeComFiles=1\r\n"));
         return SavedChoices::IniChoices(t.Ini());
       },
       {Choice::Appdata, Choice::UserProfile, Choice::TempArchives, Choice::BcdEdit, Choice::Sidebar,
        Choice::AutoWhitelist, Choice::SilentBlock}},
      {"the first run: its default set, which is also what its saved choices give back",
       [](ProtectionCatalogueTest&) {
         SavedChoices::SaveFirstRunDefaults(false);
         EXPECT_EQ(SavedChoices::Saved::Read().Chosen(), ProtectionCatalogue::kFirstRunDefaults);
         return ProtectionCatalogue::kFirstRunDefaults;
       },
       {Choice::Appdata, Choice::AppdataDeep, Choice::AppdataLocal, Choice::RecycleBin, Choice::UserProfile,
        Choice::ProgramData, Choice::StartupFolder, Choice::Syskey, Choice::Cipher, Choice::Vssadmin,
        Choice::FakeExtensions}},
      {"the re-apply after an update: what is saved as 1, groups of older versions resolved",
       [](ProtectionCatalogueTest&) {
         const std::pair<const std::wstring*, std::pair<const wchar_t*, const wchar_t*>> planted[] = {
             {&kSettings, {L"ApplyUserProf", L"1"}}, {&kSettings, {L"ProgramData", L"0"}},
             {&kSettings, {L"Appdata", L"1"}},       {&kSettings, {L"AppdataDeep", L"2"}},
             {&kSettings, {L"syskey", L"0"}},        {&kSettings, {L"ApplyFakeExts", L"1"}},
             {&kSettings, {L"Sidebar", L"1"}},       {&kFilter, {L"SuspiciousExeComFiles", L"1"}},
             {&kFilter, {L"SilentBlock", L"1"}},
         };
         for (const auto& [key, value] : planted)
           EXPECT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, *key, value.first, value.second));
         return SavedChoices::Saved::Read().Chosen();
       },
       {Choice::UserProfile, Choice::ProgramData, Choice::StartupFolder, Choice::Appdata, Choice::FakeExtensions,
        Choice::Sidebar, Choice::ExeComFilter, Choice::SilentBlock}},
  };
  for (const auto& road : kRoads) {
    SCOPED_TRACE(road.road);
    Clean();
    EXPECT_EQ(road.build(*this), road.expected);
  }
}
