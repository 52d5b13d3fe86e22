// Start-up settings, the debug log and the one-line file writer.
#include <gtest/gtest.h>

#include "common/CommonModule.h"
#include "tests/common/CommonTestHelpers.h"
#include "tests/support/ProductState.h"

using namespace CommonModule;
using commontest::DebugCapture;
using commontest::Probe;
using testsupport::ReadFileBytes;
using testsupport::ScratchDir;

namespace {

std::wstring TimeNow() {
  wchar_t buffer[64] = {};
  GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, buffer, 64);
  return buffer;
}

std::wstring ShortDateNow() {
  wchar_t buffer[64] = {};
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, buffer, 64);
  return buffer;
}

void MakeFile(const std::wstring& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  ASSERT_TRUE(testsupport::WriteTextFile(path, "x"));
  SetFileAttributesW(path.c_str(), attributes);
}

}  // namespace

// ---- DPrint ------------------------------------------------------------------------------------

TEST(DPrint, EachPartIsLedByATabAndTheLineByTheTimeOfDay) {
  DebugCapture log;
  std::wstring before = TimeNow();
  DPrint(L"CommonModule\\StripPath: ");
  DPrint(L"a", 1);
  DPrint(L"x", true, false, L"", -5);
  DPrint();
  DPrint(L"\t- Passed: " + std::wstring(L"C:\\x"));
  std::wstring after = TimeNow();

  const std::vector<std::wstring> expected = {L"\tCommonModule\\StripPath: ", L"\ta\t1", L"\tx\tTrue\tFalse\t\t-5", L"",
                                              L"\t\t- Passed: C:\\x"};
  ASSERT_EQ(log.Lines(), expected);

  // The time of day comes first, directly followed by the line; each line ends in CR LF.
  std::string bytes = ReadFileBytes(log.Path());
  auto lines = testsupport::Lines(testsupport::ReadTextFile(log.Path()));
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    std::wstring time = lines[i].substr(0, lines[i].size() - expected[i].size());
    EXPECT_TRUE(time == before || time == after) << "line " << i << ": [" << lines[i] << "]";
  }
  size_t lineEnds = 0;
  for (size_t at = bytes.find("\r\n"); at != std::string::npos; at = bytes.find("\r\n", at + 2)) ++lineEnds;
  EXPECT_EQ(lineEnds, expected.size());
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
}

TEST(DPrint, AppendsInTheAnsiCodePageAndNeverTruncates) {
  DebugCapture log;
  ASSERT_TRUE(testsupport::WriteTextFile(log.Path(), "earlier line\r\n"));
  DPrint(L"caf\u00e9");
  std::string bytes = ReadFileBytes(log.Path());
  EXPECT_EQ(bytes.rfind("earlier line\r\n", 0), 0u);
  EXPECT_NE(bytes.find(platform::ToAnsi(L"\tcaf\u00e9\r\n")), std::string::npos);
}

TEST(DPrint, WritesNoFileWhenFileLoggingIsOffAndNeverFails) {
  DebugCapture log;
  DebugToFile = false;
  DPrint(L"only to the debugger");
  EXPECT_FALSE(testsupport::FileExists(log.Path()));

  DebugToFile = true;
  DebugLogPath = L"Q:\\no such drive\\x.log";
  DPrint(L"lost line");  // nothing to check but that it returns
  DebugLogPath = log.Path();
}

// ---- SaveTextToFile ----------------------------------------------------------------------------

class SaveTextToFileTest : public testing::Test {
 protected:
  std::string Content(const std::wstring& name) const { return ReadFileBytes(dir_ / name); }
  ScratchDir dir_;
};

TEST_F(SaveTextToFileTest, OverwriteReplacesTheWholeFileWhateverNoDuplicatesSays) {
  for (bool noDuplicates : {false, true}) {
    SCOPED_TRACE(noDuplicates);
    ASSERT_TRUE(testsupport::WriteTextFile(dir_ / L"o.txt", "one\r\nnew\r\nthree\r\n"));
    EXPECT_TRUE(SaveTextToFile(dir_ / L"o.txt", L"new", true, noDuplicates));
    EXPECT_EQ(Content(L"o.txt"), "new\r\n");
  }
}

TEST_F(SaveTextToFileTest, AppendsOneLineEachTimeAndCreatesAMissingFile) {
  EXPECT_TRUE(SaveTextToFile(dir_ / L"a.txt", L"first", false, false));
  EXPECT_TRUE(SaveTextToFile(dir_ / L"a.txt", L"first", false, false));
  EXPECT_TRUE(SaveTextToFile(dir_ / L"a.txt", L"", false, false));
  EXPECT_EQ(Content(L"a.txt"), "first\r\nfirst\r\n\r\n");
  EXPECT_FALSE(FsRedirDisabled);
}

