#include "engine/modWhitelist.h"

#include <algorithm>
#include <unordered_set>

#include "common/CommonModule.h"
#include "common/CommonModule2.h"
#include "common/clsFSO.h"
#include "common/modOpSys.h"
#include "common/modRegistry.h"
#include "common/Product.h"
#include "engine/PolicyLayout.h"
#include "engine/SavedChoices.h"
#include "engine/modGUID.h"
#include "platform/Forms.h"
#include "platform/SystemFolder.h"
#include "platform/Text.h"
#include "platform/UserFolder.h"

namespace modWhitelist {

namespace {

using CommonModule::DPrint;
using platform::UserFolder;
using platform::UserFolderPath;

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

// The patterns of the unrestricted rules, lower-cased: read once and kept up to date as rules are
// written, so that a scan of many programs checks each pattern in constant time.
class KnownRules {
 public:
  KnownRules() {
    std::wstring names;
    if (modRegistry::fEnumKey(L"HKLM", PolicyLayout::kWhitelistPaths, names) != ERROR_SUCCESS) return;
    for (const auto& name : platform::Split(names, std::wstring(1, L'\0'))) {
      if (name.empty()) continue;
      const std::wstring itemData = modRegistry::ReadText(
          HKEY_LOCAL_MACHINE, std::wstring(PolicyLayout::kWhitelistPaths) + L"\\" + name, L"ItemData");
      patterns_.insert(platform::Lower(itemData));
    }
  }
  bool Has(const std::wstring& pattern) const { return patterns_.count(platform::Lower(pattern)) != 0; }
  // Writes the rule unless one holds the pattern already.
  void WriteUnlessPresent(const std::wstring& pattern) {
    // Each check is logged as the one-by-one check logs it, so the debug log reads the same.
    DPrint(L"ItemExistCheck:  " + pattern);
    if (!patterns_.insert(platform::Lower(pattern)).second) {
      DPrint(L"ItemExistCheck RULE EXISTS:  " + pattern);
      return;
    }
    WriteUnrestrictedRule(pattern);
    // Thousands of rules take a while: the window that asked for them keeps being drawn.
    if (++written_ % 64 == 0) platform::DoEvents();
  }

