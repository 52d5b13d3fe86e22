#include "platform/PendingRenames.h"

#include <windows.h>

#include "platform/Registry.h"
#include "platform/Text.h"

namespace platform {

namespace {

constexpr wchar_t kNtPrefix[] = L"\\??\\";
constexpr wchar_t kReplaceMark = L'!';

std::wstring FromNtPath(const std::wstring& path) {
  return StartsWith(path, kNtPrefix) ? path.substr(wcslen(kNtPrefix)) : path;
}

}  // namespace

std::vector<PendingRename> PendingRenames() {
  std::vector<PendingRename> renames;
  RegistryKey key;
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
  if (key.Open(HKEY_LOCAL_MACHINE, kPendingRenamesKey, KEY_QUERY_VALUE, RegistryView::Bits64) != ERROR_SUCCESS ||
      key.ReadBytes(kPendingRenamesValue, type, bytes) != ERROR_SUCCESS || type != REG_MULTI_SZ)
    return renames;
  const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  // Strings one after the other, each ended by a null; an empty target is a string too, so only
  // the pairs' count tells where the list ends.
  std::vector<std::wstring> strings;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find(L'\0', at);
    strings.push_back(text.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at));
    if (end == std::wstring::npos) break;
    at = end + 1;
  }
  for (size_t i = 0; i + 1 < strings.size(); i += 2) {
    if (strings[i].empty()) break;  // the list's closing null
    PendingRename rename;
    rename.from = FromNtPath(strings[i]);
    std::wstring to = strings[i + 1];
    rename.replace = !to.empty() && to[0] == kReplaceMark;
    if (rename.replace) to.erase(0, 1);
    rename.to = FromNtPath(to);
    renames.push_back(rename);
  }
  return renames;
}

}  // namespace platform
