#include "platform/OpenFolderList.h"

#include <cstddef>

#include "platform/Procedure.h"

namespace platform {

bool ListOpenFolder(HANDLE folder, std::vector<std::wstring>& names) {
  struct IoStatus {
    void* status;
    ULONG_PTR information;
  };
  // One entry of the directory information class, as NtQueryDirectoryFile writes it.
  struct DirectoryInformation {
    ULONG nextEntryOffset;
    ULONG fileIndex;
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime, endOfFile, allocationSize;
    ULONG fileAttributes;
    ULONG fileNameLength;  // in bytes
    WCHAR fileName[1];
  };
  static_assert(offsetof(DirectoryInformation, fileName) == 64, "the layout NtQueryDirectoryFile writes");
  using QueryDirectoryFn = LONG(WINAPI*)(HANDLE, HANDLE, void*, void*, IoStatus*, void*, ULONG, int, BOOLEAN, void*,
                                         BOOLEAN);
  constexpr int kFileDirectoryInformation = 1;
  constexpr LONG kNoMoreFiles = static_cast<LONG>(0x80000006);
  static const auto query = GetLoadedProcedure<QueryDirectoryFn>(L"ntdll.dll", "NtQueryDirectoryFile");
  if (!query) return false;
  names.clear();
  std::vector<ULONG_PTR> buffer(64 * 1024 / sizeof(ULONG_PTR));
  for (BOOLEAN restart = TRUE;; restart = FALSE) {
    IoStatus io = {};
    const LONG status = query(folder, nullptr, nullptr, nullptr, &io, buffer.data(),
                              static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR)), kFileDirectoryInformation, FALSE,
                              nullptr, restart);
    if (status == kNoMoreFiles) return true;
    if (status < 0) return false;
    const char* at = reinterpret_cast<const char*>(buffer.data());
    for (;;) {
      const auto* entry = reinterpret_cast<const DirectoryInformation*>(at);
      const std::wstring name(entry->fileName, entry->fileNameLength / sizeof(WCHAR));
      if (name != L"." && name != L"..") names.push_back(name);
      if (!entry->nextEntryOffset) break;
      at += entry->nextEntryOffset;
    }
  }
}

}  // namespace platform
