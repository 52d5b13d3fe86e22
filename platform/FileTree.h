#pragma once
#include <string>
#include <vector>

namespace platform {

// Removes a folder with everything in it. Links inside it are removed as links: what they point
// at is left alone. Read-only attributes do not stop it.
void RemoveFolderTree(const std::wstring& folder);

// The files below a folder, as paths relative to it ("sub\name.dll"). Links are not followed: a
// linked folder and what it holds are not listed.
std::vector<std::wstring> FilesInTree(const std::wstring& folder);

}  // namespace platform
