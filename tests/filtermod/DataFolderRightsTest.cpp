// The rights the main program gives the data folder that holds the hash lists, put to an access
// check with a standard user's token (the test's own token with Administrators made deny-only) and
// an administrator's. A list a user could plant or edit would decide what the filter module lets
// start. Wine keeps no rights on files and does not work out inherited ones, so the rights are
// checked as the program writes them, on the folder.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <string>

#include "common/DataFolder.h"
#include "platform/Handle.h"
#include "platform/Text.h"

namespace {

// An impersonation token of this process, with Administrators deny-only for a standard user.
platform::UniqueKernelHandle Token(bool standardUser) {
  platform::UniqueKernelHandle own, restricted, impersonation;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, own.put())) return {};
  HANDLE source = own.get();
  if (standardUser) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size)) return {};
    SID_AND_ATTRIBUTES disabled = {sid, 0};
    if (!CreateRestrictedToken(own.get(), 0, 1, &disabled, 0, nullptr, 0, nullptr, restricted.put())) return {};
    source = restricted.get();
  }
  if (!DuplicateToken(source, SecurityImpersonation, impersonation.put())) return {};
  return impersonation;
}

GENERIC_MAPPING kFileMapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};

bool Granted(HANDLE token, PSECURITY_DESCRIPTOR descriptor, DWORD access) {
  PRIVILEGE_SET privileges = {};
  DWORD privilegesSize = sizeof privileges, grantedAccess = 0;
  BOOL status = FALSE;
  return AccessCheck(descriptor, token, access, &kFileMapping, &privileges, &privilegesSize, &grantedAccess, &status) &&
         status;
}

TEST(DataFolderRights, UsersReadTheListsAndOnlyAdministratorsAndSystemChangeThem) {
  PSECURITY_DESCRIPTOR folder = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(DataFolder::kRights, SDDL_REVISION_1, &folder,
                                                                   nullptr));
  platform::UniqueLocal folderOwned(folder);
  const auto user = Token(true);
  const auto admin = Token(false);
  ASSERT_TRUE(user && admin);

  struct Case {
    const wchar_t* name;
    PSECURITY_DESCRIPTOR on;
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
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.name));
    EXPECT_EQ(Granted(user.get(), c.on, c.access), c.userMay);
    EXPECT_TRUE(Granted(admin.get(), c.on, c.access)) << "administrators keep full control";
  }
}

}  // namespace
