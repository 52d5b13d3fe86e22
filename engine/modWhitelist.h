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

// Whitelists every program already present in the protected folders of every profile.
void WhitelistAllKnownItems();
void WhitelistAllInDir(const std::wstring& folder, ItemList& list, bool isBase);
void AddToList(const std::wstring& item, ItemList& list);

// True when no unrestricted rule has this ItemData yet (compared without regard to case).
bool ItemExistCheck(const std::wstring& pattern);

}  // namespace modWhitelist
