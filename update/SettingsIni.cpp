#include "update/SettingsIni.h"

#include <windows.h>

#include <cwchar>
#include <optional>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/clsFSO.h"
#include "platform/Text.h"

namespace SettingsIni {
namespace {

using ProtectionCatalogue::Choice;
using Flag = bool Settings::*;
using Text = std::wstring Settings::*;

// One owned key: a protection option, a flag or a text. The table order is the order of writing.
struct Key {
  const wchar_t* section;
  const wchar_t* name;
  Flag flag;
  Text text;
  std::optional<Choice> choice;
};

constexpr Key C(Choice choice) {
  return {ProtectionCatalogue::IniSection(ProtectionCatalogue::RowOf(choice).saved.place),
          ProtectionCatalogue::IniKey(choice), nullptr, nullptr, choice};
}
constexpr Key F(const wchar_t* section, const wchar_t* name, Flag flag) { return {section, name, flag, nullptr, {}}; }
constexpr Key T(const wchar_t* section, const wchar_t* name, Text text) { return {section, name, nullptr, text, {}}; }

const Key kKeys[] = {
    T(L"Reg", L"RegName", &Settings::RegName),
    C(Choice::Sidebar),
    C(Choice::Appdata),
    C(Choice::AppdataDeep),
    C(Choice::AppdataLocal),
    C(Choice::RecycleBin),
    C(Choice::UserProfile),
    C(Choice::ProgramData),
    C(Choice::StartupFolder),
    C(Choice::TempArchives),
    C(Choice::FakeExtensions),
    C(Choice::Syskey),
    C(Choice::BcdEdit),
    C(Choice::Cipher),
    C(Choice::Vssadmin),
    C(Choice::AutoWhitelist),
    F(L"Config", L"NoRestartPrompt", &Settings::NoRestartPrompt),
    F(L"Config", L"EnableSchedule", &Settings::EnableSchedule),
    T(L"Config", L"ScheduledHour", &Settings::ScheduledHour),
    T(L"Config", L"ScheduledDay", &Settings::ScheduledDay),
    F(L"Installer", L"UpdateOnInstall", &Settings::UpdateOnInstall),
    F(L"Installer", L"Advanced", &Settings::Advanced),
    T(L"Installer", L"Website", &Settings::Website),
    F(L"Installer", L"ApplySilent", &Settings::ApplySilent),
    F(L"Installer", L"RebootSilent", &Settings::RebootSilent),
    T(L"Installer", L"EULA", &Settings::EULA),
    T(L"Installer", L"PreInfo", &Settings::PreInfo),
    T(L"Installer", L"PostInfo", &Settings::PostInfo),
    C(Choice::SilentBlock),
    C(Choice::NoAllow),
    F(L"FilterSuspicious", L"CPL", &Settings::SuspiciousCPL),
    F(L"FilterSuspicious", L"SCR", &Settings::SuspiciousSCR),
    F(L"FilterSuspicious", L"PIF", &Settings::SuspiciousPIF),
    F(L"FilterConstant", L"CPL", &Settings::ConstantCPL),
    F(L"FilterConstant", L"SCR", &Settings::ConstantSCR),
    F(L"FilterConstant", L"PIF", &Settings::ConstantPIF),
};

// A check box takes a whole number; text that is no number leaves it as it was. Numbers other
// than 1 read off, as every other reader of the file takes them.
std::optional<bool> FlagText(const std::wstring& value) {
  const std::wstring text = platform::Trim(value);
  if (text.empty()) return std::nullopt;
  wchar_t* end = nullptr;
  long number = std::wcstol(text.c_str(), &end, 10);
  if (*end != L'\0') return std::nullopt;
  return number == 1;
}

bool FlagOf(const Key& key, const Settings& settings) {
  return key.choice ? settings.choices.Has(*key.choice) : settings.*key.flag;
}

void SetFlag(const Key& key, bool on, Settings& settings) {
  if (key.choice) settings.choices.Set(*key.choice, on);
  else settings.*key.flag = on;
}

}  // namespace

std::wstring BulkIniPath() { return CommonModule::AppPath() + L"bulk.ini"; }

std::wstring WhitelistTextFilePath() { return CommonModule::AppPath() + Product::kWhitelistFile; }

void Save(const std::wstring& iniFile, const std::wstring& whitelistFile, const Settings& settings) {
  for (const Key& key : kKeys) {
    std::wstring value = key.text ? settings.*key.text : FlagOf(key, settings) ? L"1" : L"0";
    // A line break would end the value and start a line of its own in the file.
    for (wchar_t& c : value)
      if (c == L'\r' || c == L'\n') c = L' ';
    CommonModule::WriteIni(iniFile, key.section, key.name, value);
  }

  if (!DeleteFileW(whitelistFile.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
    CommonModule::DPrint(L"SettingsIni::Save - could not delete " + whitelistFile);
  // The first entry truncates whatever a failed delete left, so old entries are never kept twice.
  bool first = true;
  for (const auto& entry : settings.Whitelist) {
    if (entry.find_first_of(L"\r\n") != std::wstring::npos) {
      CommonModule::DPrint(L"SettingsIni::Save - whitelist entry with a line break skipped");
      continue;
    }
    CommonModule::SaveTextToFile(whitelistFile, entry, first, false);
    first = false;
  }
}

bool Load(const std::wstring& iniFile, const std::wstring& whitelistFile, Settings& settings) {
  if (!CommonModule::DoesFileExist(iniFile)) return false;
  for (const Key& key : kKeys) {
    std::wstring value = CommonModule::ReadIni(iniFile, key.section, key.name);
    if (key.text) settings.*key.text = value;
    else if (const std::optional<bool> on = FlagText(value)) SetFlag(key, *on, settings);
  }
  if (CommonModule::DoesFileExist(whitelistFile)) {
    std::vector<std::wstring> lines;
    clsFSO fso;
    fso.FileToArray(whitelistFile, lines);
    settings.Whitelist.clear();
    for (const auto& line : lines)
      if (!platform::Trim(line).empty()) settings.Whitelist.push_back(line);
  }
  return true;
}

bool FlagOn(const std::wstring& iniFile, const std::wstring& section, const std::wstring& key) {
  return CommonModule::ReadIni(iniFile, section, key) == L"1";
}

bool FilterClassOn(const std::wstring& iniFile, const std::wstring& section, const std::wstring& fileClass) {
  const bool suspicious = platform::Lower(section) == L"filtersuspicious";
  const bool onUnlessZero = suspicious == (platform::Lower(fileClass) != L"pif");
  const std::wstring value = CommonModule::ReadIni(iniFile, section, fileClass);
  return onUnlessZero ? value != L"0" : value == L"1";
}

}  // namespace SettingsIni
