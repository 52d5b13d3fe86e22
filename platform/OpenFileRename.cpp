#include "platform/OpenFileRename.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/NtFileInformation.h"

namespace platform {

bool RenameOpenFile(HANDLE file, const std::wstring& newPath) {
  struct RenameInformation {
    BOOLEAN replaceIfExists;
    HANDLE rootDirectory;
    ULONG fileNameLength;
    WCHAR fileName[1];
  };
  DWORD length = GetFullPathNameW(newPath.c_str(), 0, nullptr, nullptr);
  if (length == 0) return false;
  std::wstring full(length, L'\0');
  full.resize(GetFullPathNameW(newPath.c_str(), length, full.data(), nullptr));
  std::wstring ntPath;
  if (full.compare(0, 4, L"\\\\?\\") == 0) ntPath = L"\\??\\" + full.substr(4);
  else if (full.compare(0, 2, L"\\\\") == 0) ntPath = L"\\??\\UNC\\" + full.substr(2);
  else ntPath = L"\\??\\" + full;

  const size_t bytes = offsetof(RenameInformation, fileName) + ntPath.size() * sizeof(WCHAR);
  std::vector<ULONG_PTR> buffer(bytes / sizeof(ULONG_PTR) + 1);
  auto* info = reinterpret_cast<RenameInformation*>(buffer.data());
  info->replaceIfExists = FALSE;
  info->rootDirectory = nullptr;
  info->fileNameLength = static_cast<ULONG>(ntPath.size() * sizeof(WCHAR));
  std::memcpy(reinterpret_cast<char*>(info) + offsetof(RenameInformation, fileName), ntPath.data(),
              ntPath.size() * sizeof(WCHAR));
  return SetOpenFileInformation(file, info, static_cast<ULONG>(bytes), kFileRenameInformation);
}

}  // namespace platform
