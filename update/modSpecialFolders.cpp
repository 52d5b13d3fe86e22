#include "update/modSpecialFolders.h"

#include <windows.h>
#include <shlobj.h>

#include "common/CommonModule.h"
#include "platform/Com.h"
#include "platform/Text.h"

namespace modSpecialFolders {

std::wstring GetSpecialFolder(int folderId) {
  platform::UniqueCoTaskMem<LPITEMIDLIST> items;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, folderId, items.put())) || !items) {
    CommonModule::DPrint(L"modSpecialFolders\\GetSpecialFolder: ", L"- no folder for id ", folderId);
    return L"";
  }
  wchar_t buffer[MAX_PATH + 1] = {};
  if (!SHGetPathFromIDListW(items.get(), buffer)) return L"";
  std::wstring path = buffer;
  while (!path.empty() && path.back() == L' ') path.pop_back();
  return path;
}

}  // namespace modSpecialFolders
