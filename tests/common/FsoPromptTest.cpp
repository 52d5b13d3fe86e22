// The replace question of the file-system class answered Yes: the old target gives way. (Answers
// are read once per program, so this case has a program of its own.)
#include <gtest/gtest.h>

#include "common/clsFSO.h"
#include "tests/common/CommonTestHelpers.h"

namespace {

testsupport::ScratchDir& PromptFolder() {
  static testsupport::ScratchDir folder;
  return folder;
}
const bool kRehearse = SetEnvironmentVariableW(L"ILATCH_PROMPT_LOG", (PromptFolder() / L"prompts.log").c_str()) &&
                       SetEnvironmentVariableW(L"ILATCH_PROMPT_ANSWERS", L"yes,yes");

}  // namespace

TEST(FsoReplaceQuestion, YesReplacesAReadOnlyTarget) {
  testsupport::ScratchDir dir;
  clsFSO fso;
  for (bool move : {false, true}) {
    SCOPED_TRACE(move ? "move" : "copy");
    ASSERT_TRUE(testsupport::WriteTextFile(dir / L"src.txt", "new"));
    ASSERT_TRUE(testsupport::WriteTextFile(dir / L"dst.txt", "old"));
    SetFileAttributesW((dir / L"dst.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(move ? fso.Move_File(dir / L"src.txt", dir / L"dst.txt")
                     : fso.Copy_File(dir / L"src.txt", dir / L"dst.txt"));
    EXPECT_EQ(testsupport::ReadFileBytes(dir / L"dst.txt"), "new");
    EXPECT_EQ(testsupport::FileExists(dir / L"src.txt"), !move);
  }
  const auto prompts = testsupport::ReadPromptLog(PromptFolder() / L"prompts.log");
  ASSERT_EQ(prompts.size(), 2u);
  for (const auto& box : prompts) {
    EXPECT_EQ(box.fields.at(0), L"Replace File?");
    EXPECT_EQ(box.fields.at(3), L"yes");
  }
  SetFileAttributesW((dir / L"dst.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}
