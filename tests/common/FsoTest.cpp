// The file-system class on real folders: deletes, moves and copies, listings, searches, names and
// disk queries, with locked, read-only and hidden files, paths beyond MAX_PATH and Unicode names.
#include <windows.h>
#include <oleauto.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <set>

#include "common/clsFSO.h"
#include "platform/FileTree.h"
#include "tests/common/CommonTestHelpers.h"
#include "tests/common/RehearsalLog.h"
#include "tests/support/ProductState.h"

using commontest::DebugCapture;
using testsupport::ScratchDir;

namespace {

// Boxes and windows of this program are recorded, never shown (see RehearsalLog.h).
std::vector<testsupport::PromptRecord> Prompts() { return testsupport::ReadPromptLog(rehearsal::LogPath()); }

const std::wstring kCyrillic = L"\x041F\x0440\x0438\x043C\x0435\x0440";  // "Primer"
const std::wstring kCjk = L"\x6587\x4EF6\x5939";                         // "folder"

std::wstring Long(const std::wstring& path) { return L"\\\\?\\" + path; }

DWORD AttributesOf(const std::wstring& path) { return GetFileAttributesW(Long(path).c_str()); }
bool Exists(const std::wstring& path) { return AttributesOf(path) != INVALID_FILE_ATTRIBUTES; }
bool IsDir(const std::wstring& path) {
  DWORD a = AttributesOf(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void Put(const std::wstring& path, const std::string& bytes, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  platform::UniqueFileHandle file(
      CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file) << "cannot write " << path;
  DWORD written = 0;
  WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  file.reset();
  if (attributes != FILE_ATTRIBUTE_NORMAL) SetFileAttributesW(Long(path).c_str(), attributes);
}

std::string Get(const std::wstring& path) { return testsupport::ReadFileBytes(Long(path)); }

void MkDir(const std::wstring& path) { ASSERT_TRUE(CreateDirectoryW(Long(path).c_str(), nullptr)) << path; }

// The names in a folder, to see what a failed operation left behind.
std::set<std::wstring> Names(const std::wstring& folder) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW data;
  platform::UniqueFindHandle find(FindFirstFileW(Long(folder + L"\\*").c_str(), &data));
  if (!find) return names;
  do {
    std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.insert(name);
  } while (FindNextFileW(find.get(), &data));
  return names;
}

// Another program holding the file open without sharing.
class Lock {
 public:
  explicit Lock(const std::wstring& path)
      : file_(CreateFileW(Long(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {
    EXPECT_TRUE(file_) << "cannot lock " << path;
  }
  void Release() { file_.reset(); }

 private:
  platform::UniqueFileHandle file_;
};

std::wstring NoSlash(const std::wstring& path) { return path.substr(0, path.size() - 1); }

size_t CountLines(const std::vector<std::wstring>& lines, const std::wstring& line) {
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), L"\t" + line));
}

std::vector<std::wstring> SplitList(const std::wstring& list) { return platform::Split(list, L";"); }

std::wstring DateText(DATE date) {
  BSTR text = nullptr;
  VarBstrFromDate(date, LOCALE_USER_DEFAULT, 0, &text);
  std::wstring result = text ? text : L"";
  SysFreeString(text);
  return result;
}

// A scratch folder, the debug log in a file, one object under test. Whatever a test leaves behind,
// long paths and read-only items included, goes with the folder.
class FsoTest : public testing::Test {
 protected:
  void TearDown() override { platform::RemoveFolderTree(Long(NoSlash(dir_.Path()))); }

  std::wstring At(const std::wstring& name) const { return dir_ / name; }
  // A folder chain under the scratch folder whose deepest path is longer than MAX_PATH.
  std::wstring MakeLongFolder() {
    std::wstring path = NoSlash(dir_.Path());
    for (int level = 0; level < 5; ++level) {
      path += L"\\" + std::wstring(55, static_cast<wchar_t>(L'a' + level));
      MkDir(path);
    }
    EXPECT_GT(path.size(), static_cast<size_t>(MAX_PATH));
    return path;
  }

  ScratchDir dir_;
  DebugCapture log_;
  clsFSO fso_;
};

}  // namespace

// ---- Path texts -------------------------------------------------------------------------------

TEST(FsoPathTexts, SplitsPathsAsTheScriptingRuntimeDoes) {
  struct Case {
    std::wstring path, extension, base, name, parent;
  };
  const Case cases[] = {
      {L"C:\\a\\b.txt", L"txt", L"b", L"b.txt", L"C:\\a"},
      {L"C:\\a\\b.tar.gz", L"gz", L"b.tar", L"b.tar.gz", L"C:\\a"},
      {L"C:\\dir.d\\file", L"", L"file", L"file", L"C:\\dir.d"},
      {L"C:\\a\\", L"", L"a", L"a", L"C:\\"},
      {L"C:\\a", L"", L"a", L"a", L"C:\\"},
      {L"C:\\", L"", L"", L"", L""},
      {L"\\\\srv\\share\\f.ini", L"ini", L"f", L"f.ini", L"\\\\srv\\share"},
      {L"name.exe", L"exe", L"name", L"name.exe", L""},
      {L"C:\\x\\.profile", L"profile", L".profile", L".profile", L"C:\\x"},
      {L"C:\\" + kCyrillic + L"\\" + kCjk + L".txt", L"txt", kCjk, kCjk + L".txt", L"C:\\" + kCyrillic},
  };
  clsFSO fso;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.path);
    EXPECT_EQ(fso.Get_Extension(c.path), c.extension);
    EXPECT_EQ(fso.Get_FileNoExtension(c.path), c.base);
    EXPECT_EQ(fso.Get_Filename(c.path), c.name);
    EXPECT_EQ(fso.Get_Path(c.path), c.parent);
  }
}

TEST(FsoPathTexts, TrailingSlashesStripDriveAndNulls) {
  clsFSO fso;
  EXPECT_EQ(fso.Add_Trailing_Slash(L"  C:\\a  "), L"C:\\a\\");
  EXPECT_EQ(fso.Add_Trailing_Slash(L"C:\\a\\"), L"C:\\a\\");
  EXPECT_EQ(fso.Remove_Trailing_Slash(L"C:\\a\\\\"), L"C:\\a\\");
  EXPECT_EQ(fso.Remove_Trailing_Slash(L" C:\\a "), L"C:\\a");
  EXPECT_EQ(fso.Remove_Nulls(std::wstring(L"abc\0def", 7)), L"abc");
  EXPECT_EQ(fso.Remove_Nulls(L"abc"), L"abc");

  DebugCapture log;
  EXPECT_EQ(fso.StripDrive(L"C:\\Windows"), L"\\Windows");
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(fso.StripDrive(L"{0D43FE01-F093-11CF-8940-00A0C9054228}"), L"{0D43FE01-F093-11CF-8940-00A0C9054228}");
  EXPECT_EQ(fso.StripDrive(L"\\\\server\\share"), L"\\\\server\\share");
  const auto lines = log.Lines();
  EXPECT_EQ(CountLines(lines, L"clsFSO\\StripDrive: Error: It appears a CLSID was passed.  Exiting Function."), 1u);
  EXPECT_EQ(CountLines(lines, L"clsFSO\\StripDrive: Error: It appears no drive letter was passed.  Exiting Function."),
            1u);
  EXPECT_EQ(CountLines(lines, L"\t- strPath=\\\\server\\share"), 1u);
}

