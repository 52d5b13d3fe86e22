// The test switches reach only programs in the folders an administrator listed for test runs
// (the test scripts list the build folder and C:\iltest). The environment belongs to whoever
// started a program: set there for a copy of the main program anywhere else, the switches change
// nothing, so its question is a real message box and no record goes to the named file.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/FileTree.h"
#include "tests/support/LiveWindow.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

const std::wstring kUnknownSwitch =
    L"The command parameter:  \"nosuchswitch\" was not recognized.  No changes made.";

// A folder that is not listed for test runs, removed with everything in it.
class UnlistedFolder {
 public:
  UnlistedFolder() {
    CreateDirectoryW(L"C:\\ilnotest", nullptr);
    path_ = L"C:\\ilnotest\\t" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount());
    CreateDirectoryW(path_.c_str(), nullptr);
    path_ += L"\\";
  }
  ~UnlistedFolder() { platform::RemoveFolderTree(path_.substr(0, path_.size() - 1)); }
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};

}  // namespace

TEST(TestSwitchGate, AProgramOutsideTheListedFoldersTakesNothingFromTheEnvironment) {
  // In a listed folder the switches work: the box is recorded and answered.
  InstalledProgram listed;
  ASSERT_TRUE(listed.Run(L"/nosuchswitch", L"ok").finished);
  const auto records = listed.Prompts();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].kind, L"box");
  EXPECT_EQ(records[0].fields.at(2), kUnknownSwitch);

  UnlistedFolder folder;
  const std::wstring exe = folder.Path() + kMainProgram;
  ASSERT_TRUE(CopyProgram(kMainProgram, exe));
  const std::wstring log = folder.Path() + L"prompts.log";
  SetEnvironmentVariableW(L"ILATCH_PROMPT_LOG", log.c_str());
  SetEnvironmentVariableW(L"ILATCH_PROMPT_ANSWERS", L"ok");
  livewindow::LiveProgram unlisted(L"\"" + exe + L"\" /nosuchswitch");
  SetEnvironmentVariableW(L"ILATCH_PROMPT_LOG", nullptr);
  SetEnvironmentVariableW(L"ILATCH_PROMPT_ANSWERS", nullptr);
  ASSERT_TRUE(unlisted.Started());
  EXPECT_EQ(unlisted.Answer(kProductName, IDOK), kUnknownSwitch) << "the question is shown for real";
  EXPECT_FALSE(FileExists(log)) << "nothing is written to the file the environment names";
}
