#pragma once
#include <string>

namespace platform {

// Removes a folder with everything in it. Links inside it are removed as links: what they point
// at is left alone. Read-only attributes do not stop it.
void RemoveFolderTree(const std::wstring& folder);

}  // namespace platform
