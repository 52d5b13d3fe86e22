// The filter module's hash decision called in process with lists of its own, given as a value:
// no list file, data folder or index plays a part.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "filtermod/HashLists.h"
#include "filtermod/HeldFile.h"
#include "filtermod/modEXEScan.h"
#include "platform/Text.h"
#include "tests/support/TestSupport.h"

namespace {

void Fill(HashListFile::Entries& entries, const std::string& text) {
  auto bytes = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(bytes.get(), text.data(), text.size());
  entries.UseText(std::move(bytes), text.size());
}

struct DecisionCase {
  const char* name;
  std::string definitionsMd5, definitionsSha256, userMd5, userSha256;
  std::wstring failure;  // the lists could not be read
  bool blocked;
  bool hashed;  // the file was opened for its digests, and is held bound
};

}  // namespace

TEST(HashDecision, ListedDigestBlocksAndAnotherDoesNot) {
  testsupport::ScratchDir dir;
  const std::wstring program = dir / L"launched.exe";
  ASSERT_TRUE(testsupport::WriteTextFile(program, "MZ a program of its own"));
  const std::string md5 = platform::ToAnsi(modEXEScan::GetFileMD5(program));
  const std::string sha = platform::ToAnsi(modEXEScan::GetFileSHA256(program));
  ASSERT_EQ(md5.size(), 32u);
  ASSERT_EQ(sha.size(), 64u);
  const std::string otherMd5(32, '0'), otherSha(64, 'F');

  const DecisionCase cases[] = {
      {"the definitions' MD5", md5 + "\r\n", "", "", "", L"", true, true},
      {"the definitions' SHA-256", "", otherSha + "\r\n" + sha + "\r\n", "", "", L"", true, true},
      {"the user's MD5, lower case", "", "", "; mine\r\n" + platform::ToAnsi(platform::Lower(platform::FromAnsi(md5))),
       "", L"", true, true},
      {"the user's SHA-256", "", "", "", sha, L"", true, true},
      {"other digests in every list", otherMd5, otherSha, otherMd5, otherSha, L"", false, true},
      {"a listed digest commented out", "; " + md5 + "\r\n" + otherMd5, "", "", "", L"", false, true},
      {"every list empty", "", "; a comment only\r\n", "", "", L"", false, false},
      {"lists that could not be read", "", "", "", "", L"hash list could not be read:  X (system error 5)", true,
       false},
  };
  for (const DecisionCase& c : cases) {
    SCOPED_TRACE(c.name);
    HashLists lists;
    Fill(lists.definitionsMd5, c.definitionsMd5);
    Fill(lists.definitionsSha256, c.definitionsSha256);
    Fill(lists.userMd5, c.userMd5);
    Fill(lists.userSha256, c.userSha256);
    lists.failure = c.failure;
    HeldFile held;
    EXPECT_EQ(modEXEScan::CheckHashRules(lists, program, program, true, held), c.blocked);
    EXPECT_EQ(!held.BoundPath().empty(), c.hashed);
  }
}
