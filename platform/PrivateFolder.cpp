#include "platform/PrivateFolder.h"

#include <windows.h>
#include <objbase.h>
#include <sddl.h>

#include "platform/FileTree.h"
#include "platform/Handle.h"
#include "platform/ProductName.h"
#include "platform/SystemFolder.h"

namespace platform {

namespace {

// Full control for Administrators and SYSTEM, inherited by what is created inside; nothing
// inherited from the parent.
const wchar_t kAdminsOnly[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

}  // namespace

PrivateFolder::PrivateFolder() {
  const std::wstring windows = WindowsFolder();
  if (windows.empty()) return;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdminsOnly, SDDL_REVISION_1, &descriptor, nullptr)) return;
  UniqueLocal owner(descriptor);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  // A unique name that must not exist yet: a folder someone else made is never used.
  for (int attempt = 0; attempt < 8; ++attempt) {
    GUID guid;
    wchar_t text[40] = {};
    if (FAILED(CoCreateGuid(&guid)) || !StringFromGUID2(guid, text, 40)) return;
    std::wstring candidate = windows + L"\\Temp\\" ILATCH_PRODUCT_NAME L"-" + text;
    if (CreateDirectoryW(candidate.c_str(), &attributes)) {
      path_ = candidate;
      return;
    }
  }
}

PrivateFolder::~PrivateFolder() {
  if (!path_.empty()) RemoveFolderTree(path_);
}

}  // namespace platform
