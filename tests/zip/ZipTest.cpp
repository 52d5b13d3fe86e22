// The zip reader and modZip::UnzipFile over archives made at build time by Info-ZIP's zip and by
// Python's zipfile (tests/zip/make_zip_fixtures.py), the 7-Zip fallback with the fake program,
// and the shared status window.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "common/frmStatusWin.h"
#include "platform/Handle.h"
#include "tests/support/TestSupport.h"
#include "zip/ZipExtractionClass.h"
#include "zip/modZip.h"

using testsupport::ScratchDir;

namespace {

std::wstring Fixture(const std::wstring& name) { return testsupport::TestsDir() + L"zipfixtures\\" + name; }
std::wstring Tree(const std::wstring& name) { return Fixture(L"trees\\" + name); }

// Every file and folder below root, relative, folders with a trailing backslash, sorted.
void ListInto(const std::wstring& root, const std::wstring& relative, std::vector<std::wstring>& out) {
  WIN32_FIND_DATAW data;
  platform::UniqueFindHandle find(FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &data));
  if (!find) return;
  do {
    std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out.push_back(relative + name + L"\\");
      ListInto(root, relative + name + L"\\", out);
    } else {
      out.push_back(relative + name);
    }
  } while (FindNextFileW(find.get(), &data));
}

std::vector<std::wstring> Listing(const std::wstring& root) {
  std::vector<std::wstring> out;
  ListInto(root, L"", out);
  std::sort(out.begin(), out.end());
  return out;
}

void ExpectSameTree(const std::wstring& extracted, const std::wstring& source) {
  const auto files = Listing(source);
  ASSERT_EQ(Listing(extracted), files);
  for (const auto& file : files) {
    if (file.back() == L'\\') continue;
    EXPECT_TRUE(testsupport::ReadFileBytes(extracted + L"\\" + file) == testsupport::ReadFileBytes(source + L"\\" + file))
        << file;
  }
}

bool Unzip(const std::wstring& zip, std::wstring destination, bool silent = true) {
  return modZip::UnzipFile(zip, destination, silent);
}

// A reader whose events are recorded.
struct RecordingReader {
  std::vector<std::wstring> statuses;
  std::vector<std::pair<int32_t, std::wstring>> errors;
  std::vector<int32_t> percents;
  ZipExtractionClass zip;  // last: its destruction still reports "Zip Closed"

  RecordingReader() {
    zip.Status = [this](const std::wstring& text) { statuses.push_back(text); };
    zip.ZipError = [this](int32_t number, const std::wstring& text) { errors.emplace_back(number, text); };
    zip.Progress = [this](int32_t& percent, bool&) { percents.push_back(percent); };
  }
  bool OpenAndExtract(const std::wstring& zipPath, const std::wstring& folder, bool preservePath = true,
                      bool overwrite = true) {
    return zip.OpenZip(zipPath) && zip.Extract(folder, preservePath, overwrite);
  }
  std::vector<int32_t> ErrorNumbers() const {
    std::vector<int32_t> numbers;
    for (const auto& e : errors) numbers.push_back(e.first);
    return numbers;
  }
};

const std::string kVictim = "original victim file\r\n";

}  // namespace

// ---- Sound archives --------------------------------------------------------------------------

struct SoundArchive {
  const wchar_t* zip;
  const wchar_t* tree;
};

void PrintTo(const SoundArchive& a, std::ostream* os) { *os << testing::PrintToString(std::wstring(a.zip)); }

class ZipSoundArchiveTest : public testing::TestWithParam<SoundArchive> {};

TEST_P(ZipSoundArchiveTest, ExtractsEveryFileAndFolderExactly) {
  ScratchDir dir;
  const std::wstring destination = dir / L"created\\out";  // two missing levels
  ASSERT_TRUE(Unzip(Fixture(GetParam().zip), destination));
  ExpectSameTree(destination, Tree(GetParam().tree));
}

