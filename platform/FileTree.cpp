#include "platform/FileTree.h"

#include <windows.h>

#include "platform/Handle.h"

namespace platform {

void RemoveFolderTree(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
  if (find) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = folder + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      bool isFolder = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
      bool isLink = data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
      if (isFolder && !isLink) RemoveFolderTree(child);
      else if (isFolder) RemoveDirectoryW(child.c_str());
      else DeleteFileW(child.c_str());
    } while (FindNextFileW(find.get(), &data));
  }
  find.reset();
  SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryW(folder.c_str());
}

namespace {

void AddFiles(const std::wstring& folder, const std::wstring& relative, std::vector<std::wstring>& files) {
  WIN32_FIND_DATAW data;
  UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
  if (!find) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const bool isFolder = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    const bool isLink = data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
    if (isLink) continue;
    if (isFolder) AddFiles(folder + L"\\" + name, relative + name + L"\\", files);
    else files.push_back(relative + name);
  } while (FindNextFileW(find.get(), &data));
}

}  // namespace

std::vector<std::wstring> FilesInTree(const std::wstring& folder) {
  std::vector<std::wstring> files;
  AddFiles(folder, L"", files);
  return files;
}

}  // namespace platform
