// The data folder that holds the hash lists: the rights the main program gives it and the files
// in it, put to an access check with a standard user's token and an administrator's, and the
// check that refuses a folder some user planted. A list a user could plant or edit would decide
// what the filter module lets start. Wine keeps no rights on files and creates neither junctions
// nor symbolic links, so the rights are checked as the program writes them, and the check is
// tested against the facts it reads where Wine cannot produce them.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <string>

#include "common/DataFolder.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "tests/common/CommonTestHelpers.h"
#include "tests/support/ProductState.h"
#include "tests/support/StandardUserAccess.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;
using commontest::EnvironmentGuard;

namespace {

TEST(DataFolderRights, UsersReadTheListsAndOnlyAdministratorsAndSystemChangeThem) {
  const auto user = TestToken(true);
  const auto admin = TestToken(false);
  ASSERT_TRUE(user && admin);
  const std::wstring folder = DataFolder::kRights, file = DataFolder::kFileRights;

  struct Case {
    const wchar_t* name;
    const std::wstring& on;
    DWORD access;
    bool userMay;
  } cases[] = {
      {L"list the folder and read in it", folder, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES, true},
      {L"create a list", folder, FILE_ADD_FILE, false},
      {L"create a subfolder", folder, FILE_ADD_SUBDIRECTORY, false},
      {L"delete or rename a list", folder, FILE_DELETE_CHILD, false},
      {L"change the folder's rights", folder, WRITE_DAC, false},
      {L"take the folder over", folder, WRITE_OWNER, false},
      {L"delete the folder", folder, DELETE, false},
      {L"read a placed list", file, FILE_GENERIC_READ, true},
      {L"write a placed list", file, FILE_WRITE_DATA, false},
      {L"append to a placed list", file, FILE_APPEND_DATA, false},
      {L"delete a placed list", file, DELETE, false},
      {L"change a placed list's rights", file, WRITE_DAC, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.name));
    EXPECT_EQ(AccessGranted(user.get(), c.on, c.access), c.userMay);
    EXPECT_TRUE(AccessGranted(admin.get(), c.on, c.access)) << "administrators keep full control";
  }
}

// What a file inside inherits is what the folder hands down to files, nothing more.
TEST(DataFolderRights, TheFileRightsAreWhatTheFolderHandsDown) {
  PSECURITY_DESCRIPTOR folder = nullptr, file = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(DataFolder::kRights, SDDL_REVISION_1, &folder, nullptr));
  platform::UniqueLocal folderOwned(folder);
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(DataFolder::kFileRights, SDDL_REVISION_1, &file, nullptr));
  platform::UniqueLocal fileOwned(file);
  BOOL present = FALSE, defaulted = FALSE;
  PACL folderAcl = nullptr, fileAcl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(folder, &present, &folderAcl, &defaulted) && present);
  ASSERT_TRUE(GetSecurityDescriptorDacl(file, &present, &fileAcl, &defaulted) && present);
  ASSERT_EQ(fileAcl->AceCount, folderAcl->AceCount);
  for (DWORD i = 0; i < fileAcl->AceCount; ++i) {
    SCOPED_TRACE(i);
    ACCESS_ALLOWED_ACE *given = nullptr, *handed = nullptr;
    ASSERT_TRUE(GetAce(fileAcl, i, reinterpret_cast<void**>(&given)) && GetAce(folderAcl, i, reinterpret_cast<void**>(&handed)));
    ASSERT_TRUE(handed->Header.AceFlags & OBJECT_INHERIT_ACE);
    EXPECT_EQ(given->Header.AceFlags, INHERITED_ACE);
    EXPECT_EQ(given->Mask, handed->Mask);
    EXPECT_TRUE(EqualSid(&given->SidStart, &handed->SidStart));
  }
}

