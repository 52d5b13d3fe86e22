#include "platform/UserFolder.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/Handle.h"
#include "platform/Registry.h"
#include "platform/SystemFolder.h"

namespace platform {

namespace {

int Csidl(UserFolder folder) {
  switch (folder) {
    case UserFolder::AppData: return CSIDL_APPDATA;
    case UserFolder::LocalAppData: return CSIDL_LOCAL_APPDATA;
    case UserFolder::Profile: return CSIDL_PROFILE;
    case UserFolder::Startup: return CSIDL_STARTUP;
    case UserFolder::CommonAppData: return CSIDL_COMMON_APPDATA;
    case UserFolder::CommonStartup: return CSIDL_COMMON_STARTUP;
  }
  return -1;
}

// A drive path ("C:\...") or a share ("\\server\share\..."): never one relative to the current folder.
bool IsFullPath(const std::wstring& path) {
  return (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') || path.rfind(L"\\\\", 0) == 0;
}

std::wstring WithoutTrailingBackslash(std::wstring path) {
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

}  // namespace

std::wstring UserFolderPath(UserFolder folder) {
  // The token names the user whose folders are asked for (SHGetFolderPath needs query and
  // impersonate access to it).
  UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_IMPERSONATE, token.put())) return {};
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, Csidl(folder) | CSIDL_FLAG_DONT_VERIFY, token.get(), SHGFP_TYPE_CURRENT, path)))
    return {};
  const std::wstring found = WithoutTrailingBackslash(path);
  return IsFullPath(found) ? found : std::wstring();
}

std::wstring ProfilesFolder() {
  const std::wstring value = ReadRegistryText(
      HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", L"ProfilesDirectory",
      RegistryView::Bits64);
  if (value.empty()) return {};
  // Windows keeps it as "%SystemDrive%\Users": expanded from the system, never from the environment.
  std::wstring folder;
  if (!ExpandSystemPath(value, folder)) return {};
  folder = WithoutTrailingBackslash(folder);
  return IsFullPath(folder) ? folder : std::wstring();
}

}  // namespace platform
