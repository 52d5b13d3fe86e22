#include "update/modSpecialFolders.h"

#include <windows.h>
#include <shlobj.h>

#include "common/CommonModule.h"
#include "platform/Text.h"

namespace modSpecialFolders {

std::wstring GetSpecialFolder(int folderId) {
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, folderId, &items)) || !items) {
    CommonModule::DPrint(L"modSpecialFolders\\GetSpecialFolder: ", L"- no folder for id ", folderId);
    return L"";
  }
  wchar_t buffer[MAX_PATH + 1] = {};
  const bool found = SHGetPathFromIDListW(items, buffer) != FALSE;
  CoTaskMemFree(items);
  if (!found) return L"";
  std::wstring path = buffer;
  while (!path.empty() && path.back() == L' ') path.pop_back();
  return path;
}

}  // namespace modSpecialFolders
