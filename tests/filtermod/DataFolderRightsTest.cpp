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
#include "tests/support/UnixLink.h"

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

// What the tables of facts below are made of.
namespace facts {
const DWORD folder = FILE_ATTRIBUTE_DIRECTORY;
const DWORD file = FILE_ATTRIBUTE_ARCHIVE;
const DWORD link = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
const std::wstring admins = L"S-1-5-32-544", user = L"S-1-5-21-1004336348-1177238915-682003330-1001";
// What the main program gives: Administrators and SYSTEM full control, Users read.
const std::wstring given = L"D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
const std::wstring listRights = L"D:AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;0x1200a9;;;BU)";
}  // namespace facts

// The decision on one part of the data folder's path, from the facts read through its handle.
TEST(DataFolderCheck, OnlyWhatTheSystemOwnsAndNoOtherAccountMayChangeIsUsed) {
  using namespace facts;
  using DataFolder::Verdict;
  struct Case {
    const char* what;
    DataFolder::Facts facts;
    bool wantFolder;
    Verdict verdict;
  } cases[] = {
      {"a proper folder", {folder, admins, given}, true, Verdict::Proper},
      {"a folder of SYSTEM", {folder, L"S-1-5-18", given}, true, Verdict::Proper},
      {"a junction owned by Administrators", {link, admins, given}, true, Verdict::Foreign},
      {"a symbolic link to a folder", {link | FILE_ATTRIBUTE_ARCHIVE, L"S-1-5-18", given}, true, Verdict::Foreign},
      {"a link the system followed all the same", {folder, admins, given, 1, true}, true, Verdict::Foreign},
      {"a folder owned by a standard user", {folder, user, given}, true, Verdict::Foreign},
      {"a folder owned by Users", {folder, L"S-1-5-32-545", given}, true, Verdict::Foreign},
      {"a folder whose owner cannot be read", {folder, L"", given}, true, Verdict::Foreign},
      {"a folder whose rights cannot be read", {folder, admins, L""}, true, Verdict::Foreign},
      {"a file in the folder's place", {file, admins, listRights}, true, Verdict::Foreign},
      // What lets a standard user plant something in the folder, or take it over.
      {"an earlier release's folder, with ProgramData's rights handed down (Users add files and folders)",
       {folder, admins, L"D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIIOID;GA;;;CO)(A;OICIID;0x1200a9;;;BU)(A;CIID;0x116;;;BU)"},
       true, Verdict::Loose},
      {"Users may add folders only", {folder, admins, given + L"(A;;0x4;;;BU)"}, true, Verdict::Loose},
      {"Everyone full control", {folder, admins, given + L"(A;OICI;FA;;;WD)"}, true, Verdict::Loose},
      {"Authenticated Users may modify", {folder, admins, given + L"(A;OICI;0x1301bf;;;AU)"}, true, Verdict::Loose},
      {"Interactive may change the rights", {folder, admins, given + L"(A;;WD;;;IU)"}, true, Verdict::Loose},
      {"Users may take it over", {folder, admins, given + L"(A;;WO;;;BU)"}, true, Verdict::Loose},
      {"Users may delete what is in it", {folder, admins, given + L"(A;;0x40;;;BU)"}, true, Verdict::Loose},
      {"Users get generic write", {folder, admins, given + L"(A;;GW;;;BU)"}, true, Verdict::Loose},
      {"one standard user may add files", {folder, admins, given + L"(A;;0x2;;;" + user + L")"}, true, Verdict::Loose},
      {"no rights at all: everyone may do everything", {folder, admins, L"D:NO_ACCESS_CONTROL"}, true, Verdict::Loose},
      {"Wine's view of a Unix folder every account may write",
       {folder, admins, L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301ff;;;WD)"}, true, Verdict::Loose},
      // Entries that only pass to what is made inside, or that take away, leave it proper.
      {"Users' full control only for what is made inside", {folder, admins, given + L"(A;OICIIO;FA;;;BU)"}, true,
       Verdict::Proper},
      {"the creator's full control only for what is made inside", {folder, admins, given + L"(A;OICIIO;GA;;;CO)"}, true,
       Verdict::Proper},
      {"Everyone denied writing", {folder, admins, L"D:(D;;0x116;;;WD)" + given.substr(5)}, true, Verdict::Proper},
      // The entries inside the folder.
      {"a proper list", {file, admins, listRights}, false, Verdict::Proper},
      {"a symbolic link in a list's place", {FILE_ATTRIBUTE_REPARSE_POINT, admins, listRights}, false, Verdict::Foreign},
      {"a Unix link in a list's place, followed all the same", {file, admins, listRights, 1, true}, false,
       Verdict::Foreign},
      {"a hard link in a list's place", {file, admins, listRights, 2}, false, Verdict::Foreign},
      {"a folder in a list's place", {folder, admins, given}, false, Verdict::Foreign},
      {"a version file a standard user planted", {file, user, L"D:(A;;FA;;;" + user + L")"}, false, Verdict::Foreign},
      {"a list Users may write", {file, admins, listRights + L"(A;;FA;;;BU)"}, false, Verdict::Loose},
  };
  EnvironmentGuard env;
  env.Set(L"ILATCH_TRUSTED_OWNER", nullptr);  // only the system's accounts
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::wstring reason;
    EXPECT_EQ(DataFolder::Judge(c.facts, c.wantFolder, reason), c.verdict);
    EXPECT_EQ(reason.empty(), c.verdict == Verdict::Proper) << platform::ToUtf8(reason);
  }
}