 private:
  std::unordered_set<std::wstring> patterns_;
  size_t written_ = 0;
};

void WriteRulesUnlessPresent(const std::vector<const wchar_t*>& prefixes, const std::wstring& item, KnownRules& known) {
  for (const wchar_t* prefix : prefixes) known.WriteUnlessPresent(prefix + item);
}

// Items found by a scan, each once, in the order found.
struct FoundItems {
  ItemList items;
  std::unordered_set<std::wstring> keys;
  void Add(const std::wstring& item) {
    if (item.empty()) return;
    if (keys.insert(platform::Trim(platform::Lower(item))).second) items.push_back(item);
  }
};

void CollectDir(const std::wstring& folder, FoundItems& found, bool isBase) {
  DPrint(L"WhitelistAllInDir:  " + folder);
  if (folder.empty() || !CommonModule::DoesDirExist(folder)) return;
  std::vector<std::wstring> files;
  CommonModule::FindFiles(folder, L"*.exe;*.com;*.scr", files, false);
  DPrint(L"WhitelistAllInDir EXE Count:  " + std::to_wstring(files.size()));
  const std::wstring base = isBase ? folder : CommonModule::StripEndOfString(folder, L"\\", false, false, false);
  const std::wstring lead = platform::Lower(base) + L"\\";
  for (const auto& path : files) found.Add(CommonModule::Strip(platform::Lower(path), lead));
}

std::vector<std::wstring> Subfolders(clsFSO& fso, const std::wstring& folder) {
  std::vector<std::wstring> folders;
  for (auto& path : platform::Split(fso.Get_DirList(folder, false), L";")) {
    if (!path.empty()) folders.push_back(path);
  }
  return folders;
}

// The folder's own programs, then those of each direct subfolder (relative to the folder).
void ScanWithSubfolders(clsFSO& fso, const std::wstring& folder, FoundItems& found) {
  CollectDir(folder, found, true);
  if (!CommonModule::DoesDirExist(folder)) return;
  for (const auto& subfolder : Subfolders(fso, folder)) CollectDir(subfolder, found, false);
}

void ProgramDataItem(const std::wstring& item, KnownRules& known) {
  if (IsBlank(item)) return;
  WriteRulesUnlessPresent({L"%programdata%\\"}, item, known);
}

void UserProfileItem(const std::wstring& item, KnownRules& known) {
  if (IsBlank(item)) return;
  WriteRulesUnlessPresent(modOpSys::IsVista() ? kUserProfileVista : kUserProfileXp, item, known);
}

void StartupItem(const std::wstring& item, KnownRules& known) {
  if (IsBlank(item)) return;
  WriteRulesUnlessPresent(modOpSys::IsVista() ? kStartupVista : kStartupXp, item, known);
}

void AppDataItem(const std::wstring& givenItem, KnownRules& known) {
  const bool vista = modOpSys::IsVista();
  const std::wstring appData = platform::Lower(UserFolderPath(UserFolder::AppData));
  const std::wstring localAppData = platform::Lower(UserFolderPath(UserFolder::LocalAppData));
  std::wstring item = givenItem;
  // A full path under this user's application-data folders becomes its relative remainder.
  if (!appData.empty()) item = CommonModule::Strip(platform::Lower(item), appData + L"\\");
  if (vista && !localAppData.empty()) item = CommonModule::Strip(platform::Lower(item), localAppData + L"\\");
  for (const wchar_t* never : kNeverWhitelisted) {
    if (platform::Lower(item) == never) return;
  }
  if (IsBlank(item)) return;
  DPrint(L"WhitelistItem:  " + item);
  WriteRulesUnlessPresent(vista ? kAppDataVista : kAppDataXp, item, known);
}

// One item on its own: the rules present are read for it alone.
void OneItem(void (*write)(const std::wstring&, KnownRules&), const std::wstring& item) {
  KnownRules known;
  write(item, known);
}

std::wstring WithoutTrailingBackslash(std::wstring folder) {
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return folder;
}

void AddFolder(std::vector<std::wstring>& folders, const std::wstring& folder) {
  if (!platform::Trim(folder).empty()) folders.push_back(WithoutTrailingBackslash(folder));
}

}  // namespace

void AddWhitelistPath(const std::wstring& path) {
  if (IsBlank(path)) {
    DPrint(L"AddWhitelistPath:  empty path, no rule written");
    return;
  }
  WriteUnrestrictedRule(path);
}

void WhitelistProgramDataItem(const std::wstring& item) { OneItem(ProgramDataItem, item); }
void WhitelistUserProfileItem(const std::wstring& item) { OneItem(UserProfileItem, item); }
void WhitelistStartupItem(const std::wstring& item) { OneItem(StartupItem, item); }
void WhitelistItem(const std::wstring& item) { OneItem(AppDataItem, item); }

std::vector<std::wstring> AppDataFolders() {
  std::vector<std::wstring> folders;
  // On XP the local one is the profile's Local Settings\Application Data.
  AddFolder(folders, UserFolderPath(UserFolder::AppData));
  AddFolder(folders, UserFolderPath(UserFolder::LocalAppData));
  return folders;
}

std::vector<std::wstring> StartupFolders() {
  std::vector<std::wstring> folders;
  AddFolder(folders, UserFolderPath(UserFolder::Startup));
  AddFolder(folders, UserFolderPath(UserFolder::CommonStartup));
  return folders;
}

bool RelativeToFolders(const std::wstring& path, const std::vector<std::wstring>& folders, std::wstring& relative) {
  const std::wstring lower = platform::Lower(path);
  // The longest folder first: one scope folder may lie inside another.
  std::vector<std::wstring> leads;
  for (const auto& folder : folders)
    if (!folder.empty()) leads.push_back(platform::Lower(WithoutTrailingBackslash(folder)) + L"\\");
  std::sort(leads.begin(), leads.end(),
            [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
  for (const auto& lead : leads) {
    if (lower.size() > lead.size() && lower.compare(0, lead.size(), lead) == 0) {
      relative = lower.substr(lead.size());
      return true;
    }
  }
  return false;
}

bool ItemExistCheck(const std::wstring& pattern) {
  DPrint(L"ItemExistCheck:  " + pattern);
  if (!KnownRules().Has(pattern)) return true;
  DPrint(L"ItemExistCheck RULE EXISTS:  " + pattern);
  return false;
}

void AddToList(const std::wstring& item, ItemList& list) {
  FoundItems found;
  for (const auto& entry : list) found.Add(entry);
  found.Add(item);
  list = std::move(found.items);
}

void WhitelistAllInDir(const std::wstring& folder, ItemList& list, bool isBase) {
  FoundItems found;
  for (const auto& entry : list) found.Add(entry);
  CollectDir(folder, found, isBase);
  list = std::move(found.items);
}

void WhitelistAllKnownItems() {
  const std::wstring systemDrive = platform::SystemDrive();
  DPrint(L"WhitelistAllKnownItems started on:  " + systemDrive);
  CommonModule2::SystemDriveCache = systemDrive;
  CommonModule2::GetUserList(false);
  const bool vista = modOpSys::IsVista();

  FoundItems appData, userProfile, startup, programData;
  {
    clsFSO fso;
    ScanWithSubfolders(fso, UserFolderPath(UserFolder::AppData), appData);
    for (const auto& profile : CommonModule2::UserProfileList) {
      DPrint(L"WhitelistAll beginning for:  " + profile);
      CollectDir(profile, userProfile, true);
      if (vista) {
        CollectDir(profile + L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", startup, true);
        ScanWithSubfolders(fso, profile + L"\\AppData\\Roaming", appData);
        ScanWithSubfolders(fso, profile + L"\\AppData\\LocalLow", appData);
        CollectDir(profile + L"\\AppData\\Local", appData, true);
      } else {
        CollectDir(profile + L"\\Start Menu\\Programs\\Startup", startup, true);
        ScanWithSubfolders(fso, profile + L"\\Application Data", appData);
        ScanWithSubfolders(fso, profile + L"\\Local Settings\\Application Data", appData);
      }
    }
  }
  KnownRules known;
  if (vista) {
    const std::wstring programDataFolder = UserFolderPath(UserFolder::CommonAppData);
    if (!programDataFolder.empty()) {
      CollectDir(programDataFolder + L"\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", startup, true);
      CollectDir(programDataFolder, programData, true);
    }
    for (const auto& item : programData.items) ProgramDataItem(item, known);
  }
  for (const auto& item : appData.items) AppDataItem(item, known);
  for (const auto& item : userProfile.items) UserProfileItem(item, known);
  for (const auto& item : startup.items) StartupItem(item, known);
  SavedChoices::Write(SavedChoices::Choice::AutoWhitelist, 0);
}

}  // namespace modWhitelist