// The decision on one part of the data folder's path, from the facts read through its handle.
TEST(DataFolderCheck, OnlyAFolderOfAdministratorsOrSystemThatIsNoReparsePointIsUsed) {
  const DWORD folder = FILE_ATTRIBUTE_DIRECTORY;
  const DWORD link = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  struct Case {
    const char* what;
    DataFolder::Facts facts;
    bool wantFolder;
    DataFolder::Verdict verdict;
  } cases[] = {
      {"a proper folder", {folder, L"S-1-5-32-544"}, true, DataFolder::Verdict::Proper},
      {"a folder of SYSTEM", {folder, L"S-1-5-18"}, true, DataFolder::Verdict::Proper},
      {"a junction owned by Administrators", {link, L"S-1-5-32-544"}, true, DataFolder::Verdict::Foreign},
      {"a symbolic link to a folder", {link | FILE_ATTRIBUTE_ARCHIVE, L"S-1-5-18"}, true, DataFolder::Verdict::Foreign},
      {"a folder owned by a standard user", {folder, L"S-1-5-21-1004336348-1177238915-682003330-1001"}, true,
       DataFolder::Verdict::Foreign},
      {"a folder owned by Users", {folder, L"S-1-5-32-545"}, true, DataFolder::Verdict::Foreign},
      {"a folder whose owner cannot be read", {folder, L""}, true, DataFolder::Verdict::Foreign},
      {"a file in the folder's place", {FILE_ATTRIBUTE_ARCHIVE, L"S-1-5-32-544"}, true, DataFolder::Verdict::Foreign},
      {"a proper list", {FILE_ATTRIBUTE_ARCHIVE, L"S-1-5-32-544"}, false, DataFolder::Verdict::Proper},
      {"a symbolic link in a list's place", {FILE_ATTRIBUTE_REPARSE_POINT, L"S-1-5-32-544"}, false,
       DataFolder::Verdict::Foreign},
  };
  EnvironmentGuard env;
  env.Set(L"ILATCH_TRUSTED_OWNER", nullptr);  // only the system's accounts
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::wstring reason;
    EXPECT_EQ(DataFolder::Judge(c.facts, c.wantFolder, reason), c.verdict);
    EXPECT_EQ(reason.empty(), c.verdict == DataFolder::Verdict::Proper) << platform::ToUtf8(reason);
  }
}

// The check and the setting aside on real folders of the scratch prefix. Wine reports its one
// account as every file's owner: the tests trust it (ILATCH_TRUSTED_OWNER), and here they take it
// for a standard user by naming another account instead.
class DataFolderSecure : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Set(L"ILATCH_RIGHTS_LOG", (dir_ / L"rights.log").c_str());
    ASSERT_TRUE(CreateDirectoryW((dir_ / L"root").c_str(), nullptr));
  }
  std::wstring Maker() const { return dir_ / (std::wstring(L"root\\") + kMakerName); }
  std::wstring Data() const { return Maker() + L"\\" + kProductName; }
  // The names beside path that it was set aside under.
  std::vector<std::wstring> SetAside(const std::wstring& path) const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found = {};
    platform::UniqueFindHandle search(FindFirstFileW((path + L" (set aside *").c_str(), &found));
    if (search) {
      do names.push_back(path.substr(0, path.rfind(L'\\') + 1) + found.cFileName);
      while (FindNextFileW(search.get(), &found));
    }
    return names;
  }
  std::wstring Recorded(const std::wstring& path) const {
    return RecordedRights(dir_ / L"rights.log")[platform::Lower(path)];
  }
  void ExpectFreshFolders() const {
    EXPECT_TRUE(FolderExists(Data()));
    EXPECT_EQ(Recorded(Maker()), DataFolder::kRights);
    EXPECT_EQ(Recorded(Data()), DataFolder::kRights);
  }

  ScratchDir dir_;
  EnvironmentGuard env_;
};

TEST_F(DataFolderSecure, AProperFolderIsKeptAndItsListsGetTheInheritedRights) {
  ASSERT_TRUE(CreateDirectoryW(Maker().c_str(), nullptr) && CreateDirectoryW(Data().c_str(), nullptr));
  ASSERT_TRUE(WriteTextFile(Data() + L"\\ExecFilter.md5", "0123456789ABCDEF0123456789ABCDEF\r\n"));
  ASSERT_TRUE(DataFolder::Secure(Data()));
  ExpectFreshFolders();
  EXPECT_EQ(ReadFileBytes(Data() + L"\\ExecFilter.md5"), "0123456789ABCDEF0123456789ABCDEF\r\n");
  EXPECT_EQ(Recorded(Data() + L"\\ExecFilter.md5"), DataFolder::kFileRights);
  EXPECT_TRUE(SetAside(Maker()).empty());
  EXPECT_TRUE(SetAside(Data()).empty());
}

