#include "tests/support/ProductState.h"

#include <shlobj.h>

#include "tests/support/TestSupport.h"

namespace testsupport {

unsigned long CurrentListIndex() {
  DWORD generation = 0;
  return RegReadDword(HKEY_LOCAL_MACHINE, kSettingsKey, kListIndexValue, generation) ? generation : 0;
}

std::wstring UserListCopyPath() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) return L"";
  return std::wstring(folder) + kProductFolder + L"\\" + kUserListCopy;
}

void RemoveUserListCopy() {
  const std::wstring copy = UserListCopyPath();
  DeleteFileW(copy.c_str());
  DeleteFileW((copy + L".tmp").c_str());
  RemoveDirectoryW(copy.substr(0, copy.find_last_of(L'\\')).c_str());
}

void ClearedProductTest::Clean() { ClearProductAndPolicy(); }

GpUpdateStandIn::GpUpdateStandIn() {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  path_ = std::wstring(system) + L"\\gpupdate.exe";
}

bool GpUpdateStandIn::Install() {
  if (!CopyProgram(L"fakeprog.exe", path_)) return false;
  DeleteFileW(CallsLog().c_str());
  return true;
}

void GpUpdateStandIn::Remove() {
  if (!FileExists(path_)) return;
  // A stand-in left running by a test holds its file for a moment after it is killed.
  RunProcess(L"taskkill.exe /f /im gpupdate.exe", {}, 10000);
  for (int i = 0; i < 50 && FileExists(path_) && !DeleteFileW(path_.c_str()); ++i) Sleep(100);
  DeleteFileW(CallsLog().c_str());
  DeleteFileW((Base() + L".fake.ini").c_str());
}

std::vector<std::wstring> GpUpdateStandIn::Calls() const { return Lines(ReadTextFile(CallsLog())); }

}  // namespace testsupport
