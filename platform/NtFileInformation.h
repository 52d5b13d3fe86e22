#pragma once
// Changing what an open handle names through NtSetInformationFile, which every Windows version
// has: the object the handle was opened on, never whatever its path leads to by then.
#include <windows.h>

namespace platform {

// The information classes used here.
inline constexpr int kFileBasicInformation = 4;
inline constexpr int kFileRenameInformation = 10;
inline constexpr int kFileDispositionInformation = 13;

// True when NtSetInformationFile took the information of that class.
bool SetOpenFileInformation(HANDLE file, void* information, ULONG bytes, int informationClass);

}  // namespace platform
