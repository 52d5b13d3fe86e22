// The user profiles: the folder that holds them on the system drive, the list of them, and the
// folder picker for when they cannot be found.
#include "common/CommonModule2.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <new>

#include "common/CommonModule.h"
#include "common/clsFSO.h"
#include "platform/Com.h"
#include "platform/PromptSeam.h"
#include "platform/SystemFolder.h"
#include "platform/Text.h"
#include "platform/UserFolder.h"

namespace CommonModule2 {

std::wstring SystemDriveCache;
std::vector<std::wstring> UserProfileList;

namespace {

// The drive Windows runs from, as Windows reports it: %SystemDrive% is whoever started the program.
bool SameSystemDrive() {
  const std::wstring system = platform::SystemDrive();
  return !system.empty() && platform::Lower(SystemDriveCache) == platform::Lower(system);
}

}  // namespace

std::wstring GetUserProf(bool ask) {
  try {
    if (!SameSystemDrive()) return GetUserProfOld(ask);
    // The profile list's own entry, its %SystemDrive% taken from the system, not the environment.
    const std::wstring folder = platform::ProfilesFolder();
    if (!folder.empty() && CommonModule::DoesDirExist(folder)) {
      CommonModule::DPrint(L"getuserprof returns:  " + folder);
      return folder;
    }
    return GetUserProfOld(ask);
  } catch (const std::bad_alloc&) {
    CommonModule::DPrint(L"GetUserProf:  Error retrieving userprofile.");
    return {};
  }
}

std::wstring GetUserProfOld(bool ask) {
  try {
    const std::wstring& drive = SystemDriveCache;
    std::wstring folder;
    if (SameSystemDrive()) {
      // The parent of this program's user's own profile, as Windows keeps it.
      const std::wstring profile = platform::UserFolderPath(platform::UserFolder::Profile);
      folder = profile.empty() ? profile : CommonModule::StripEndOfString(profile, L"\\", false, false, false);
      CommonModule::DPrint(L"getuserprofold returns:  " + folder);
    } else if (IsNewProfileLayout()) {
      folder = drive + L"\\Users";
    } else if (CommonModule::DoesDirExist(drive + L"\\Documents and Settings")) {
      folder = drive + L"\\Documents and Settings";
    } else {
      CommonModule::DPrint(L"GetUserProfOld:  Win9x suspected, no code here.");
      if (ask) {
        folder = BrowseForFolder(L"Cannot find User Profile directory on " + platform::Upper(drive) +
                                     L"  Please select the correct folder (e.g. \\Users or \\Documents and Settings)",
                                 drive);
      }
    }
    return folder;
  } catch (const std::bad_alloc&) {
    CommonModule::DPrint(L"GetUserProfOld:  Error retrieving userprofile.");
    return {};
  }
}

void GetUserList(bool ask) {
  try {
    clsFSO fso;
    bool recurse = false;
    const std::wstring list = fso.Get_DirList(GetUserProf(ask), recurse);
    UserProfileList = list.empty() ? std::vector<std::wstring>() : platform::Split(list, L";");
  } catch (const std::bad_alloc&) {
    UserProfileList.clear();
  }
}

bool IsNewProfileLayout() {
  const std::wstring& d = SystemDriveCache;
  auto dir = [](const std::wstring& path) { return CommonModule::DoesDirExist(path); };
  return dir(d + L"\\Users") && dir(d + L"\\Users\\Default") && dir(d + L"\\Users\\Default User") &&
         dir(d + L"\\Users\\Public") && dir(d + L"\\Users\\All Users") && dir(d + L"\\ProgramData");
}

std::wstring BrowseForFolder(const std::wstring& title, const std::wstring& startFolder) {
  if (platform::IsRehearsal()) {
    platform::RecordPrompt(L"folderpicker", {title});
    return {};
  }
  // The new dialog style needs OLE on this thread; a thread that has it already keeps it.
  const HRESULT ole = OleInitialize(nullptr);
  platform::UniqueCoTaskMem<PIDLIST_ABSOLUTE> root;
  if (!startFolder.empty() && CommonModule::DoesDirExist(startFolder)) {
    // "C:" alone would name the current folder of that drive, not the drive.
    const std::wstring folder = startFolder.size() == 2 && startFolder[1] == L':' ? startFolder + L"\\" : startFolder;
    root.reset(ILCreateFromPathW(folder.c_str()));
  }
  BROWSEINFOW info = {};
  info.pidlRoot = root.get();
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  const platform::UniqueCoTaskMem<PIDLIST_ABSOLUTE> chosen(SHBrowseForFolderW(&info));
  std::wstring path;
  wchar_t buffer[MAX_PATH] = {};
  if (chosen && SHGetPathFromIDListW(chosen.get(), buffer)) path = buffer;
  if (SUCCEEDED(ole)) OleUninitialize();
  return path;
}

std::wstring TrimNull(const std::wstring& text) {
  size_t nul = text.find(L'\0');
  return nul == std::wstring::npos ? text : text.substr(0, nul);
}

}  // namespace CommonModule2
