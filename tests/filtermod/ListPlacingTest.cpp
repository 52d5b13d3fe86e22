// The elevated writers' side of the list index, in process on a data folder in a scratch folder:
// each placement of lists brings the index generation that stands for them, a list held open by
// another program neither stops a placement that may pass it nor loses its new content, and the
// index is renewed only when lists were written by hand.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/DataFolder.h"
#include "common/HashListIndex.h"
#include "common/HashListIndexFile.h"
#include "common/HashListPlacing.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "tests/common/CommonTestHelpers.h"
#include "tests/support/ProductState.h"
#include "tests/support/StandardUserAccess.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;
using HashListIndex::List;

namespace {

const std::string kMd5A = "0CC175B9C0F1B6A831C399E269772661";
const std::string kMd5B = "92EB5FFEE6AE2FEC3AD71C777531578F";
const std::string kShaA = "CA978112CA1BBDCAFAC231B39A23DC4DA786EFF8147C4E72B9807785AFEE48BB";
const std::string kShaB = "3E23E8160039594A33894F6564E1B1348BBD7A0088D42C4ACB73EEAED59C009D";

std::string Version(int version) {
  return std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=" + std::to_string(version) + "\r\n";
}

platform::UniqueFileHandle HoldUnshared(const std::wstring& path) {
  return platform::UniqueFileHandle(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

class ListPlacing : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Set(L"ILATCH_RIGHTS_LOG", (dir_ / L"rights.log").c_str());
    ASSERT_TRUE(CreateDirectoryW((dir_ / L"root").c_str(), nullptr) && CreateDirectoryW((dir_ / L"src").c_str(), nullptr));
    RegDeleteValueQuiet(HKEY_LOCAL_MACHINE, kSettingsKey, kListIndexValue);
    ASSERT_TRUE(DataFolder::Secure(Data()));
  }
  void TearDown() override { RegDeleteValueQuiet(HKEY_LOCAL_MACHINE, kSettingsKey, kListIndexValue); }

  std::wstring Data() const { return dir_ / (std::wstring(L"root") + kProductFolder); }
  std::wstring In(const std::wstring& name) const { return Data() + L"\\" + name; }
  std::wstring IndexFile(unsigned long generation) const { return In(ListIndexName(generation)); }
  // A source to place, written in a folder of its own.
  DataFolder::Placement Source(const std::wstring& name, const std::string& content) {
    const std::wstring source = dir_ / (L"src\\" + name + std::to_wstring(++sources_));
    EXPECT_TRUE(WriteTextFile(source, content));
    return {source, In(name)};
  }
  bool Place(const std::vector<DataFolder::Placement>& files,
             DataFolder::HeldTarget held = DataFolder::HeldTarget::FailsAll) {
    held_.clear();
    return HashListPlacing::PlaceLists(Data(), files, held, held_);
  }
  // The current generation, opened as the filter module opens it.
  bool OpenCurrent(HashListIndex::MappedIndex& index) const {
    const unsigned long generation = CurrentListIndex();
    return generation && index.Open(IndexFile(generation), HashListIndex::Owner::System) == HashListIndex::Opened::Usable;
  }
  static bool Holds(const HashListIndex::MappedIndex& index, List list, const std::string& digest) {
    std::vector<uint8_t> bytes(digest.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(std::stoul(digest.substr(2 * i, 2), nullptr, 16));
    return index.Index().DigestsOf(list).Holds(bytes.data());
  }
  // Every list's recorded stamp is the one the file has now.
  void ExpectStandsForTheLists(const HashListIndex::MappedIndex& index) const {
    for (const List list : HashListIndex::kLists) {
      SCOPED_TRACE(platform::ToUtf8(kHashLists[HashListIndex::IndexOf(list)]));
      HashListIndex::Stamp now;
      ASSERT_TRUE(HashListIndex::ReadStamp(In(kHashLists[HashListIndex::IndexOf(list)]), now));
      EXPECT_TRUE(index.Index().StampOf(list) == now);
    }
  }

  ScratchDir dir_;
  commontest::EnvironmentGuard env_;
  std::vector<std::wstring> held_;
  int sources_ = 0;
};

TEST_F(ListPlacing, EachPlacementBringsTheGenerationThatStandsForTheLists) {
  // A user list written by hand: read from its text into the index.
  ASSERT_TRUE(WriteTextFile(In(L"UserExecFilter.sha256"), "; mine\r\n" + kShaB + "\r\n"));
  ASSERT_TRUE(Place({Source(L"ExecFilter.md5", kMd5A + "\r\n"), Source(kDefinitionsVersionFile, Version(105))}));
  const unsigned long first = CurrentListIndex();
  ASSERT_NE(first, 0u);
  {
    HashListIndex::MappedIndex index;
    ASSERT_TRUE(OpenCurrent(index));
    ExpectStandsForTheLists(index);
    EXPECT_TRUE(Holds(index, List::DefinitionsMd5, kMd5A));
    EXPECT_TRUE(Holds(index, List::UserSha256, kShaB));
    EXPECT_EQ(index.Index().DefinitionsVersion(), 105);
    EXPECT_EQ(index.Index().Generation(), first);
  }
  const auto user = TestToken(true);
  ASSERT_TRUE(user);
  const std::wstring rights = RecordedRights(dir_ / L"rights.log")[platform::Lower(IndexFile(first))];
  EXPECT_TRUE(AccessGranted(user.get(), rights, FILE_GENERIC_READ)) << platform::ToUtf8(rights);
  EXPECT_FALSE(AccessGranted(user.get(), rights, FILE_WRITE_DATA));
  EXPECT_FALSE(AccessGranted(user.get(), rights, DELETE));

  // The next placement: a new generation, and the older one gone.
  ASSERT_TRUE(Place({Source(L"ExecFilter.md5", kMd5B + "\r\n")}));
  const unsigned long second = CurrentListIndex();
  EXPECT_GT(second, first);
  EXPECT_FALSE(FileExists(IndexFile(first)));
  {
    HashListIndex::MappedIndex index;
    ASSERT_TRUE(OpenCurrent(index));
    EXPECT_TRUE(Holds(index, List::DefinitionsMd5, kMd5B));
    EXPECT_FALSE(Holds(index, List::DefinitionsMd5, kMd5A));
    EXPECT_TRUE(Holds(index, List::UserSha256, kShaB)) << "a list the placement did not touch is kept";
    EXPECT_EQ(index.Index().DefinitionsVersion(), 105);
  }

  // A generation somebody holds open stops nothing; it stays until a later placement can delete it.
  {
    const platform::UniqueFileHandle hold = HoldUnshared(IndexFile(second));
    ASSERT_TRUE(hold);
    ASSERT_TRUE(Place({Source(L"ExecFilter.md5", kMd5A + "\r\n")}));
    EXPECT_TRUE(FileExists(IndexFile(second)));
  }
  const unsigned long third = CurrentListIndex();
  EXPECT_GT(third, second);
  ASSERT_TRUE(Place({Source(L"ExecFilter.md5", kMd5B + "\r\n")}));
  EXPECT_FALSE(FileExists(IndexFile(second)));
  EXPECT_FALSE(FileExists(IndexFile(third)));
  EXPECT_TRUE(FileExists(IndexFile(CurrentListIndex())));
}

// The definitions update's road: a list or the version file held without sharing keeps its old
// text, and the index carries what the placement brought, with the held file's stamp.
TEST_F(ListPlacing, AHeldListOrVersionFileIsLeftAndTheIndexCarriesItsNewContent) {
  ASSERT_TRUE(WriteTextFile(In(L"ExecFilter.md5"), kMd5A + "\r\n"));
  ASSERT_TRUE(WriteTextFile(In(L"ExecFilter.sha256"), kShaA + "\r\n"));
  ASSERT_TRUE(WriteTextFile(In(kDefinitionsVersionFile), Version(104)));
  const std::vector<DataFolder::Placement> files = {Source(L"ExecFilter.md5", kMd5B + "\r\n"),
                                                    Source(L"ExecFilter.sha256", kShaB + "\r\n"),
                                                    Source(kDefinitionsVersionFile, Version(105))};
  platform::UniqueFileHandle sha = HoldUnshared(In(L"ExecFilter.sha256"));
  platform::UniqueFileHandle def = HoldUnshared(In(kDefinitionsVersionFile));
  ASSERT_TRUE(sha && def);
  ASSERT_TRUE(Place(files, DataFolder::HeldTarget::LeftAsItIs));
  EXPECT_EQ(held_, (std::vector<std::wstring>{In(L"ExecFilter.sha256"), In(kDefinitionsVersionFile)}));
  EXPECT_EQ(HashListPlacing::InstalledDefinitions(Data()), 105) << "the held version file's version is the index's";
  {
    HashListIndex::MappedIndex index;
    ASSERT_TRUE(OpenCurrent(index));
    ExpectStandsForTheLists(index);
    EXPECT_TRUE(Holds(index, List::DefinitionsMd5, kMd5B));
    EXPECT_TRUE(Holds(index, List::DefinitionsSha256, kShaB));
    EXPECT_FALSE(Holds(index, List::DefinitionsSha256, kShaA));
    EXPECT_EQ(index.Index().DefinitionsVersion(), 105);
  }
  sha.reset();
  def.reset();
  EXPECT_EQ(ReadFileBytes(In(L"ExecFilter.md5")), kMd5B + "\r\n");
  EXPECT_EQ(ReadFileBytes(In(L"ExecFilter.sha256")), kShaA + "\r\n") << "the held list keeps its text";
  EXPECT_EQ(HashListPlacing::InstalledDefinitions(Data()), 104) << "released, the version file speaks again";
  // Written by hand since, then held: the index's version stands for another file.
  ASSERT_TRUE(WriteTextFile(In(kDefinitionsVersionFile), Version(103)));
  def = HoldUnshared(In(kDefinitionsVersionFile));
  EXPECT_EQ(HashListPlacing::InstalledDefinitions(Data()), std::nullopt);
  def.reset();
  for (const std::wstring& name : {std::wstring(L"ExecFilter.md5"), std::wstring(L"ExecFilter.sha256"),
                                   std::wstring(kDefinitionsVersionFile)}) {
    EXPECT_FALSE(FileExists(In(name + L".new")));
    EXPECT_FALSE(FileExists(In(name + L".old")));
  }
  // The editor's road does not pass a held list: nothing is placed, the index stays.
  const unsigned long generation = CurrentListIndex();
  sha = HoldUnshared(In(L"ExecFilter.sha256"));
  EXPECT_FALSE(Place({Source(L"ExecFilter.md5", kMd5A + "\r\n"), Source(L"ExecFilter.sha256", kShaA + "\r\n")}));
  EXPECT_EQ(ReadFileBytes(In(L"ExecFilter.md5")), kMd5B + "\r\n");
  EXPECT_EQ(CurrentListIndex(), generation);
}

TEST_F(ListPlacing, RenewingMakesANewGenerationOnlyForListsWrittenByHand) {
  ASSERT_TRUE(WriteTextFile(In(L"UserExecFilter.md5"), kMd5A + "\r\n"));
  ASSERT_TRUE(HashListPlacing::RenewIndex(Data()));
  const unsigned long first = CurrentListIndex();
  ASSERT_NE(first, 0u);
  ASSERT_TRUE(HashListPlacing::RenewIndex(Data()));
  EXPECT_EQ(CurrentListIndex(), first) << "nothing changed: the generation stands";

  struct Case {
    const char* what;
    const wchar_t* file;
    std::string content;
    List list;
    std::string digest;  // "" for the version file
  } cases[] = {
      {"a list rewritten", L"UserExecFilter.md5", kMd5B + "\r\n", List::UserMd5, kMd5B},
      {"a list written anew", L"ExecFilter.sha256", kShaA + "\r\n", List::DefinitionsSha256, kShaA},
      {"the version file written", kDefinitionsVersionFile, Version(200), List::UserMd5, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const unsigned long before = CurrentListIndex();
    ASSERT_TRUE(WriteTextFile(In(c.file), c.content));
    ASSERT_TRUE(HashListPlacing::RenewIndex(Data()));
    EXPECT_GT(CurrentListIndex(), before);
    HashListIndex::MappedIndex index;
    ASSERT_TRUE(OpenCurrent(index));
    ExpectStandsForTheLists(index);
    if (!c.digest.empty()) EXPECT_TRUE(Holds(index, c.list, c.digest));
  }
  // A list written by hand that cannot be read gives no index that would stand for it.
  const unsigned long before = CurrentListIndex();
  ASSERT_TRUE(WriteTextFile(In(L"UserExecFilter.sha256"), kShaB + "\r\n"));
  {
    const platform::UniqueFileHandle hold = HoldUnshared(In(L"UserExecFilter.sha256"));
    EXPECT_FALSE(HashListPlacing::RenewIndex(Data()));
  }
  EXPECT_EQ(CurrentListIndex(), before);
}

// What is left of an earlier placement, held open by somebody since, does not stop the next one.
TEST_F(ListPlacing, LeftoversSomebodyHoldsDoNotStopTheNextPlacement) {
  const std::wstring md5 = In(L"ExecFilter.md5");
  ASSERT_TRUE(WriteTextFile(md5, "old\r\n"));
  ASSERT_TRUE(WriteTextFile(md5 + L".new", "left by an earlier placement"));
  ASSERT_TRUE(WriteTextFile(md5 + L".old", "left by an earlier placement"));
  const platform::UniqueFileHandle staged = HoldUnshared(md5 + L".new");
  const platform::UniqueFileHandle backup = HoldUnshared(md5 + L".old");
  ASSERT_TRUE(staged && backup);
  EXPECT_TRUE(DataFolder::PlaceFiles({Source(L"ExecFilter.md5", kMd5A + "\r\n")}));
  EXPECT_EQ(ReadFileBytes(md5), kMd5A + "\r\n");
}

// What the caller does last, before the old contents are let go, can still put every target back.
TEST_F(ListPlacing, AFailureBeforeLettingGoPutsEveryTargetBack) {
  const std::wstring md5 = In(L"ExecFilter.md5"), sha = In(L"ExecFilter.sha256");
  ASSERT_TRUE(WriteTextFile(md5, "old md5\r\n") && WriteTextFile(sha, "old sha\r\n"));
  const platform::UniqueFileHandle hold = HoldUnshared(sha);
  std::vector<bool> seen;
  EXPECT_FALSE(DataFolder::PlaceFiles({Source(L"ExecFilter.md5", "new md5\r\n"), Source(L"ExecFilter.sha256", "new sha\r\n"),
                                       Source(L"UserExecFilter.md5", "new user md5\r\n")},
                                      DataFolder::HeldTarget::LeftAsItIs, [&](const std::vector<bool>& left) {
                                        seen = left;
                                        return false;
                                      }));
  EXPECT_EQ(seen, (std::vector<bool>{false, true, false}));
  EXPECT_EQ(ReadFileBytes(md5), "old md5\r\n");
  EXPECT_FALSE(FileExists(In(L"UserExecFilter.md5"))) << "a target that was new is gone again";
  for (const std::wstring& target : {md5, sha}) {
    EXPECT_FALSE(FileExists(target + L".new"));
    EXPECT_FALSE(FileExists(target + L".old"));
  }
}

}  // namespace