TEST(FsoPathTexts, AttributeLettersOnlyForListedCombinations) {
  const std::pair<int32_t, std::wstring> cases[] = {
      {1, L"R"},      {2, L"H"},      {3, L"RH"},    {4, L"S"},  {7, L"RHS"}, {8, L"V"},   {16, L"D"},  {17, L"DR"},
      {19, L"DRH"},   {20, L"DS"},    {23, L"DRHS"}, {32, L"A"}, {33, L"RA"}, {36, L"SA"}, {48, L"DA"}, {53, L"DRSA"},
      {55, L"DRHSA"}, {64, L"Alias"}, {0, L""},      {9, L""},   {21, L""},   {22, L""},   {24, L""},   {37, L""},
      {56, L""},      {65, L""},      {128, L""},    {160, L""}, {-1, L""},
  };
  clsFSO fso;
  for (const auto& [value, letters] : cases) EXPECT_EQ(fso.Attribute_String(value), letters) << value;
}

TEST(FsoPathTexts, ShrinkToFitReplacesMiddleFolders) {
  const struct {
    std::wstring path;
    int16_t maxLen;
    std::wstring result;
  } cases[] = {
      {L"C:\\aaa\\bbb\\ccc\\file.txt", 15, L"C:\\...\\file.txt"},
      {L"C:\\aaa\\bbb\\ccc\\file.txt", 19, L"C:\\...\\ccc\\file.txt"},
      {L"  C:\\aaa\\file.txt ", 15, L"C:\\aaa\\file.txt"},  // 15 characters: unchanged, trimmed
      {L"aaa\\bbb\\ccc\\ddd\\eee", 10, L"aaa\\bbb\\ccc\\ddd\\eee"},
      // The search for the next folder starts at a fixed place, so short folders deep down stay.
      {L"\\\\server\\share\\dir\\sub\\file.txt", 20, L"\\\\server\\...\\dir\\sub\\file.txt"},
      {L"\\\\server\\share\\directory\\file.txt", 20, L"\\\\server\\...\\file.txt"},
      {L"C:\\aaa\\averyveryverylongname.txt", 15, L"C:\\...\\averyveryverylongname.txt"},
  };
  clsFSO fso;
  for (const auto& c : cases) EXPECT_EQ(fso.Shrink_2_Fit(c.path, c.maxLen), c.result) << c.path;
}

TEST(FsoPathTexts, TemporaryNamesAreUnderscoreDigitsAndSmallLetters) {
  clsFSO fso;
  EXPECT_EQ(fso.Create_Tmp_Name(0), L"");
  EXPECT_EQ(fso.Create_Tmp_Name(-2), L"");
  EXPECT_EQ(fso.Create_Tmp_Name(1), L"_");
  std::set<std::wstring> names;
  for (int i = 0; i < 50; ++i) {
    const std::wstring name = fso.Create_Tmp_Name(8);
    ASSERT_EQ(name.size(), 8u);
    EXPECT_EQ(name[0], L'_');
    for (wchar_t c : name.substr(1)) EXPECT_TRUE((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z')) << name;
    names.insert(name);
  }
  // Names drawn in quick succession differ.
  EXPECT_GT(names.size(), 45u);
  for (int i = 0; i < 200; ++i) {
    const float value = fso.Rnd2(48, 122);
    EXPECT_GE(value, 48.0f);
    EXPECT_LT(value, 122.0f);
  }
}

// ---- Drives and existence tests ---------------------------------------------------------------

TEST_F(FsoTest, DriveTestsFillTheDriveDetails) {
  int32_t type = 7;
  EXPECT_TRUE(fso_.Drive_Exist(L"C:\\anything", type));
  EXPECT_EQ(type, 2);
  const auto& drive = fso_.DriveDetails();
  EXPECT_EQ(drive.DriveLetter, L"C");
  EXPECT_EQ(drive.Path, L"C:");
  EXPECT_EQ(drive.RootFolder, L"C:\\");
  EXPECT_EQ(drive.DriveType, L"2");
  EXPECT_EQ(drive.IsReady, L"1");
  ASSERT_EQ(drive.SerialNumber.size(), 9u);
  EXPECT_EQ(drive.SerialNumber[4], L'-');
  EXPECT_EQ(drive.SerialNumber, platform::Upper(drive.SerialNumber));
  EXPECT_GT(_wtof(drive.TotalSize.c_str()), 0.0);
  EXPECT_EQ(CountLines(log_.Lines(), L"clsFSO\\Drive_Exist: True strDrive=C:"), 1u);

  type = 7;
  EXPECT_FALSE(fso_.Drive_Exist(L"\\\\server\\share", type));
  EXPECT_EQ(type, 0);
  wchar_t missing = L'Q';
  while (GetLogicalDrives() & (1u << (missing - L'A'))) ++missing;
  EXPECT_FALSE(fso_.Drive_Exist(std::wstring(1, missing) + L":\\x", type));
  EXPECT_EQ(type, 0);

  EXPECT_TRUE(fso_.IsDriveReady(L"c"));
  EXPECT_FALSE(fso_.IsDriveReady(L"1"));
  EXPECT_FALSE(fso_.IsDriveReady(L""));
  const auto lines = log_.Lines();
  EXPECT_EQ(CountLines(lines, L"clsFSO\\IsDriveReady: True  strDrive=C:"), 2u);  // once through Drive_Exist
  EXPECT_EQ(CountLines(lines, L"clsFSO\\IsDriveReady: False  strDrive=1"), 1u);

  const auto drives = fso_.Available_Drives();
  EXPECT_NE(std::find(drives.begin(), drives.end(), L"C:\\"), drives.end());
  for (const auto& root : drives) EXPECT_EQ(root.size(), 3u) << root;
}

TEST_F(FsoTest, FileAndFolderTests) {
  Put(At(L"file.txt"), "x");
  MkDir(At(L"sub"));
  const std::wstring deep = MakeLongFolder();
  Put(deep + L"\\long.txt", "x");
  MkDir(At(kCyrillic));
  Put(At(kCyrillic + L"\\" + kCjk + L".txt"), "x");

  const struct {
    std::wstring path;
    bool file, folder;
  } cases[] = {
      {At(L"file.txt"), true, false},
      {At(L"missing.txt"), false, false},
      {At(L"sub"), false, true},
      {At(L"sub\\"), false, true},
      {deep + L"\\long.txt", true, false},
      {deep, false, true},
      {At(kCyrillic + L"\\" + kCjk + L".txt"), true, false},
      {At(kCyrillic), false, true},
      {L"\\\\server\\share\\file.txt", false, false},
      {L"   ", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.path);
    EXPECT_EQ(fso_.File_Exist(c.path), c.file);
    EXPECT_EQ(fso_.Folder_Exist(c.path), c.folder);
  }

  // A missing parent folder answers before the file is looked for.
  log_.Clear();
  EXPECT_FALSE(fso_.File_Exist(At(L"nowhere\\file.txt")));
  const auto lines = log_.Lines();
  EXPECT_EQ(CountLines(lines, L"clsFSO\\Folder_Exist: False"), 1u);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::wstring& l) { return platform::StartsWith(l, L"\tclsFSO\\File_Exist:"); }),
            0);
}