TEST_F(SaveTextToFileTest, NoDuplicatesSkipsALineThatIsThereInAnyCase) {
  ASSERT_TRUE(testsupport::WriteTextFile(dir_ / L"d.txt", "xyz\r\nABC\r\nlast"));
  EXPECT_TRUE(SaveTextToFile(dir_ / L"d.txt", L"abc", false, true));
  EXPECT_TRUE(SaveTextToFile(dir_ / L"d.txt", L"LAST", false, true));
  EXPECT_EQ(Content(L"d.txt"), "xyz\r\nABC\r\nlast");

  ASSERT_TRUE(testsupport::WriteTextFile(dir_ / L"p.txt", "abc\r\n"));
  EXPECT_TRUE(SaveTextToFile(dir_ / L"p.txt", L"ab", false, true));  // a part of a line is no duplicate
  EXPECT_EQ(Content(L"p.txt"), "abc\r\nab\r\n");
}

TEST_F(SaveTextToFileTest, NoDuplicatesCreatesAMissingFileAndWritesTheLine) {
  EXPECT_TRUE(SaveTextToFile(dir_ / L"new.txt", L"abc", false, true));
  EXPECT_EQ(Content(L"new.txt"), "abc\r\n");
}

TEST_F(SaveTextToFileTest, ATextWithALineBreakIsNeverADuplicate) {
  ASSERT_TRUE(testsupport::WriteTextFile(dir_ / L"d.txt", "abc\r\ndef\r\n"));
  EXPECT_TRUE(SaveTextToFile(dir_ / L"d.txt", L"abc\r\ndef", false, true));
  EXPECT_EQ(Content(L"d.txt"), "abc\r\ndef\r\nabc\r\ndef\r\n");
}

TEST_F(SaveTextToFileTest, CreatesEveryMissingFolder) {
  EXPECT_TRUE(SaveTextToFile(dir_ / L"a\\b\\c\\x.txt", L"deep", false, false));
  EXPECT_EQ(Content(L"a\\b\\c\\x.txt"), "deep\r\n");
  EXPECT_TRUE(SaveTextToFileNoDebug(dir_ / L"p\\q\\y.txt", L"deep", false, false));
  EXPECT_EQ(Content(L"p\\q\\y.txt"), "deep\r\n");
}

TEST_F(SaveTextToFileTest, AFolderThatCannotBeMadeGivesFalseAndTwoLines) {
  MakeFile(dir_ / L"blocker");
  const std::wstring folder = dir_ / L"blocker\\sub";
  DebugCapture log;
  EXPECT_FALSE(SaveTextToFile(folder + L"\\x.txt", L"text", false, false));
  const std::vector<std::wstring> expected = {
      L"\tSaveTextToFile - Directory does not exist / Cannot create directory:  ", L"\t\t" + folder};
  EXPECT_EQ(log.Lines(), expected);

  log.Clear();
  EXPECT_FALSE(SaveTextToFileNoDebug(folder + L"\\x.txt", L"text", false, false));
  EXPECT_TRUE(log.Lines().empty());
}

TEST_F(SaveTextToFileTest, AFailedWriteGivesFalseAndTheErrorReport) {
  CreateDirectoryW((dir_ / L"afolder").c_str(), nullptr);  // a folder where the file should be
  DebugCapture log;
  EXPECT_FALSE(SaveTextToFile(dir_ / L"afolder", L"text", true, false));
  auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].rfind(L"\tCommonModule\\SaveTextToFile VB ERROR: ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1], L"\t\tbOverwrite=True \\ bNoDuplicates=False");
  EXPECT_EQ(lines[2], L"\t\t" + (dir_ / L"afolder"));
  EXPECT_EQ(lines[3], L"\t\ttext");
  EXPECT_FALSE(FsRedirDisabled);

  log.Clear();
  EXPECT_FALSE(SaveTextToFileNoDebug(dir_ / L"afolder", L"text", false, false));
  EXPECT_TRUE(log.Lines().empty());
}

// ---- CountFiles --------------------------------------------------------------------------------

