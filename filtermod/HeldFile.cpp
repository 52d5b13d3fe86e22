#include "filtermod/HeldFile.h"

#include "common/CommonModule.h"

namespace {

// Where the folders below the root begin: after "C:\", or after "\\server\share\".
size_t FirstFolderAt(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return 3;
  if (path.rfind(L"\\\\", 0) == 0) {
    const size_t share = path.find(L'\\', 2);
    const size_t below = share == std::wstring::npos ? share : path.find(L'\\', share + 1);
    return below == std::wstring::npos ? path.size() : below + 1;
  }
  return path.size();
}

}  // namespace

DWORD HeldFile::Open(const std::wstring& path) {
  Release();
  const CommonModule::RedirectionOff off;
  // Listing access takes part in the sharing checks, so the missing FILE_SHARE_DELETE refuses a rename.
  for (size_t slash = path.find(L'\\', FirstFolderAt(path)); slash != std::wstring::npos;
       slash = path.find(L'\\', slash + 1)) {
    platform::UniqueFileHandle folder(CreateFileW(path.substr(0, slash).c_str(), FILE_LIST_DIRECTORY,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (folder) folders_.push_back(std::move(folder));
  }
  file_.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  return file_ ? ERROR_SUCCESS : GetLastError();  // before redirection is switched back, which sets its own
}

void HeldFile::Release() {
  file_.reset();
  folders_.clear();
}