TEST_F(FsoTest, FileDetailsAndHiddenTest) {
  Put(At(L"seen.txt"), "12345");
  Put(At(L"secret.log"), "1", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  MkDir(At(L"folder"));

  ASSERT_TRUE(fso_.Get_FileInfo(At(L"seen.txt")));
  const auto details = fso_.FileDetails();
  EXPECT_EQ(details.Path, At(L"seen.txt"));
  EXPECT_EQ(details.Drive, L"C:");
  EXPECT_EQ(details.ParentFolder, NoSlash(dir_.Path()));
  EXPECT_EQ(details.Size, L"5");
  EXPECT_EQ(details.Extension, L"txt");
  DATE date = 0;
  std::wstring modified = details.DateLastModified;
  EXPECT_TRUE(SUCCEEDED(VarDateFromStr(modified.data(), LOCALE_USER_DEFAULT, 0, &date))) << modified;
  EXPECT_FALSE(details.DateCreated.empty());

  // A path that names no file leaves the details of the last one.
  EXPECT_FALSE(fso_.Get_FileInfo(At(L"missing.txt")));
  EXPECT_FALSE(fso_.Get_FileInfo(At(L"folder")));
  EXPECT_FALSE(fso_.Get_FileInfo(L"  "));
  EXPECT_EQ(fso_.FileDetails().Path, At(L"seen.txt"));

  EXPECT_TRUE(fso_.IsFileHidden(At(L"secret.log")));
  EXPECT_EQ(fso_.FileDetails().Attributes, L"HA");
  EXPECT_FALSE(fso_.IsFileHidden(At(L"missing.txt")));
  const auto prompts = Prompts();
  ASSERT_FALSE(prompts.empty());
  EXPECT_EQ(prompts.back().kind, L"box");
  EXPECT_EQ(prompts.back().fields.at(2), L"HA");

  const std::wstring exe = testsupport::ProgramsDir() + testsupport::kMainProgram;
  EXPECT_EQ(fso_.Get_Version(exe), L"1.0.0.1");
  EXPECT_EQ(fso_.Get_VB_Version(exe), L"1.0.1");
  EXPECT_EQ(fso_.Get_Version(At(L"seen.txt")), L"");
  EXPECT_EQ(fso_.Get_VB_Version(At(L"seen.txt")), L"");
}

TEST_F(FsoTest, WritableFolderProbe) {
  EXPECT_TRUE(fso_.IsThisRestricted(L""));
  EXPECT_TRUE(fso_.IsThisRestricted(L"   "));
  EXPECT_TRUE(fso_.IsThisRestricted(At(L"missing")));
  EXPECT_FALSE(fso_.IsThisRestricted(dir_.Path()));
  EXPECT_FALSE(fso_.IsThisRestricted(L" " + NoSlash(dir_.Path()) + L" "));
  const std::wstring deep = MakeLongFolder();
  EXPECT_FALSE(fso_.IsThisRestricted(deep));
  EXPECT_EQ(Names(NoSlash(dir_.Path())).count(L"_Test.$$$"), 0u);
  EXPECT_TRUE(Names(deep).empty());
}

// ---- Deleting files and folders ---------------------------------------------------------------

TEST_F(FsoTest, KillFileRemovesReadOnlyHiddenLongAndUnicodeFiles) {
  const std::wstring deep = MakeLongFolder();
  MkDir(At(kCjk));
  const struct {
    std::wstring path;
    DWORD attributes;
  } cases[] = {
      {At(L"plain.txt"), FILE_ATTRIBUTE_NORMAL},
      {At(L"readonly.txt"), FILE_ATTRIBUTE_READONLY},
      {At(L"hidden.sys"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY},
      {deep + L"\\long.txt", FILE_ATTRIBUTE_READONLY},
      {At(kCjk + L"\\" + kCyrillic + L".txt"), FILE_ATTRIBUTE_READONLY},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.path);
    Put(c.path, "data", c.attributes);
    EXPECT_TRUE(fso_.KillFile(c.path));
    EXPECT_FALSE(Exists(c.path));
  }
  EXPECT_TRUE(fso_.KillFile(At(L"never-there.txt")));
  const auto lines = log_.Lines();
  EXPECT_EQ(CountLines(lines, L"\t- returned: True"), std::size(cases) + 1);
  EXPECT_EQ(CountLines(lines, L"\t- passed: " + At(L"readonly.txt")), 1u);
}

TEST_F(FsoTest, KillFileReportsALockedFileThatStays) {
  Put(At(L"locked.txt"), "data");
  Lock lock(At(L"locked.txt"));
  EXPECT_FALSE(fso_.KillFile(At(L"locked.txt")));
  EXPECT_TRUE(Exists(At(L"locked.txt")));
  const auto lines = log_.Lines();
  EXPECT_EQ(CountLines(lines, L"clsFSO\\KillFile - Unable to delete:  " + At(L"locked.txt")), 1u);
  EXPECT_EQ(CountLines(lines, L"clsFSO\\KillFile: "), 1u);
  EXPECT_EQ(CountLines(lines, L"\t- returned: False"), 1u);
}

// What a delete fallback may change on a file: its owner and access list and its attributes.
struct FileRights {
  std::wstring security;  // owner and access list, as SDDL
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  bool operator==(const FileRights& other) const {
    return security == other.security && attributes == other.attributes;
  }
};
std::ostream& operator<<(std::ostream& out, const FileRights& rights) {
  return out << platform::ToUtf8(rights.security) << " attributes " << rights.attributes;
}

FileRights RightsOf(const std::wstring& path) {
  FileRights rights;
  rights.attributes = AttributesOf(path);
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  GetFileSecurityW(Long(path).c_str(), what, nullptr, 0, &size);
  std::vector<BYTE> descriptor(size);
  wchar_t* text = nullptr;
  if (size && GetFileSecurityW(Long(path).c_str(), what, descriptor.data(), size, &size) &&
      ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1, what, &text, nullptr)) {
    rights.security = text;
    LocalFree(text);
  }
  return rights;
}

