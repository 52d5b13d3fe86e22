// The protection's rules: each option's rule writer, the policy defaults and the built-in hash
// rules, and Apply, which every road lays them down through. A new option's rules are written
// here: its writer, and its place in the half of Apply its catalogue row names.
#include <windows.h>

#include <iterator>

#include "common/CommonModule.h"
#include "common/CommonModule2.h"
#include "common/DataFolder.h"
#include "common/HashListPlacing.h"
#include "common/Product.h"
#include "common/ResourceFile.h"
#include "common/Variant.h"
#include "common/modOpSys.h"
#include "common/modRegistry.h"
#include "engine/ClassBackup.h"
#include "engine/PolicyLayout.h"
#include "engine/Protection.h"
#include "engine/RuleSets.h"
#include "engine/modGUID.h"
#include "notify/modWriteEvent.h"
#include "platform/PrivateFolder.h"
#include "platform/SystemFolder.h"
#include "platform/Text.h"
#include "zip/modZip.h"

namespace Protection {

namespace {

// ---- Path rules and the policy defaults ---------------------------------------------------------

// One path rule of ours under a fresh key: Description, SaferFlags, ItemData, in this order.
void WritePathRule(const wchar_t* level, const std::wstring& pattern) {
  std::wstring guid = platform::Lower(modGUID::NewGUIDString());
  if (guid.empty()) return;  // never write the values into the Paths key itself
  std::wstring key = std::wstring(PolicyLayout::kRoot) + L"\\" + level + L"\\Paths\\" + guid;
  modRegistry::fWriteValue(L"HKLM", key, L"Description", L"S", Variant(PolicyLayout::kRuleDescription));
  modRegistry::fWriteValue(L"HKLM", key, L"SaferFlags", L"D", Variant(int32_t{0}));
  modRegistry::fWriteValue(L"HKLM", key, L"ItemData", L"E", Variant(pattern));
}

void WriteDisallowedRules(const std::vector<std::wstring>& patterns) {
  for (const auto& pattern : patterns) WritePathRule(PolicyLayout::kDisallowedLevel, pattern);
}

void ImportRegFileNow(const std::wstring& file) {
  bool wait = true;
  if (!modRegistry::ImportRegFile(file, wait)) CommonModule::DPrint(L"Module1: not imported: " + file);
}

void ImportHashRules() {
  // The export is unpacked where only administrators can write, so nobody can swap the .reg
  // file between the unpacking and reg.exe's import.
  platform::PrivateFolder work;
  if (!work.Ok()) {
    CommonModule::DPrint(L"Module1\\ImportHashRules: cannot make a private work folder");
    return;
  }
  std::wstring zip = work.Path() + L"\\Hashes.zip";
  ResourceFile::ExtractResourceToFile(L"hashes", zip, true);
  std::wstring destination = work.Path();
  bool silent = true;
  modZip::UnzipFile(zip, destination, silent);
  ImportRegFileNow(work.Path() + L"\\Hashes.reg");
}

void SetSaferDefaults() {
  static const std::pair<const wchar_t*, int32_t> kDefaults[] = {
      {L"authenticodeenabled", 0},
      {L"DefaultLevel", 262144},
      {L"PolicyScope", 0},
      {L"TransparentEnabled", 1},
  };
  for (const auto& [name, data] : kDefaults)
    modRegistry::fWriteValue(L"HKLM", PolicyLayout::kRoot, name, L"D", Variant(data));
  ImportHashRules();
}

// ---- Each option's rules --------------------------------------------------------------------------

void WriteOptionRules(Choice option, const std::wstring& extension, const std::wstring& profiles = L"") {
  WriteDisallowedRules(RuleSets::OptionRules(option, modOpSys::IsVista(), extension, profiles));
}

// An option's folder rules, extension by extension.
template <Choice option>
void BlockFolders() {
  for (const wchar_t* extension : RuleSets::kExtensions) WriteOptionRules(option, extension);
}

void BlockUserProfile() {
  for (const wchar_t* extension : RuleSets::kExtensions) {
    CommonModule2::SystemDriveCache = platform::SystemDrive();
    WriteOptionRules(Choice::UserProfile, extension, CommonModule2::GetUserProf(false));
  }
}

void BlockProgramData() {
  if (modOpSys::IsVista()) BlockFolders<Choice::ProgramData>();
}

void BlockSyskey() { AddPathRule(L"syskey.exe", false); }
void BlockCipher() { AddPathRule(L"cipher.exe", false); }
void BlockVssadmin() { AddPathRule(L"vssadmin.exe", false); }
void BlockBCDEdit() { AddPathRule(L"bcdedit.exe", false); }

void ImportRloRules() {
  // Imported from a private folder: a file beside the program could be swapped by whoever may
  // write there.
  HRSRC resource = FindResourceW(nullptr, L"rlo", L"CUSTOM");
  HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes || !ClassBackup::ImportBytes(bytes, SizeofResource(nullptr, resource)))
    CommonModule::DPrint(L"Module1\\ImportRloRules: the right-to-left-override rule was not imported");
}

// Programs passing for documents, and the right-to-left-override trick.
void BlockFakeExtensions() {
  ImportRloRules();
  for (const wchar_t* extension : RuleSets::kFakeExtensions) WriteDisallowedRules(RuleSets::FakeExtensionRules(extension));
}

// ---- Which half of Apply writes each option ------------------------------------------------------

// The rule writer of each option that writes rules, in the order ApplyProtection and
// ApplyMoreProtection write them.
struct RuleWriter {
  Choice choice;
  void (*write)();
};
constexpr RuleWriter kFirstRules[] = {
    {Choice::Appdata, BlockFolders<Choice::Appdata>},
    {Choice::UserProfile, BlockUserProfile},
    {Choice::TempArchives, BlockFolders<Choice::TempArchives>},
    {Choice::FakeExtensions, BlockFakeExtensions},
    {Choice::Syskey, BlockSyskey},
    {Choice::BcdEdit, BlockBCDEdit},
};
constexpr RuleWriter kMoreRules[] = {
    {Choice::AppdataDeep, BlockFolders<Choice::AppdataDeep>},
    {Choice::AppdataLocal, BlockFolders<Choice::AppdataLocal>},
    {Choice::RecycleBin, BlockFolders<Choice::RecycleBin>},
    {Choice::Cipher, BlockCipher},
    {Choice::Vssadmin, BlockVssadmin},
    {Choice::ProgramData, BlockProgramData},
    {Choice::StartupFolder, BlockFolders<Choice::StartupFolder>},
};

template <size_t N>
constexpr int Count(const RuleWriter (&writers)[N], Choice choice) {
  int count = 0;
  for (const RuleWriter& writer : writers) count += writer.choice == choice ? 1 : 0;
  return count;
}

// Each writer table holds the options of its half of the catalogue once, and nothing else.
constexpr bool WritersMatchTheCatalogue() {
  using ProtectionCatalogue::Rules;
  for (const ProtectionCatalogue::Row& row : ProtectionCatalogue::kRows) {
    if (Count(kFirstRules, row.choice) != (row.rules == Rules::First ? 1 : 0)) return false;
    if (Count(kMoreRules, row.choice) != (row.rules == Rules::More ? 1 : 0)) return false;
  }
  return true;
}
static_assert(WritersMatchTheCatalogue(), "every option's rules are written by the half its row names");

template <size_t N>
void WriteChosen(const RuleWriter (&writers)[N], const ChoiceSet& chosen) {
  for (const RuleWriter& writer : writers)
    if (chosen.Has(writer.choice)) writer.write();
}

void SaveClassBoxes(const ClassBoxes& boxes) {
  const std::wstring filterKey = Product::kFilterModuleKey;
  for (const auto& [subkey, values] : {std::pair{L"\\Suspicious", boxes.suspicious}, std::pair{L"\\Constant", boxes.constant}})
    for (size_t i = 0; i < std::size(Product::kHookedClasses); ++i)
      modRegistry::fWriteValue(L"HKLM", filterKey + subkey, Product::kHookedClasses[i], L"S",
                               Variant(std::to_wstring(values[i])));
}

}  // namespace