INSTANTIATE_TEST_SUITE_P(
    Archives, ZipSoundArchiveTest,
    testing::Values(SoundArchive{L"zip_deflated.zip", L"basic"}, SoundArchive{L"zip_stored.zip", L"basic"},
                    SoundArchive{L"zip_descriptor.zip", L"basic"}, SoundArchive{L"zip_streamed.zip", L"basic"},
                    SoundArchive{L"py_deflated.zip", L"basic"}, SoundArchive{L"py_stored.zip", L"basic"},
                    SoundArchive{L"py_streamed.zip", L"basic"}, SoundArchive{L"py_comment.zip", L"basic"},
                    SoundArchive{L"py_utf8.zip", L"utf8"}, SoundArchive{L"py_many.zip", L"many"},
                    SoundArchive{L"py_none.zip", L"none"}),
    [](const testing::TestParamInfo<SoundArchive>& info) {
      std::wstring name = info.param.zip;
      std::string text(name.begin(), name.end() - 4);
      return text;
    });

TEST(ZipUnzipFileTest, ReplacesExistingFilesAndLeavesOthersAlone) {
  ScratchDir dir;
  const std::wstring destination = dir / L"out";
  CreateDirectoryW(destination.c_str(), nullptr);
  CreateDirectoryW((destination + L"\\data").c_str(), nullptr);
  ASSERT_TRUE(testsupport::WriteTextFile(destination + L"\\readme.txt", "older and longer content\r\n"));
  ASSERT_TRUE(testsupport::WriteTextFile(destination + L"\\data\\blob.bin", "x"));
  ASSERT_TRUE(testsupport::WriteTextFile(destination + L"\\keep.txt", "not in the archive"));

  ASSERT_TRUE(Unzip(Fixture(L"zip_deflated.zip"), destination + L"\\"));

  std::vector<std::wstring> expected = Listing(Tree(L"basic"));
  expected.push_back(L"keep.txt");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Listing(destination), expected);  // no temporary file is left behind either
  EXPECT_EQ(testsupport::ReadFileBytes(destination + L"\\readme.txt"),
            testsupport::ReadFileBytes(Tree(L"basic\\readme.txt")));
  EXPECT_EQ(testsupport::ReadFileBytes(destination + L"\\data\\blob.bin"),
            testsupport::ReadFileBytes(Tree(L"basic\\data\\blob.bin")));
  EXPECT_EQ(testsupport::ReadFileBytes(destination + L"\\keep.txt"), "not in the archive");
}

// ---- Broken and hostile archives -------------------------------------------------------------

struct BadArchive {
  const wchar_t* zip;
  int32_t error;  // the reader's ZipError number
};

void PrintTo(const BadArchive& a, std::ostream* os) { *os << testing::PrintToString(std::wstring(a.zip)); }

class ZipBadArchiveTest : public testing::TestWithParam<BadArchive> {};

// Each archive holds a sound "good.txt" before the bad entry (or is broken as a whole): nothing
// may be written, the file the bad entry would replace survives, nothing lands outside.
TEST_P(ZipBadArchiveTest, FailsAndWritesNothing) {
  ScratchDir dir;
  const std::wstring destination = dir / L"out";
  CreateDirectoryW(destination.c_str(), nullptr);
  ASSERT_TRUE(testsupport::WriteTextFile(destination + L"\\victim.txt", kVictim));
  const std::wstring outside[] = {dir / L"ilzip_escape.txt", L"C:\\ilzip_abs_probe.txt", L"C:\\ilzip_drive_probe.txt"};

  RecordingReader reader;
  EXPECT_FALSE(reader.OpenAndExtract(Fixture(GetParam().zip), destination));
  EXPECT_EQ(reader.ErrorNumbers(), std::vector<int32_t>{GetParam().error});

  EXPECT_FALSE(Unzip(Fixture(GetParam().zip), destination));

  EXPECT_EQ(Listing(destination), std::vector<std::wstring>{L"victim.txt"});
  EXPECT_EQ(testsupport::ReadFileBytes(destination + L"\\victim.txt"), kVictim);
  EXPECT_EQ(Listing(dir.Path()), (std::vector<std::wstring>{L"out\\", L"out\\victim.txt"}));
  for (const auto& path : outside) EXPECT_FALSE(testsupport::FileExists(path)) << path;
}