TEST_F(DataFolderSecure, AFolderAUserOwnsIsSetAsideWithTheDateAndMadeAfresh) {
  ASSERT_TRUE(CreateDirectoryW(Maker().c_str(), nullptr) && CreateDirectoryW(Data().c_str(), nullptr));
  ASSERT_TRUE(WriteTextFile(Data() + L"\\ExecFilter.md5", "; a user's own list\r\n"));
  env_.Set(L"ILATCH_TRUSTED_OWNER", L"S-1-0-0");  // Wine's account is a standard user here
  ASSERT_TRUE(DataFolder::Secure(Data()));
  ExpectFreshFolders();
  EXPECT_FALSE(FileExists(Data() + L"\\ExecFilter.md5")) << "nothing of the user's is used";
  // The maker's folder was the user's too: it went aside with the planted list in it.
  const auto aside = SetAside(Maker());
  ASSERT_EQ(aside.size(), 1u);
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  wchar_t year[8] = {};
  swprintf(year, 8, L"%04u-", now.wYear);
  EXPECT_NE(aside[0].find(std::wstring(L"(set aside ") + year), std::wstring::npos) << platform::ToUtf8(aside[0]);
  EXPECT_EQ(ReadFileBytes(aside[0] + L"\\" + kProductName + L"\\ExecFilter.md5"), "; a user's own list\r\n");
}

TEST_F(DataFolderSecure, AFileInTheFolderPlaceIsSetAside) {
  ASSERT_TRUE(CreateDirectoryW(Maker().c_str(), nullptr));
  ASSERT_TRUE(WriteTextFile(Data(), "planted"));
  ASSERT_TRUE(DataFolder::Secure(Data()));
  ExpectFreshFolders();
  const auto aside = SetAside(Data());
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(ReadFileBytes(aside[0]), "planted");
  EXPECT_TRUE(SetAside(Maker()).empty()) << "the proper maker's folder stays";
}

// Placing is all or nothing: a list another program holds unshared keeps every target as it was.
TEST_F(DataFolderSecure, PlacingFailsWholeWhenOneTargetIsHeld) {
  ASSERT_TRUE(DataFolder::Secure(Data()));
  const std::wstring md5 = Data() + L"\\ExecFilter.md5", sha = Data() + L"\\ExecFilter.sha256";
  ASSERT_TRUE(WriteTextFile(md5, "old md5\r\n") && WriteTextFile(sha, "old sha\r\n"));
  ASSERT_TRUE(WriteTextFile(dir_ / L"new.md5", "new md5\r\n") && WriteTextFile(dir_ / L"new.sha", "new sha\r\n"));
  const std::vector<DataFolder::Placement> files = {{dir_ / L"new.md5", md5}, {dir_ / L"new.sha", sha}};
  {
    platform::UniqueFileHandle held(CreateFileW(sha.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_FALSE(DataFolder::PlaceFiles(files));
  }
  EXPECT_EQ(ReadFileBytes(md5), "old md5\r\n");
  EXPECT_EQ(ReadFileBytes(sha), "old sha\r\n");
  for (const wchar_t* left : {L".new", L".old"}) {
    EXPECT_FALSE(FileExists(md5 + left));
    EXPECT_FALSE(FileExists(sha + left));
  }
  // Released, the same files go in, each with the file rights.
  ASSERT_TRUE(WriteTextFile(dir_ / L"new.md5", "new md5\r\n") && WriteTextFile(dir_ / L"new.sha", "new sha\r\n"));
  ASSERT_TRUE(DataFolder::PlaceFiles(files));
  EXPECT_EQ(ReadFileBytes(md5), "new md5\r\n");
  EXPECT_EQ(ReadFileBytes(sha), "new sha\r\n");
  EXPECT_EQ(Recorded(md5), DataFolder::kFileRights);
  EXPECT_EQ(Recorded(sha), DataFolder::kFileRights);
}

// A read-only target, which Windows refuses to replace: nothing is replaced, nothing left behind.
TEST_F(DataFolderSecure, AReadOnlyTargetFailsThePlacingWhole) {
  ASSERT_TRUE(DataFolder::Secure(Data()));
  const std::wstring md5 = Data() + L"\\ExecFilter.md5", sha = Data() + L"\\ExecFilter.sha256";
  ASSERT_TRUE(WriteTextFile(md5, "old md5\r\n") && WriteTextFile(sha, "old sha\r\n"));
  ASSERT_TRUE(SetFileAttributesW(sha.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(WriteTextFile(dir_ / L"new.md5", "new md5\r\n") && WriteTextFile(dir_ / L"new.sha", "new sha\r\n"));
  EXPECT_FALSE(DataFolder::PlaceFiles({{dir_ / L"new.md5", md5}, {dir_ / L"new.sha", sha}}));
  SetFileAttributesW(sha.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadFileBytes(md5), "old md5\r\n");
  EXPECT_EQ(ReadFileBytes(sha), "old sha\r\n");
  for (const wchar_t* left : {L".new", L".old"}) {
    EXPECT_FALSE(FileExists(md5 + left));
    EXPECT_FALSE(FileExists(sha + left));
  }
}

}  // namespace
