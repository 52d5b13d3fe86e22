// File, folder and INI file helpers.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/CommonModule.h"
#include "tests/common/CommonTestHelpers.h"
#include "tests/support/ProductState.h"

using namespace CommonModule;
using commontest::DebugCapture;
using testsupport::ScratchDir;

namespace {

void MakeFile(const std::wstring& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  ASSERT_TRUE(testsupport::WriteTextFile(path, "x")) << path;
  SetFileAttributesW(path.c_str(), attributes);
}

void MakeDir(const std::wstring& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << path;
  if (attributes != FILE_ATTRIBUTE_NORMAL) SetFileAttributesW(path.c_str(), attributes);
}

// Turns to the folder for the life of the object, so that relative names would be found there.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::wstring& folder) {
    wchar_t old[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, old);
    old_ = old;
    SetCurrentDirectoryW(folder.c_str());
  }
  ~CurrentFolder() { SetCurrentDirectoryW(old_.c_str()); }

 private:
  std::wstring old_;
};

}  // namespace

// ---- Existence tests ---------------------------------------------------------------------------

class PathTestsTest : public testing::Test {
 protected:
  void SetUp() override {
    MakeDir(dir_ / L"sub");
    MakeFile(dir_ / L"file.txt");
    MakeFile(dir_ / L"sub\\inner.txt");
    MakeDir(dir_ / L"odd", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    MakeFile(dir_ / L"hidden.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  }
  void TearDown() override { SetFileAttributesW((dir_ / L"odd").c_str(), FILE_ATTRIBUTE_NORMAL); }
  ScratchDir dir_;
};

TEST_F(PathTestsTest, FolderAndFileTestsAndPathKind) {
  struct Case {
    std::wstring path;
    bool dir, file;
  };
  const Case cases[] = {
      // Only a path whose second character is ":" or "\" is looked at; these all exist relative
      // to the current folder or the current drive.
      {L"sub", false, false},
      {L"file.txt", false, false},
      {L"Windows", false, false},
      {L"\\Windows", false, false},
      {L"\\iltest", false, false},
      {L".\\sub", true, false},
      {L".\\file.txt", false, true},
      {L"", false, false},
      {L"C", false, false},
      {L"C:\\", true, false},
      {L"C:\\Windows", true, false},
      {L"C:\\Windows\\", true, false},
      {dir_ / L"sub", true, false},
      {dir_ / L"sub\\", true, false},
      {dir_ / L"odd", true, false},
      {dir_ / L"file.txt", false, true},
      {dir_ / L"file.txt\\", false, false},
      {dir_ / L"hidden.txt", false, true},
      {dir_ / L"sub\\inner.txt", false, true},
      {dir_ / L"sub\\..\\file.txt", false, true},
      {dir_ / L"missing", false, false},
      {dir_ / L"missing\\", false, false},
      {dir_ / L"*.txt", false, false},
      {dir_ / L"su?", false, false},
      {dir_ / L"su*\\", false, false},
  };
  CurrentFolder inScratch(dir_.Path());
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "[" << c.path << "]");
    EXPECT_EQ(DoesDirExist(c.path), c.dir);
    EXPECT_EQ(DoesDirExistNoDebug(c.path), c.dir);
    EXPECT_EQ(DoesDirExistNo64bitCheck(c.path), c.dir);
    EXPECT_EQ(DoesFileExist(c.path), c.file);
    EXPECT_EQ(GetPathKind(c.path), c.dir ? L"dir" : c.file ? L"file" : L"neither");
  }
  EXPECT_FALSE(FsRedirDisabled);
}

TEST_F(PathTestsTest, AFileLockedByAnotherHandleIsStillAFile) {
  const std::wstring path = dir_ / L"locked.txt";
  platform::UniqueFileHandle lock(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(lock);
  EXPECT_TRUE(DoesFileExist(path));
  EXPECT_FALSE(DoesDirExist(path));
  EXPECT_EQ(GetPathKind(path), L"file");
  EXPECT_TRUE(FileExistsLongPath(path));
}

TEST_F(PathTestsTest, TheLogFlagWritesThreeLines) {
  DebugCapture log;
  DoesDirExist(dir_ / L"sub", true);
  DoesFileExist(dir_ / L"missing.txt", true);
  DoesDirExist(dir_ / L"sub", false);
  DoesFileExist(dir_ / L"file.txt", false);
  const std::vector<std::wstring> expected = {
      L"\tCommonModule\\DoesDirExist: ",    L"\t\t- Passed: " + (dir_ / L"sub"),         L"\t\t- Returns: True",
      L"\tCommonModule\\DoesFileExist: -1", L"\t\t- Passed: " + (dir_ / L"missing.txt"), L"\t\t- Returns: False"};
  EXPECT_EQ(log.Lines(), expected);
}

// Paths beyond what the short-path road takes: 116 characters, and MAX_PATH.
class LongPathTest : public testing::Test {
 protected:
  static std::wstring Long(const std::wstring& path) { return L"\\\\?\\" + path; }

  void SetUp() override {
    // Three folder levels of 90 characters put a file well beyond 260 characters.
    std::wstring folder = dir_.Path().substr(0, dir_.Path().size() - 1);
    for (wchar_t c : {L'a', L'b', L'c'}) {
      folder += L"\\" + std::wstring(90, c);
      ASSERT_TRUE(CreateDirectoryW(Long(folder).c_str(), nullptr));
      created_.push_back(folder);
    }
    deepFolder_ = folder;
    deepFile_ = folder + L"\\deep.txt";
    platform::UniqueFileHandle file(
        CreateFileW(Long(deepFile_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
  }

  void TearDown() override {
    DeleteFileW(Long(deepFile_).c_str());
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) RemoveDirectoryW(Long(*it).c_str());
  }

  // A file in the scratch folder whose full path has exactly this many characters.
  std::wstring FileOfLength(size_t length) {
    std::wstring path = dir_.Path() + L"f";
    path += std::wstring(length - path.size() - 4, L'x') + L".txt";
    MakeFile(path);
    return path;
  }

  ScratchDir dir_;
  std::vector<std::wstring> created_;
  std::wstring deepFolder_, deepFile_;
};

TEST_F(LongPathTest, FilesAndFoldersBeyondMaxPathAreFound) {
  ASSERT_GT(deepFile_.size(), 280u);
  EXPECT_TRUE(DoesFileExist(deepFile_));
  EXPECT_FALSE(DoesDirExist(deepFile_));
  EXPECT_EQ(GetPathKind(deepFile_), L"file");

  EXPECT_TRUE(DoesDirExist(deepFolder_));
  EXPECT_TRUE(DoesDirExist(deepFolder_ + L"\\"));
  EXPECT_FALSE(DoesFileExist(deepFolder_));
  EXPECT_EQ(GetPathKind(deepFolder_), L"dir");

  EXPECT_FALSE(DoesFileExist(deepFolder_ + L"\\missing.txt"));
  EXPECT_FALSE(DoesDirExist(deepFolder_ + L"\\missing"));
  EXPECT_EQ(GetPathKind(deepFolder_ + L"\\missing"), L"neither");

  // A relative path stays unlooked-at however long it is.
  CurrentFolder inScratch(dir_.Path());
  EXPECT_FALSE(DoesFileExist(deepFile_.substr(dir_.Path().size())));
}

TEST_F(LongPathTest, TheLongRoadBeginsAfter116CharactersAndLogsTheLength) {
  const std::wstring at116 = FileOfLength(116), at117 = FileOfLength(117), at200 = FileOfLength(200);
  DebugCapture log;
  EXPECT_TRUE(DoesFileExist(at116));
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_TRUE(DoesFileExist(at117));
  EXPECT_TRUE(DoesFileExist(at200));
  EXPECT_FALSE(DoesFileExist(at200 + L"x"));
  const std::vector<std::wstring> expected = {L"\t117", L"\t200", L"\t201"};
  EXPECT_EQ(log.Lines(), expected);

  // A long file held open exclusively is still a file.
  platform::UniqueFileHandle lock(CreateFileW(at200.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock);
  EXPECT_TRUE(DoesFileExist(at200));
  EXPECT_TRUE(FileExistsLongPath(at200));
}

TEST_F(LongPathTest, MakeFolderCreatesFoldersBeyondMaxPath) {
  const std::wstring folder = deepFolder_ + L"\\new\\newer";
  EXPECT_TRUE(MakeFolder(folder));
  EXPECT_TRUE(DoesDirExist(folder));
  RemoveDirectoryW(Long(folder).c_str());
  RemoveDirectoryW(Long(deepFolder_ + L"\\new").c_str());
}

// ---- MakeFolder, IsFolderWritable --------------------------------------------------------------

TEST(MakeFolder, CreatesEveryMissingLevel) {
  ScratchDir dir;
  MakeFile(dir / L"file.txt");
  struct Case {
    std::wstring path;
    bool result;
  };
  const Case cases[] = {
      {dir / L"a\\b\\c", true}, {dir / L"a\\b\\c", true},  // already there
      {dir / L"d\\e\\", true},  {dir / L"file.txt\\sub", false}, {dir / L"file.txt", false}, {L"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "[" << c.path << "]");
    EXPECT_EQ(MakeFolder(c.path), c.result);
    EXPECT_EQ(testsupport::FolderExists(c.path), c.result);
  }
  EXPECT_FALSE(FsRedirDisabled);
}

TEST(IsFolderWritable, WritesAndRemovesAProbe) {
  ScratchDir dir;
  MakeFile(dir / L"file.txt");
  EXPECT_TRUE(IsFolderWritable(dir.Path()));
  EXPECT_TRUE(IsFolderWritable(dir.Path() + L"\\\\"));
  EXPECT_TRUE(IsFolderWritable(dir.Path().substr(0, dir.Path().size() - 1)));
  EXPECT_FALSE(testsupport::FileExists(dir / L"5203184.tmp"));
  EXPECT_FALSE(IsFolderWritable(dir / L"file.txt"));
  EXPECT_FALSE(IsFolderWritable(L"Q:\\no such drive"));
}

// ---- FileVersionNo -----------------------------------------------------------------------------

TEST(FileVersionNo, ThreePartsUnlessTheBuildWordIsUsedOrFourAreAsked) {
  const std::wstring program = testsupport::ProgramsDir() + testsupport::kMainProgram;  // 1.0.0.1
  bool fourParts = false;
  EXPECT_EQ(FileVersionNo(program, fourParts), L"1.0.1");
  EXPECT_FALSE(fourParts);
  fourParts = true;
  EXPECT_EQ(FileVersionNo(program, fourParts), L"1.0.0.1");
  EXPECT_TRUE(fourParts);

  // Words above 32767 are read as the numbers they are; a build word above 0 sets the flag.
  fourParts = false;
  EXPECT_EQ(FileVersionNo(testsupport::TestsDir() + L"commonprobe.exe", fourParts), L"7.4.40000.65535");
  EXPECT_TRUE(fourParts);
}

TEST(FileVersionNo, AFileWithoutVersionGivesEmptyText) {
  ScratchDir dir;
  MakeFile(dir / L"plain.txt");
  bool fourParts = false;
  EXPECT_EQ(FileVersionNo(dir / L"plain.txt", fourParts), L"");
  EXPECT_EQ(FileVersionNo(dir / L"missing.exe", fourParts), L"");
  EXPECT_FALSE(fourParts);
  EXPECT_FALSE(FsRedirDisabled);
}

// ---- INI files ---------------------------------------------------------------------------------

class IniTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string text = "[s]\r\nkey=value\r\nempty=\r\nspaced=a b\r\n";
    for (size_t length : {254u, 255u, 300u, 509u, 1200u}) {
      text.append("v").append(std::to_string(length)).append("=");
      text.append(length, static_cast<char>('a' + length % 26)).append("\r\n");
    }
    text += "[pairs]\r\na=1\r\nb=2\r\n[big]\r\n";
    for (int i = 0; i < 40; ++i) {
      std::wstring line = L"key" + std::to_wstring(i) + L"=" + std::wstring(20, L'z');
      text += platform::ToAnsi(line) + "\r\n";
      big_ += (i ? std::wstring(1, L'\0') : std::wstring()) + line;
    }
    ASSERT_TRUE(testsupport::WriteTextFile(ini_, text));
  }
  ScratchDir dir_;
  std::wstring ini_ = dir_ / L"test.ini";
  std::wstring big_;
};

TEST_F(IniTest, ReadIniGivesTheWholeValueOrEmptyText) {
  struct Case {
    std::wstring file, section, key, value;
  };
  const Case cases[] = {
      {ini_, L"s", L"key", L"value"},
      {ini_, L"S", L"KEY", L"value"},
      {ini_, L"s", L"spaced", L"a b"},
      {ini_, L"s", L"empty", L""},
      {ini_, L"s", L"nokey", L""},
      {ini_, L"nosection", L"key", L""},
      {dir_ / L"missing.ini", L"s", L"key", L""},
      {ini_, L"s", L"v254", std::wstring(254, L'a' + 254 % 26)},
      {ini_, L"s", L"v255", std::wstring(255, L'a' + 255 % 26)},
      {ini_, L"s", L"v300", std::wstring(300, L'a' + 300 % 26)},
      {ini_, L"s", L"v509", std::wstring(509, L'a' + 509 % 26)},
      {ini_, L"s", L"v1200", std::wstring(1200, L'a' + 1200 % 26)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "[" << c.section << "] " << c.key);
    EXPECT_EQ(ReadIni(c.file, c.section, c.key), c.value);
  }
}

TEST_F(IniTest, ReadIniSectionJoinsTheLinesWithNul) {
  EXPECT_EQ(ReadIniSection(ini_, L"pairs"), std::wstring(L"a=1\0b=2", 7));
  EXPECT_EQ(ReadIniSection(ini_, L"big"), big_);  // grows past its first buffers
  EXPECT_EQ(ReadIniSection(ini_, L"nosection"), L"");
  EXPECT_EQ(ReadIniSection(dir_ / L"missing.ini", L"pairs"), L"");
}

TEST_F(IniTest, WriteIniCreatesFileAndSection) {
  const std::wstring fresh = dir_ / L"fresh.ini";
  WriteIni(fresh, L"Config", L"Name", L"C:\\a b\\c");
  WriteIni(ini_, L"s", L"key", L"changed");
  EXPECT_EQ(ReadIni(fresh, L"Config", L"Name"), L"C:\\a b\\c");
  EXPECT_EQ(ReadIni(ini_, L"s", L"key"), L"changed");
  EXPECT_EQ(ReadIni(ini_, L"s", L"v300"), std::wstring(300, L'a' + 300 % 26));
}

// ---- FindFiles ---------------------------------------------------------------------------------

class FindFilesTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_ / L"root";
    MakeDir(root_);
    MakeFile(root_ + L"\\r.com");
    MakeFile(root_ + L"\\r.exe");
    MakeFile(root_ + L"\\r.txt");
    MakeDir(root_ + L"\\A");
    MakeFile(root_ + L"\\A\\a.com", FILE_ATTRIBUTE_READONLY);
    MakeFile(root_ + L"\\A\\a.exe");
    MakeDir(root_ + L"\\A\\Deep");
    MakeFile(root_ + L"\\A\\Deep\\d.exe");
    MakeDir(root_ + L"\\B");
    MakeFile(root_ + L"\\B\\b.exe", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    MakeDir(root_ + L"\\folder.exe");  // a folder never matches
    MakeDir(root_ + L"\\Hidden", FILE_ATTRIBUTE_HIDDEN);
    MakeFile(root_ + L"\\Hidden\\h.exe");
    MakeDir(root_ + L"\\System", FILE_ATTRIBUTE_SYSTEM);
    MakeFile(root_ + L"\\System\\s.exe");
  }
  void TearDown() override {
    for (const wchar_t* name : {L"\\A\\a.com", L"\\B\\b.exe", L"\\Hidden", L"\\System"})
      SetFileAttributesW((root_ + name).c_str(), FILE_ATTRIBUTE_NORMAL);
  }

  // Subfolders of root in the order the file system lists them.
  std::vector<std::wstring> ListedSubfolders() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    platform::UniqueFindHandle find(FindFirstFileW((root_ + L"\\*").c_str(), &data));
    if (find) {
      do {
        std::wstring name = data.cFileName;
        if (name == L"A" || name == L"B" || name == L"folder.exe") names.push_back(name);
      } while (FindNextFileW(find.get(), &data));
    }
    return names;
  }

  ScratchDir dir_;
  std::wstring root_;
};

TEST_F(FindFilesTest, PatternByPatternThenSubfoldersDepthFirst) {
  std::map<std::wstring, std::vector<std::wstring>> subtree = {
      {L"A", {L"\\A\\a.exe", L"\\A\\a.com", L"\\A\\Deep\\d.exe"}},
      {L"B", {L"\\B\\b.exe"}},
      {L"folder.exe", {}},
  };
  std::vector<std::wstring> expected = {root_ + L"\\r.exe", root_ + L"\\r.com"};
  for (const auto& name : ListedSubfolders())
    for (const auto& path : subtree[name]) expected.push_back(root_ + path);

  std::vector<std::wstring> found = {L"left over"};
  FindFiles(root_, L"*.exe;*.com", found, true);
  EXPECT_EQ(found, expected);

  FindFiles(root_ + L"\\", L"*.exe;*.com", found, true);
  EXPECT_EQ(found, expected);
  EXPECT_FALSE(FsRedirDisabled);
}

TEST_F(FindFilesTest, WithoutRecursionOnlyTheFolderItself) {
  std::vector<std::wstring> found;
  FindFiles(root_, L"*.com;*.exe", found, false);
  const std::vector<std::wstring> expected = {root_ + L"\\r.com", root_ + L"\\r.exe"};
  EXPECT_EQ(found, expected);
}

TEST_F(FindFilesTest, AFileMatchingTwoPatternsIsListedTwice) {
  std::vector<std::wstring> found;
  FindFiles(root_, L"r.*;*.exe", found, false);
  std::sort(found.begin(), found.end());
  const std::vector<std::wstring> expected = {root_ + L"\\r.com", root_ + L"\\r.exe", root_ + L"\\r.exe",
                                              root_ + L"\\r.txt"};
  EXPECT_EQ(found, expected);
}

TEST_F(FindFilesTest, AMissingFolderLeavesAnEmptyList) {
  std::vector<std::wstring> found = {L"left over"};
  FindFiles(dir_ / L"missing", L"*.exe", found, true);
  EXPECT_TRUE(found.empty());
  found = {L"left over"};
  FindFiles(L"root", L"*.exe", found, true);  // relative: not looked at
  EXPECT_TRUE(found.empty());
}

// ---- IsNewerVersion, CopyFiles, Is64BitWindows -------------------------------------------------

TEST(IsNewerVersion, ComparesPartByPartAsNumbers) {
  struct Case {
    const wchar_t *current, *other;
    bool newer;
  };
  const Case cases[] = {
      {L"7.4.21", L"7.4.22", true},
      {L"7.4.22", L"7.4.21", false},
      {L"7.4.21", L"7.4.21", false},
      {L"1.2.9", L"1.2.10", true},  // numbers, not texts
      {L"1.2.10", L"1.2.9", false},
      {L"1.0.0", L"0.101.0", false},  // no weighting of parts
      {L"0.101.0", L"1.0.0", true},
      {L"1.0.0", L"0.100.0", false},
      {L"0.99.0", L"0.100.0", true},
      {L"1.0.999", L"1.1.0", true},
      {L"7.4", L"7.5", true},  // a missing part counts as 0
      {L"1.0", L"1.0.0", false},
      {L"1.0.0", L"1.0.0.1", true},
      {L"7.4.21.3", L"7.4.21.9", true},
      {L"7.4.21.9", L"7.4.21.3", false},
      {L"99999.0.0", L"100000.0.0", true},
      {L"", L"1.0.0", true},  // no version at all counts as 0
      {L"1.0.0", L"", false},
      {L"1.x.0", L"0.0.1", true},
      {L"0.0.1", L"1.x.0", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.current << " -> " << c.other);
    EXPECT_EQ(IsNewerVersion(c.current, c.other), c.newer);
  }
}

TEST(CopyFiles, CopiesAndOverwritesOnRequest) {
  ScratchDir dir;
  ASSERT_TRUE(testsupport::WriteTextFile(dir / L"from.txt", "new"));
  ASSERT_TRUE(testsupport::WriteTextFile(dir / L"old.txt", "old"));
  EXPECT_TRUE(CopyFiles(dir / L"from.txt", dir / L"to.txt", false, false, false));
  EXPECT_EQ(testsupport::ReadFileBytes(dir / L"to.txt"), "new");
  EXPECT_TRUE(CopyFiles(dir / L"from.txt", dir / L"old.txt", true, false, false));
  EXPECT_EQ(testsupport::ReadFileBytes(dir / L"old.txt"), "new");
  EXPECT_FALSE(CopyFiles(dir / L"missing.txt", dir / L"x.txt", true, false, false));
  EXPECT_FALSE(FsRedirDisabled);
}

TEST(Is64BitWindows, LooksOnlyAtWhatItIsAsked) {
  EXPECT_TRUE(Is64BitWindows(L""));  // Windows as the kernel tells it; the tests run on 64-bit
  EXPECT_EQ(Is64BitWindows(L"C:"), testsupport::FolderExists(L"C:\\Program Files (x86)"));
  EXPECT_FALSE(Is64BitWindows(L"Q:"));
}