INSTANTIATE_TEST_SUITE_P(
    Archives, ZipBadArchiveTest,
    testing::Values(BadArchive{L"evil_dotdot.zip", ZipExtractionClass::kErrUnsafeName},
                    BadArchive{L"evil_dotdot_backslash.zip", ZipExtractionClass::kErrUnsafeName},
                    BadArchive{L"evil_dotdot_nested.zip", ZipExtractionClass::kErrUnsafeName},
                    BadArchive{L"evil_dots_blanks.zip", ZipExtractionClass::kErrUnsafeName},
                    BadArchive{L"evil_absolute.zip", ZipExtractionClass::kErrUnsafeName},
                    BadArchive{L"evil_absolute_backslash.zip", ZipExtractionClass::kErrUnsafeName},
                    BadArchive{L"evil_drive.zip", ZipExtractionClass::kErrUnsafeName},
                    BadArchive{L"evil_drive_relative.zip", ZipExtractionClass::kErrUnsafeName},
                    BadArchive{L"evil_unc.zip", ZipExtractionClass::kErrUnsafeName},
                    BadArchive{L"evil_device.zip", ZipExtractionClass::kErrUnsafeName},
                    BadArchive{L"evil_stream.zip", ZipExtractionClass::kErrUnsafeName},
                    BadArchive{L"bad_crc_stored.zip", ZipExtractionClass::kErrChecksum},
                    BadArchive{L"bad_crc_deflated.zip", ZipExtractionClass::kErrChecksum},
                    BadArchive{L"bad_deflate.zip", ZipExtractionClass::kErrChecksum},
                    BadArchive{L"bad_sizes.zip", ZipExtractionClass::kErrDamaged},
                    BadArchive{L"truncated_half.zip", ZipExtractionClass::kErrNotAZip},
                    BadArchive{L"truncated_middle.zip", ZipExtractionClass::kErrNotAZip},
                    BadArchive{L"not_a_zip.zip", ZipExtractionClass::kErrNotAZip},
                    BadArchive{L"unsupported_method.zip", ZipExtractionClass::kErrUnsupportedMethod}),
    [](const testing::TestParamInfo<BadArchive>& info) {
      std::wstring name = info.param.zip;
      return std::string(name.begin(), name.end() - 4);
    });

// ---- The reader's own interface ---------------------------------------------------------------

class ZipReaderTest : public testing::Test {
 protected:
  ScratchDir dir_;
  RecordingReader reader_;
  const std::wstring out_ = dir_ / L"out";
};

TEST_F(ZipReaderTest, ReportsStatusAndProgressForEveryEntry) {
  ASSERT_TRUE(reader_.OpenAndExtract(Fixture(L"py_deflated.zip"), out_));
  reader_.zip.CloseZip();
  const auto& s = reader_.statuses;
  ASSERT_GE(s.size(), 5u);
  EXPECT_EQ(std::vector<std::wstring>(s.begin(), s.begin() + 3),
            (std::vector<std::wstring>{L"Opening Zip", L"Zip Opened", L"Extracting Files"}));
  EXPECT_NE(std::find(s.begin(), s.end(), L"Extracting ...\\data\\nested\\deeper\\leaf.txt"), s.end());
  EXPECT_EQ(s[s.size() - 2], L"Extraction Complete");
  EXPECT_EQ(s.back(), L"Zip Closed");

  // One report per entry, folders included; the percentages rise to 100.
  EXPECT_EQ(reader_.percents.size(), Listing(Tree(L"basic")).size());
  EXPECT_TRUE(std::is_sorted(reader_.percents.begin(), reader_.percents.end()));
  EXPECT_EQ(reader_.percents.back(), 100);
  EXPECT_TRUE(reader_.errors.empty());
  EXPECT_FALSE(reader_.zip.ZLibVersion().empty());
}

TEST_F(ZipReaderTest, ACancelFromProgressStopsAndRemovesWhatWasStarted) {
  reader_.zip.Progress = [](int32_t& percent, bool& cancel) { cancel = percent >= 50; };
  EXPECT_FALSE(reader_.OpenAndExtract(Fixture(L"py_deflated.zip"), out_));
  EXPECT_TRUE(testsupport::FolderExists(out_));
  EXPECT_TRUE(Listing(out_).empty());
}

TEST_F(ZipReaderTest, WithoutPreservePathEveryFileLandsInTheFolderItself) {
  ASSERT_TRUE(reader_.OpenAndExtract(Fixture(L"zip_deflated.zip"), out_, false));
  EXPECT_EQ(Listing(out_), (std::vector<std::wstring>{L"blob.bin", L"empty-too.dat", L"empty.txt", L"leaf.txt",
                                                      L"readme.txt"}));
  EXPECT_EQ(testsupport::ReadFileBytes(out_ + L"\\leaf.txt"),
            testsupport::ReadFileBytes(Tree(L"basic\\data\\nested\\deeper\\leaf.txt")));
}