// How the uninstall takes apart what it reaches, from the same facts: nothing is followed, and
// nothing of someone else's is entered.
TEST(DataFolderCheck, TheUninstallFollowsNoLinkAndEntersNoFolderOfSomeoneElse) {
  using namespace facts;
  using DataFolder::Removal;
  struct Case {
    const char* what;
    DataFolder::Facts facts;
    bool dataFolder;
    Removal removal;
  } cases[] = {
      {"the data folder", {folder, admins, given}, true, Removal::Tree},
      {"an earlier release's data folder any user could add to", {folder, admins, given + L"(A;;0x6;;;BU)"}, true,
       Removal::Tree},
      {"a junction in the data folder's place", {link, admins, given}, true, Removal::Link},
      {"a Unix link in the data folder's place", {folder, admins, given, 1, true}, true, Removal::Keep},
      {"a data folder a standard user made", {folder, user, given}, true, Removal::Keep},
      {"a file in the data folder's place", {file, admins, given}, true, Removal::Keep},
      {"a list inside", {file, admins, given}, false, Removal::Name},
      {"a file a user planted inside", {file, user, given}, false, Removal::Name},
      {"a hard link inside: only its name goes", {file, admins, given, 2}, false, Removal::Name},
      {"a folder inside", {folder, user, given}, false, Removal::Tree},
      {"a junction inside", {link, user, given}, false, Removal::Link},
      {"a symbolic link to a file inside", {FILE_ATTRIBUTE_REPARSE_POINT, user, given}, false, Removal::Link},
      {"a Unix link to a folder inside", {folder, admins, given, 1, true}, false, Removal::Keep},
      {"a Unix link to a file inside", {file, admins, given, 1, true}, false, Removal::Keep},
  };
  EnvironmentGuard env;
  env.Set(L"ILATCH_TRUSTED_OWNER", nullptr);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DataFolder::HowToRemove(c.facts, c.dataFolder), c.removal);
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
  // The paths in or below folder that were given rights.
  std::vector<std::wstring> RecordedUnder(const std::wstring& folder) const {
    std::vector<std::wstring> paths;
    for (const auto& [path, rights] : RecordedRights(dir_ / L"rights.log"))
      if (path == platform::Lower(folder) || platform::StartsWith(path, platform::Lower(folder) + L"\\"))
        paths.push_back(path);
    return paths;
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

// What a user planted in a folder of the system's (made before its rights were mended) keeps no
// place and gets no rights: a hard link named like a list would hand the administrators' rights
// to a file elsewhere, and a folder named like a list would stay the user's. A second run leaves
// what the first set aside as it is.
TEST_F(DataFolderSecure, WhatAUserPlantedIsSetAsideAndGivenNoRights) {
  ASSERT_TRUE(CreateDirectoryW(Maker().c_str(), nullptr) && CreateDirectoryW(Data().c_str(), nullptr));
  const std::wstring outside = dir_ / L"outside.txt", list = Data() + L"\\UserExecFilter.md5";
  ASSERT_TRUE(WriteTextFile(outside, "a user's file elsewhere\r\n"));
  ASSERT_TRUE(WriteTextFile(list, "; the administrator's list\r\n"));
  ASSERT_TRUE(CreateHardLinkW((Data() + L"\\ExecFilter.md5").c_str(), outside.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((Data() + L"\\ExecFilter.sha256").c_str(), nullptr));
  ASSERT_TRUE(WriteTextFile(Data() + L"\\ExecFilter.sha256\\inside.txt", "planted"));
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    ASSERT_TRUE(DataFolder::Secure(Data()));
    EXPECT_EQ(ReadFileBytes(list), "; the administrator's list\r\n");
    EXPECT_EQ(RecordedUnder(Data()), (std::vector<std::wstring>{platform::Lower(Data()), platform::Lower(list)}))
        << "rights given to something planted";
    for (const wchar_t* planted : {L"\\ExecFilter.md5", L"\\ExecFilter.sha256"}) {
      SCOPED_TRACE(platform::ToUtf8(planted));
      EXPECT_EQ(GetFileAttributesW((Data() + planted).c_str()), INVALID_FILE_ATTRIBUTES) << "still in its place";
      EXPECT_EQ(SetAside(Data() + planted).size(), 1u);
    }
    EXPECT_EQ(ReadFileBytes(outside), "a user's file elsewhere\r\n");
    EXPECT_TRUE(SetAside(Data()).empty());
  }
}

// A folder whose rights let users create files (an earlier release's, under ProgramData's rights,
// or one an administrator loosened) could hold anything: it goes aside whole, the version file
// with it, so that the next update fetches the definitions again. Of the administrator's own
// lists, one that passes the file check comes along; a hard link in the other's place stays
// behind. The maker's folder, loosened too, keeps its place and what else lies in it.
TEST_F(DataFolderSecure, AFolderUsersCouldWriteGoesAsideWholeAndOnlyCheckedListsComeAlong) {
  ASSERT_TRUE(CreateDirectoryW(Maker().c_str(), nullptr) && CreateDirectoryW(Data().c_str(), nullptr));
  const std::wstring sibling = Maker() + L"\\Another program";
  ASSERT_TRUE(CreateDirectoryW(sibling.c_str(), nullptr));
  const std::wstring outside = dir_ / L"outside.txt";
  const std::string plantedVersion = std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=32000\r\n";
  ASSERT_TRUE(WriteTextFile(outside, "a user's file elsewhere\r\n"));
  ASSERT_TRUE(WriteTextFile(Data() + L"\\" + kDefinitionsVersionFile, plantedVersion));
  ASSERT_TRUE(WriteTextFile(Data() + L"\\UserExecFilter.md5", "; the administrator's list\r\n"));
  ASSERT_TRUE(CreateHardLinkW((Data() + L"\\UserExecFilter.sha256").c_str(), outside.c_str(), nullptr));
  ASSERT_TRUE(CreateHardLinkW((Data() + L"\\ExecFilter.md5").c_str(), outside.c_str(), nullptr));
  ASSERT_TRUE(LetEveryoneChange(Data()) && LetEveryoneChange(Maker()));

  ASSERT_TRUE(DataFolder::Secure(Data()));
  const auto aside = SetAside(Data());
  ASSERT_EQ(aside.size(), 1u) << "the folder users could write was kept";
  ExpectFreshFolders();
  EXPECT_TRUE(SetAside(Maker()).empty());
  EXPECT_TRUE(FolderExists(sibling));
  const std::wstring carried = Data() + L"\\UserExecFilter.md5";
  EXPECT_EQ(ReadFileBytes(carried), "; the administrator's list\r\n");
  EXPECT_EQ(Recorded(carried), DataFolder::kFileRights);
  EXPECT_EQ(RecordedUnder(Data()), (std::vector<std::wstring>{platform::Lower(Data()), platform::Lower(carried)}));
  for (const wchar_t* name : {kDefinitionsVersionFile, L"UserExecFilter.sha256", L"ExecFilter.md5"}) {
    SCOPED_TRACE(platform::ToUtf8(name));
    EXPECT_FALSE(FileExists(Data() + L"\\" + name)) << "came along into the new folder";
    EXPECT_TRUE(FileExists(aside[0] + L"\\" + name)) << "not left in the folder set aside";
  }
  EXPECT_EQ(ReadFileBytes(aside[0] + L"\\" + kDefinitionsVersionFile), plantedVersion);
  EXPECT_TRUE(RecordedUnder(aside[0]).empty()) << "rights given in the folder set aside";
  EXPECT_EQ(ReadFileBytes(outside), "a user's file elsewhere\r\n");
}

// Wine follows a Unix symbolic link even when told not to, and shows no reparse point: the handle
// leads elsewhere. Renamed by its path it would move what it points to, so the folder that holds
// it goes aside whole; the administrator's list comes along, the file elsewhere gets no rights.
TEST_F(DataFolderSecure, ALinkTheSystemFollowsTakesTheFolderAsideWhole) {
  ASSERT_TRUE(CreateDirectoryW(Maker().c_str(), nullptr) && CreateDirectoryW(Data().c_str(), nullptr));
  const std::wstring outside = dir_ / L"outside.txt", planted = Data() + L"\\ExecFilter.md5";
  ASSERT_TRUE(WriteTextFile(outside, "a user's file elsewhere\r\n"));
  ASSERT_TRUE(WriteTextFile(Data() + L"\\UserExecFilter.md5", "; the administrator's list\r\n"));
  UnixLink link(outside, planted);
  if (!link.Made()) GTEST_SKIP() << "no Unix link could be made (not Wine?)";

  ASSERT_TRUE(DataFolder::Secure(Data()));
  const auto aside = SetAside(Data());
  ASSERT_EQ(aside.size(), 1u);
  link.MovedTo(aside[0] + L"\\ExecFilter.md5");
  EXPECT_EQ(GetFileAttributesW(planted.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(ReadFileBytes(Data() + L"\\UserExecFilter.md5"), "; the administrator's list\r\n");
  EXPECT_EQ(RecordedUnder(Data()),
            (std::vector<std::wstring>{platform::Lower(Data()), platform::Lower(Data() + L"\\UserExecFilter.md5")}));
  EXPECT_EQ(ReadFileBytes(outside), "a user's file elsewhere\r\n");
}

// Such a link in the maker's folder's place is not used, not renamed (which would move the folder
// it leads to) and given no rights: the data folder cannot be secured.
TEST_F(DataFolderSecure, AMakersFolderThatLeadsElsewhereIsNotUsed) {
  const std::wstring elsewhere = dir_ / L"elsewhere";
  ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
  ASSERT_TRUE(WriteTextFile(elsewhere + L"\\keep.txt", "a user's file"));
  UnixLink link(elsewhere, Maker());
  if (!link.Made()) GTEST_SKIP() << "no Unix link could be made (not Wine?)";
  EXPECT_FALSE(DataFolder::Secure(Data()));
  EXPECT_TRUE(RecordedRights(dir_ / L"rights.log").empty());
  EXPECT_FALSE(FolderExists(elsewhere + L"\\" + kProductName)) << "a data folder made where the link leads";
  EXPECT_EQ(ReadFileBytes(elsewhere + L"\\keep.txt"), "a user's file");
  EXPECT_TRUE(SetAside(Maker()).empty());
}

// The filter module reads the lists only from a folder that passes the same check.
TEST_F(DataFolderSecure, TheListsAreReadOnlyFromAFolderNoOtherAccountMayChange) {
  const std::wstring proper = dir_ / L"proper", loose = dir_ / L"loose", elsewhere = dir_ / L"elsewhere";
  ASSERT_TRUE(CreateDirectoryW(proper.c_str(), nullptr) && CreateDirectoryW(loose.c_str(), nullptr));
  ASSERT_TRUE(LetEveryoneChange(loose));
  UnixLink link(proper, elsewhere);
  struct Case {
    const char* what;
    std::wstring path;
    DataFolder::Presence presence;
  } cases[] = {
      {"a proper folder", proper, DataFolder::Presence::Proper},
      {"a folder every account may change", loose, DataFolder::Presence::Foreign},
      {"a Unix link to a proper folder", elsewhere, DataFolder::Presence::Foreign},
      {"nothing there", dir_ / L"missing", DataFolder::Presence::Missing},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.path == elsewhere && !link.Made()) continue;  // not Wine
    std::wstring reason;
    EXPECT_EQ(DataFolder::CheckForReader(c.path, reason), c.presence) << platform::ToUtf8(reason);
  }
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
