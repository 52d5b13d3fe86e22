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
#include "tests/support/AccessCheck.h"

namespace {

using testsupport::Granted;
using testsupport::kFileMapping;
using testsupport::TestToken;

TEST(DataFolderRights, UsersReadTheListsAndOnlyAdministratorsAndSystemChangeThem) {
  PSECURITY_DESCRIPTOR folder = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(DataFolder::kRights, SDDL_REVISION_1, &folder,
                                                                   nullptr));
  platform::UniqueLocal folderOwned(folder);
  const auto user = TestToken(true);
  const auto admin = TestToken(false);
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
    EXPECT_EQ(Granted(user.get(), c.on, c.access, kFileMapping), c.userMay);
    EXPECT_TRUE(Granted(admin.get(), c.on, c.access, kFileMapping)) << "administrators keep full control";
  }
}

}  // namespace
