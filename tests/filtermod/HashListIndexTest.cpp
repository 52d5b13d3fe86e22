// The list index against the text it stands for: for every way a list can be written, a digest
// is found in the index exactly when the text road finds it, and an index that is not whole is
// refused before anything is read from it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/HashListIndex.h"
#include "filtermod/HashListFile.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;
using HashListIndex::List;

namespace {

const std::string kMd5 = "0CC175B9C0F1B6A831C399E269772661";
const std::string kSha = "CA978112CA1BBDCAFAC231B39A23DC4DA786EFF8147C4E72B9807785AFEE48BB";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Many other digests of one kind, one a line, upper case, CR LF.
std::string OtherDigests(int count, size_t digits) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    char line[80];
    std::snprintf(line, sizeof line, "%032X%032X", i * 2654435761u, i);
    text.append(line + 64 - digits, digits);
    text += "\r\n";
  }
  return text;
}

struct ListCase {
  const char* what;
  List list;
  std::string text;
  std::string digest;  // upper case, as the module asks
  bool holds;
  bool empty;
};

TEST(HashListIndex, FindsADigestExactlyWhereTheTextRoadFindsIt) {
  const std::string many = OtherDigests(5000, 32);
  const ListCase cases[] = {
      {"upper case line", List::DefinitionsMd5, kMd5 + "\r\n", kMd5, true, false},
      {"lower case with blanks and tabs", List::UserMd5, "  \t" + Lower(kMd5) + " \t\r\n", kMd5, true, false},
      {"LF endings, no end at the close", List::UserSha256, "; x\n\n" + kSha, kSha, true, false},
      {"byte-order mark before the digest", List::DefinitionsSha256, "\xEF\xBB\xBF" + kSha + "\r\n", kSha, true, false},
      {"byte-order mark before a comment", List::DefinitionsMd5, "\xEF\xBB\xBF;" + kMd5 + "\r\n", kMd5, false, true},
      {"commented out", List::DefinitionsMd5, "; " + kMd5 + "\r\n;" + kMd5, kMd5, false, true},
      {"a comment after the digest", List::UserMd5, kMd5 + " ; mine\r\n", kMd5, false, false},
      {"inside a longer line", List::UserMd5, "0" + kMd5 + "\r\n" + kMd5 + "0\r\nx" + kMd5 + "\r\n", kMd5, false, false},
      {"a blank inside the digest", List::UserMd5, kMd5.substr(0, 10) + " " + kMd5.substr(10) + "\r\n", kMd5, false,
       false},
      {"a byte-order mark in the middle is text", List::UserMd5, "A\r\n\xEF\xBB\xBF" + kMd5 + "\r\n", kMd5, false,
       false},
      // The module asks an MD5 list for MD5 digests only: a longer line beginning with one is no entry for it.
      {"a SHA-256 digest in an MD5 list", List::DefinitionsMd5, kSha + "\r\n", kSha.substr(0, 32), false, false},
      {"words only: entries, but no digest", List::DefinitionsSha256, "NEW SHA 105\r\n", kSha, false, false},
      {"blank lines and comments only", List::DefinitionsSha256, "\r\n \t\r\n; none\r\n", kSha, false, true},
      {"nothing at all", List::UserSha256, "", kSha, false, true},
      {"repeated", List::UserSha256, kSha + "\r\n" + Lower(kSha) + "\r\n", kSha, true, false},
      {"first of many", List::DefinitionsMd5, kMd5 + "\r\n" + many, kMd5, true, false},
      {"last of many", List::DefinitionsMd5, many + kMd5, kMd5, true, false},
      {"among many", List::DefinitionsMd5, many.substr(0, 2000 * 34) + kMd5 + "\r\n" + many.substr(2000 * 34), kMd5,
       true, false},
      {"not among many", List::DefinitionsMd5, many, kMd5, false, false},
  };
  ScratchDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteTextFile(dir / L"list.txt", c.text));
    HashListFile::Entries text;
    ASSERT_EQ(text.Read(dir / L"list.txt", false), HashListFile::ReadResult::Read);
    EXPECT_EQ(text.Holds(c.digest), c.holds) << "the text road";
    EXPECT_EQ(text.Empty(), c.empty) << "the text road";

    HashListIndex::Contents contents;
    contents.lists[HashListIndex::IndexOf(c.list)] = HashListIndex::ParseText(c.text, c.list);
    const std::string bytes = HashListIndex::Build(contents);
    HashListIndex::View view;
    ASSERT_TRUE(view.Attach(bytes.data(), bytes.size()));
    HashListFile::Entries indexed;
    indexed.UseIndex(view.DigestsOf(c.list), view.HasEntries(c.list));
    EXPECT_EQ(indexed.Holds(c.digest), c.holds) << "the index";
    EXPECT_EQ(indexed.Empty(), c.empty) << "the index";
    // Every neighbour of the digest stays unfound: the search compares all of it.
    std::string neighbour = c.digest;
    neighbour.back() = neighbour.back() == '0' ? '1' : '0';
    EXPECT_FALSE(indexed.Holds(neighbour));
  }
}

