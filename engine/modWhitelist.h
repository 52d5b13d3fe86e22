#pragma once
// Whitelist (unrestricted) rules for programs that must still run from the protected places.
#include <string>
#include <vector>

namespace modWhitelist {

// Items found by a scan, each once (compared without regard to case).
using ItemList = std::vector<std::wstring>;

// One rule for the path as given, without looking for an existing one ("a=").
void AddWhitelistPath(const std::wstring& path);
// Rules for an item relative to each kind of folder, each written unless an unrestricted rule
// already holds the pattern ("p=", "u=", "s=", "w=").
void WhitelistProgramDataItem(const std::wstring& item);
void WhitelistUserProfileItem(const std::wstring& item);
void WhitelistStartupItem(const std::wstring& item);
void WhitelistItem(const std::wstring& item);

// Whitelists every program already present in the protected folders of every profile: the
// current user's folders, the profiles and ProgramData as Windows keeps them.
void WhitelistAllKnownItems();
void WhitelistAllInDir(const std::wstring& folder, ItemList& list, bool isBase);
void AddToList(const std::wstring& item, ItemList& list);

// The folders a whitelist scope's items are relative to, as Windows keeps them for this
// program's user, never as the environment names them (without a trailing backslash; unknown ones
// left out). The application-data scope: the roaming folder and the local one; the startup scope:
// the user's and the all-users startup folder.
std::vector<std::wstring> AppDataFolders();
std::vector<std::wstring> StartupFolders();
// path below the first of folders that holds it, lower-cased; false (relative untouched) when
// none holds it. Only a leading folder is taken off, never one further along the path.
bool RelativeToFolders(const std::wstring& path, const std::vector<std::wstring>& folders, std::wstring& relative);

// True when no unrestricted rule has this ItemData yet (compared without regard to case).
bool ItemExistCheck(const std::wstring& pattern);

}  // namespace modWhitelist
