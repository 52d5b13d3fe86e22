#include "common/DataFolder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "common/CommonModule.h"
#include "common/SetOwnerFS.h"
#include "platform/Handle.h"

namespace DataFolder {

const wchar_t kRights[] = L"O:BAG:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

namespace {


// Owner and list of one folder, from the rights above.
bool SetFolderRights(const std::wstring& folder, PSECURITY_DESCRIPTOR descriptor) {
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  PSID owner = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) ||
      !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted))
    return false;
  std::wstring path = folder;
  const DWORD error = SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT,
                                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION |
                                                OWNER_SECURITY_INFORMATION,
                                            owner, nullptr, dacl, nullptr);
  if (error != ERROR_SUCCESS) CommonModule::DPrint(L"DataFolder: rights not set on " + folder, std::to_wstring(error));
  return error == ERROR_SUCCESS;
}

// A file some user left inside keeps no rights of its own: only what the folder hands down.
void ResetFileRights(const std::wstring& file, PSID owner) {
  ACL empty;
  if (!InitializeAcl(&empty, sizeof empty, ACL_REVISION)) return;
  std::wstring path = file;
  SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT,
                        DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION,
                        owner, nullptr, &empty, nullptr);
}

void ResetFilesInside(const std::wstring& folder, PSECURITY_DESCRIPTOR descriptor) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted)) return;
  WIN32_FIND_DATAW found = {};
  platform::UniqueFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!search) return;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") ResetFileRights(folder + L"\\" + name, owner);
  } while (FindNextFileW(search.get(), &found));
}

}  // namespace

bool Secure(const std::wstring& folder) {
  const size_t slash = folder.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash < 3) return false;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kRights, SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  platform::UniqueLocal owned(descriptor);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  const std::wstring maker = folder.substr(0, slash);
  CreateDirectoryW(maker.c_str(), &attributes);
  CreateDirectoryW(folder.c_str(), &attributes);
  CommonModule::MakeFolder(folder);  // a missing folder further up; the rights are set below
  // A folder that was there already (made by anybody) gets the same owner and list. Setting the
  // owner to Administrators may need the restore privilege.
  const SetOwnerFS::PrivilegeChange restore = SetOwnerFS::ChangeOwnPrivilege(L"SeRestorePrivilege", true);
  const bool secured = SetFolderRights(maker, descriptor) && SetFolderRights(folder, descriptor);
  if (secured) ResetFilesInside(folder, descriptor);
  SetOwnerFS::RestoreOwnPrivilege(restore);
  return secured;
}

}  // namespace DataFolder
