#pragma once
// The names in a folder, read through a handle to it that stays open.
#include <windows.h>

#include <string>
#include <vector>

namespace platform {

// Lists the folder the handle was opened on (with FILE_LIST_DIRECTORY access, for synchronous
// use), without "." and "..": what is listed is what lies in that folder, whatever its path now
// leads to, and no second open of it is needed. False when it cannot be listed.
bool ListOpenFolder(HANDLE folder, std::vector<std::wstring>& names);

}  // namespace platform