TEST(CountFiles, CountsOrdinaryFilesOnly) {
  ScratchDir dir;
  MakeFile(dir / L"a.txt");
  MakeFile(dir / L"b.log");
  MakeFile(dir / L"c", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  MakeFile(dir / L"hidden.txt", FILE_ATTRIBUTE_HIDDEN);
  MakeFile(dir / L"system.txt", FILE_ATTRIBUTE_SYSTEM);
  CreateDirectoryW((dir / L"folder.txt").c_str(), nullptr);

  EXPECT_EQ(CountFiles(dir.Path(), L""), 3);
  EXPECT_EQ(CountFiles(dir / L"", L"*.*"), 3);
  EXPECT_EQ(CountFiles(dir.Path().substr(0, dir.Path().size() - 1), L""), 3);  // no trailing backslash
  EXPECT_EQ(CountFiles(dir.Path(), L"*.txt"), 1);
  EXPECT_EQ(CountFiles(dir / L"missing", L""), 0);
}

// ---- InitAppSettings (run from a scratch folder: it works on the program's own folder) ------

TEST(InitAppSettings, LogToFileNumbersTheLogAfterTheFilesInTheDebugFolder) {
  Probe probe;
  const std::wstring debug = probe.Folder() + L"Debug\\";
  CreateDirectoryW(debug.c_str(), nullptr);
  MakeFile(debug + L"one.txt");
  MakeFile(debug + L"two.log");
  MakeFile(debug + L"three");
  MakeFile(debug + L"DebugOutput - " + testsupport::kProductName + L" 1.txt");
  MakeFile(debug + L"hidden.txt", FILE_ATTRIBUTE_HIDDEN);  // not an ordinary file
  CreateDirectoryW((debug + L"sub").c_str(), nullptr);     // nor is a folder

  auto out = probe.Run(L"init 1 1 1");
  const std::wstring logFile = debug + L"DebugOutput - commonprobe 5.txt";
  EXPECT_EQ(out[L"DebugToFile"], L"True");
  EXPECT_EQ(out[L"DebugLogPath"], logFile);
  EXPECT_EQ(out[L"IniPath"], probe.Folder() + L"commonprobe.ini");
  EXPECT_FALSE(testsupport::FileExists(probe.Folder() + L"commonprobe.ini"));  // its first writer makes it
  EXPECT_FALSE(testsupport::FileExists(probe.Folder() + L"commonprobe.log"));

  // The start-up lines: an empty part, the date and version text (ending in a blank), a rule.
  const std::vector<std::wstring> expected = {L"\t", L"\t" + ShortDateNow() + L" - Starting commonprobe v7.4.65535 ",
                                              L"\t" + std::wstring(40, L'-')};
  EXPECT_EQ(commontest::LogLinesWithoutTime(logFile), expected);

  // The next start gets the next number.
  out = probe.Run(L"init 1 1 1");
  EXPECT_EQ(out[L"DebugLogPath"], debug + L"DebugOutput - commonprobe 6.txt");
  EXPECT_TRUE(testsupport::FileExists(debug + L"DebugOutput - commonprobe 6.txt"));
}

TEST(InitAppSettings, LogToFileMakesTheDebugFolder) {
  Probe probe;
  auto out = probe.Run(L"init 1 1 1");
  EXPECT_EQ(out[L"DebugLogPath"], probe.Folder() + L"Debug\\DebugOutput - commonprobe 1.txt");
  EXPECT_EQ(commontest::LogLinesWithoutTime(out[L"DebugLogPath"]).size(), 3u);
}

TEST(InitAppSettings, ADebugFolderThatCannotBeMadeTurnsFileLoggingOff) {
  Probe probe;
  MakeFile(probe.Folder() + L"Debug");  // a file in the folder's place
  auto out = probe.Run(L"init 1 1 1");
  EXPECT_EQ(out[L"DebugToFile"], L"False");
  EXPECT_FALSE(testsupport::FileExists(out[L"DebugLogPath"]));
}

TEST(InitAppSettings, IniPathFollowsTheFirstTwoArguments) {
  struct Case {
    const wchar_t* arguments;
    const wchar_t* iniPath;  // after the probe's folder; nullptr: empty
    bool configFolder;
  };
  const Case cases[] = {
      {L"init 1 1 0", L"commonprobe.ini", false},
      {L"init 1 0 0", L"Config\\commonprobe.ini", true},
      {L"init 0 1 0", nullptr, false},
      {L"init 0 0 0", nullptr, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    Probe probe;
    auto out = probe.Run(c.arguments);
    EXPECT_EQ(out[L"IniPath"], c.iniPath ? probe.Folder() + c.iniPath : L"");
    EXPECT_EQ(testsupport::FolderExists(probe.Folder() + L"Config"), c.configFolder);
    EXPECT_EQ(out[L"DebugToFile"], L"False");
    EXPECT_EQ(out[L"DebugLogPath"], L"");
    EXPECT_FALSE(testsupport::FolderExists(probe.Folder() + L"Debug"));
  }
}
