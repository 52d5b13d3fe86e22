#include "common/ResourceFile.h"

#include <windows.h>

#include "common/CommonModule.h"
#include "platform/Handle.h"

namespace ResourceFile {

void ExtractResourceToFile(const std::wstring& resourceName, const std::wstring& filePath, bool overwrite) {
  if (CommonModule::DoesFileExist(filePath)) {
    if (!overwrite) return;
    DeleteFileW(filePath.c_str());
  }
  HRSRC resource = FindResourceW(nullptr, resourceName.c_str(), L"CUSTOM");
  HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return;
  platform::UniqueFileHandle file(
      CreateFileW(filePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  WriteFile(file.get(), bytes, SizeofResource(nullptr, resource), &written, nullptr);
}

}  // namespace ResourceFile
