#include "update/SettingsIni.h"

#include <windows.h>

#include <cwchar>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/clsFSO.h"
#include "platform/Text.h"

namespace SettingsIni {
namespace {

using Flag = bool Settings::*;
using Text = std::wstring Settings::*;

// One owned key: a flag or a text, never both. The table order is the order of writing.
struct Key {
  const wchar_t* section;
  const wchar_t* name;
  Flag flag;
  Text text;
};

constexpr Key F(const wchar_t* section, const wchar_t* name, Flag flag) { return {section, name, flag, nullptr}; }
constexpr Key T(const wchar_t* section, const wchar_t* name, Text text) { return {section, name, nullptr, text}; }

const Key kKeys[] = {
    T(L"Reg", L"RegName", &Settings::RegName),
    F(L"Config", L"SideBar", &Settings::SideBar),
    F(L"Config", L"Appdata", &Settings::Appdata),
    F(L"Config", L"AppdataDeep", &Settings::AppdataDeep),
    F(L"Config", L"AppdataLocal", &Settings::AppdataLocal),
    F(L"Config", L"RecycleBin", &Settings::RecycleBin),
    F(L"Config", L"UserProf", &Settings::UserProf),
    F(L"Config", L"ProgramData", &Settings::ProgramData),
    F(L"Config", L"StartupFolder", &Settings::StartupFolder),
    F(L"Config", L"TempEXEs", &Settings::TempEXEs),
    F(L"Config", L"FakeEXEs", &Settings::FakeEXEs),
    F(L"Config", L"BlockSyskey", &Settings::BlockSyskey),
    F(L"Config", L"BlockBCDEdit", &Settings::BlockBCDEdit),
    F(L"Config", L"cipher", &Settings::cipher),
    F(L"Config", L"vssadmin", &Settings::vssadmin),
    F(L"Config", L"ExcludeExisting", &Settings::ExcludeExisting),
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
    F(L"FilterModule", L"SilentBlock", &Settings::SilentBlock),
    F(L"FilterModule", L"NoAllow", &Settings::NoAllow),
    F(L"FilterSuspicious", L"CPL", &Settings::SuspiciousCPL),
    F(L"FilterSuspicious", L"SCR", &Settings::SuspiciousSCR),
    F(L"FilterSuspicious", L"PIF", &Settings::SuspiciousPIF),
    F(L"FilterConstant", L"CPL", &Settings::ConstantCPL),
    F(L"FilterConstant", L"SCR", &Settings::ConstantSCR),
    F(L"FilterConstant", L"PIF", &Settings::ConstantPIF),
};

// A check box takes a whole number; text that is no number leaves it as it was. Numbers other
// than 1 read off, as every other reader of the file takes them.
void LoadFlag(const std::wstring& value, bool& flag) {
  const std::wstring text = platform::Trim(value);
  if (text.empty()) return;
  wchar_t* end = nullptr;
  long number = std::wcstol(text.c_str(), &end, 10);
  if (*end != L'\0') return;
  flag = number == 1;
}

}  // namespace

std::wstring BulkIniPath() { return CommonModule::AppPath() + L"bulk.ini"; }

std::wstring WhitelistTextFilePath() { return CommonModule::AppPath() + Product::kWhitelistFile; }

void Save(const std::wstring& iniFile, const std::wstring& whitelistFile, const Settings& settings) {
  for (const Key& key : kKeys) {
    std::wstring value = key.flag ? (settings.*key.flag ? L"1" : L"0") : settings.*key.text;
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
    if (key.flag) LoadFlag(value, settings.*key.flag);
    else settings.*key.text = value;
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
