#include "engine/modWhitelist.h"

#include "common/CommonModule.h"
#include "common/CommonModule2.h"
#include "common/clsFSO.h"
#include "common/modOpSys.h"
#include "common/modRegistry.h"
#include "common/Product.h"
#include "engine/PolicyLayout.h"
#include "engine/modGUID.h"
#include "platform/Text.h"

namespace modWhitelist {

namespace {

using CommonModule::DPrint;

// Folder prefixes of each kind of item, per Windows family.
const std::vector<const wchar_t*> kAppDataVista = {L"%appdata%\\", L"%userprofile%\\AppData\\Roaming\\",
                                                   L"%userprofile%\\AppData\\Local\\",
                                                   L"%userprofile%\\AppData\\LocalLow\\"};
const std::vector<const wchar_t*> kAppDataXp = {
    L"%appdata%\\", L"%userprofile%\\Application Data\\", L"%userprofile%\\Local Settings\\Application Data\\",
    L"%allusersprofile%\\Application Data\\", L"%allusersprofile%\\Local Settings\\Application Data\\"};
const std::vector<const wchar_t*> kUserProfileVista = {L"%userprofile%\\"};
const std::vector<const wchar_t*> kUserProfileXp = {L"%userprofile%\\", L"%allusersprofile%\\"};
const std::vector<const wchar_t*> kStartupVista = {
    L"%userprofile%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\",
    L"%programdata%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\"};
const std::vector<const wchar_t*> kStartupXp = {L"%userprofile%\\Start Menu\\Programs\\Startup\\",
                                                L"%allusersprofile%\\Start Menu\\Programs\\Startup\\"};

// The prevention-test program must never become an exception.
const wchar_t* const kNeverWhitelisted[] = {L"helloworld.exe", L"helloworld2.exe"};

// An empty item would make a rule for the whole folder.
bool IsBlank(const std::wstring& item) { return platform::Trim(item).empty(); }

void WriteUnrestrictedRule(const std::wstring& pattern) {
  std::wstring guid = platform::Lower(modGUID::NewGUIDString());
  if (guid.empty()) return;
  std::wstring key = std::wstring(PolicyLayout::kWhitelistPaths) + L"\\" + guid;
  modRegistry::fWriteValue(L"HKLM", key, L"ItemData", L"E", Variant(pattern));
  modRegistry::fWriteValue(L"HKLM", key, L"SaferFlags", L"D", Variant(int32_t{0}));
  modRegistry::fWriteValue(L"HKLM", key, L"Description", L"S", Variant(PolicyLayout::kRuleDescription));
}

void WriteRulesUnlessPresent(const std::vector<const wchar_t*>& prefixes, const std::wstring& item) {
  for (const wchar_t* prefix : prefixes) {
    std::wstring pattern = prefix + item;
    if (ItemExistCheck(pattern)) WriteUnrestrictedRule(pattern);
  }
}

std::vector<std::wstring> Subfolders(clsFSO& fso, const std::wstring& folder) {
  std::vector<std::wstring> folders;
  for (auto& path : platform::Split(fso.Get_DirList(folder, false), L";")) {
    if (!path.empty()) folders.push_back(path);
  }
  return folders;
}

// The folder's own programs, then those of each direct subfolder (relative to the folder).
void ScanWithSubfolders(clsFSO& fso, const std::wstring& folder, ItemList& list) {
  WhitelistAllInDir(folder, list, true);
  if (!CommonModule::DoesDirExist(folder)) return;
  for (const auto& subfolder : Subfolders(fso, folder)) WhitelistAllInDir(subfolder, list, false);
}

}  // namespace

void AddWhitelistPath(const std::wstring& path) {
  if (IsBlank(path)) {
    DPrint(L"AddWhitelistPath:  empty path, no rule written");
    return;
  }
  WriteUnrestrictedRule(path);
}

void WhitelistProgramDataItem(const std::wstring& item) {
  if (IsBlank(item)) return;
  WriteRulesUnlessPresent({L"%programdata%\\"}, item);
}

void WhitelistUserProfileItem(const std::wstring& item) {
  if (IsBlank(item)) return;
  WriteRulesUnlessPresent(modOpSys::IsVista() ? kUserProfileVista : kUserProfileXp, item);
}

void WhitelistStartupItem(const std::wstring& item) {
  if (IsBlank(item)) return;
  WriteRulesUnlessPresent(modOpSys::IsVista() ? kStartupVista : kStartupXp, item);
}

void WhitelistItem(const std::wstring& givenItem) {
  const bool vista = modOpSys::IsVista();
  const std::wstring appData = platform::Lower(platform::GetEnv(L"appdata"));
  const std::wstring localAppData = platform::Lower(platform::GetEnv(L"localappdata"));
  std::wstring item = givenItem;
  // A full path under this user's application-data folders becomes its relative remainder.
  if (!appData.empty()) item = CommonModule::Strip(platform::Lower(item), appData + L"\\");
  if (vista && !localAppData.empty()) item = CommonModule::Strip(platform::Lower(item), localAppData + L"\\");
  for (const wchar_t* never : kNeverWhitelisted) {
    if (platform::Lower(item) == never) return;
  }
  if (IsBlank(item)) return;
  DPrint(L"WhitelistItem:  " + item);
  WriteRulesUnlessPresent(vista ? kAppDataVista : kAppDataXp, item);
}

bool ItemExistCheck(const std::wstring& pattern) {
  DPrint(L"ItemExistCheck:  " + pattern);
  std::wstring names;
  if (modRegistry::fEnumKey(L"HKLM", PolicyLayout::kWhitelistPaths, names) != ERROR_SUCCESS) return true;
  const std::wstring wanted = platform::Lower(pattern);
  for (const auto& name : platform::Split(names, std::wstring(1, L'\0'))) {
    if (name.empty()) continue;
    Variant itemData;
    modRegistry::fReadValue(L"HKLM", std::wstring(PolicyLayout::kWhitelistPaths) + L"\\" + name, L"ItemData", L"S",
                            Variant(L""), itemData);
    if (platform::Lower(itemData.Text()) == wanted) {
      DPrint(L"ItemExistCheck RULE EXISTS:  " + pattern);
      return false;
    }
  }
  return true;
}

void AddToList(const std::wstring& item, ItemList& list) {
  DPrint(L"AddToList Eval:  " + item);
  if (item.empty()) return;
  const std::wstring key = platform::Trim(platform::Lower(item));
  for (const auto& entry : list) {
    if (platform::Lower(entry) == key) return;
  }
  DPrint(L"AddToList:  " + item);
  list.push_back(item);
}

void WhitelistAllInDir(const std::wstring& folder, ItemList& list, bool isBase) {
  DPrint(L"WhitelistAllInDir:  " + folder);
  if (folder.empty() || !CommonModule::DoesDirExist(folder)) return;
  std::vector<std::wstring> found;
  CommonModule::FindFiles(folder, L"*.exe;*.com;*.scr", found, false);
  DPrint(L"WhitelistAllInDir EXE Count:  " + std::to_wstring(found.size()));
  std::wstring base = isBase ? folder : CommonModule::StripEndOfString(folder, L"\\", false, false, false);
  for (const auto& path : found) AddToList(CommonModule::Strip(platform::Lower(path), platform::Lower(base) + L"\\"), list);
}

void WhitelistAllKnownItems() {
  const std::wstring systemDrive = platform::GetEnv(L"systemdrive");
  DPrint(L"WhitelistAllKnownItems started on:  " + systemDrive);
  CommonModule2::SystemDriveCache = systemDrive;
  CommonModule2::GetUserList(false);
  const bool vista = modOpSys::IsVista();

  ItemList appData, userProfile, startup, programData;
  {
    clsFSO fso;
    ScanWithSubfolders(fso, platform::GetEnv(L"appdata"), appData);
    for (const auto& profile : CommonModule2::UserProfileList) {
      DPrint(L"WhitelistAll beginning for:  " + profile);
      WhitelistAllInDir(profile, userProfile, true);
      if (vista) {
        WhitelistAllInDir(profile + L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", startup, true);
        ScanWithSubfolders(fso, profile + L"\\AppData\\Roaming", appData);
        ScanWithSubfolders(fso, profile + L"\\AppData\\LocalLow", appData);
        WhitelistAllInDir(profile + L"\\AppData\\Local", appData, true);
      } else {
        WhitelistAllInDir(profile + L"\\Start Menu\\Programs\\Startup", startup, true);
        ScanWithSubfolders(fso, profile + L"\\Application Data", appData);
        ScanWithSubfolders(fso, profile + L"\\Local Settings\\Application Data", appData);
      }
    }
  }
  if (vista) {
    const std::wstring programDataFolder = platform::GetEnv(L"programdata");
    WhitelistAllInDir(programDataFolder + L"\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", startup, true);
    WhitelistAllInDir(programDataFolder, programData, true);
    for (const auto& item : programData) WhitelistProgramDataItem(item);
  }
  for (const auto& item : appData) WhitelistItem(item);
  for (const auto& item : userProfile) WhitelistUserProfileItem(item);
  for (const auto& item : startup) WhitelistStartupItem(item);
  modRegistry::fWriteValue(L"HKLM", Product::kSettingsKey, L"AutoWhitelist", L"S", Variant(L"0"));
}

}  // namespace modWhitelist