TEST_F(ZipReaderTest, WithoutOverwriteAnExistingFileIsKeptAndTheRestExtracted) {
  CreateDirectoryW(out_.c_str(), nullptr);
  ASSERT_TRUE(testsupport::WriteTextFile(out_ + L"\\readme.txt", "mine"));
  EXPECT_TRUE(reader_.OpenAndExtract(Fixture(L"zip_deflated.zip"), out_, true, false));
  ASSERT_EQ(reader_.errors.size(), 1u);
  EXPECT_EQ(reader_.errors[0],
            std::make_pair(int32_t{ZipExtractionClass::kErrAlreadyExists},
                           L"The file " + out_ + L"\\readme.txt already exists"));
  EXPECT_EQ(testsupport::ReadFileBytes(out_ + L"\\readme.txt"), "mine");
  EXPECT_EQ(Listing(out_), Listing(Tree(L"basic")));
}

TEST_F(ZipReaderTest, OpenAndExtractErrorsCarryTheirNumbersAndTexts) {
  const std::wstring missing = dir_ / L"missing.zip";
  EXPECT_FALSE(reader_.zip.OpenZip(missing));
  EXPECT_FALSE(reader_.zip.Extract(out_, true, true));
  const std::wstring notZip = Fixture(L"not_a_zip.zip");
  EXPECT_FALSE(reader_.zip.OpenZip(notZip));
  using Error = std::pair<int32_t, std::wstring>;
  EXPECT_EQ(reader_.errors, (std::vector<Error>{{10, L"The file " + missing + L" doesn't exist"},
                                                {3, L"There is no Zip File Open"},
                                                {2, L"The file " + notZip + L" is not a Zip file"}}));
}

TEST_F(ZipReaderTest, AFolderThatCannotBeMadeFailsTheArchive) {
  // The destination lies two missing levels deep: the reader makes one level only.
  EXPECT_FALSE(reader_.OpenAndExtract(Fixture(L"py_deflated.zip"), dir_ / L"a\\b"));
  EXPECT_EQ(reader_.errors, (std::vector<std::pair<int32_t, std::wstring>>{
                                {ZipExtractionClass::kErrCantCreateFolder, L"Can't create the folder " + dir_ / L"a\\b"}}));

  // A file stands where the archive has a folder.
  reader_.errors.clear();
  CreateDirectoryW(out_.c_str(), nullptr);
  ASSERT_TRUE(testsupport::WriteTextFile(out_ + L"\\data", "in the way"));
  EXPECT_FALSE(reader_.OpenAndExtract(Fixture(L"py_deflated.zip"), out_));
  EXPECT_EQ(reader_.ErrorNumbers(), std::vector<int32_t>{ZipExtractionClass::kErrCantCreateFolder});
  EXPECT_EQ(Listing(out_), std::vector<std::wstring>{L"data"});
}

TEST_F(ZipReaderTest, AFileThatCannotBeReplacedFailsTheArchiveAndKeepsItsContent) {
  CreateDirectoryW(out_.c_str(), nullptr);
  const std::wstring locked = out_ + L"\\readme.txt";
  ASSERT_TRUE(testsupport::WriteTextFile(locked, "in use"));
  platform::UniqueFileHandle holder(
      CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder);
  EXPECT_FALSE(reader_.OpenAndExtract(Fixture(L"py_stored.zip"), out_));
  EXPECT_EQ(reader_.ErrorNumbers(), std::vector<int32_t>{ZipExtractionClass::kErrCantRemove});
  holder.reset();
  EXPECT_EQ(testsupport::ReadFileBytes(locked), "in use");
  for (const auto& name : Listing(out_)) EXPECT_EQ(name.find(L"~ilz"), std::wstring::npos) << name;
}

// ---- The status window ------------------------------------------------------------------------

namespace {

std::wstring g_labelAtUnload;
HHOOK g_hook = nullptr;

LRESULT CALLBACK WatchUnload(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_DESTROYWND && reinterpret_cast<HWND>(wParam) == frmStatusWin::Handle())
    g_labelAtUnload = frmStatusWin::Label1();
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

}  // namespace

