#pragma once
// The protection options, one row each: the registry value a choice is saved in and the group
// value of older versions that stood for it, its key in the configuration INI (which the INI road
// reads and the configuration builder writes), its command-line switch, its control in the main
// window and which apply writes its rules. Every road builds a ChoiceSet from its own input
// through these rows; nothing else spells an option's value name, INI key or switch.
//
// Adding an option: a row here (its place among the rows is the order the main window writes,
// saves and the INI road copies it in), and its rule writer in engine/ProtectionRules.cpp.
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <optional>

#include "common/Product.h"
#include "common/ProtectionControls.h"

namespace ProtectionCatalogue {

enum class Choice {
  // Under the filter module's key; the INI's [FilterModule].
  SilentBlock,
  AlertAllow,
  NoAllow,
  ExeComFilter,
  // Under the settings key; the INI's [Config].
  Sidebar,
  Appdata,
  AppdataDeep,
  AppdataLocal,
  RecycleBin,
  UserProfile,
  ProgramData,
  StartupFolder,
  Syskey,
  Cipher,
  Vssadmin,
  TempArchives,
  BcdEdit,
  FakeExtensions,
  AutoWhitelist,
};
inline constexpr int kChoiceCount = static_cast<int>(Choice::AutoWhitelist) + 1;

// A set of choices: what one road chose.
class ChoiceSet {
 public:
  constexpr ChoiceSet() = default;
  constexpr ChoiceSet(std::initializer_list<Choice> choices) {
    for (Choice choice : choices) Add(choice);
  }
  constexpr ChoiceSet& Add(Choice choice) {
    bits_ |= Bit(choice);
    return *this;
  }
  constexpr ChoiceSet& Set(Choice choice, bool chosen) {
    bits_ = chosen ? bits_ | Bit(choice) : bits_ & ~Bit(choice);
    return *this;
  }
  constexpr bool Has(Choice choice) const { return (bits_ & Bit(choice)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr bool operator==(const ChoiceSet&) const = default;

 private:
  static constexpr uint32_t Bit(Choice choice) { return uint32_t{1} << static_cast<int>(choice); }
  uint32_t bits_ = 0;
};
static_assert(kChoiceCount <= 32, "a ChoiceSet holds every choice");

// Where a choice is saved: under the settings key (its INI key in [Config]) or under the filter
// module's key ([FilterModule]).
enum class Place { Settings, FilterModule };

// The group values of older versions, each saved under the settings key.
enum class Group { None, Appdata, UserProf, Syskey };

// The main window's control of a choice: a box (saved as its number, 0 to 2) or a menu item
// (saved as 1 or 0).
enum class Control { None, Box, MenuItem };

// Which apply writes the choice's rules: ApplyProtection, ApplyMoreProtection, or neither.
enum class Rules { None, First, More };

struct Saved {
  Place place;
  const wchar_t* value;
  Group group = Group::None;
  std::optional<int> boxWhenUnsaved = std::nullopt;  // the window's box when nothing is saved (else as preset)
  bool onWhenUnsaved = false;  // the re-apply after an update counts it on while nothing is saved
};

struct Ini {
  const wchar_t* key;  // in the section of its place; nullptr: not in the INI
  bool copied;         // the INI road saves the key's text as read (else only applies it)
};

struct Window {
  Control control;
  int id;
  bool savedByApply;  // Apply saves the control (the whitelist box is saved by the whitelisting)
};

struct Row {
  Choice choice;
  Saved saved;
  Ini ini;
  const wchar_t* switchWord;  // the command-line switch that chooses it; nullptr: none
  Window window;
  Rules rules;
};

namespace rows {
constexpr Place kSettings = Place::Settings, kFilter = Place::FilterModule;
constexpr bool kCopied = true, kApplied = false;
constexpr Window kNoControl = {Control::None, 0, false};
constexpr Window Box(int id) { return {Control::Box, id, true}; }
constexpr Window MenuItem(int id) { return {Control::MenuItem, id, true}; }
constexpr Ini kNotInIni = {nullptr, false};
}  // namespace rows

// One row per choice, in the order of Choice.
inline constexpr Row kRows[] = {
    // clang-format off
    {Choice::SilentBlock, {rows::kFilter, L"SilentBlock"}, {L"SilentBlock", rows::kCopied}, nullptr,
     rows::Box(IDC_FORM1_CHKSILENTBLOCK), Rules::None},
    {Choice::AlertAllow, {rows::kFilter, L"AlertAllow"}, {L"AlertAllow", rows::kCopied}, nullptr,
     rows::kNoControl, Rules::None},
    // Ticked when unsaved, which the box's click handler then saves.
    {Choice::NoAllow, {rows::kFilter, L"NoAllow", Group::None, 1}, {L"NoAllow", rows::kCopied}, nullptr,
     rows::Box(IDC_FORM1_CHKNOALLOW), Rules::None},
    // The EXE/COM filter: its menu item shows the filter's own state, which its switch sets.
    {Choice::ExeComFilter, {rows::kFilter, L"SuspiciousExeComFiles"}, rows::kNotInIni, nullptr,
     rows::kNoControl, Rules::None},
    {Choice::Sidebar, {rows::kSettings, L"Sidebar", Group::None, 0}, {L"SideBar", rows::kCopied}, nullptr,
     rows::Box(IDC_FORM1_CHKSIDEBAR), Rules::None},
    {Choice::Appdata, {rows::kSettings, L"Appdata", Group::Appdata}, {L"Appdata", rows::kCopied}, L"appdata",
     rows::Box(IDC_FORM1_CHKAPPDATA), Rules::First},
    {Choice::AppdataDeep, {rows::kSettings, L"AppdataDeep", Group::Appdata}, {L"AppdataDeep", rows::kCopied},
     L"appdatadeep", rows::Box(IDC_FORM1_CHKAPPDATADEEP), Rules::More},
    {Choice::AppdataLocal, {rows::kSettings, L"AppdataLocal", Group::Appdata}, {L"AppdataLocal", rows::kCopied},
     L"appdatalocal", rows::Box(IDC_FORM1_CHKAPPDATALOCAL), Rules::More},
    {Choice::RecycleBin, {rows::kSettings, L"RecycleBin", Group::Appdata}, {L"RecycleBin", rows::kCopied}, L"bin",
     rows::Box(IDC_FORM1_CHKRECYCLEBIN), Rules::More},
    {Choice::UserProfile, {rows::kSettings, L"UserProfile", Group::UserProf}, {L"UserProf", rows::kCopied},
     L"userprofile", rows::Box(IDC_FORM1_CHKUSERPROFILE), Rules::First},
    {Choice::ProgramData, {rows::kSettings, L"ProgramData", Group::UserProf}, {L"ProgramData", rows::kCopied},
     L"programdata", rows::Box(IDC_FORM1_CHKPROGRAMDATA), Rules::More},
    {Choice::StartupFolder, {rows::kSettings, L"StartupFolder", Group::UserProf}, {L"StartupFolder", rows::kCopied},
     L"startup", rows::Box(IDC_FORM1_CHKSTARTUPFOLDER), Rules::More},
    // The update road blocks syskey while no choice of it is saved.
    {Choice::Syskey, {rows::kSettings, L"syskey", Group::Syskey, std::nullopt, true}, {L"BlockSyskey", rows::kCopied},
     L"syskey", rows::Box(IDC_FORM1_CHKSYSKEY), Rules::First},
    {Choice::Cipher, {rows::kSettings, L"cipher", Group::Syskey}, {L"cipher", rows::kCopied}, L"cipher",
     rows::Box(IDC_FORM1_CHKCIPHER), Rules::More},
    {Choice::Vssadmin, {rows::kSettings, L"vssadmin", Group::Syskey}, {L"vssadmin", rows::kCopied}, L"vssadmin",
     rows::Box(IDC_FORM1_CHKVSSADMIN), Rules::More},
    {Choice::TempArchives, {rows::kSettings, L"ApplyTempEXEs"}, {L"TempEXEs", rows::kApplied}, L"tempexes",
     rows::MenuItem(IDM_FORM1_BLOCK), Rules::First},
    {Choice::BcdEdit, {rows::kSettings, L"BlockBCDEdit"}, {L"BlockBCDEdit", rows::kCopied}, L"bcdedit",
     rows::MenuItem(IDM_FORM1_BLOCKBCDEDIT), Rules::First},
    {Choice::FakeExtensions, {rows::kSettings, L"ApplyFakeExts"}, {L"FakeEXEs", rows::kCopied}, L"fakeexts",
     rows::Box(IDC_FORM1_CHKFAKEEXT), Rules::First},
    {Choice::AutoWhitelist, {rows::kSettings, L"AutoWhitelist"}, {L"ExcludeExisting", rows::kApplied}, L"whitelist",
     {Control::Box, IDC_FORM1_CHKWHITELIST, false}, Rules::None},
    // clang-format on
};

constexpr bool EveryChoiceInItsRow() {
  for (int i = 0; i < static_cast<int>(std::size(kRows)); ++i)
    if (static_cast<int>(kRows[i].choice) != i) return false;
  return std::size(kRows) == kChoiceCount;
}
static_assert(EveryChoiceInItsRow(), "kRows holds every choice once, in the order of Choice");

constexpr const Row& RowOf(Choice choice) { return kRows[static_cast<int>(choice)]; }

// The registry value a choice is saved in, and the key (below HKLM) that holds it.
constexpr const wchar_t* ValueName(Choice choice) { return RowOf(choice).saved.value; }
constexpr const wchar_t* Key(Choice choice) {
  return RowOf(choice).saved.place == Place::FilterModule ? Product::kFilterModuleKey : Product::kSettingsKey;
}

// The configuration INI's section of a place's choices, and a choice's key (nullptr: none).
constexpr const wchar_t* IniSection(Place place) { return place == Place::FilterModule ? L"FilterModule" : L"Config"; }
constexpr const wchar_t* IniKey(Choice choice) { return RowOf(choice).ini.key; }

// The value under the settings key that an older version saved for a group.
constexpr const wchar_t* GroupValue(Group group) {
  switch (group) {
    case Group::Appdata: return L"ApplyAppdata";
    case Group::UserProf: return L"ApplyUserProf";
    case Group::Syskey: return L"BlockSyskey";
    case Group::None: break;
  }
  return nullptr;
}

// The protection the first run applies (and saves, as older versions did, by its groups).
inline constexpr ChoiceSet kFirstRunDefaults = {
    Choice::Appdata,     Choice::AppdataDeep, Choice::AppdataLocal, Choice::RecycleBin,
    Choice::UserProfile, Choice::ProgramData, Choice::StartupFolder, Choice::Syskey,
    Choice::Cipher,      Choice::Vssadmin,    Choice::FakeExtensions,
};

// The choices whose control in the main window is chosen: a box ticked (1, not greyed), a menu
// item checked. control(row) gives the control's value as the window shows it.
template <typename ControlValue>
ChoiceSet FromControls(ControlValue control) {
  ChoiceSet chosen;
  for (const Row& row : kRows)
    if (row.window.control != Control::None) chosen.Set(row.choice, control(row) == 1);
  return chosen;
}

}  // namespace ProtectionCatalogue
