#include "common/DataFolder.h"

#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "common/SetOwnerFS.h"
#include "platform/Handle.h"

namespace DataFolder {

namespace {

// While a folder is being secured nobody else may rename or delete it.
constexpr DWORD kHoldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool Missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// One part of the path, checked, set aside when foreign, made with the rights given at creation
// when missing, and its rights set through the handle that was checked. Empty on failure.
platform::UniqueFileHandle SecurePart(const std::wstring& part, PSECURITY_DESCRIPTOR descriptor) {
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  for (int attempt = 0; attempt < 3; ++attempt) {
    platform::UniqueFileHandle handle = OpenUnfollowed(part, kHoldShare);
    bool made = false;
    if (!handle) {
      const DWORD error = GetLastError();
      if (!Missing(error)) {
        // A folder the administrators cannot even open is no folder of theirs.
        if (error == ERROR_SHARING_VIOLATION || !SetAside(part, L"cannot be opened: " + std::to_wstring(error)))
          return {};
        continue;
      }
      if (!CreateDirectoryW(part.c_str(), &attributes)) {
        if (GetLastError() == ERROR_ALREADY_EXISTS) continue;  // made by someone else meanwhile: judged next round
        CommonModule::DPrint(L"DataFolder: cannot create " + part, std::to_wstring(GetLastError()));
        return {};
      }
      handle = OpenUnfollowed(part, kHoldShare);
      if (!handle) return {};
      made = true;
    }
    Facts facts;
    if (!ReadFacts(handle.get(), facts)) return {};
    std::wstring reason;
    // A folder made just now has the rights it was given; only its kind is checked again (Wine
    // reports no owner it was given).
    const bool proper = made ? (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                   !(facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
                             : Judge(facts, true, reason) == Verdict::Proper;
    if (proper) {
      if (!GiveRights(handle.get(), part, kRights, false)) return {};
      return handle;
    }
    if (made) reason = L"not the folder just made";
    handle.reset();
    if (!SetAside(part, reason)) return {};
  }
  return {};
}

// A file left inside keeps no rights of its own, only what the folder hands down; a link or
// folder in its place is set aside.
void ResetFilesInside(const std::wstring& folder) {
  WIN32_FIND_DATAW found = {};
  platform::UniqueFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!search) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    platform::UniqueFileHandle handle = OpenUnfollowed(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    Facts facts;
    if (!handle || !ReadFacts(handle.get(), facts)) continue;
    if (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) continue;  // a folder set aside earlier, say
    if (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      handle.reset();
      SetAside(path, L"a reparse point");
      continue;
    }
    GiveRights(handle.get(), path, kFileRights, true);
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
  // Backup and restore let an administrator open and re-own a folder whatever its rights.
  const SetOwnerFS::PrivilegeChange backup = SetOwnerFS::ChangeOwnPrivilege(L"SeBackupPrivilege", true);
  const SetOwnerFS::PrivilegeChange restore = SetOwnerFS::ChangeOwnPrivilege(L"SeRestorePrivilege", true);
  // The parent is held, checked, while the data folder inside is checked and made.
  platform::UniqueFileHandle maker = SecurePart(folder.substr(0, slash), descriptor);
  platform::UniqueFileHandle data = maker ? SecurePart(folder, descriptor) : platform::UniqueFileHandle();
  if (data) ResetFilesInside(folder);
  SetOwnerFS::RestoreOwnPrivilege(restore);
  SetOwnerFS::RestoreOwnPrivilege(backup);
  return static_cast<bool>(data);
}

}  // namespace DataFolder
