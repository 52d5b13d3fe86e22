#pragma once
// Renaming a file through a handle that stays open.
#include <windows.h>

#include <string>

namespace platform {

// Gives an open file (opened with DELETE access) a new name without closing it, which saves the
// second open that MoveFileEx makes; never replaces a file. False when the name could not be given.
bool RenameOpenFile(HANDLE file, const std::wstring& newPath);

}  // namespace platform
