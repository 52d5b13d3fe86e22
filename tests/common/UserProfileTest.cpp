// The profiles folder, the Vista-style layout test, the profile list and the folder picker. A
// scratch folder stands in for the system drive of another Windows installation.
#include <windows.h>
#include <shlobj.h>
#include <userenv.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "common/CommonModule2.h"
#include "tests/common/CommonTestHelpers.h"
#include "tests/common/RehearsalLog.h"

using commontest::DebugCapture;
using commontest::EnvironmentGuard;
using rehearsal::TakePrompts;
using testsupport::ScratchDir;

namespace {

const wchar_t* const kVistaFolders[] = {L"Users",         L"Users\\Default",   L"Users\\Default User",
                                        L"Users\\Public", L"Users\\All Users", L"ProgramData"};

class UserProfileTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rehearsal::kRehearsing);
    drive_ = dir_.Path().substr(0, dir_.Path().size() - 1);
    oldDrive_ = CommonModule2::SystemDriveCache;
    TakePrompts();
  }
  void TearDown() override { CommonModule2::SystemDriveCache = oldDrive_; }

  void MakeFolders(const std::vector<std::wstring>& folders) {
    for (const auto& folder : folders) ASSERT_TRUE(CommonModule::MakeFolder(drive_ + L"\\" + folder)) << folder;
  }
  void MakeVistaLayout() { MakeFolders({std::begin(kVistaFolders), std::end(kVistaFolders)}); }

  ScratchDir dir_;
  std::wstring drive_;  // the scratch folder standing in for another installation's drive
  std::wstring oldDrive_;
  DebugCapture log_;
};

}  // namespace

TEST_F(UserProfileTest, OnThisInstallationTheProfileApiAnswers) {
  wchar_t expected[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  ASSERT_TRUE(GetProfilesDirectoryW(expected, &size));
  CommonModule2::SystemDriveCache = platform::Upper(platform::GetEnv(L"systemdrive"));  // case does not matter
  EXPECT_EQ(CommonModule2::GetUserProf(false), expected);
  EXPECT_EQ(log_.Lines(), std::vector<std::wstring>{L"\tgetuserprof returns:  " + std::wstring(expected)});
}

TEST_F(UserProfileTest, WithoutADriveNothingIsFoundAndNobodyIsAskedUnlessWanted) {
  CommonModule2::SystemDriveCache.clear();
  EXPECT_EQ(CommonModule2::GetUserProf(false), L"");
  EXPECT_EQ(log_.Lines(), std::vector<std::wstring>{L"\tGetUserProfOld:  Win9x suspected, no code here."});
  EXPECT_TRUE(TakePrompts().empty());

  CommonModule2::SystemDriveCache = drive_;  // an empty "drive": no layout at all
  EXPECT_EQ(CommonModule2::GetUserProf(true), L"") << "the rehearsed picker is cancelled";
  auto prompts = TakePrompts();
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_EQ(prompts[0].kind, L"folderpicker");
  EXPECT_EQ(prompts[0].fields, std::vector<std::wstring>{
                                   L"Cannot find User Profile directory on " + platform::Upper(drive_) +
                                   L"  Please select the correct folder (e.g. \\Users or \\Documents and Settings)"});
}

TEST_F(UserProfileTest, TheVistaLayoutNeedsEveryFolder) {
  CommonModule2::SystemDriveCache = drive_;
  MakeVistaLayout();
  EXPECT_TRUE(CommonModule2::IsNewProfileLayout());
  EXPECT_EQ(CommonModule2::GetUserProfOld(false), drive_ + L"\\Users");

  for (const wchar_t* missing : kVistaFolders) {
    SCOPED_TRACE(missing);
    ScratchDir other;
    CommonModule2::SystemDriveCache = other.Path().substr(0, other.Path().size() - 1);
    for (const wchar_t* folder : kVistaFolders) {
      if (std::wstring(folder) != missing && !platform::StartsWith(folder, std::wstring(missing) + L"\\"))
        CommonModule::MakeFolder(CommonModule2::SystemDriveCache + L"\\" + folder);
    }
    EXPECT_FALSE(CommonModule2::IsNewProfileLayout());
  }
}

TEST_F(UserProfileTest, TheOlderLayoutIsDocumentsAndSettings) {
  CommonModule2::SystemDriveCache = drive_;
  MakeFolders({L"Documents and Settings", L"Users"});
  EXPECT_EQ(CommonModule2::GetUserProf(false), drive_ + L"\\Documents and Settings");
}

// The environment belongs to whoever started the program: a planted %SystemDrive% or %USERPROFILE%
// moves neither the profiles folder nor its fallback on the drive Windows runs from, and turns no
// other drive into that one.
TEST_F(UserProfileTest, TheEnvironmentChoosesNoProfilesFolder) {
  wchar_t windows[MAX_PATH] = {}, profiles[MAX_PATH] = {}, own[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 2u);
  ASSERT_TRUE(GetProfilesDirectoryW(profiles, &size));
  ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, own)));
  const std::wstring ownProfile = own;
  MakeVistaLayout();  // where the planted drive would lead
  EnvironmentGuard environment;
  environment.Set(L"SYSTEMDRIVE", drive_.c_str());
  environment.Set(L"USERPROFILE", (drive_ + L"\\Users\\tester").c_str());

  const std::wstring parent = ownProfile.substr(0, ownProfile.find_last_of(L'\\'));
  struct Case {
    const char* name;
    std::wstring drive, profilesFolder, fallback;
    std::vector<std::wstring> fallbackLog;
  } cases[] = {
      {"the drive Windows runs from", platform::Upper(std::wstring(windows, 2)), profiles, parent,
       {L"\tgetuserprofold returns:  " + parent}},
      {"the planted drive, as another installation's", drive_, drive_ + L"\\Users", drive_ + L"\\Users", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CommonModule2::SystemDriveCache = c.drive;
    EXPECT_EQ(CommonModule2::GetUserProf(false), c.profilesFolder);
    log_.Clear();
    EXPECT_EQ(CommonModule2::GetUserProfOld(false), c.fallback);
    EXPECT_EQ(log_.Lines(), c.fallbackLog);
  }
}

TEST_F(UserProfileTest, TheProfileListHoldsTheFoldersDirectlyUnderTheProfilesFolder) {
  CommonModule2::SystemDriveCache = drive_;
  MakeVistaLayout();
  MakeFolders({L"Users\\alice\\AppData", L"Users\\bob"});
  ASSERT_TRUE(testsupport::WriteTextFile(drive_ + L"\\Users\\notes.txt", "x"));
  CommonModule2::GetUserList(false);
  std::vector<std::wstring> list = CommonModule2::UserProfileList;
  std::sort(list.begin(), list.end());
  std::vector<std::wstring> expected;
  for (const wchar_t* name : {L"All Users", L"Default", L"Default User", L"Public", L"alice", L"bob"})
    expected.push_back(drive_ + L"\\Users\\" + name);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(list, expected);

  CommonModule2::SystemDriveCache.clear();  // no profiles folder: an empty list replaces the old one
  CommonModule2::GetUserList(false);
  EXPECT_TRUE(CommonModule2::UserProfileList.empty());
}

TEST_F(UserProfileTest, ThePickerIsOnlyRecordedWhileRehearsing) {
  EXPECT_EQ(CommonModule2::BrowseForFolder(L"Choose\tit", drive_), L"");
  auto prompts = TakePrompts();
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_EQ(prompts[0].kind, L"folderpicker");
  EXPECT_EQ(prompts[0].fields, std::vector<std::wstring>{L"Choose\tit"});
}
