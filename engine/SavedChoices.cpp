#include "engine/SavedChoices.h"

#include <windows.h>

#include <iterator>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/Variant.h"
#include "common/modRegistry.h"

namespace SavedChoices {

namespace {

// The group values of older versions, each saved under the settings key.
enum class Group { None, Appdata, UserProf, Syskey };

struct GroupRow {
  Group group;
  const wchar_t* value;
};

const GroupRow kGroups[] = {
    {Group::Appdata, L"ApplyAppdata"},
    {Group::UserProf, L"ApplyUserProf"},
    {Group::Syskey, L"BlockSyskey"},
};

const wchar_t* GroupValue(Group group) {
  for (const GroupRow& row : kGroups)
    if (row.group == group) return row.value;
  return nullptr;
}

struct Row {
  Choice choice;
  IniSection section;  // [FilterModule]: saved under the filter module's key; [Config]: the settings key
  const wchar_t* value;
  Group group;            // the older group value that stood for it
  const wchar_t* iniKey;  // in its section; nullptr: not set from the INI
  bool copiedFromIni;     // kCopied: the INI's text is saved as read; kApplied: only applied
  std::optional<int> boxWhenUnsaved;  // the main window's box when nothing was saved (else as preset)
  bool onWhenUnsaved;     // the re-apply after an update counts it on while nothing is saved
};

constexpr IniSection kConfig = IniSection::Config;
constexpr IniSection kFilter = IniSection::FilterModule;
constexpr bool kCopied = true, kApplied = false;
constexpr std::optional<int> kAsPreset;

// One row per choice, in the order of Choice, which is the order the INI road copies them in.
constexpr Row kRows[] = {
    {Choice::Sidebar, kConfig, L"Sidebar", Group::None, L"Sidebar", kCopied, 0, false},
    {Choice::Appdata, kConfig, L"Appdata", Group::Appdata, L"Appdata", kCopied, kAsPreset, false},
    {Choice::AppdataDeep, kConfig, L"AppdataDeep", Group::Appdata, L"AppdataDeep", kCopied, kAsPreset, false},
    {Choice::AppdataLocal, kConfig, L"AppdataLocal", Group::Appdata, L"AppdataLocal", kCopied, kAsPreset, false},
    {Choice::RecycleBin, kConfig, L"RecycleBin", Group::Appdata, L"RecycleBin", kCopied, kAsPreset, false},
    {Choice::UserProfile, kConfig, L"UserProfile", Group::UserProf, L"UserProf", kCopied, kAsPreset, false},
    {Choice::ProgramData, kConfig, L"ProgramData", Group::UserProf, L"ProgramData", kCopied, kAsPreset, false},
    {Choice::StartupFolder, kConfig, L"StartupFolder", Group::UserProf, L"StartupFolder", kCopied, kAsPreset, false},
    {Choice::Syskey, kConfig, L"syskey", Group::Syskey, L"BlockSyskey", kCopied, kAsPreset, true},
    {Choice::Cipher, kConfig, L"cipher", Group::Syskey, L"cipher", kCopied, kAsPreset, false},
    {Choice::Vssadmin, kConfig, L"vssadmin", Group::Syskey, L"vssadmin", kCopied, kAsPreset, false},
    {Choice::BcdEdit, kConfig, L"BlockBCDEdit", Group::None, L"BlockBCDEdit", kCopied, kAsPreset, false},
    {Choice::FakeExtensions, kConfig, L"ApplyFakeExts", Group::None, L"FakeEXEs", kCopied, kAsPreset, false},
    {Choice::TempArchives, kConfig, L"ApplyTempEXEs", Group::None, L"TempEXEs", kApplied, kAsPreset, false},
    {Choice::AutoWhitelist, kConfig, L"AutoWhitelist", Group::None, L"ExcludeExisting", kApplied, kAsPreset, false},
    {Choice::SilentBlock, kFilter, L"SilentBlock", Group::None, L"SilentBlock", kCopied, kAsPreset, false},
    {Choice::AlertAllow, kFilter, L"AlertAllow", Group::None, L"AlertAllow", kCopied, kAsPreset, false},
    {Choice::NoAllow, kFilter, L"NoAllow", Group::None, L"NoAllow", kCopied, 1, false},
    {Choice::ExeComFilter, kFilter, L"SuspiciousExeComFiles", Group::None, nullptr, kApplied, kAsPreset, false},
};

constexpr int Index(Choice choice) { return static_cast<int>(choice); }

constexpr bool EveryChoiceInItsRow() {
  for (int i = 0; i < static_cast<int>(std::size(kRows)); ++i)
    if (Index(kRows[i].choice) != i) return false;
  return std::size(kRows) == kChoiceCount;
}
static_assert(EveryChoiceInItsRow(), "kRows holds every choice once, in the order of Choice");

const Row& RowOf(Choice choice) { return kRows[Index(choice)]; }

const wchar_t* SectionName(IniSection section) { return section == kFilter ? L"FilterModule" : L"Config"; }

std::wstring ReadValue(const std::wstring& key, const std::wstring& value) {
  return modRegistry::ReadText(HKEY_LOCAL_MACHINE, key, value);
}

bool WriteValue(const std::wstring& key, const std::wstring& value, const std::wstring& text) {
  return modRegistry::fWriteValue(L"HKLM", key, value, L"S", Variant(text)) == ERROR_SUCCESS;
}

// A group text as the box value its members take; none when it is no box value.
std::optional<int> GroupBoxValue(const std::wstring& text) {
  int32_t number = 0;
  if (text.empty() || !Variant(text).ToLong(number) || number < 0 || number > 2) return std::nullopt;
  return number;
}

}  // namespace

const wchar_t* ValueName(Choice choice) { return RowOf(choice).value; }

std::wstring Key(Choice choice) {
  return RowOf(choice).section == kFilter ? std::wstring(Product::kFilterModuleKey) : std::wstring(Product::kSettingsKey);
}

std::wstring ReadText(Choice choice) { return ReadValue(Key(choice), ValueName(choice)); }

bool Write(Choice choice, const std::wstring& text) { return WriteValue(Key(choice), ValueName(choice), text); }

bool Write(Choice choice, int value) { return Write(choice, std::to_wstring(value)); }

Saved Saved::Read() {
  Saved saved;
  const auto readOwn = [&saved](const Row& row) {
    const int i = Index(row.choice);
    saved.texts_[i] = saved.stored_[i] = ReadText(row.choice);
  };
  for (const GroupRow& group : kGroups) {
    const std::optional<int> number = GroupBoxValue(ReadValue(Product::kSettingsKey, group.value));
    bool allSaved = true;
    for (const Row& row : kRows) {
      if (row.group != group.group) continue;
      if (!number) {
        readOwn(row);
        continue;
      }
      const int i = Index(row.choice);
      saved.texts_[i] = std::to_wstring(*number);
      if (Write(row.choice, saved.texts_[i])) {
        saved.stored_[i] = saved.texts_[i];
      } else {
        allSaved = false;
        saved.stored_[i] = ReadText(row.choice);
      }
    }
    if (!number || !allSaved) continue;
    bool notFound = false;
    modRegistry::fDeleteValue(L"HKLM", Product::kSettingsKey, group.value, notFound);
  }
  for (const Row& row : kRows)
    if (row.group == Group::None) readOwn(row);
  return saved;
}

const std::wstring& Saved::Text(Choice choice) const { return texts_[Index(choice)]; }

std::optional<int> Saved::BoxValue(Choice choice) const {
  const std::wstring& text = Text(choice);
  if (text.empty()) return RowOf(choice).boxWhenUnsaved;
  int32_t number = 0;
  if (!Variant(text).ToLong(number)) return std::nullopt;
  return number;
}

bool Saved::On(Choice choice) const {
  return Text(choice) == L"1" || (RowOf(choice).onWhenUnsaved && stored_[Index(choice)].empty());
}

bool IniChoice(const std::wstring& iniFile, Choice choice) {
  const Row& row = RowOf(choice);
  if (!row.iniKey) return false;
  return CommonModule::ReadIni(iniFile, SectionName(row.section), row.iniKey) == L"1";
}

void CopyFromIni(const std::wstring& iniFile, IniSection section) {
  for (const Row& row : kRows) {
    if (!row.copiedFromIni || row.section != section) continue;
    Write(row.choice, CommonModule::ReadIni(iniFile, SectionName(section), row.iniKey));
  }
}

void SaveFirstRunDefaults(bool sidebarDisabled) {
  const std::pair<const wchar_t*, const wchar_t*> defaults[] = {
      {GroupValue(Group::Appdata), L"1"},
      {GroupValue(Group::UserProf), L"1"},
      {ValueName(Choice::FakeExtensions), L"1"},
      {ValueName(Choice::TempArchives), L"0"},
      {GroupValue(Group::Syskey), L"1"},
      {ValueName(Choice::BcdEdit), L"0"},
      {ValueName(Choice::Sidebar), sidebarDisabled ? L"1" : L"0"},
  };
  for (const auto& [value, text] : defaults)
    if (ReadValue(Product::kSettingsKey, value) != text) WriteValue(Product::kSettingsKey, value, text);
}

}  // namespace SavedChoices