TEST(ZipStatusWindowTest, ShowsALabelCountsAsALoadedFormAndUnloads) {
  frmStatusWin::Show(L"Working...");
  HWND window = frmStatusWin::Handle();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_TRUE(CommonModule::IsFormLoaded(L"frmStatusWin"));
  EXPECT_EQ(frmStatusWin::Label1(), L"Working...");

  frmStatusWin::Show(L"Still working...");
  EXPECT_EQ(frmStatusWin::Handle(), window);
  EXPECT_EQ(frmStatusWin::Label1(), L"Still working...");

  frmStatusWin::Unload();
  EXPECT_FALSE(CommonModule::IsFormLoaded(L"frmStatusWin"));
  EXPECT_EQ(frmStatusWin::Handle(), nullptr);
  EXPECT_FALSE(IsWindow(window));
}

TEST(ZipStatusWindowTest, UnzipFileShowsTheZipNameUnlessSilentAndUnloadsIt) {
  ScratchDir dir;
  g_hook = SetWindowsHookExW(WH_CBT, WatchUnload, nullptr, GetCurrentThreadId());
  ASSERT_NE(g_hook, nullptr);
  g_labelAtUnload.clear();
  EXPECT_TRUE(Unzip(Fixture(L"py_stored.zip"), dir / L"a", false));
  EXPECT_EQ(g_labelAtUnload, L"Extracting py_stored.zip");
  EXPECT_FALSE(CommonModule::IsFormLoaded(L"frmStatusWin"));

  g_labelAtUnload.clear();
  EXPECT_FALSE(Unzip(Fixture(L"not_a_zip.zip"), dir / L"b", false));  // unloaded on failure too
  EXPECT_EQ(g_labelAtUnload, L"Extracting not_a_zip.zip");
  EXPECT_FALSE(CommonModule::IsFormLoaded(L"frmStatusWin"));

  g_labelAtUnload = L"none";
  EXPECT_TRUE(Unzip(Fixture(L"py_stored.zip"), dir / L"c", true));
  EXPECT_EQ(g_labelAtUnload, L"none");
  UnhookWindowsHookEx(g_hook);
}

// ---- Run from a program folder: the 7-Zip fallback and rehearsals -----------------------------

namespace {

// zipprobe.exe copied into a scratch folder, with "3rd Party Tools\Ketarin" beside it.
class ZipProbe {
 public:
  ZipProbe() { CopyFileW((testsupport::TestsDir() + L"zipprobe.exe").c_str(), Exe().c_str(), FALSE); }
  std::wstring Exe() const { return dir_ / L"zipprobe.exe"; }
  std::wstring Tool(const std::wstring& name) const { return dir_ / (L"3rd Party Tools\\Ketarin\\" + name); }
  std::wstring Path(const std::wstring& name) const { return dir_ / name; }

  void PlaceFake(const std::wstring& name, int exitCode) const {
    CreateDirectoryW((dir_ / L"3rd Party Tools").c_str(), nullptr);
    CreateDirectoryW((dir_ / L"3rd Party Tools\\Ketarin").c_str(), nullptr);
    ASSERT_TRUE(testsupport::CopyProgram(L"fakeprog.exe", Tool(name)));
    std::wstring base = Tool(name).substr(0, Tool(name).size() - 4);
    ASSERT_TRUE(testsupport::WriteTextFile(base + L".fake.ini", "[fake]\r\nexit=" + std::to_string(exitCode) + "\r\n"));
  }
  std::vector<std::wstring> Calls(const std::wstring& name) const {
    std::wstring base = Tool(name).substr(0, Tool(name).size() - 4);
    return testsupport::Lines(testsupport::ReadTextFile(base + L".calls.log"));
  }
  std::vector<std::wstring> DebugLog() const {
    return testsupport::Lines(testsupport::ReadTextFile(dir_ / L"probe.log"));
  }

