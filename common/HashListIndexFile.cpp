#include "common/HashListIndexFile.h"

#include <cstdint>

#include "common/DataFolder.h"
#include "common/Product.h"
#include "platform/Registry.h"

namespace HashListIndex {

uint32_t CurrentGeneration() {
  platform::RegistryKey key;
  DWORD value = 0;
  if (key.Open(HKEY_LOCAL_MACHINE, Product::kSettingsKey, KEY_QUERY_VALUE, platform::RegistryView::Bits64) !=
          ERROR_SUCCESS ||
      key.ReadNumber(Product::kListIndexValue, value) != ERROR_SUCCESS)
    return 0;
  return value;
}

std::wstring PathIn(const std::wstring& folder, const std::wstring& name) {
  return !folder.empty() && folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

std::wstring GenerationName(uint32_t generation) {
  return Product::kListIndexPrefix + std::to_wstring(generation) + Product::kListIndexSuffix;
}

Opened MappedIndex::Open(const std::wstring& path, Owner owner) {
  Close();
  error_ = 0;
  reason_.clear();
  // Reading the owner needs READ_CONTROL; a folder in the file's place opens too, and is judged.
  file_.reset(CreateFileW(path.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file_) {
    error_ = GetLastError();
    if (error_ == ERROR_FILE_NOT_FOUND || error_ == ERROR_PATH_NOT_FOUND) return Opened::Missing;
    return error_ == ERROR_SHARING_VIOLATION ? Opened::Held : Opened::Unreadable;
  }
  BY_HANDLE_FILE_INFORMATION info = {};
  DataFolder::Facts facts;
  if (!GetFileInformationByHandle(file_.get(), &info) ||
      (owner == Owner::System && !DataFolder::ReadFacts(file_.get(), facts))) {
    error_ = GetLastError();
    Close();
    return Opened::Unreadable;
  }
  // A user's own copy is weighed only for what it is, not for whose or for its rights: it lies in
  // the user's own profile. The shared index must be the system's, with rights no user can widen.
  if (owner == Owner::Anyone) {
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
      reason_ = L"a reparse point (junction, symbolic link or mount point)";
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      reason_ = L"a folder";
  } else {
    DataFolder::Judge(facts, false, reason_);  // every verdict but Proper gives its reason
  }
  if (!reason_.empty()) {
    Close();
    return Opened::Foreign;
  }
  // A second name could be a link from anywhere its owner can write.
  if (info.nNumberOfLinks != 1) {
    reason_ = L"it has " + std::to_wstring(info.nNumberOfLinks) + L" names";
    Close();
    return Opened::Foreign;
  }
  const uint64_t size = static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  // An empty file cannot be mapped, and one past the address space is no index of ours: both are
  // judged by their size below.
  if (size > 0 && size <= SIZE_MAX) {
    mapping_.reset(CreateFileMappingW(file_.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (mapping_) bytes_.reset(MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0));
    if (!bytes_) {
      error_ = GetLastError();
      Close();
      return Opened::Unreadable;
    }
  }
  if (!view_.Attach(bytes_.get(), size)) {
    reason_ = L"no list index of this format, or not of its size";
    Close();
    return Opened::Damaged;
  }
  return Opened::Usable;
}

void MappedIndex::Close() {
  view_.Attach(nullptr, 0);
  bytes_.reset();
  mapping_.reset();
  file_.reset();
}

}  // namespace HashListIndex
