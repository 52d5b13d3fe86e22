#pragma once
// System folders by their shell folder number (CSIDL), for the installer tools.
#include <string>

namespace modSpecialFolders {

inline constexpr int kProgramFiles = 38;     // CSIDL_PROGRAM_FILES
inline constexpr int kProgramFilesX86 = 42;  // CSIDL_PROGRAM_FILESX86

// The folder's path without a trailing backslash; "" when the shell does not know it.
std::wstring GetSpecialFolder(int folderId);

}  // namespace modSpecialFolders