// A file that will not go, for each reason: held open by another program (a sharing violation,
// which no change of rights can cure), or refused by rights (a program runs from it), where the
// fallback tries and fails. Either way the file keeps the owner, rights and attributes it had.
TEST_F(FsoTest, AFileThatStaysKeepsItsOwnerRightsAndAttributes) {
  const std::wstring locked = At(L"locked.txt");
  Put(locked, "data", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  const std::wstring running = At(L"running.exe");
  ASSERT_TRUE(testsupport::CopyProgram(L"fakeprog.exe", running));
  ASSERT_TRUE(testsupport::WriteTextFile(At(L"running.fake.ini"), "[fake]\r\nsleepms=60000\r\n"));
  ASSERT_TRUE(SetFileAttributesW(running.c_str(), FILE_ATTRIBUTE_HIDDEN));
  STARTUPINFOW startup = {sizeof startup};
  PROCESS_INFORMATION started = {};
  std::wstring commandLine = L"\"" + running + L"\"";
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &started));
  platform::UniqueKernelHandle process(started.hProcess);
  CloseHandle(started.hThread);
  Lock lock(locked);

  const struct {
    const char* name;
    std::wstring path;
    bool fallbackTried;
  } cases[] = {{"held open by another program", locked, false}, {"a program runs from it", running, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    log_.Clear();
    const FileRights before = RightsOf(c.path);
    ASSERT_NE(before.attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(fso_.KillFile(c.path));
    EXPECT_TRUE(Exists(c.path));
    EXPECT_EQ(RightsOf(c.path), before);
    const auto lines = log_.Lines();
    EXPECT_EQ(CountLines(lines, L"clsFSO\\KillFile - Unable to delete:  " + c.path), 1u);
    const bool leftAlone = std::any_of(lines.begin(), lines.end(), [](const std::wstring& line) {
      return line.find(L"rights left alone") != std::wstring::npos;
    });
    EXPECT_EQ(leftAlone, !c.fallbackTried);
  }
  TerminateProcess(process.get(), 0);
  WaitForSingleObject(process.get(), 10000);
}

TEST_F(FsoTest, KillFileIsNoSuccessForAPatternOrAFolder) {
  Put(At(L"a.txt"), "data");
  MkDir(At(L"folder"));
  EXPECT_FALSE(fso_.KillFile(At(L"*.txt")));
  EXPECT_FALSE(fso_.KillFile(At(L"folder")));
  EXPECT_TRUE(Exists(At(L"a.txt")));
  EXPECT_TRUE(IsDir(At(L"folder")));
}

TEST_F(FsoTest, KillDirOfAMissingFolder) {
  EXPECT_TRUE(fso_.KillDir(At(L"missing")));
  EXPECT_FALSE(Exists(At(L"missing")));
  EXPECT_EQ(CountLines(log_.Lines(), L"\t- passed: " + At(L"missing")), 1u);
  EXPECT_TRUE(fso_.KillDir(At(L"missing\\deeper"), true));
  EXPECT_TRUE(IsDir(At(L"missing\\deeper")));
}

TEST_F(FsoTest, KillDirRemovesATreeOfReadOnlyHiddenLongAndUnicodeItems) {
  const std::wstring top = At(L"tree");
  MkDir(top);
  Put(top + L"\\plain.txt", "1");
  Put(top + L"\\ro.txt", "2", FILE_ATTRIBUTE_READONLY);
  MkDir(top + L"\\hidden");
  SetFileAttributesW((top + L"\\hidden").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  Put(top + L"\\hidden\\h.txt", "3", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  MkDir(top + L"\\" + kCyrillic);
  Put(top + L"\\" + kCyrillic + L"\\" + kCjk + L".txt", "4", FILE_ATTRIBUTE_READONLY);
  std::wstring deep = top;
  for (int level = 0; level < 5; ++level) {
    deep += L"\\" + std::wstring(60, static_cast<wchar_t>(L'k' + level));
    MkDir(deep);
  }
  Put(deep + L"\\deep.txt", "5", FILE_ATTRIBUTE_READONLY);

  EXPECT_TRUE(fso_.KillDir(top));
  EXPECT_FALSE(Exists(top));

  // Asked to, it comes back empty.
  MkDir(top);
  Put(top + L"\\x.txt", "1", FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(fso_.KillDir(top + L"\\", true));
  EXPECT_TRUE(IsDir(top));
  EXPECT_TRUE(Names(top).empty());
}

TEST_F(FsoTest, KillDirEmptiesWhatItCanAroundALockedFile) {
  const std::wstring top = At(L"tree");
  MkDir(top);
  MkDir(top + L"\\keep");
  MkDir(top + L"\\free");
  MkDir(top + L"\\free\\inner");
  Put(top + L"\\a.txt", "1", FILE_ATTRIBUTE_READONLY);
  Put(top + L"\\keep\\locked.txt", "2");
  Put(top + L"\\keep\\b.txt", "3");
  Put(top + L"\\free\\inner\\c.txt", "4", FILE_ATTRIBUTE_HIDDEN);
  Lock lock(top + L"\\keep\\locked.txt");

  EXPECT_FALSE(fso_.KillDir(top));
  EXPECT_TRUE(IsDir(top));
  EXPECT_EQ(Names(top), std::set<std::wstring>{L"keep"});
  EXPECT_EQ(Names(top + L"\\keep"), std::set<std::wstring>{L"locked.txt"});
  const auto lines = log_.Lines();
  EXPECT_EQ(CountLines(lines, L"clsFSO\\DelTree32 - VB ERROR: 70 Permission denied"), 3u);  // twice whole, keep
  EXPECT_EQ(CountLines(lines, L"\t- returned: False"), 2u);  // the locked file, then the folder
  EXPECT_EQ(CountLines(lines, L"clsFSO\\KillDir: "), 1u);

  lock.Release();
  EXPECT_TRUE(fso_.KillDir(top));
  EXPECT_FALSE(Exists(top));
}

TEST_F(FsoTest, TreeDeletesRefuseRootsAndPathsThatAreNotFull) {
  Put(At(L"x.txt"), "1");
  // "C:iltest" and "C:." lean on the current folder of drive C:, the root unless someone moved it.
  const std::wstring scratch = dir_.Path().substr(3);
  for (const std::wstring& path :
       std::vector<std::wstring>{L"C:\\", L"C:", L"C:\\iltest\\..", L"C:.", L"C:iltest", L"C:" + scratch, L"\\\\",
                                 L"\\\\server\\share", L"\\iltest", L""}) {
    SCOPED_TRACE(testing::Message() << "\"" << path << "\"");
    EXPECT_FALSE(fso_.KillDir(path));
    EXPECT_FALSE(fso_.DelTree32(path));
  }
  EXPECT_TRUE(Exists(At(L"x.txt")));
  EXPECT_TRUE(IsDir(L"C:\\windows\\system32"));
}

TEST_F(FsoTest, DelTree32NeedsAFolder) {
  Put(At(L"file.txt"), "1");
  EXPECT_FALSE(fso_.DelTree32(At(L"file.txt")));
  EXPECT_TRUE(Exists(At(L"file.txt")));
  EXPECT_FALSE(fso_.DelTree32(At(L"missing")));
  const auto lines = log_.Lines();
  EXPECT_EQ(CountLines(lines, L"clsFSO\\DelTree32 - VB ERROR: 76 Path not found"), 2u);
  EXPECT_EQ(CountLines(lines, L"\t- Error deleting path:  " + At(L"missing")), 1u);
}

TEST_F(FsoTest, CreateDirStructMakesEveryLevel) {
  std::wstring deep = NoSlash(dir_.Path());
  for (int level = 0; level < 5; ++level) deep += L"\\" + std::wstring(55, static_cast<wchar_t>(L'p' + level));
  const std::wstring cases[] = {At(L"one\\two\\three"), At(L"x\\") + kCyrillic + L"\\" + kCjk + L"\\", deep,
                                L" " + At(L"trim\\me") + L" "};
  for (const auto& path : cases) {
    EXPECT_TRUE(fso_.Create_Dir_Struct(path)) << path;
    EXPECT_TRUE(IsDir(platform::Trim(path))) << path;
  }
  EXPECT_FALSE(fso_.Create_Dir_Struct(L"  "));
  Put(At(L"blocker"), "1");
  EXPECT_FALSE(fso_.Create_Dir_Struct(At(L"blocker\\below")));
  EXPECT_EQ(CountLines(log_.Lines(), L"\tAn error occured while trying to create:  "), 1u);
}

// ---- Moving and copying -------------------------------------------------------------------------

class FsoMoveCopyTest : public FsoTest {
 protected:
  void SetUp() override {
    Put(At(L"src.txt"), "new content");
    Put(At(L"dst.txt"), "old", FILE_ATTRIBUTE_READONLY);
  }
  // Nothing but the expected names: no temporary copy was left behind.
  void ExpectOnly(const std::set<std::wstring>& names) { EXPECT_EQ(Names(NoSlash(dir_.Path())), names); }
  bool Run(bool move, const std::wstring& source, const std::wstring& target, bool overwrite) {
    return move ? fso_.Move_File(source, target, overwrite) : fso_.Copy_File(source, target, overwrite);
  }
};

TEST_F(FsoMoveCopyTest, ToANewTargetCarriesTheSourceAttributes) {
  SetFileAttributesW(At(L"src.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(fso_.Copy_File(At(L"src.txt"), At(L"copy.txt")));
  EXPECT_EQ(Get(At(L"copy.txt")), "new content");
  EXPECT_EQ(AttributesOf(At(L"copy.txt")) & 3u, 3u);
  EXPECT_TRUE(fso_.Move_File(At(L"copy.txt"), At(L"moved.txt")));
  EXPECT_EQ(Get(At(L"moved.txt")), "new content");
  EXPECT_EQ(AttributesOf(At(L"moved.txt")) & 3u, 3u);
  ExpectOnly({L"src.txt", L"dst.txt", L"moved.txt"});
}

TEST_F(FsoMoveCopyTest, ReplacesAReadOnlyTargetInOneStep) {
  for (bool move : {false, true}) {
    SCOPED_TRACE(move ? "move" : "copy");
    Put(At(L"src.txt"), "new content");
    SetFileAttributesW(At(L"dst.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(Run(move, At(L"src.txt"), At(L"dst.txt"), true));
    EXPECT_EQ(Get(At(L"dst.txt")), "new content");
    EXPECT_EQ(AttributesOf(At(L"dst.txt")) & 3u, 0u);  // the source's attributes
    EXPECT_EQ(Exists(At(L"src.txt")), !move);
    ExpectOnly(move ? std::set<std::wstring>{L"dst.txt"} : std::set<std::wstring>{L"src.txt", L"dst.txt"});
    SetFileAttributesW(At(L"dst.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  }
}

TEST_F(FsoMoveCopyTest, AFailureLeavesTheOldTargetInPlace) {
  const struct {
    const char* what;
    bool move;
    const wchar_t* locked;
  } cases[] = {
      {"copy of a locked source", false, L"src.txt"},
      {"copy over a locked target", false, L"dst.txt"},
      {"move of a locked source", true, L"src.txt"},
      {"move over a locked target", true, L"dst.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    log_.Clear();
    Lock lock(At(c.locked));
    EXPECT_FALSE(Run(c.move, At(L"src.txt"), At(L"dst.txt"), true));
    lock.Release();
    EXPECT_EQ(Get(At(L"dst.txt")), "old");
    EXPECT_EQ(AttributesOf(At(L"dst.txt")) & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Get(At(L"src.txt")), "new content");
    ExpectOnly({L"src.txt", L"dst.txt"});
    const auto lines = log_.Lines();
    EXPECT_EQ(CountLines(lines, c.move ? L"\tError while moving a file:" : L"\tError while copying a file:"), 1u);
    EXPECT_EQ(CountLines(lines, L"\tFROM: " + At(L"src.txt")), 1u);
    EXPECT_EQ(CountLines(lines, L"\tTO:   " + At(L"dst.txt")), 1u);
    EXPECT_EQ(CountLines(lines, L"\tNote TO: path may need a trailing backslash!"), 1u);
  }
}

TEST_F(FsoMoveCopyTest, AnExistingTargetIsKeptWhenTheQuestionIsAnsweredNo) {
  for (bool move : {false, true}) {
    EXPECT_FALSE(Run(move, At(L"src.txt"), At(L"dst.txt"), false));
    EXPECT_EQ(Get(At(L"dst.txt")), "old");
    EXPECT_TRUE(Exists(At(L"src.txt")));
  }
  const auto prompts = Prompts();
  ASSERT_GE(prompts.size(), 2u);
  const auto& box = prompts.back();
  EXPECT_EQ(box.kind, L"box");
  EXPECT_EQ(box.fields.at(0), L"Replace File?");
  EXPECT_EQ(box.fields.at(1), L"0x24");
  const std::wstring text = box.fields.at(2);
  EXPECT_TRUE(platform::StartsWith(text, L"File already exist at\r\n" + At(L"dst.txt") + L"\r\n")) << text;
  EXPECT_TRUE(platform::EndsWith(text, L"\r\n3\r\n\r\nDo you want to replace it?")) << text;
  EXPECT_EQ(box.fields.at(3), L"no");
}

TEST_F(FsoMoveCopyTest, FolderTargetsMissingSourcesLongPathsAndUnicodeNames) {
  MkDir(At(L"into"));
  EXPECT_TRUE(fso_.Copy_File(At(L"src.txt"), At(L"into\\")));
  EXPECT_EQ(Get(At(L"into\\src.txt")), "new content");
  // A folder at the target path is no file to replace.
  EXPECT_FALSE(fso_.Copy_File(At(L"src.txt"), At(L"into"), true));
  EXPECT_FALSE(fso_.Move_File(At(L"src.txt"), At(L"into"), true));
  EXPECT_TRUE(IsDir(At(L"into")));

  log_.Clear();
  EXPECT_FALSE(fso_.Move_File(At(L"none.txt"), At(L"x.txt")));
  EXPECT_FALSE(fso_.Copy_File(At(L"none.txt"), At(L"x.txt")));
  auto lines = log_.Lines();
  EXPECT_EQ(CountLines(lines, L"clsFSO\\Move_File - Source file does not exist, aborting routine."), 1u);
  EXPECT_EQ(CountLines(lines, L"clsFSO\\Copy_File - Source file does not exist, aborting routine."), 1u);
  EXPECT_EQ(CountLines(lines, L"\tFile:  " + At(L"none.txt")), 1u);

  const std::wstring deep = MakeLongFolder();
  const std::wstring unicode = deep + L"\\" + kCyrillic + L".txt";
  EXPECT_TRUE(fso_.Copy_File(At(L"src.txt"), unicode));
  Put(At(kCjk + L".txt"), "cjk");
  EXPECT_TRUE(fso_.Move_File(At(kCjk + L".txt"), unicode, true));
  EXPECT_EQ(Get(unicode), "cjk");
  EXPECT_TRUE(fso_.Move_File(unicode, deep + L"\\back.txt"));
  EXPECT_EQ(Names(deep), std::set<std::wstring>{L"back.txt"});
}

TEST_F(FsoTest, MoveDirRenamesOrMovesIntoAFolder) {
  MkDir(At(L"A"));
  Put(At(L"A\\x.txt"), "1");
  MkDir(At(L"B"));
  fso_.Move_Dir(At(L"A"), At(L"C"));
  EXPECT_EQ(Get(At(L"C\\x.txt")), "1");
  fso_.Move_Dir(At(L"C"), At(L"B\\"));
  EXPECT_EQ(Get(At(L"B\\C\\x.txt")), "1");
  fso_.Move_Dir(At(L"missing"), At(L"D"));  // errors are not reported
  EXPECT_FALSE(Exists(At(L"D")));
}

TEST_F(FsoTest, RenFileReplacesOnlyWhenAskedAndNeverLosesTheTarget) {
  Put(At(L"a.txt"), "a");
  std::wstring name = L"b.txt";
  EXPECT_TRUE(fso_.RenFile(At(L"a.txt"), name));
  EXPECT_EQ(name, At(L"b.txt"));
  EXPECT_EQ(Get(At(L"b.txt")), "a");
  EXPECT_FALSE(Exists(At(L"a.txt")));

  Put(At(L"a.txt"), "new");
  name = L"b.txt";
  EXPECT_FALSE(fso_.RenFile(At(L"a.txt"), name));
  EXPECT_EQ(Get(At(L"a.txt")), "new");
  EXPECT_EQ(Get(At(L"b.txt")), "a");
  EXPECT_EQ(CountLines(log_.Lines(), L"\t- File Already Exists: " + At(L"b.txt")), 1u);

  // A missing source or a failing rename leaves the target that would have been replaced.
  name = L"b.txt";
  EXPECT_FALSE(fso_.RenFile(At(L"missing.txt"), name, true));
  EXPECT_EQ(Get(At(L"b.txt")), "a");
  {
    SetFileAttributesW(At(L"b.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    Lock lock(At(L"b.txt"));
    name = L"b.txt";
    EXPECT_FALSE(fso_.RenFile(At(L"a.txt"), name, true));
  }
  EXPECT_EQ(Get(At(L"b.txt")), "a");
  EXPECT_EQ(AttributesOf(At(L"b.txt")) & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));

  name = L"b.txt";
  EXPECT_TRUE(fso_.RenFile(At(L"a.txt"), name, true));
  EXPECT_EQ(Get(At(L"b.txt")), "new");
  EXPECT_FALSE(Exists(At(L"a.txt")));
  EXPECT_EQ(CountLines(log_.Lines(), L"clsFSO\\RenFile: Rename to \"" + At(L"b.txt") + L"\" succeeded."), 2u);
}

// ---- Listings -----------------------------------------------------------------------------------

class FsoListingTest : public FsoTest {
 protected:
  void SetUp() override {
    Put(At(L"a.txt"), "1");
    Put(At(L"b.dat"), "22");
    Put(At(L"noext"), "333");
    Put(At(L"hidden.txt"), "4", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    MkDir(At(L"A"));
    Put(At(L"A\\a1.txt"), "5");
    MkDir(At(L"A\\A1"));
    Put(At(L"A\\A1\\deep.TXT"), "6");
    MkDir(At(L"B"));
  }
  std::wstring Top() const { return NoSlash(dir_.Path()); }
};

TEST_F(FsoListingTest, FileListHasASemicolonAfterEveryPath) {
  fso_.Count(7);
  int events = 0;
  fso_.CountFiles = [&](double&, const std::wstring&) { ++events; };
  const std::wstring flat = fso_.Get_FileList(Top(), false, L"*.*");
  ASSERT_TRUE(platform::EndsWith(flat, L";")) << flat;
  auto parts = SplitList(flat);
  EXPECT_EQ(parts.back(), L"");
  parts.pop_back();
  EXPECT_EQ(std::set<std::wstring>(parts.begin(), parts.end()),
            (std::set<std::wstring>{At(L"a.txt"), At(L"b.dat"), At(L"noext"), At(L"hidden.txt")}));
  EXPECT_EQ(parts.size(), 4u);

  // The folder's own files, then each subfolder depth first.
  parts = SplitList(fso_.Get_FileList(Top() + L"\\", true, L"*.*"));
  ASSERT_EQ(parts.size(), 7u);
  EXPECT_EQ(parts[6], L"");
  const auto at = [&](const std::wstring& path) { return std::find(parts.begin(), parts.end(), path) - parts.begin(); };
  EXPECT_GE(at(At(L"A\\a1.txt")), 4);
  EXPECT_EQ(at(At(L"A\\A1\\deep.TXT")), at(At(L"A\\a1.txt")) + 1);
  // Every file: no counting, no events.
  EXPECT_EQ(fso_.Count(), 7.0);
  EXPECT_EQ(events, 0);
}

TEST_F(FsoListingTest, APatternSelectsOneExtensionCountsAndRaisesEvents) {
  std::vector<std::pair<double, std::wstring>> events;
  fso_.CountFiles = [&](double& count, const std::wstring& path) { events.emplace_back(count, path); };
  const std::wstring list = fso_.Get_FileList(Top(), true, L"*.TXT");
  auto parts = SplitList(list);
  parts.pop_back();
  EXPECT_EQ(std::set<std::wstring>(parts.begin(), parts.end()),
            (std::set<std::wstring>{At(L"a.txt"), At(L"hidden.txt"), At(L"A\\a1.txt"), At(L"A\\A1\\deep.TXT")}));
  EXPECT_EQ(fso_.Count(), 4.0);
  ASSERT_EQ(events.size(), 4u);
  for (size_t i = 0; i < events.size(); ++i) EXPECT_EQ(events[i].first, i + 1.0);
  EXPECT_EQ(events.back().second, parts.back());

  // Only the extension of the pattern counts; "*" alone takes files without one; no "*" takes all.
  EXPECT_EQ(SplitList(fso_.Get_FileList(Top(), false, L"zz*.txt")).size(), 3u);
  EXPECT_EQ(fso_.Get_FileList(Top(), false, L"*"), At(L"noext") + L";");
  EXPECT_EQ(SplitList(fso_.Get_FileList(Top(), false, L"a.txt")).size(), 5u);
  EXPECT_EQ(SplitList(fso_.Get_FileList(Top(), false, L"")).size(), 5u);
}

TEST_F(FsoListingTest, ListingsStopWhenCancelled) {
  fso_.CountFiles = [&](double&, const std::wstring&) { fso_.CancelProcessing = true; };
  EXPECT_EQ(fso_.Get_FileList(Top(), true, L"*.txt"), L"");
  EXPECT_TRUE(fso_.CancelProcessing);  // only the caller clears it
  EXPECT_EQ(fso_.Get_FileList(Top(), true, L"*.*"), L"");
  EXPECT_EQ(fso_.Get_DirList(Top(), true), L"");
  fso_.CancelProcessing = false;
  EXPECT_NE(fso_.Get_DirList(Top(), true), L"");
}

TEST_F(FsoListingTest, FolderListHasSemicolonsOnlyBetweenPaths) {
  MkDir(At(L"B\\hid"));
  SetFileAttributesW(At(L"B\\hid").c_str(), FILE_ATTRIBUTE_HIDDEN);
  bool recurse = false;
  const auto flat = SplitList(fso_.Get_DirList(Top(), recurse));
  EXPECT_EQ(std::set<std::wstring>(flat.begin(), flat.end()), (std::set<std::wstring>{At(L"A"), At(L"B")}));
  EXPECT_EQ(flat.size(), 2u);

  const std::wstring list = fso_.Get_DirList(Top() + L"\\", true);
  EXPECT_FALSE(platform::EndsWith(list, L";")) << list;
  EXPECT_FALSE(platform::Contains(list, L";;")) << list;
  const auto all = SplitList(list);
  ASSERT_EQ(all.size(), 4u) << list;
  const auto at = [&](const std::wstring& path) { return std::find(all.begin(), all.end(), path) - all.begin(); };
  EXPECT_EQ(at(At(L"A\\A1")), at(At(L"A")) + 1);
  EXPECT_EQ(at(At(L"B\\hid")), at(At(L"B")) + 1);

  EXPECT_EQ(fso_.Get_DirList(At(L"B\\hid")), L"");
  EXPECT_EQ(fso_.Get_DirList(At(L"missing")), L"");
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(FsoListingTest, EmptyAndMissingFoldersAreLogged) {
  EXPECT_EQ(fso_.Get_FileList(L"", true, L"*.*"), L"");
  EXPECT_EQ(fso_.Get_DirList(L"", true), L"");
  EXPECT_EQ(fso_.Get_FileList(At(L"missing"), true, L"*.*"), L"");
  const auto lines = log_.Lines();
  EXPECT_EQ(CountLines(lines, L"cFSO\\Get_FileList - Passed no string, aborting!"), 1u);
  EXPECT_EQ(CountLines(lines, L"cFSO\\Get_DirList - Passed no string, aborting!"), 1u);
  EXPECT_EQ(CountLines(lines, L"clsFSO\\Get_FileList - VB ERROR: 76 Path not found"), 1u);
  EXPECT_EQ(CountLines(lines, L"clsFSO\\Get_FileList -      DIR: " + At(L"missing")), 1u);
  EXPECT_EQ(CountLines(lines, L"\tAborting function..."), 1u);
}

TEST_F(FsoListingTest, ListingsReachLongAndUnicodePaths) {
  const std::wstring deep = MakeLongFolder();
  Put(deep + L"\\" + kCjk + L".txt", "1");
  MkDir(deep + L"\\" + kCyrillic);
  const auto files = SplitList(fso_.Get_FileList(Top(), true, L"*.txt"));
  EXPECT_NE(std::find(files.begin(), files.end(), deep + L"\\" + kCjk + L".txt"), files.end());
  const auto folders = SplitList(fso_.Get_DirList(Top(), true));
  EXPECT_NE(std::find(folders.begin(), folders.end(), deep + L"\\" + kCyrillic), folders.end());
  EXPECT_EQ(fso_.GetDirSize(Top()), std::optional<double>(1 + 2 + 3 + 1 + 1 + 1 + 1));
  EXPECT_EQ(fso_.GetDirSize(At(L"A")), std::optional<double>(2));
  EXPECT_EQ(fso_.GetDirSize(At(L"missing")), std::nullopt);
}

TEST_F(FsoTest, TextSearchFindsTheTextInAnyCase) {
  Put(At(L"x.txt"), "Hello World");
  Put(At(L"y.log"), "say HELLO");
  Put(At(L"z.txt"), "bye");
  Put(At(L"empty.txt"), "");
  Put(At(L"locked.txt"), "hello");
  MkDir(At(L"sub"));
  Put(At(L"sub\\w.txt"), "hello");
  Lock lock(At(L"locked.txt"));

  auto hits = fso_.TextSearch(dir_.Path(), L"hello");
  EXPECT_EQ(std::set<std::wstring>(hits.begin(), hits.end()), (std::set<std::wstring>{At(L"x.txt"), At(L"y.log")}));
  EXPECT_EQ(hits.size(), 2u);
  EXPECT_EQ(fso_.TextSearch(dir_.Path(), L"absent"), (std::vector<std::wstring>{L"N/A", L""}));
  EXPECT_EQ(fso_.TextSearch(At(L"missing"), L"hello"), (std::vector<std::wstring>{L"N/A", L""}));

  for (int i = 0; i < 101; ++i) Put(At(L"sub\\many" + std::to_wstring(i) + L".txt"), "a Needle here");
  EXPECT_EQ(fso_.TextSearch(At(L"sub"), L"NEEDLE").size(), 101u);
}

TEST_F(FsoTest, TotalsOfSizesAndDates) {
  Put(At(L"ten.bin"), std::string(10, 'x'));
  Put(At(L"twenty.bin"), std::string(20, 'y'));
  std::vector<std::pair<double, std::wstring>> events;
  fso_.CountTotals = [&](double& total, const std::wstring& path) { events.emplace_back(total, path); };

  EXPECT_EQ(fso_.Get_Totals(dir_.Path(), 1, L"*.*", false), L"30");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_TRUE(events[0].first == 10 || events[0].first == 20);
  EXPECT_EQ(events[1].first, 30);
  EXPECT_EQ(fso_.Get_Totals(dir_.Path(), 1, L"*.dat", false), L"0");

  events.clear();
  EXPECT_EQ(fso_.Get_Totals(dir_.Path(), 0, L"*.*", false), L"0");
  EXPECT_EQ(fso_.Get_Totals(dir_.Path(), 5, L"*.*", false), L"0");
  EXPECT_EQ(fso_.Get_Totals(L" ", 1, L"*.*", false), L"0");
  EXPECT_TRUE(events.empty());

  const DATE longAgo = 36526;  // 1 January 2000
  SYSTEMTIME now;
  GetLocalTime(&now);
  DATE today = 0;
  SystemTimeToVariantTime(&now, &today);
  for (int16_t kind : {2, 3, 4}) {
    SCOPED_TRACE(kind);
    EXPECT_EQ(fso_.Get_Totals(dir_.Path(), kind, DateText(longAgo), false), L"2");
    EXPECT_EQ(fso_.Get_Totals(dir_.Path(), kind, DateText(today + 800), false), L"0");
  }

  EXPECT_EQ(fso_.Get_Totals(dir_.Path(), 2, L"no date", false), L"0");
  const auto prompts = Prompts();
  ASSERT_FALSE(prompts.empty());
  EXPECT_EQ(prompts.back().fields.at(0), L"Invalid date format");
  EXPECT_EQ(prompts.back().fields.at(1), L"0x40");
  EXPECT_EQ(prompts.back().fields.at(2), L"An invalid date was passed.");
}

// ---- Temporary names, disk, text files ------------------------------------------------------------

TEST_F(FsoTest, TemporaryFilesAndFolders) {
  std::wstring folder;
  const std::wstring file = fso_.Create_Tmp_Filename(folder);
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  EXPECT_EQ(folder, temp);
  EXPECT_TRUE(platform::EndsWith(folder, L"\\"));
  EXPECT_TRUE(platform::StartsWith(file, folder + L"_")) << file;
  EXPECT_TRUE(testsupport::FileExists(file));
  EXPECT_EQ(Get(file), "");
  DeleteFileW(file.c_str());

  std::wstring mine = At(kCyrillic);
  MkDir(mine);
  mine += L"\\";
  const std::wstring inMine = fso_.Create_Tmp_Filename(mine);
  EXPECT_EQ(mine, At(kCyrillic + L"\\"));
  EXPECT_TRUE(platform::StartsWith(inMine, mine + L"_")) << inMine;
  EXPECT_TRUE(Exists(inMine));

  std::wstring nowhere = At(L"missing\\");
  EXPECT_EQ(fso_.Create_Tmp_Filename(nowhere), L"");

  const std::wstring made = fso_.Create_Tmp_Folder();
  EXPECT_TRUE(platform::StartsWith(made, std::wstring(temp) + L"_")) << made;
  EXPECT_TRUE(platform::EndsWith(made, L"\\"));
  EXPECT_EQ(made.size(), wcslen(temp) + 9);
  EXPECT_TRUE(IsDir(made));
  RemoveDirectoryW(made.c_str());
}

TEST_F(FsoTest, DiskSpaceOfADrive) {
  double total = -1, free = -1, used = -1;
  EXPECT_TRUE(fso_.Get_Disk_Space(At(L"whatever"), total, free, used));
  EXPECT_GT(total, 0);
  EXPECT_GE(free, 0);
  EXPECT_EQ(total, free + used);

  EXPECT_FALSE(fso_.Get_Disk_Space(L"  ", total, free, used));
  EXPECT_EQ(total + free + used, 0);
  wchar_t missing = L'Q';
  while (GetLogicalDrives() & (1u << (missing - L'A'))) ++missing;
  EXPECT_FALSE(fso_.Get_Disk_Space(std::wstring(1, missing) + L":\\", total, free, used));
  EXPECT_EQ(total + free + used, 0);
}

TEST_F(FsoTest, FileToArrayReadsLinesAndMakesAMissingFile) {
  std::vector<std::wstring> lines = {L"left over"};
  fso_.FileToArray(At(L"made\\new.txt"), lines);
  EXPECT_EQ(lines, std::vector<std::wstring>{L""});
  EXPECT_EQ(Get(At(L"made\\new.txt")), "\r\n");
  EXPECT_EQ(CountLines(log_.Lines(), L"clsFSO\\FileToArray: failed"), 1u);

  Put(At(kCjk + L".md5"), "AAA\r\nbbb\nccc\r\n");
  fso_.FileToArray(At(kCjk + L".md5"), lines);
  EXPECT_EQ(lines, (std::vector<std::wstring>{L"AAA", L"bbb", L"ccc"}));

  Put(At(L"two.txt"), "one\r\n\r\nthree");
  fso_.FileToArray(At(L"two.txt"), lines);
  EXPECT_EQ(lines, (std::vector<std::wstring>{L"one", L"", L"three"}));

  Put(At(L"empty.txt"), "");
  lines = {L"keep", L"these"};
  fso_.FileToArray(At(L"empty.txt"), lines);
  EXPECT_EQ(lines, (std::vector<std::wstring>{L"keep", L"these"}));
}

TEST_F(FsoTest, NewerFilesByCreationDate) {
  // Creation dates are read to the second: the files are made a second and more apart.
  Put(At(L"old.txt"), "1");
  Sleep(1100);
  Put(At(L"mid.log"), "2");
  Sleep(1100);
  Put(At(L"new.txt"), "3");
  EXPECT_EQ(fso_.ReturnNewerFile(At(L"old.txt"), At(L"mid.log")), At(L"mid.log"));
  EXPECT_EQ(fso_.ReturnNewerFile(At(L"mid.log"), At(L"old.txt")), At(L"mid.log"));
  EXPECT_EQ(fso_.ReturnNewerFile(At(L"old.txt"), At(L"old.txt")), At(L"old.txt"));
  EXPECT_EQ(fso_.ReturnNewerFile(At(L"gone1"), At(L"gone2")), At(L"gone1"));
  EXPECT_EQ(fso_.ReturnNewerFile(At(L"gone1"), At(L"old.txt")), At(L"old.txt"));
  EXPECT_EQ(fso_.GetFileCreationDate(At(L"gone1")), 0.0);
  EXPECT_GT(fso_.GetFileCreationDate(At(L"new.txt")), fso_.GetFileCreationDate(At(L"old.txt")));

  EXPECT_EQ(fso_.ReturnNewestFileFromSpec(dir_.Path(), L"*.txt;*.log"), At(L"new.txt"));
  EXPECT_EQ(fso_.ReturnNewestFileFromSpec(dir_.Path(), L"*.log"), At(L"mid.log"));
  EXPECT_EQ(fso_.ReturnNewestFileFromSpec(dir_.Path(), L"*.none"), L"");
}

TEST_F(FsoTest, PickerAndPropertySheetAreOnlyRecordedWhileRehearsing) {
  EXPECT_EQ(fso_.BrowseForFolder(nullptr, L"Pick\ta folder"), L"");
  fso_.Get_FileProperties(At(L"some.txt"));
  const auto prompts = Prompts();
  ASSERT_GE(prompts.size(), 2u);
  EXPECT_EQ(prompts[prompts.size() - 2].kind, L"folderpicker");
  EXPECT_EQ(prompts[prompts.size() - 2].fields.at(0), L"Pick\ta folder");
  EXPECT_EQ(prompts.back().kind, L"window");
  EXPECT_EQ(prompts.back().fields, (std::vector<std::wstring>{L"Properties", At(L"some.txt")}));
  EXPECT_EQ(CountLines(log_.Lines(), L"clsFSO\\BrowseForFolder - Returned: "), 1u);
}