// The four lists keep their own digests, stamps and counts in one file.
TEST(HashListIndex, KeepsEachListApart) {
  HashListIndex::Contents contents;
  contents.generation = 7;
  contents.definitionsVersion = 105;
  contents.lists[0] = HashListIndex::ParseText(kMd5 + "\r\n", List::DefinitionsMd5);
  contents.lists[1] = HashListIndex::ParseText(OtherDigests(300, 64) + kSha, List::DefinitionsSha256);
  contents.lists[3] = HashListIndex::ParseText("; only a comment\r\n", List::UserSha256);
  contents.stamps[1] = {true, 12345, 0x01D0000000000001ull};
  const std::string bytes = HashListIndex::Build(contents);
  HashListIndex::View view;
  ASSERT_TRUE(view.Attach(bytes.data(), bytes.size()));
  EXPECT_EQ(view.Generation(), 7u);
  EXPECT_EQ(view.DefinitionsVersion(), 105);
  EXPECT_EQ(view.DigestsOf(List::DefinitionsMd5).count, 1u);
  EXPECT_EQ(view.DigestsOf(List::DefinitionsSha256).count, 301u);
  EXPECT_EQ(view.DigestsOf(List::UserMd5).count, 0u);
  EXPECT_FALSE(view.HasEntries(List::UserMd5));
  EXPECT_FALSE(view.HasEntries(List::UserSha256));
  EXPECT_TRUE(view.StampOf(List::DefinitionsSha256) == (HashListIndex::Stamp{true, 12345, 0x01D0000000000001ull}));
  EXPECT_FALSE(view.StampOf(List::UserMd5).present);
  HashListFile::Entries md5, sha;
  md5.UseIndex(view.DigestsOf(List::DefinitionsMd5), view.HasEntries(List::DefinitionsMd5));
  sha.UseIndex(view.DigestsOf(List::DefinitionsSha256), view.HasEntries(List::DefinitionsSha256));
  EXPECT_TRUE(md5.Holds(kMd5));
  EXPECT_FALSE(sha.Holds(kMd5));
  EXPECT_TRUE(sha.Holds(kSha));
  contents.definitionsVersion.reset();
  const std::string unversioned = HashListIndex::Build(contents);
  ASSERT_TRUE(view.Attach(unversioned.data(), unversioned.size()));
  EXPECT_FALSE(view.DefinitionsVersion().has_value());
}

// A header that does not describe exactly the bytes that follow is no index: a binary search
// through it could read past the end or miss a listed digest.
TEST(HashListIndex, RefusesAnIndexThatIsNotWhole) {
  HashListIndex::Contents contents;
  contents.lists[0] = HashListIndex::ParseText(OtherDigests(10, 32), List::DefinitionsMd5);
  contents.lists[1] = HashListIndex::ParseText(OtherDigests(10, 64), List::DefinitionsSha256);
  const std::string whole = HashListIndex::Build(contents);
  HashListIndex::View view;
  ASSERT_TRUE(view.Attach(whole.data(), whole.size()));
  // Offsets into the header: magic 0, format 8, header size 12, version 32, the lists' entries
  // from 40, 32 bytes each: size, last write, present 16, has entries 20, count 24; the version
  // file's stamp from 168: size, last write, present 16.
  const auto patched = [&](size_t at, uint32_t value) {
    std::string bytes = whole;
    std::memcpy(&bytes[at], &value, sizeof value);
    return bytes;
  };
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"one byte short", whole.substr(0, whole.size() - 1)},
      {"one byte more", whole + "x"},
      {"the header alone", whole.substr(0, 192)},
      {"version file present neither yes nor no", patched(168 + 16, 2)},
      {"less than a header", whole.substr(0, 100)},
      {"empty", ""},
      {"another magic", patched(0, 0x58444E49)},
      {"another format", patched(8, 2)},
      {"another header size", patched(12, 200)},
      {"a count too many", patched(40 + 24, 11)},
      {"a count too few", patched(40 + 32 + 24, 9)},
      {"digests in a list without entries", patched(40 + 20, 0)},
      {"present neither yes nor no", patched(40 + 16, 2)},
      {"a version below none", patched(32 + 4, 0xFFFFFFFE)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(view.Attach(c.bytes.data(), c.bytes.size()));
  }
}

}  // namespace
