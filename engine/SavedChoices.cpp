#include "engine/SavedChoices.h"

#include <windows.h>

#include <iterator>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/Variant.h"
#include "common/modRegistry.h"

namespace SavedChoices {

namespace {

using ProtectionCatalogue::Group;
using ProtectionCatalogue::kRows;
using ProtectionCatalogue::Place;
using ProtectionCatalogue::Row;
using ProtectionCatalogue::RowOf;

constexpr Group kGroups[] = {Group::Appdata, Group::UserProf, Group::Syskey};

constexpr int Index(Choice choice) { return static_cast<int>(choice); }

Place PlaceOf(IniSection section) { return section == IniSection::FilterModule ? Place::FilterModule : Place::Settings; }

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

std::wstring ReadText(Choice choice) { return ReadValue(Key(choice), ValueName(choice)); }

bool Write(Choice choice, const std::wstring& text) { return WriteValue(Key(choice), ValueName(choice), text); }

bool Write(Choice choice, int value) { return Write(choice, std::to_wstring(value)); }

Saved Saved::Read() {
  Saved saved;
  const auto readOwn = [&saved](const Row& row) {
    const int i = Index(row.choice);
    saved.texts_[i] = saved.stored_[i] = ReadText(row.choice);
  };
  for (const Group group : kGroups) {
    const wchar_t* groupValue = ProtectionCatalogue::GroupValue(group);
    const std::optional<int> number = GroupBoxValue(ReadValue(Product::kSettingsKey, groupValue));
    bool allSaved = true;
    for (const Row& row : kRows) {
      if (row.saved.group != group) continue;
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
    modRegistry::fDeleteValue(L"HKLM", Product::kSettingsKey, groupValue, notFound);
  }
  for (const Row& row : kRows)
    if (row.saved.group == Group::None) readOwn(row);
  return saved;
}

const std::wstring& Saved::Text(Choice choice) const { return texts_[Index(choice)]; }

std::optional<int> Saved::BoxValue(Choice choice) const {
  const std::wstring& text = Text(choice);
  if (text.empty()) return RowOf(choice).saved.boxWhenUnsaved;
  int32_t number = 0;
  if (!Variant(text).ToLong(number)) return std::nullopt;
  return number;
}

bool Saved::On(Choice choice) const {
  return Text(choice) == L"1" || (RowOf(choice).saved.onWhenUnsaved && stored_[Index(choice)].empty());
}

ChoiceSet Saved::Chosen() const {
  ChoiceSet chosen;
  for (const Row& row : kRows) chosen.Set(row.choice, On(row.choice));
  return chosen;
}

bool IniChoice(const std::wstring& iniFile, Choice choice) {
  const Row& row = RowOf(choice);
  if (!row.ini.key) return false;
  return CommonModule::ReadIni(iniFile, ProtectionCatalogue::IniSection(row.saved.place), row.ini.key) == L"1";
}

ChoiceSet IniChoices(const std::wstring& iniFile) {
  ChoiceSet chosen;
  for (const Row& row : kRows) chosen.Set(row.choice, IniChoice(iniFile, row.choice));
  return chosen;
}

void CopyFromIni(const std::wstring& iniFile, IniSection section) {
  const Place place = PlaceOf(section);
  for (const Row& row : kRows) {
    if (!row.ini.copied || row.saved.place != place) continue;
    Write(row.choice, CommonModule::ReadIni(iniFile, ProtectionCatalogue::IniSection(place), row.ini.key));
  }
}

namespace {

// A group is on in a set when each of its members is.
bool GroupIn(Group group, const ChoiceSet& set) {
  for (const Row& row : kRows)
    if (row.saved.group == group && !set.Has(row.choice)) return false;
  return true;
}

const wchar_t* Flag(bool on) { return on ? L"1" : L"0"; }

}  // namespace

void SaveFirstRunDefaults(bool sidebarDisabled) {
  using ProtectionCatalogue::GroupValue;
  const ChoiceSet& set = ProtectionCatalogue::kFirstRunDefaults;
  const std::pair<const wchar_t*, const wchar_t*> defaults[] = {
      {GroupValue(Group::Appdata), Flag(GroupIn(Group::Appdata, set))},
      {GroupValue(Group::UserProf), Flag(GroupIn(Group::UserProf, set))},
      {ValueName(Choice::FakeExtensions), Flag(set.Has(Choice::FakeExtensions))},
      {ValueName(Choice::TempArchives), Flag(set.Has(Choice::TempArchives))},
      {GroupValue(Group::Syskey), Flag(GroupIn(Group::Syskey, set))},
      {ValueName(Choice::BcdEdit), Flag(set.Has(Choice::BcdEdit))},
      {ValueName(Choice::Sidebar), Flag(sidebarDisabled)},
  };
  for (const auto& [value, text] : defaults)
    if (ReadValue(Product::kSettingsKey, value) != text) WriteValue(Product::kSettingsKey, value, text);
}

}  // namespace SavedChoices
