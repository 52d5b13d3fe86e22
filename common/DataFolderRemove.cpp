// The uninstall's removal of the data folder: every entry is opened without following a reparse
// point and deleted through that handle, so a link planted on the way is never followed.
#include <windows.h>

#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "common/DataFolder.h"
#include "common/DataFolderPrivileges.h"
#include "platform/Handle.h"
#include "platform/OpenFileDelete.h"
#include "platform/OpenFolderList.h"

namespace DataFolder {

namespace {

bool Missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

void Left(const std::wstring& path, const std::wstring& why) {
  CommonModule::DPrint(L"DataFolder: left " + path + L" (" + why + L")");
}

// Removes what path names as HowToRemove says. A folder is held without sharing its deletion while
// what is inside goes, so that nobody can rename it or swap a link in its place meanwhile. True
// when it is gone.
bool RemoveEntry(const std::wstring& path, bool dataFolder) {
  platform::UniqueFileHandle handle(CreateFileW(path.c_str(), DELETE | FILE_LIST_DIRECTORY | READ_CONTROL |
                                                                  FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) {
    const DWORD error = GetLastError();
    if (Missing(error)) return true;
    Left(path, L"cannot be opened: " + std::to_wstring(error));
    return false;
  }
  Facts facts;
  if (!ReadFacts(handle.get(), facts, path)) {
    Left(path, L"what it is cannot be read: " + std::to_wstring(GetLastError()));
    return false;
  }
  const Removal removal = HowToRemove(facts, dataFolder);
  if (removal == Removal::Keep) {
    std::wstring reason;
    Judge(facts, dataFolder, reason);
    Left(path, reason);
    return false;
  }
  bool emptied = true;
  if (removal == Removal::Tree) {
    std::vector<std::wstring> names;
    if (!platform::ListOpenFolder(handle.get(), names)) {
      Left(path, L"cannot be listed");
      return false;
    }
    for (const std::wstring& name : names) emptied = RemoveEntry(path + L"\\" + name, false) && emptied;
  }
  if (!emptied) return false;  // what stays inside was logged
  if (!platform::DeleteOpenFile(handle.get())) {
    Left(path, L"cannot be deleted: " + std::to_wstring(GetLastError()));
    return false;
  }
  if (removal == Removal::Link) CommonModule::DPrint(L"DataFolder: removed the link " + path + L", not followed");
  return true;
}

}  // namespace

Removal HowToRemove(const Facts& facts, bool dataFolder) {
  if (facts.elsewhere) return Removal::Keep;
  if (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Removal::Link;
  if (dataFolder) {
    std::wstring reason;
    return Judge(facts, true, reason) == Verdict::Foreign ? Removal::Keep : Removal::Tree;
  }
  return (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) ? Removal::Tree : Removal::Name;
}

bool Remove(const std::wstring& folder) {
  const size_t slash = folder.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash < 3) return false;
  const std::wstring makerPath = folder.substr(0, slash);
  const BackupAndRestore privileges;
  // The maker's folder is held, checked, while the data folder in it goes.
  const platform::UniqueFileHandle maker = OpenUnfollowed(makerPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!maker) {
    const DWORD error = GetLastError();
    if (Missing(error)) return true;
    CommonModule::DPrint(L"DataFolder: not removed " + folder + L" (" + makerPath + L" cannot be opened: " +
                         std::to_wstring(error) + L")");
    return false;
  }
  Facts facts;
  std::wstring reason;
  if (!ReadFacts(maker.get(), facts, makerPath)) {
    reason = L"what it is cannot be read";
  } else if (Judge(facts, true, reason) != Verdict::Foreign) {
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES && Missing(GetLastError())) return true;
    if (!RemoveEntry(folder, true)) return false;
    CommonModule::DPrint(L"DataFolder: removed " + folder);
    return true;
  }
  CommonModule::DPrint(L"DataFolder: not removed " + folder + L" (" + makerPath + L" is " + reason + L")");
  return false;
}

}  // namespace DataFolder
