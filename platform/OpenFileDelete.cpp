#include "platform/OpenFileDelete.h"

#include "platform/NtFileInformation.h"

namespace platform {

bool DeleteOpenFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(file, &info)) return false;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
    struct BasicInformation {
      LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;  // zero: left as they are
      ULONG fileAttributes;
    } basic = {};
    basic.fileAttributes = info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY;
    if (!basic.fileAttributes) basic.fileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetOpenFileInformation(file, &basic, sizeof basic, kFileBasicInformation)) return false;
  }
  struct DispositionInformation {
    BOOLEAN deleteFile;
  } disposition = {TRUE};
  return SetOpenFileInformation(file, &disposition, sizeof disposition, kFileDispositionInformation);
}

}  // namespace platform
