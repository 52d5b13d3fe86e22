#pragma once
// The files a program carries inside itself as resources of type CUSTOM.
#include <string>

namespace ResourceFile {

// Writes a resource of type CUSTOM to a file; an existing file is kept unless overwrite is set.
void ExtractResourceToFile(const std::wstring& resourceName, const std::wstring& filePath, bool overwrite);

}  // namespace ResourceFile