  // Exit code 1 when UnzipFile returned True, 0 when False.
  DWORD Run(const std::wstring& zip, const std::wstring& destination, bool silent,
            const std::vector<std::wstring>& env = {}) const {
    // A backslash before a closing quote is doubled, or it would escape the quote.
    const std::wstring folder = destination.back() == L'\\' ? destination + L"\\" : destination;
    auto result = testsupport::RunProcess(
        L"\"" + Exe() + L"\" \"" + zip + L"\" \"" + folder + L"\" " + (silent ? L"1" : L"0"), env);
    EXPECT_TRUE(result.finished);
    return result.exitCode;
  }

 private:
  ScratchDir dir_;
};

bool LogHas(const std::vector<std::wstring>& lines, const std::wstring& part) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::wstring& l) { return l.find(part) != l.npos; });
}

}  // namespace

struct FallbackCase {
  const char* name;
  const wchar_t* zip;
  std::vector<std::pair<const wchar_t*, int>> fakes;  // program name, exit code
  DWORD result;                                       // the probe's exit code: 1 True, 0 False
  const wchar_t* calledProgram;                       // the fake that must have run, or null
  bool extractCalled;
};

void PrintTo(const FallbackCase& c, std::ostream* os) { *os << c.name; }

class ZipFallbackTest : public testing::TestWithParam<FallbackCase> {};

TEST_P(ZipFallbackTest, RunsAfterAReaderFailureAndCountsOnlyWhenBothCommandsPass) {
  const FallbackCase& c = GetParam();
  ZipProbe probe;
  for (const auto& [name, exitCode] : c.fakes) probe.PlaceFake(name, exitCode);
  const std::wstring zip = Fixture(c.zip);
  const std::wstring destination = probe.Path(L"out");

  EXPECT_EQ(probe.Run(zip, destination + L"\\", true), c.result);

  for (const auto& [name, exitCode] : c.fakes) {
    std::vector<std::wstring> expected;
    if (c.calledProgram && name == std::wstring(c.calledProgram)) {
      const std::wstring program = L"\"" + probe.Tool(name) + L"\"";
      expected.push_back(program + L" t \"" + zip + L"\"");
      if (c.extractCalled) expected.push_back(program + L" x \"" + zip + L"\" -o\"" + destination + L"\" -y");
    }
    EXPECT_EQ(probe.Calls(name), expected) << name;
  }
  if (c.fakes.empty()) {
    EXPECT_TRUE(LogHas(probe.DebugLog(), L"7zip executable not found!  Aborting function!"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ZipFallbackTest,
    testing::Values(FallbackCase{"NoSevenZip", L"not_a_zip.zip", {}, 0, nullptr, false},
                    FallbackCase{"SevenZaSucceeds", L"not_a_zip.zip", {{L"7za.exe", 0}}, 1, L"7za.exe", true},
                    FallbackCase{"SevenZWinsOverSevenZa", L"not_a_zip.zip", {{L"7za.exe", 0}, {L"7z.exe", 0}}, 1,
                                 L"7z.exe", true},
                    FallbackCase{"FailedTestMeansNoExtraction", L"bad_crc_stored.zip", {{L"7z.exe", 2}}, 0, L"7z.exe",
                                 false},
                    FallbackCase{"SoundArchiveNeedsNoFallback", L"py_deflated.zip", {{L"7z.exe", 0}}, 1, nullptr,
                                 false},
                    FallbackCase{"HostileArchiveIsNotHandedOn", L"evil_dotdot.zip", {{L"7z.exe", 0}}, 0, nullptr,
                                 false}),
    [](const testing::TestParamInfo<FallbackCase>& info) { return std::string(info.param.name); });

TEST(ZipRehearsalTest, TheStatusWindowIsRecordedUnlessSilent) {
  for (bool silent : {false, true}) {
    ZipProbe probe;
    const std::wstring log = probe.Path(L"prompts.log");
    EXPECT_EQ(probe.Run(Fixture(L"py_deflated.zip"), probe.Path(L"out"), silent, {L"ILATCH_PROMPT_LOG=" + log}), 1u);
    auto records = testsupport::ReadPromptLog(log);
    bool shown = std::any_of(records.begin(), records.end(), [](const testsupport::PromptRecord& r) {
      return r.kind == L"window" && !r.fields.empty() && r.fields[0] == L"frmStatusWin";
    });
    EXPECT_EQ(shown, !silent) << "silent=" << silent;
    ExpectSameTree(probe.Path(L"out"), Tree(L"basic"));
  }
}
