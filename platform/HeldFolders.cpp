#include "platform/HeldFolders.h"

namespace platform {

namespace {

// Where the folders below the root begin: after "C:\", or after "\\server\share\"; npos when the
// path is neither.
size_t FirstFolderAt(const std::wstring& path) {
  if (path.size() > 3 && path[1] == L':' && path[2] == L'\\') return 3;
  if (path.rfind(L"\\\\", 0) == 0) {
    const size_t share = path.find(L'\\', 2);
    const size_t below = share == std::wstring::npos ? share : path.find(L'\\', share + 1);
    if (below != std::wstring::npos && below + 1 < path.size()) return below + 1;
  }
  return std::wstring::npos;
}

// "." and ".." would let the path walk elsewhere than the folders held; "\\" hides an empty name.
bool HasOnlyPlainNames(const std::wstring& path, size_t from) {
  for (size_t start = from; start <= path.size();) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    const std::wstring name = path.substr(start, end - start);
    if (name.empty() || name == L"." || name == L"..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

bool HeldFolders::Hold(const std::wstring& folder, std::wstring& refusal) {
  Release();
  const size_t first = FirstFolderAt(folder);
  if (first == std::wstring::npos || !HasOnlyPlainNames(folder, first) ||
      folder.find(L'/') != std::wstring::npos) {
    refusal = L"not a plain full path: " + folder;
    return false;
  }
  std::vector<UniqueFileHandle> held;
  for (size_t end = folder.find(L'\\', first);; end = folder.find(L'\\', end + 1)) {
    const std::wstring part = folder.substr(0, end);
    // Listing access takes part in the sharing checks, so the missing FILE_SHARE_DELETE refuses a
    // rename or delete of the folder for as long as it is held.
    UniqueFileHandle handle(CreateFileW(part.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION facts = {};
    if (!handle || !GetFileInformationByHandle(handle.get(), &facts)) {
      refusal = L"cannot hold " + part + L" (error " + std::to_wstring(GetLastError()) + L")";
      return false;
    }
    if (facts.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      refusal = part + L" is a junction, symbolic link or mount point";
      return false;
    }
    if (!(facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      refusal = part + L" is no folder";
      return false;
    }
    held.push_back(std::move(handle));
    if (end == std::wstring::npos) break;
  }
  folders_ = std::move(held);
  return true;
}

}  // namespace platform