void AddPathRule(const std::wstring& pattern, bool whitelist) {
  // An empty pattern would make a rule for nothing sensible; "b=" without a value writes none.
  if (platform::Trim(pattern).empty()) return;
  WritePathRule(whitelist ? PolicyLayout::kUnrestrictedLevel : PolicyLayout::kDisallowedLevel, pattern);
}

void WriteRuleSet(Choice choice) {
  for (const RuleWriter& writer : kFirstRules)
    if (writer.choice == choice) writer.write();
  for (const RuleWriter& writer : kMoreRules)
    if (writer.choice == choice) writer.write();
}

void Apply(const ChoiceSet& chosen) {
  ApplyProtection(chosen);
  ApplyMoreProtection(chosen);
}

void Apply(const ChoiceSet& chosen, const ClassBoxes& windowClasses) {
  RemoveProtection(false, true, false);
  SetSaferDefaults();
  SaveClassBoxes(windowClasses);
  ApplyFilterModule();
  for (const ProtectionCatalogue::Row& row : ProtectionCatalogue::kRows)
    if (chosen.Has(row.choice)) WriteRuleSet(row.choice);
}

void ApplyProtection(const ChoiceSet& chosen) {
  RemoveProtection(false, true, false);
  SetSaferDefaults();
  WriteChosen(kFirstRules, chosen);
  ApplyFilterModule();
  modWriteEvent::RegisterEventSources();
  // The filter module trusts the hash lists there: no user may plant or edit one. Lists written
  // there by hand since the last placement get a list index that stands for them again.
  if (!modOpSys::IsVista())
    HashListPlacing::RenewIndex(CommonModule::AppPath());
  else if (DataFolder::Secure(Product::DataFolder()))
    HashListPlacing::RenewIndex(Product::DataFolder());
}

void ApplyMoreProtection(const ChoiceSet& chosen) { WriteChosen(kMoreRules, chosen); }

}  // namespace Protection
