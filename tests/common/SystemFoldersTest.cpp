// The folders the elevated program works in, as Windows reports them. A standard user can set the
// environment of the elevated program started next, so nothing planted there may move them.
#include <windows.h>
#include <shlobj.h>
#include <userenv.h>

#include <gtest/gtest.h>

#include "platform/SystemFolder.h"
#include "platform/UserFolder.h"
#include "tests/common/CommonTestHelpers.h"

using commontest::EnvironmentGuard;
using platform::UserFolder;

namespace {

std::string U(const std::wstring& text) { return platform::ToUtf8(text); }

// Every variable that names one of these folders, planted at a folder of the user's choosing.
void PlantEverything(EnvironmentGuard& environment, const std::wstring& folder) {
  for (const wchar_t* name : {L"APPDATA", L"LOCALAPPDATA", L"USERPROFILE", L"ALLUSERSPROFILE", L"PROGRAMDATA",
                              L"SystemDrive", L"SystemRoot", L"windir", L"HOMEDRIVE", L"HOMEPATH"})
    environment.Set(name, folder.c_str());
}

}  // namespace

TEST(SystemFolders, TheUsersFoldersAreWindowsOwnWhateverTheEnvironmentSays) {
  const std::pair<UserFolder, int> folders[] = {
      {UserFolder::AppData, CSIDL_APPDATA},         {UserFolder::LocalAppData, CSIDL_LOCAL_APPDATA},
      {UserFolder::Profile, CSIDL_PROFILE},         {UserFolder::Startup, CSIDL_STARTUP},
      {UserFolder::CommonAppData, CSIDL_COMMON_APPDATA}, {UserFolder::CommonStartup, CSIDL_COMMON_STARTUP},
  };
  std::vector<std::wstring> expected;
  for (const auto& [folder, csidl] : folders) {
    wchar_t path[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)));
    expected.push_back(path);
  }
  wchar_t profiles[MAX_PATH] = {}, windows[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  ASSERT_TRUE(GetProfilesDirectoryW(profiles, &size));
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 2u);

  testsupport::ScratchDir planted;
  EnvironmentGuard environment;
  PlantEverything(environment, planted.Path() + L"x");
  for (size_t i = 0; i < std::size(folders); ++i) {
    SCOPED_TRACE(U(expected[i]));
    EXPECT_EQ(platform::UserFolderPath(folders[i].first), expected[i]);
  }
  EXPECT_EQ(platform::ProfilesFolder(), profiles);
  EXPECT_EQ(platform::SystemDrive(), std::wstring(windows, 2));
}

// What the system stores unexpanded takes only the system's own folders; any other variable
// could only come from the environment, so such a text is refused.
TEST(SystemFolders, OnlyTheSystemsOwnFoldersAreExpanded) {
  wchar_t windowsBuffer[MAX_PATH] = {};
  ASSERT_GT(GetWindowsDirectoryW(windowsBuffer, MAX_PATH), 2u);
  const std::wstring windows = windowsBuffer, drive = windows.substr(0, 2);
  testsupport::ScratchDir planted;
  EnvironmentGuard environment;
  PlantEverything(environment, planted.Path() + L"x");

  struct Case {
    std::wstring text;
    bool expands;
    std::wstring expanded;
  } cases[] = {
      {L"%SystemDrive%\\Users", true, drive + L"\\Users"},
      {L"%SYSTEMROOT%\\System32\\a.dll;%windir%\\b.dll", true, windows + L"\\System32\\a.dll;" + windows + L"\\b.dll"},
      {L"C:\\Plain\\path.dll", true, L"C:\\Plain\\path.dll"},
      {L"", true, L""},
      {L"%ProgramFiles%\\Vendor\\msg.dll", false, L""},
      {L"%USERPROFILE%", false, L""},
      {L"%SystemDrive\\Users", false, L""},  // never closed
      {L"%%\\x", false, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U(c.text));
    std::wstring expanded = L"untouched";
    EXPECT_EQ(platform::ExpandSystemPath(c.text, expanded), c.expands);
    if (c.expands) EXPECT_EQ(expanded, c.expanded);
  }
}
