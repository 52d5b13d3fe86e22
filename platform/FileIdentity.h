#pragma once
// Which file a handle holds: the volume's serial number and the file's index on it. Two handles
// with the same identity hold the same file, whatever names, junctions or links led to each.
#include <windows.h>

#include <string>

namespace platform {

struct FileFacts {
  DWORD attributes = 0;
  DWORD volumeSerial = 0;
  ULONGLONG fileIndex = 0;
  bool SameFile(const FileFacts& other) const {
    return volumeSerial == other.volumeSerial && fileIndex == other.fileIndex;
  }
};

// False when Windows cannot tell (the handle needs no more than FILE_READ_ATTRIBUTES).
bool ReadFileFacts(HANDLE handle, FileFacts& facts);

// The path of the handle's file after every junction, symbolic link, mount point and drive
// substitution on the way, as Windows gives it ("\\?\C:\...", "\\?\UNC\server\share\..."); "" with
// error set when it cannot tell. Before Vista there is no such call: ERROR_CALL_NOT_IMPLEMENTED.
std::wstring FinalPathName(HANDLE handle, DWORD& error);

}  // namespace platform
