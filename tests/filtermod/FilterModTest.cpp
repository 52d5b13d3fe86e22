// The filter module started the way Windows starts it for a hooked file class: what the user is
// asked, whether the launched file (the recording fake program under the file's name) runs and
// with which arguments, and what lands in the Application log.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>
#include <wincrypt.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/HashListPlacing.h"
#include "notify/AlertEntry.h"
#include "filtermod/clsHash.h"
#include "platform/EventLog.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "tests/common/CommonTestHelpers.h"
#include "tests/support/LiveWindow.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

const std::wstring kSourceKey =
    std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\") + kFilterModuleEventSource;
const wchar_t kCrLf[] = L"\r\n";
constexpr ALG_ID kSha256 = 0x800C;

// A name for files outside the scratch folders, this run's alone: Wine reuses process ids, and the
// journal keeps the entries of earlier runs.
std::wstring RunTag() { return std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount()); }

// ---- clsHash over files whose digests coreutils gave ----

struct DigestCase {
  size_t size;  // bytes of 'a'
  const wchar_t* md5;
  const wchar_t* sha256;
};

void PrintTo(const DigestCase& c, std::ostream* os) { *os << c.size << " bytes"; }

class HashFileTest : public testing::TestWithParam<DigestCase> {};

TEST_P(HashFileTest, DigestsMatchAcrossBlockEdges) {
  ScratchDir dir;
  const std::wstring file = dir / L"data.bin";
  ASSERT_TRUE(WriteTextFile(file, std::string(GetParam().size, 'a')));
  clsHash md5;
  EXPECT_EQ(md5.HashFile(file, CALG_MD5), GetParam().md5);
  EXPECT_EQ(md5.Error().number, 0u);
  clsHash sha;
  EXPECT_EQ(sha.HashFile(file, kSha256), GetParam().sha256);
  // Both from one read, side by side, as the module takes them.
  clsHash both;
  EXPECT_EQ(both.HashFileAll(file, {CALG_MD5, kSha256}),
            (std::vector<std::wstring>{GetParam().md5, GetParam().sha256}));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, HashFileTest,
    testing::Values(
        DigestCase{0, L"D41D8CD98F00B204E9800998ECF8427E",
                   L"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
        DigestCase{16384, L"09B47CF07C9D0EA589E0E2AA7D0D3550",
                   L"F3336BEA752B5A28743033DD2C844A4A63FBA08871AAEE2586A2BF2D69BE83A2"},
        DigestCase{16385, L"8D075F723556E776F6F5DCF28E6889A7",
                   L"608B801060D579A7B659A01755259A13DEC8853B97D3D8062763C97FFAC6DDAE"},
        // One read block exactly (both digests on one thread), and one byte past it.
        DigestCase{1024 * 1024, L"7202826A7791073FE2787F0C94603278",
                   L"9BC1B2A288B26AF7257A36277AE3816A7D4F16E89C1E7E77D0A5C48BAD62B360"},
        DigestCase{1024 * 1024 + 1, L"6F0555AC53CECBF068D354C08863805A",
                   L"4A3F0C0C213ADEA174F9A3D4C13177315B588BDB2E9C1012D3D0BF0453CA0F6A"},
        DigestCase{2 * 1024 * 1024 + 1, L"F0A5D0AA0B425BF89A75A696A7C80347",
                   L"16A429A1E5162FCF59E3079724763E9AFAFCEF1E2C7F862571E9267B3D959113"}),
    [](const testing::TestParamInfo<DigestCase>& info) { return "Bytes" + std::to_string(info.param.size); });

TEST(HashFile, MissingFileIsNumberedError) {
  ScratchDir dir;
  clsHash hash;
  EXPECT_EQ(hash.HashFile(dir / L"absent.bin", CALG_MD5), L"");
  EXPECT_EQ(hash.Error().number, clsHash::kErrNoFile);
  EXPECT_EQ(hash.Error().source, L"clsHash.HashFile");
  EXPECT_EQ(hash.Error().description, L"File doesn't exist");
}

// ---- The program ----

std::wstring ListsFolder() { return platform::GetEnv(L"programdata") + kProductFolder + L"\\"; }

class FilterModTest : public testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override {
    Clean();
    for (const auto& file : extraFiles_) DeleteFileW(file.c_str());
  }
  // No lists, no list index, no pointer to one, no copy of one.
  void Clean() {
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kMakerKey);
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kSourceKey);
    for (const wchar_t* list : kHashLists) DeleteFileW((ListsFolder() + list).c_str());
    DeleteFileW((ListsFolder() + kDefinitionsVersionFile).c_str());
    // Nor this user's copy of an index that an earlier test built.
    RemoveUserListCopy();
    for (const std::wstring& index : FilesIn(ListsFolder(), kListIndexPrefix + std::wstring(L"*") + kListIndexSuffix)) {
      SetFileAttributesW(index.c_str(), FILE_ATTRIBUTE_NORMAL);
      RemoveDirectoryW(index.c_str());
      DeleteFileW(index.c_str());
    }
  }
  static std::vector<std::wstring> FilesIn(const std::wstring& folder, const std::wstring& pattern) {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found = {};
    platform::UniqueFindHandle search(FindFirstFileW((folder + pattern).c_str(), &found));
    if (search) {
      do files.push_back(folder + found.cFileName);
      while (FindNextFileW(search.get(), &found));
    }
    return files;
  }
  // The list index built as the main program builds it at apply, for the lists as they are.
  static void IndexTheLists() {
    ASSERT_TRUE(HashListPlacing::RenewIndex(ListsFolder()));
    ASSERT_NE(CurrentListIndex(), 0u);
  }
  static std::wstring CurrentIndexFile() { return ListsFolder() + ListIndexName(CurrentListIndex()); }

  // The fake program copied as the launched file; its calls land in <name>.calls.log beside it.
  std::wstring Target(const std::wstring& relative) {
    std::wstring path = program.Folder() + relative;
    for (size_t slash = program.Folder().size(); (slash = path.find(L'\\', slash + 1)) != std::wstring::npos;)
      CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
    EXPECT_TRUE(CopyProgram(L"fakeprog.exe", path));
    return path;
  }
  // The copy's path as the disk spells it ("C:\windows\temp\..." for "%systemroot%\Temp\..."):
  // the module starts a file under that name.
  std::wstring TargetAt(const std::wstring& fullPath) {
    EXPECT_TRUE(CopyProgram(L"fakeprog.exe", fullPath));
    extraFiles_.push_back(fullPath);
    extraFiles_.push_back(CallsLog(fullPath));
    wchar_t onDisk[MAX_PATH] = {};
    const DWORD n = GetLongPathNameW(fullPath.c_str(), onDisk, MAX_PATH);
    return n && n < MAX_PATH ? onDisk : fullPath;
  }
  static std::wstring CallsLog(const std::wstring& target) {
    return target.substr(0, target.find_last_of(L'.')) + L".calls.log";
  }
  // The command lines the launched file was started with; waits a while for the first one, since
  // the module does not wait for what it starts.
  static std::vector<std::wstring> Calls(const std::wstring& target, bool expectOne) {
    for (int i = 0; i < (expectOne ? 200 : 10) && !FileExists(CallsLog(target)); ++i) Sleep(50);
    return Lines(ReadTextFile(CallsLog(target)));
  }

  void Run(const std::wstring& arguments, const std::wstring& answers = L"") {
    RunResult result = program.Run(arguments, answers);
    ASSERT_TRUE(result.finished) << "the filter module did not end";
  }
  void SetSwitch(const std::wstring& name, const std::wstring& value) {
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kFilterModuleKey, name, value));
  }

  // The module's journal entries about one file, its alert entries for the event service aside.
  static std::vector<platform::EventEntry> EntriesAbout(const std::wstring& path) {
    std::vector<platform::EventEntry> mine;
    for (auto& e : platform::ReadEventsNewestFirst(L"Application", 2000))
      if (e.source == kFilterModuleEventSource && e.strings.size() == 1 && platform::Contains(e.strings[0], path) &&
          !AlertEntry::Parse(e.strings[0]))
        mine.push_back(e);
    return mine;
  }
  // The subjects of the module's alert entries about one file, newest first.
  static std::vector<std::wstring> AlertSubjectsAbout(const std::wstring& path) {
    std::vector<std::wstring> subjects;
    for (auto& e : platform::ReadEventsNewestFirst(L"Application", 2000)) {
      const auto alert = e.source == kFilterModuleEventSource && e.strings.size() == 1 ? AlertEntry::Parse(e.strings[0])
                                                                                       : std::nullopt;
      if (alert && platform::Contains(alert->body, path)) subjects.push_back(alert->subject);
    }
    return subjects;
  }
  static void ExpectOneEntry(const std::wstring& path, uint16_t type, const std::wstring& message) {
    const auto entries = EntriesAbout(path);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].eventId, 10177u);
    EXPECT_EQ(entries[0].type, type);
    EXPECT_EQ(entries[0].category, 0);
    EXPECT_EQ(entries[0].strings[0], message);
  }
  void ExpectBoxes(const std::vector<std::pair<std::wstring, std::wstring>>& flagsAndTexts) {
    const auto prompts = program.Prompts();
    ASSERT_EQ(prompts.size(), flagsAndTexts.size());
    for (size_t i = 0; i < prompts.size(); ++i) {
      EXPECT_EQ(prompts[i].kind, L"box");
      ASSERT_EQ(prompts[i].fields.size(), 4u);
      EXPECT_EQ(prompts[i].fields[0], kProductName);
      EXPECT_EQ(prompts[i].fields[1], flagsAndTexts[i].first);
      EXPECT_EQ(prompts[i].fields[2], flagsAndTexts[i].second);
    }
  }

  InstalledProgram program{kFilterModuleProgram};
  std::vector<std::wstring> extraFiles_;
};

std::wstring TypedQuestion(const std::wstring& x, const std::wstring& path) {
  return L"A restricted ." + x + L" program has been blocked:" + kCrLf + kCrLf + path + kCrLf + kCrLf +
         L"Allow program to run?";
}
std::wstring Notice(const std::wstring& path) {
  return std::wstring(L"A restricted program has been blocked:") + kCrLf + kCrLf + path;
}

// The two answers to the question, and whether the file then runs.
struct Answer {
  const wchar_t* answer;
  bool runs;
};
const Answer kAnswers[] = {{L"yes", true}, {L"no", false}};

// Suspicious mode outside the system folders: the question decides; the arguments are passed on.
TEST_F(FilterModTest, SuspiciousScreenSaverIsAskedAndAnswerDecides) {
  for (const auto& c : kAnswers) {
    SCOPED_TRACE(c.answer);
    const std::wstring target = Target(std::wstring(L"saver_") + c.answer + L"\\My Saver.scr");
    Run(L"\"" + target + L"\" /S", c.answer);
    ExpectBoxes({{L"0x114", TypedQuestion(L"SCR", target)}});
    if (c.runs) {
      EXPECT_EQ(Calls(target, true), std::vector<std::wstring>{L"\"" + target + L"\" /S"});
      ExpectOneEntry(target, platform::kEventWarning,
                     L"A restricted .SCR program was allowed to execute by user click:" + std::wstring(kCrLf) + kCrLf +
                         target);
      EXPECT_TRUE(AlertSubjectsAbout(target).empty()) << "an allowed start is an alert only with AlertAllow";
    } else {
      EXPECT_TRUE(Calls(target, false).empty());
      ExpectOneEntry(target, platform::kEventError, Notice(target));
      EXPECT_EQ(AlertSubjectsAbout(target), std::vector<std::wstring>{L"Restricted .SCR program blocked!"});
    }
    DeleteFileW(program.PromptLog().c_str());
  }
  // The entries were written with no source registered, and the module registered none: that is
  // the main program's part, which has the rights for it.
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kSourceKey));
}

// A file name outside the ANSI code page reaches the entry unchanged.
TEST_F(FilterModTest, EntryKeepsFileNameOutsideAnsiCodePage) {
  const std::wstring target = Target(L"\u0444\u0430\u0439\u043b\\\u65e5\u672c \u00e9\u0151.scr");
  Run(L"*\"" + target + L"\"", L"no");
  ExpectOneEntry(target, platform::kEventError, Notice(target));
}

// Under the Windows folder a suspicious-mode file runs unasked; constant mode asks all the same.
TEST_F(FilterModTest, ConstantModeAsksEvenInTheWindowsFolder) {
  const std::wstring target = TargetAt(platform::GetEnv(L"systemroot") + L"\\Temp\\ilflt" +
                                       RunTag() + L".pif");
  Run(L"\"" + target + L"\" -x");
  EXPECT_TRUE(program.Prompts().empty());
  EXPECT_EQ(Calls(target, true), std::vector<std::wstring>{L"\"" + target + L"\" -x"});
  EXPECT_TRUE(EntriesAbout(target).empty());

  DeleteFileW(CallsLog(target).c_str());
  Run(L"*\"" + target + L"\" -x", L"no");
  ExpectBoxes({{L"0x114", TypedQuestion(L"PIF", target)}});
  EXPECT_TRUE(Calls(target, false).empty());
  ExpectOneEntry(target, platform::kEventError, Notice(target));
}

// A folder that only begins like the Windows folder is no system folder: anybody may create it.
TEST_F(FilterModTest, LookalikeOfWindowsFolderIsAsked) {
  const std::wstring folder = platform::GetEnv(L"systemroot") + RunTag();
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring target = TargetAt(folder + L"\\evil.scr");
  Run(L"\"" + target + L"\" /S", L"no");
  ExpectBoxes({{L"0x114", TypedQuestion(L"SCR", target)}});
  EXPECT_TRUE(Calls(target, false).empty());
  DeleteFileW(target.c_str());
  RemoveDirectoryW(folder.c_str());
}

// SilentBlock blocks without a box, from either source; NoAllow shows the OK-only notice; Bulk.ini
// beside the module replaces the settings INI.
TEST_F(FilterModTest, BlockingSwitchesFromRegistryAndIni) {
  struct Case {
    const wchar_t* name;
    const wchar_t* registrySwitch;  // name=value or ""
    const char* settingsIni;
    const char* bulkIni;
    bool notice;    // the OK-only notice is shown
    bool question;  // the question is asked (and answered No)
  } cases[] = {
      {L"silent-registry", L"SilentBlock=1", nullptr, nullptr, false, false},
      {L"silent-ini-registry-0", L"SilentBlock=0", "[FilterModule]\r\nSilentBlock=1\r\n", nullptr, false, false},
      {L"silent-other-value", L"SilentBlock=yes", "[FilterModule]\r\nSilentBlock=true\r\n", nullptr, false, true},
      {L"noallow", L"NoAllow=1", nullptr, nullptr, true, false},
      {L"bulk-wins", L"", "[FilterModule]\r\nSilentBlock=1\r\n", "[FilterModule]\r\nAlertAllow=1\r\n", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kMakerKey);
    DeleteFileW((program.Folder() + kSettingsIni).c_str());
    DeleteFileW((program.Folder() + L"Bulk.ini").c_str());
    DeleteFileW(program.PromptLog().c_str());
    const std::wstring sw = c.registrySwitch;
    if (!sw.empty()) SetSwitch(sw.substr(0, sw.find(L'=')), sw.substr(sw.find(L'=') + 1));
    if (c.settingsIni) WriteTextFile(program.Folder() + kSettingsIni, c.settingsIni);
    if (c.bulkIni) WriteTextFile(program.Folder() + L"Bulk.ini", c.bulkIni);

    const std::wstring target = Target(std::wstring(c.name) + L"\\ctl.cpl");
    Run(L"*\"" + target + L"\"");
    std::vector<std::pair<std::wstring, std::wstring>> boxes;
    if (c.notice) boxes.push_back({L"0x10", Notice(target)});
    if (c.question) boxes.push_back({L"0x114", TypedQuestion(L"CPL", target)});
    ExpectBoxes(boxes);
    EXPECT_TRUE(Calls(target, false).empty());
    ExpectOneEntry(target, platform::kEventError, Notice(target));
  }
}

// EXE/COM mode asks only for data folders, and passes the arguments on.
TEST_F(FilterModTest, ExecutableModeAsksOnlyInDataFolders) {
  const std::wstring plain = Target(L"Games\\run.exe");
  Run(L"/\"" + plain + L"\" -a -b");
  EXPECT_TRUE(program.Prompts().empty());
  EXPECT_EQ(Calls(plain, true), std::vector<std::wstring>{L"\"" + plain + L"\" -a -b"});
  EXPECT_TRUE(EntriesAbout(plain).empty());

  for (const auto& c : kAnswers) {
    SCOPED_TRACE(c.answer);
    DeleteFileW(program.PromptLog().c_str());
    const std::wstring target = Target(std::wstring(L"u_") + c.answer + L"\\AppData\\Roaming\\drop.exe");
    Run(L"/\"" + target + L"\" -a -b", c.answer);
    ExpectBoxes({{L"0x114", std::wstring(L"A restricted program has been blocked:") + kCrLf + kCrLf + target + kCrLf +
                                 kCrLf + L"Allow program to run?"}});
    if (c.runs) {
      EXPECT_EQ(Calls(target, true), std::vector<std::wstring>{L"\"" + target + L"\" -a -b"});
      ExpectOneEntry(target, platform::kEventWarning,
                     std::wstring(L"A restricted program was allowed to execute by user click:") + kCrLf + kCrLf + target);
    } else {
      EXPECT_TRUE(Calls(target, false).empty());
      ExpectOneEntry(target, platform::kEventError,
                     std::wstring(L"A restricted program was blocked from execution by user click:") + kCrLf + kCrLf +
                         target);
    }
  }
}

// A digest in a user list blocks before any question: lower case and blanks around it still match,
// a comment line or a trailing comment never does.
TEST_F(FilterModTest, UserHashListBlocks) {
  const std::wstring probe = Target(L"probe\\probe.exe");
  clsHash md5, sha;
  const std::string md5Text = platform::ToAnsi(platform::Lower(md5.HashFile(probe, CALG_MD5)));
  const std::string shaText = platform::ToAnsi(sha.HashFile(probe, kSha256));
  ASSERT_EQ(md5Text.size(), 32u);
  CreateDirectoryW((platform::GetEnv(L"programdata") + kMakerFolder).c_str(), nullptr);
  CreateDirectoryW(ListsFolder().c_str(), nullptr);

  // A definitions list of 100,000 other digests, with the probe's digest last or not at all.
  std::string longList;
  for (int i = 0; i < 100000; ++i) {
    char line[80];
    snprintf(line, sizeof line, "%032X%032X\r\n", i, i * 7919);
    longList += line;
  }
  struct Case {
    const wchar_t* list;
    std::string content;
    bool blocks;
  } cases[] = {
      {L"UserExecFilter.md5", "; user list\r\n\r\n  " + md5Text + "  \r\n", true},
      {L"UserExecFilter.sha256", shaText + "\r\n", true},
      {L"UserExecFilter.md5", ";" + md5Text + "\r\n" + md5Text + " ; mine\r\n", false},
      // LF endings, a UTF-8 byte-order mark, tabs and blanks, comments, no line end at the close.
      {L"UserExecFilter.md5", "\xEF\xBB\xBF; exported\n\n\t" + md5Text + " \t\n;last", true},
      {L"UserExecFilter.sha256", "\xEF\xBB\xBF" + shaText, true},
      {L"UserExecFilter.md5", "\xEF\xBB\xBF;" + md5Text + "\n", false},
      // The digest inside a longer line never matches; a comment before the real line does not hide it.
      {L"UserExecFilter.md5", "0" + md5Text + "\r\n" + md5Text + "0\r\nx" + md5Text + "\r\n", false},
      {L"UserExecFilter.md5", "; " + md5Text + "\r\n0" + md5Text + "\r\n\t " + md5Text + "\r\n", true},
      {L"ExecFilter.sha256", longList + shaText + "\r\n", true},
      {L"ExecFilter.sha256", longList, false},
  };
  // Each case read from the list's text, and from the list index built for it: the module then
  // finds the same entries without reading the text, which is held open unshared meanwhile (read as
  // text, it would make a failed check).
  int n = 0;
  for (const bool indexed : {false, true})
  for (const auto& c : cases) {
    SCOPED_TRACE(n);
    SCOPED_TRACE(indexed ? "from the index" : "from the text");
    Clean();
    DeleteFileW(program.PromptLog().c_str());
    ASSERT_TRUE(WriteTextFile(ListsFolder() + c.list, c.content));
    platform::UniqueFileHandle held;
    if (indexed) {
      IndexTheLists();
      held.reset(CreateFileW((ListsFolder() + c.list).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(held);
    }
    const std::wstring target = program.Folder() + L"h" + std::to_wstring(n++) + L".scr";
    ASSERT_TRUE(CopyFileW(probe.c_str(), target.c_str(), FALSE));
    Run(L"\"" + target + L"\"", L"yes");
    held.reset();
    if (c.blocks) {
      ExpectBoxes({{L"0x0", L"This file matches a malware hash!  Aborting execution!"}});
      EXPECT_TRUE(Calls(target, false).empty());
      EXPECT_TRUE(EntriesAbout(target).empty());  // a hash match is reported by mail only
    } else {
      ExpectBoxes({{L"0x114", TypedQuestion(L"SCR", target)}});
      EXPECT_EQ(Calls(target, true).size(), 1u);
    }
  }
}

// ---- A check that cannot be made blocks ----

const wchar_t kHashBox[] = L"This file matches a malware hash!  Aborting execution!";

std::wstring FailedCheckBox(const std::wstring& path) {
  return std::wstring(L"This file could not be checked against the malware hashes!  Aborting execution!") + kCrLf +
         kCrLf + path;
}
std::wstring FailedCheckEntryStart(const std::wstring& path) {
  return std::wstring(L"A restricted program was blocked because its hash check could not be made:") + kCrLf + kCrLf +
         path + kCrLf + kCrLf + L"Cause:  ";
}

// One of the four lists written into the data folder, the folder made first.
void WriteList(const wchar_t* list, const std::string& content) {
  CreateDirectoryW((platform::GetEnv(L"programdata") + kMakerFolder).c_str(), nullptr);
  CreateDirectoryW(ListsFolder().c_str(), nullptr);
  ASSERT_TRUE(WriteTextFile(ListsFolder() + list, content));
}

// The definitions SHA-256 list naming the file: whatever the module then does, it must not run it.
void ListFile(const std::wstring& file) {
  clsHash sha;
  const std::wstring digest = sha.HashFile(file, kSha256);
  ASSERT_EQ(digest.size(), 64u);
  WriteList(L"ExecFilter.sha256", "; definitions\r\n" + platform::ToAnsi(digest) + "\r\n");
}

// A user list naming some other file: the module hashes the file it is given, holds it, goes on.
void ListOtherFile() { WriteList(L"UserExecFilter.md5", std::string(32, '0') + "\r\n"); }

// Every error on the way to the hash decision blocks a listed program, in either mode and before
// any folder is trusted: a list held without sharing (longer than the module waits) or unreadable,
// a target somebody holds open for writing, a target that is not there, a folder on its path that
// the module cannot hold. The box names the file; the entry names the cause.
TEST_F(FilterModTest, HashCheckThatCannotBeMadeBlocks) {
  enum Fault { kListHeld, kListUnreadable, kTargetHeldForWriting, kTargetMissing, kFolderNotTheSystems, kTargetFolderHeld };
  const std::wstring windowsTemp = platform::GetEnv(L"systemroot") + L"\\Temp\\ilfail" + RunTag();
  struct Case {
    const wchar_t* name;
    Fault fault;
    std::wstring prefix;  // the launch's mode
    std::wstring target;
    bool silent;
    std::wstring causePart;  // in the entry's cause
  } cases[] = {
      {L"list held, EXE mode in the Windows folder", kListHeld, L"/", TargetAt(windowsTemp + L"a.exe"), false,
       L"ExecFilter.sha256 (system error 32)"},
      {L"list held, suspicious mode", kListHeld, L"", Target(L"fail\\held.scr"), false,
       L"ExecFilter.sha256 (system error 32)"},
      {L"list held, silent", kListHeld, L"", Target(L"fail\\silent.scr"), true, L"ExecFilter.sha256 (system error 32)"},
      {L"list unreadable", kListUnreadable, L"/", Target(L"fail\\AppData\\unreadable.exe"), false,
       L"hash list could not be read:  "},
      {L"target held for writing", kTargetHeldForWriting, L"/", TargetAt(windowsTemp + L"b.exe"), false,
       L"the file could not be opened for hashing (system error 32)"},
      {L"target missing", kTargetMissing, L"", Target(L"fail\\gone.pif"), false,
       L"the file could not be opened for hashing (system error 2)"},
      // A folder a user made before the first apply: its lists would be the user's to empty.
      {L"data folder owned by a user", kFolderNotTheSystems, L"/", TargetAt(windowsTemp + L"c.exe"), false,
       L"the folder that holds the hash lists is not the system's:  "},
      // Held unshared by another program, which may rename it away once the module has let it be.
      {L"the target's folder held without sharing", kTargetFolderHeld, L"", Target(L"fail\\busy\\saver.scr"), false,
       L"a folder on its path could not be held:  "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Clean();
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kMakerKey);
    DeleteFileW(program.PromptLog().c_str());
    ListFile(c.target);
    if (c.silent) SetSwitch(L"SilentBlock", L"1");
    const std::wstring unreadable = ListsFolder() + L"UserExecFilter.md5";
    platform::UniqueFileHandle held;
    commontest::EnvironmentGuard env;
    switch (c.fault) {
      case kListHeld:
        held.reset(CreateFileW((ListsFolder() + L"ExecFilter.sha256").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               0, nullptr));
        ASSERT_TRUE(held);
        break;
      case kListUnreadable:  // there, and no program can read it as a file
        ASSERT_TRUE(CreateDirectoryW(unreadable.c_str(), nullptr));
        break;
      case kTargetHeldForWriting:
        held.reset(CreateFileW(c.target.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        break;
      case kTargetMissing:
        ASSERT_TRUE(DeleteFileW(c.target.c_str()));
        break;
      case kFolderNotTheSystems:  // Wine's one account owns every file: trust another in its place
        env.Set(L"ILATCH_TRUSTED_OWNER", L"S-1-5-21-1004336348-1177238915-682003330-500");
        break;
      case kTargetFolderHeld:
        held.reset(CreateFileW(c.target.substr(0, c.target.find_last_of(L'\\')).c_str(), FILE_LIST_DIRECTORY | DELETE, 0,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ASSERT_TRUE(held);
        break;
    }
    Run(c.prefix + L"\"" + c.target + L"\"", L"yes,yes");
    held.reset();
    RemoveDirectoryW(unreadable.c_str());

    if (c.silent)
      EXPECT_TRUE(program.Prompts().empty());
    else
      ExpectBoxes({{L"0x0", FailedCheckBox(c.target)}});
    EXPECT_TRUE(Calls(c.target, false).empty()) << "the listed program ran";
    const auto entries = EntriesAbout(c.target);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].type, platform::kEventError);
    const std::wstring entry = entries[0].strings[0];
    EXPECT_TRUE(platform::StartsWith(entry, FailedCheckEntryStart(c.target))) << platform::ToUtf8(entry);
    EXPECT_TRUE(platform::Contains(entry, c.causePart)) << platform::ToUtf8(entry);
  }
}

// A list held without sharing for a moment (a save in progress) is waited for: the module reads it
// once it is free and blocks the listed program by its hash.
TEST_F(FilterModTest, ListHeldForAMomentIsReadOnceFree) {
  const std::wstring target = Target(L"moment\\saver.scr");
  ListFile(target);
  platform::UniqueFileHandle held(
      CreateFileW((ListsFolder() + L"ExecFilter.sha256").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  std::thread release([&] {
    Sleep(400);
    held.reset();
  });
  Run(L"\"" + target + L"\"", L"yes");
  release.join();
  ExpectBoxes({{L"0x0", kHashBox}});
  EXPECT_TRUE(Calls(target, false).empty());
}

// ---- The list index ----

// An administrator's list written by hand after the index was built: its stamp is no longer the
// one the index recorded, so the module reads it as text and its new entry blocks.
TEST_F(FilterModTest, AListWrittenByHandAfterTheIndexIsReadAsText) {
  const std::wstring target = Target(L"byhand\\saver.scr");
  CreateDirectoryW((platform::GetEnv(L"programdata") + kMakerFolder).c_str(), nullptr);
  CreateDirectoryW(ListsFolder().c_str(), nullptr);
  // Of the very size the list naming the file has: only the time of writing tells them apart.
  ASSERT_TRUE(WriteTextFile(ListsFolder() + L"ExecFilter.sha256", "; definitions\r\n" + std::string(64, 'A') + "\r\n"));
  IndexTheLists();
  ListFile(target);
  Run(L"\"" + target + L"\"", L"yes");
  ExpectBoxes({{L"0x0", kHashBox}});
  EXPECT_TRUE(Calls(target, false).empty());
}

// An index the module must not trust, or that is not whole, is not used: the lists are read as
// text (or the check fails), never taken for allowed. The list names the file while the index,
// built before, does not, and the list has the stamp the index recorded: a module that used the
// index would ask (the first row shows it does when the index is sound).
TEST_F(FilterModTest, AnIndexThatIsNotTheSystemsOrNotWholeIsNotUsed) {
  enum Damage { kNone, kTruncated, kFolderInItsPlace, kSecondName, kOwnerNotTrusted, kHeld, kGenerationMissing };
  struct Case {
    const char* what;
    Damage damage;
    bool failedCheck;  // the check fails (rather than the text road blocking by the hash)
  } cases[] = {
      {"a sound index is used", kNone, false},
      {"truncated by a byte", kTruncated, false},
      {"a folder in its place", kFolderInItsPlace, false},
      {"a second name for it", kSecondName, false},
      {"an owner the module does not trust", kOwnerNotTrusted, true},
      {"held open without sharing", kHeld, true},
      {"the generation named is not there", kGenerationMissing, false},
  };
  const std::wstring list = ListsFolder() + L"ExecFilter.sha256";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    DeleteFileW(program.PromptLog().c_str());
    const std::wstring target = Target(std::wstring(L"index_") + std::to_wstring(c.damage) + L"\\saver.scr");
    CreateDirectoryW((platform::GetEnv(L"programdata") + kMakerFolder).c_str(), nullptr);
    CreateDirectoryW(ListsFolder().c_str(), nullptr);
    ASSERT_TRUE(WriteTextFile(list, "; definitions\r\n" + std::string(64, 'A') + "\r\n"));
    IndexTheLists();
    FILETIME written = {};
    {
      platform::UniqueFileHandle file(CreateFileW(list.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                                  OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(file && GetFileTime(file.get(), nullptr, nullptr, &written));
    }
    ListFile(target);
    {
      platform::UniqueFileHandle file(CreateFileW(list.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                                  OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(file && SetFileTime(file.get(), nullptr, nullptr, &written));
    }

    const std::wstring index = CurrentIndexFile();
    const std::wstring link = program.Folder() + L"index.link";
    platform::UniqueFileHandle held;
    commontest::EnvironmentGuard env;
    switch (c.damage) {
      case kNone: break;
      case kTruncated: {
        const std::string bytes = ReadFileBytes(index);
        ASSERT_TRUE(WriteTextFile(index, bytes.substr(0, bytes.size() - 1)));
        break;
      }
      case kFolderInItsPlace:
        ASSERT_TRUE(DeleteFileW(index.c_str()) && CreateDirectoryW(index.c_str(), nullptr));
        break;
      case kSecondName:
        ASSERT_TRUE(CreateHardLinkW(link.c_str(), index.c_str(), nullptr));
        break;
      case kOwnerNotTrusted:  // Wine's one account owns every file: trust another in its place
        env.Set(L"ILATCH_TRUSTED_OWNER", L"S-1-5-21-1004336348-1177238915-682003330-500");
        break;
      case kHeld:
        held.reset(CreateFileW(index.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        break;
      case kGenerationMissing:
        ASSERT_TRUE(RegWriteDword(HKEY_LOCAL_MACHINE, kSettingsKey, kListIndexValue, CurrentListIndex() + 100));
        break;
    }
    Run(L"\"" + target + L"\"", L"no");
    held.reset();
    DeleteFileW(link.c_str());
    EXPECT_TRUE(Calls(target, false).empty());
    if (c.damage == kNone)
      ExpectBoxes({{L"0x114", TypedQuestion(L"SCR", target)}});
    else
      ExpectBoxes({{L"0x0", c.failedCheck ? FailedCheckBox(target) : kHashBox}});
  }
}

// ---- Another program holding the lists ----

// A copy of the fake program with bytes of its own at the end: a digest no other target has.
std::wstring Distinct(const std::wstring& target) {
  std::string bytes = ReadFileBytes(target);
  bytes += platform::ToUtf8(target);
  EXPECT_TRUE(WriteTextFile(target, bytes));
  return target;
}

const wchar_t kHeldEntryStart[] =
    L"The hash lists are held open by another program; the lists this user last read were used:";

// Another program, any user's, holds a list or the index open without sharing: every user whose
// module read the lists before goes on with them at once, a listed program still blocked and an
// unlisted one still started; where this user's copy was used, the entry names what was held.
// With no copy to use (a damaged one is none) the check fails, as for a user who never read them.
TEST_F(FilterModTest, AHolderOfTheListsKeepsNoUserWhoReadThemBeforeFromThem) {
  const std::wstring listed = Distinct(Target(L"held\\listed.exe"));
  const std::wstring unlisted = Target(L"held\\unlisted.exe");
  const std::wstring list = ListsFolder() + L"ExecFilter.sha256";
  ListFile(listed);
  ASSERT_TRUE(WriteTextFile(ListsFolder() + kDefinitionsVersionFile, std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=105\r\n"));
  IndexTheLists();
  const std::wstring index = CurrentIndexFile();
  // This user's first launch since the index was made: the module keeps its copy.
  Run(L"/\"" + unlisted + L"\"");
  ASSERT_EQ(Calls(unlisted, true).size(), 1u);
  ASSERT_TRUE(FileExists(UserListCopyPath()));

  enum Hold { kList, kIndex, kListWrittenByHand, kIndexAndCopyDamaged };
  struct Case {
    const char* what;
    Hold hold;
    std::wstring heldEntry;  // the file the entry names; "" when no entry is written
    bool checkFails;
  } cases[] = {
      {"the list held: the index stands for it", kList, L"", false},
      {"the index held: this user's copy", kIndex, index, false},
      {"the list written by hand since, and held: this user's copy", kListWrittenByHand, list, false},
      {"the index held and this user's copy damaged", kIndexAndCopyDamaged, L"", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.hold == kListWrittenByHand) ListFile(listed);
    if (c.hold == kIndexAndCopyDamaged) {
      const std::string copy = ReadFileBytes(UserListCopyPath());
      ASSERT_TRUE(WriteTextFile(UserListCopyPath(), copy.substr(0, copy.size() - 1)));
    }
    const std::wstring& heldFile = c.hold == kList || c.hold == kListWrittenByHand ? list : index;
    platform::UniqueFileHandle held(CreateFileW(heldFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    const auto heldEntries = [&] {
      std::vector<platform::EventEntry> mine;
      for (auto& e : EntriesAbout(heldFile))
        if (platform::StartsWith(e.strings[0], kHeldEntryStart)) mine.push_back(e);
      return mine;
    };
    const size_t entriesBefore = heldEntries().size();
    for (const std::wstring& target : {listed, unlisted}) {
      DeleteFileW(program.PromptLog().c_str());
      DeleteFileW(CallsLog(target).c_str());
      Run(L"/\"" + target + L"\"");
      if (c.checkFails) {
        ExpectBoxes({{L"0x0", FailedCheckBox(target)}});
        EXPECT_TRUE(Calls(target, false).empty());
        const auto entries = EntriesAbout(target);
        ASSERT_FALSE(entries.empty());
        EXPECT_TRUE(platform::EndsWith(entries[0].strings[0], L"Cause:  hash list index could not be read:  " + index +
                                                                  L" (system error 32)"))
            << platform::ToUtf8(entries[0].strings[0]);
      } else if (target == listed) {
        ExpectBoxes({{L"0x0", kHashBox}});
        EXPECT_TRUE(Calls(target, false).empty());
      } else {
        EXPECT_TRUE(program.Prompts().empty());
        EXPECT_EQ(Calls(target, true).size(), 1u) << "the unlisted program did not start";
      }
    }
    held.reset();
    const auto entries = heldEntries();
    if (c.heldEntry.empty()) {
      EXPECT_EQ(entries.size(), entriesBefore) << "no copy was used";
    } else {
      ASSERT_EQ(entries.size(), entriesBefore + 2) << "one entry for each launch";
      EXPECT_EQ(entries[0].type, platform::kEventWarning);
      EXPECT_EQ(entries[0].strings[0], kHeldEntryStart + std::wstring(kCrLf) + kCrLf + c.heldEntry + kCrLf + kCrLf +
                                           L"Definitions version:  105");
    }
  }
}

// The copy follows the lists: the first launch after a new generation brings it along, so that a
// holder later finds this user with the newer lists.
TEST_F(FilterModTest, ThisUsersCopyFollowsEachNewGeneration) {
  const std::wstring first = Distinct(Target(L"follow\\first.exe"));
  const std::wstring second = Distinct(Target(L"follow\\second.exe"));
  const std::wstring other = Target(L"follow\\other.exe");
  ListFile(first);
  IndexTheLists();
  Run(L"/\"" + other + L"\"");
  ListFile(second);  // by an administrator's hand, then applied
  IndexTheLists();
  DeleteFileW(CallsLog(other).c_str());
  Run(L"/\"" + other + L"\"");
  ASSERT_EQ(Calls(other, true).size(), 1u);

  platform::UniqueFileHandle held(CreateFileW(CurrentIndexFile().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  DeleteFileW(program.PromptLog().c_str());
  Run(L"/\"" + second + L"\"");
  ExpectBoxes({{L"0x0", kHashBox}});
  EXPECT_TRUE(Calls(second, false).empty());
  DeleteFileW(program.PromptLog().c_str());
  Run(L"/\"" + first + L"\"");
  EXPECT_TRUE(program.Prompts().empty());
  EXPECT_EQ(Calls(first, true).size(), 1u) << "listed no more";
}

// The file hashed is the file started: while the module has read the file and waits for the user's
// answer, nobody can write to it, delete it, rename it or move another file over it; after Yes the
// file that starts is the one that was hashed.
TEST_F(FilterModTest, HashedFileCannotBeSwappedBeforeItStarts) {
  const std::wstring target = Target(L"swap\\AppData\\Roaming\\drop.exe");
  const std::string original = ReadFileBytes(target);
  const std::wstring other = program.Folder() + L"other.exe";
  ASSERT_TRUE(WriteTextFile(other, "MZ not the program that was hashed"));
  ListOtherFile();

  livewindow::LiveProgram module(L"\"" + program.ExePath() + L"\" /\"" + target + L"\"");
  ASSERT_TRUE(module.Started());
  ASSERT_TRUE(module.Window(kProductName, false)) << "the question did not come";
  {
    platform::UniqueFileHandle writer(CreateFileW(target.c_str(), GENERIC_WRITE,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                  OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer) << "the hashed file could be opened for writing";
  }
  EXPECT_FALSE(DeleteFileW(target.c_str())) << "the hashed file could be deleted";
  EXPECT_FALSE(MoveFileW(target.c_str(), (target + L".moved").c_str())) << "the hashed file could be renamed";
  EXPECT_FALSE(MoveFileExW(other.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
      << "another file could be moved over the hashed file";
  const std::wstring folder = target.substr(0, target.find_last_of(L'\\'));
  EXPECT_FALSE(MoveFileW(folder.c_str(), (folder + L".moved").c_str())) << "the hashed file's folder could be renamed";
  EXPECT_TRUE(platform::Contains(module.Answer(kProductName, IDYES), L"Allow program to run?"));
  ASSERT_TRUE(module.WaitForExit(30000));

  EXPECT_EQ(Calls(target, true), std::vector<std::wstring>{L"\"" + target + L"\""});
  EXPECT_TRUE(ReadFileBytes(target) == original) << "the file on disk is no longer the one hashed";
}

// ---- Links on the path ----

// A Unix symbolic link to a folder beside it: Wine follows it as it follows any folder, and a user
// who owns the folder can re-point it at any moment (here with the Unix ln, which the test starts
// through Wine's \\?\unix\ names). Windows' junctions and mount points behave the same way for
// whoever may write the folder that holds them.
class UnixFolderLink {
 public:
  UnixFolderLink(const std::wstring& link, const std::wstring& target) : link_(link) {
    const size_t slash = link.find_last_of(L'\\');
    const std::wstring folder = UnixName(link.substr(0, slash));
    if (!folder.empty()) unixLink_ = folder + L"/" + link.substr(slash + 1);
    ok_ = PointAt(target);
  }
  ~UnixFolderLink() {
    if (!unixLink_.empty()) Unix(L"rm -f " + unixLink_);
  }
  bool Ok() const { return ok_; }
  // target: the name of a folder beside the link. True once the link leads there.
  bool PointAt(const std::wstring& target) const {
    if (unixLink_.empty() || !Unix(L"ln -sfn " + target + L" " + unixLink_)) return false;
    const std::wstring targetPath = link_.substr(0, link_.find_last_of(L'\\') + 1) + target;
    // Wine hands back no handle of a Unix process: wait until the link has changed.
    for (int i = 0; i < 200; ++i, Sleep(50))
      if (SameFolder(link_, targetPath)) return true;
    return false;
  }

 private:
  // The Unix name of an existing folder, from Wine's own kernel32.
  static std::wstring UnixName(const std::wstring& path) {
    using UnixFileName = char*(CDECL*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = toUnix ? toUnix(path.c_str()) : nullptr;
    if (!name) return L"";
    const std::wstring text = platform::FromUtf8(name);
    HeapFree(GetProcessHeap(), 0, name);
    return text;
  }
  // Starts a program of /bin with these arguments (no blanks inside one).
  static bool Unix(const std::wstring& command) {
    const std::wstring program = L"\\\\?\\unix\\bin\\" + command.substr(0, command.find(L' '));
    std::wstring line = command;
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
      return false;
    platform::UniqueKernelHandle process(info.hProcess), thread(info.hThread);
    return true;
  }
  static bool SameFolder(const std::wstring& a, const std::wstring& b) {
    BY_HANDLE_FILE_INFORMATION infoA = {}, infoB = {};
    for (auto [path, info] : {std::pair{&a, &infoA}, std::pair{&b, &infoB}}) {
      platform::UniqueFileHandle folder(CreateFileW(path->c_str(), FILE_READ_ATTRIBUTES,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      if (!folder || !GetFileInformationByHandle(folder.get(), info)) return false;
    }
    return infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber && infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
           infoA.nFileIndexLow == infoB.nFileIndexLow;
  }

  std::wstring link_, unixLink_;
  bool ok_ = false;
};

// A link on the path of an unlisted program is re-pointed while its question is open, at a folder
// holding a listed program of the same name; then the user answers Yes. The listed program must
// not start, and nothing starts in its place: the entry names the cause. Left alone, the link
// leads to the program that was hashed, which starts under the path it resolves to.
TEST_F(FilterModTest, LinkRepointedWhileTheQuestionIsOpenStartsNothing) {
  struct Case {
    const wchar_t* name;
    std::wstring prefix;  // the launch's mode
    std::wstring folder;  // holds the link
    std::wstring file;
    bool repoint;
  } cases[] = {
      {L"EXE/COM mode", L"/", L"exe\\AppData\\Roaming", L"drop.exe", true},
      {L"suspicious screen saver", L"", L"scr", L"saver.scr", true},
      {L"constant screen saver", L"*", L"const", L"saver.scr", true},
      {L"link left alone", L"/", L"kept\\AppData\\Roaming", L"drop.exe", false},
  };
  ScratchDir home;
  commontest::EnvironmentGuard env;
  env.Set(L"FAKEPROG_HOME", home.Path().substr(0, home.Path().size() - 1).c_str());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Clean();
    const std::wstring folder = program.Folder() + c.folder;
    const std::wstring hashed = Target(c.folder + L"\\checked\\" + c.file);
    const std::wstring listed = Target(c.folder + L"\\listed\\" + c.file);
    ASSERT_TRUE(WriteTextFile(listed, ReadFileBytes(listed) + "another program"));
    ListFile(listed);
    const UnixFolderLink link(folder + L"\\link", L"checked");
    if (!link.Ok()) GTEST_SKIP() << "needs Wine's Unix side to make the link";
    const std::wstring shown = folder + L"\\link\\" + c.file;
    const std::wstring homeLog = CallsLog(home / c.file);
    DeleteFileW(homeLog.c_str());

    livewindow::LiveProgram module(L"\"" + program.ExePath() + L"\" " + c.prefix + L"\"" + shown + L"\"");
    ASSERT_TRUE(module.Started());
    ASSERT_TRUE(module.Window(kProductName, false)) << "the question did not come";
    if (c.repoint) {
      ASSERT_TRUE(link.PointAt(L"listed"));
    }
    EXPECT_TRUE(platform::Contains(module.Answer(kProductName, IDYES), L"Allow program to run?"));
    if (c.repoint) {
      EXPECT_EQ(module.Answer(kProductName, IDOK), FailedCheckBox(shown));
    }
    ASSERT_TRUE(module.WaitForExit(30000));

    if (!c.repoint) {
      EXPECT_EQ(Calls(home / c.file, true), std::vector<std::wstring>{L"\"" + hashed + L"\""});
      continue;
    }
    EXPECT_TRUE(Calls(home / c.file, false).empty()) << "a program started";
    EXPECT_FALSE(FileExists(CallsLog(listed))) << "the listed program started";
    std::vector<std::wstring> failures;
    for (const auto& entry : EntriesAbout(shown))
      if (entry.type == platform::kEventError) failures.push_back(entry.strings[0]);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(platform::StartsWith(failures[0], FailedCheckEntryStart(shown))) << platform::ToUtf8(failures[0]);
    EXPECT_TRUE(platform::Contains(failures[0], L"re-pointed")) << platform::ToUtf8(failures[0]);
  }
}

// A control-panel file overwritten, from the moment its question is open and without a pause,
// until the applet has run: the host loads the file that was hashed, or nothing. The module starts
// the host itself and holds the file until the host has it loaded; loaded, it cannot be written.
TEST_F(FilterModTest, ControlPanelFileOverwrittenBeforeItLoadsIsNotWhatRuns) {
  const std::wstring target = program.Folder() + L"applet\\panel.cpl";
  CreateDirectoryW((program.Folder() + L"applet").c_str(), nullptr);
  ASSERT_TRUE(CopyProgram(L"fakecpl_a.cpl", target));
  const std::wstring replacement = program.Folder() + L"replacement.cpl";
  ASSERT_TRUE(CopyProgram(L"fakecpl_b.cpl", replacement));
  ListOtherFile();

  livewindow::LiveProgram module(L"\"" + program.ExePath() + L"\" \"" + target + L"\"");
  ASSERT_TRUE(module.Started());
  ASSERT_TRUE(module.Window(kProductName, false)) << "the question did not come";
  std::atomic<bool> stop{false};
  std::thread attacker([&] {
    while (!stop && !CopyFileW(replacement.c_str(), target.c_str(), FALSE)) Sleep(1);
  });
  EXPECT_TRUE(platform::Contains(module.Answer(kProductName, IDYES), TypedQuestion(L"CPL", target)));
  const bool ended = module.WaitForExit(60000);
  std::vector<std::wstring> calls;
  for (int i = 0; i < 200 && (calls = Lines(ReadTextFile(CallsLog(target)))).size() < 2; ++i) Sleep(50);
  stop = true;
  attacker.join();

  ASSERT_TRUE(ended) << "the filter module did not end";
  ASSERT_FALSE(calls.empty()) << "the applet never ran";
  for (const auto& call : calls) EXPECT_TRUE(platform::StartsWith(call, L"a ")) << "ran: " << platform::ToUtf8(call);
  EXPECT_EQ(calls[0], L"a CPL_INIT " + target);
}

// A start Windows refuses goes to the shell; when that fails too, the failure is logged.
TEST_F(FilterModTest, RefusedStartEndsInFailureEntry) {
  const std::wstring target = program.Folder() + L"notaprogram.zzq";
  ASSERT_TRUE(WriteTextFile(target, "plain text"));
  Run(L"\"" + target + L"\"", L"yes");
  // The failure, then the user's allow (written once the start was tried).
  const auto entries = EntriesAbout(target);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].type, platform::kEventWarning);
  const std::wstring failure = entries[1].strings[0];
  EXPECT_EQ(entries[1].type, platform::kEventError);
  EXPECT_TRUE(platform::StartsWith(failure, L"Failed to execute:  " + target + kCrLf + kCrLf + L"Error:  ")) << failure;
  // Wine's processes are elevated: the verb is "open".
  EXPECT_TRUE(platform::EndsWith(failure, std::wstring(kCrLf) + L"Verb:  open")) << failure;
}

// Nothing to do, or a launch of the module itself: nothing is asked, nothing logged.
TEST_F(FilterModTest, EmptyOrSelfLaunchDoesNothing) {
  const std::wstring self = Target(L"x\\" + platform::Upper(kFilterModuleProgram));
  for (const std::wstring& arguments : {std::wstring(L""), L"\"" + self + L"\"", L"/\"" + self + L"\""}) {
    Run(arguments, L"yes");
    EXPECT_TRUE(program.Prompts().empty()) << arguments;
  }
  EXPECT_TRUE(Calls(self, false).empty());
  EXPECT_TRUE(EntriesAbout(self).empty());
}

}  // namespace

// ---- Path forms: each spelling of a file is weighed as the file itself ----

std::wstring ShortForm(const std::wstring& path) {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
  return n && n < MAX_PATH ? buffer : L"";
}
std::wstring Slashed(std::wstring path) {
  std::replace(path.begin(), path.end(), L'\\', L'/');
  return path;
}
// The path with the Windows folder and ".." in front: "C:\Windows\..\iltest\...".
std::wstring ThroughWindowsFolder(const std::wstring& path) {
  const std::wstring windows = platform::GetEnv(L"systemroot");
  std::wstring up = windows + L"\\";
  for (size_t i = 3; i < windows.size(); ++i)
    if (windows[i] == L'\\') up += L"..\\";
  return up + L"..\\" + path.substr(3);
}

TEST_F(FilterModTest, EveryFormOfALaunchedPathIsWeighedAsItsCanonicalPath) {
  const std::wstring tag = RunTag();
  const std::wstring programFiles = platform::GetEnv(L"ProgramFiles") + L"\\ilform" + tag;
  CreateDirectoryW(programFiles.c_str(), nullptr);
  const std::wstring trusted = TargetAt(programFiles + L"\\trusted.scr");
  const std::wstring trustedBlank = TargetAt(programFiles + L"\\My Saver.scr");
  const std::wstring roaming = Target(L"u\\AppData\\Roaming\\drop.exe");
  const std::wstring legacy = Target(L"u\\Application Data\\drop.exe");
  const std::wstring plain = Target(L"plain\\saver.scr");
  const std::wstring blanks = Target(L"with blanks\\My Saver.scr");
  ASSERT_NE(ShortForm(legacy).find(L"~"), std::wstring::npos) << "the prefix gives no 8.3 names";
  ASSERT_NE(ShortForm(programFiles).find(L"~"), std::wstring::npos);

  struct Case {
    const wchar_t* name;
    wchar_t mode;             // L'/' for the EXE/COM hook, 0 for a suspicious screen saver
    std::wstring given;       // the path as the launch spells it
    std::wstring file;        // the file it names
    bool asked;               // true: the question comes (and is answered No); false: it starts unasked
  } cases[] = {
      {L"forward slashes", L'/', Slashed(roaming), roaming, true},
      {L"mixed slashes", L'/', platform::ReplaceAll(roaming, L"AppData\\Roaming", L"AppData/Roaming"), roaming, true},
      {L"8.3 data folder", L'/', ShortForm(legacy), legacy, true},
      {L"dot-dot out of the Windows folder", 0, ThroughWindowsFolder(plain), plain, true},
      {L"device prefix and dot-dot", 0, L"\\\\?\\" + ThroughWindowsFolder(plain), plain, true},
      {L"8.3 Program Files", 0, ShortForm(trusted), trusted, false},
      {L"Program Files with blanks", 0, trustedBlank, trustedBlank, false},
      {L"blanks outside trusted folders", 0, blanks, blanks, true},
      {L"UNC path", 0, L"\\\\ilnohost" + tag + L"\\share\\saver.scr", L"", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SCOPED_TRACE(platform::ToUtf8(c.given));
    DeleteFileW(program.PromptLog().c_str());
    if (!c.file.empty()) DeleteFileW(CallsLog(c.file).c_str());
    const std::wstring prefix = c.mode ? std::wstring(1, c.mode) : L"";
    Run(prefix + L"\"" + c.given + L"\" -k", L"no");
    const auto prompts = program.Prompts();
    if (c.asked) {
      EXPECT_EQ(prompts.size(), 1u);
      if (prompts.size() != 1) continue;
      EXPECT_TRUE(platform::Contains(prompts[0].fields[2], c.given)) << "the question shows the path as given";
      if (!c.file.empty()) {
        EXPECT_TRUE(Calls(c.file, false).empty());
      }
    } else {
      EXPECT_TRUE(prompts.empty());
      // What starts is the file itself, under its canonical name.
      EXPECT_EQ(Calls(c.file, true), std::vector<std::wstring>{L"\"" + c.file + L"\" -k"});
    }
  }
  for (const auto& file : {trusted, trustedBlank}) {
    DeleteFileW(file.c_str());
    DeleteFileW(CallsLog(file).c_str());
  }
  RemoveDirectoryW(programFiles.c_str());
}

// ---- The shell fallback through a hooked class ----

// Process ids of the running filter modules.
std::vector<DWORD> RunningFilterModules() {
  std::vector<DWORD> ids;
  platform::UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
    if (platform::EqualsNoCase(entry.szExeFile, kFilterModuleProgram)) ids.push_back(entry.th32ProcessID);
  return ids;
}

// The screen-saver class hooked by the main program itself, and with exeCom the program classes
// by the EXE/COM filter's switch, put back when the test ends.
class HookedClasses {
 public:
  explicit HookedClasses(const InstalledProgram& filter, bool exeCom = false) : main_(filter.Folder() + kMainProgram) {
    // The shell finds the class of a .scr file through its extension key.
    std::wstring cls;
    if (!RegRead(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\.scr", L"", cls)) {
      addedExtension_ = RegWriteString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\.scr", L"", L"scrfile");
    }
    ok_ = CopyProgram(kMainProgram, main_) && Main(L"/fs=scr");
    if (ok_ && exeCom) {
      const std::wstring probe = filter.Folder() + L"execomprobe.exe";
      ok_ = CopyFileW((TestsDir() + L"execomprobe.exe").c_str(), probe.c_str(), FALSE) &&
            RunProcess(L"\"" + probe + L"\" on", {}).exitCode == 0;
    }
  }
  ~HookedClasses() {
    Main(L"/undo /silent /nogpupdate");  // the EXE/COM filter goes off with it
    if (addedExtension_) RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\.scr");
  }
  bool Ok() const { return ok_; }
  bool Main(const std::wstring& arguments) const {
    return RunProcess(L"\"" + main_ + L"\" " + arguments, {L"ILATCH_PROMPT_LOG=" + main_ + L".prompts.log"}).finished;
  }
  // The command that the main program wrote for a verb of a class ("scrfile", "open"), as the shell
  // runs it for one file and no further arguments: the verb's command, or its isolated command,
  // which the shell's elevated start runs.
  static std::wstring CommandFor(const std::wstring& classKey, const std::wstring& verb, const std::wstring& value,
                                 const std::wstring& file) {
    std::wstring command;
    if (!RegRead(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\" + classKey + L"\\shell\\" + verb + L"\\command", value,
                 command))
      return L"";
    command = platform::ReplaceAll(command, L"%1", file);
    return platform::TrimRight(platform::ReplaceAll(command, L"%*", L""));
  }

 private:
  std::wstring main_;
  bool addedExtension_ = false;
  bool ok_ = false;
};

// A screen saver under the Windows folder that Windows refuses to start goes to the shell's verb,
// which is the hooked command: the relaunch weighs it again, and the chain ends there. With a list
// to check, the relaunch hashes the file while the first module still holds it. The same holds for
// the module that an elevated start runs ("Run as administrator", the isolated command), which
// hands a refused start to the shell as well.
TEST_F(FilterModTest, RefusedStartThroughHookedClassRelaunchesOnceAtMost) {
  const HookedClasses hook(program);
  ASSERT_TRUE(hook.Ok());
  const struct {
    const char* name;
    const wchar_t* verb;
    const wchar_t* value;
    bool withList;
  } cases[] = {
      {"open, no lists", L"open", L"", false},
      {"open, a list naming another file", L"open", L"", true},
      {"elevated start, a list naming another file", L"runas", L"IsolatedCommand", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.withList) ListOtherFile();
    const std::wstring given = platform::GetEnv(L"systemroot") + L"\\Temp\\ilrelaunch" + RunTag() + L".scr";
    extraFiles_.push_back(given);
    ASSERT_TRUE(WriteTextFile(given, "not a program"));
    wchar_t onDisk[MAX_PATH] = {};
    ASSERT_TRUE(GetLongPathNameW(given.c_str(), onDisk, MAX_PATH));
    const std::wstring target = onDisk;  // the name the module hands to the shell
    const std::wstring command = hook.CommandFor(L"scrfile", c.verb, c.value, target);
    ASSERT_TRUE(platform::StartsWith(command, L"\"" + program.ExePath() + L"\"")) << platform::ToUtf8(command);

    const RunResult result =
        RunProcess(command, {L"ILATCH_PROMPT_LOG=" + program.PromptLog(), L"ILATCH_PROMPT_ANSWERS=no"});
    ASSERT_TRUE(result.finished);
    // The relaunch ends on its own; a chain would keep going.
    std::vector<DWORD> left;
    for (int i = 0; i < 150 && !(left = RunningFilterModules()).empty(); ++i) Sleep(100);
    for (const DWORD id : left) {
      platform::UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
      if (process) TerminateProcess(process.get(), 1);
    }
    EXPECT_TRUE(left.empty()) << left.size() << " filter modules still running";
    EXPECT_TRUE(program.Prompts().empty());

    const auto entries = EntriesAbout(target);
    ASSERT_EQ(entries.size(), 1u) << "one failure entry, from the relaunch";
    EXPECT_EQ(entries[0].type, platform::kEventError);
    EXPECT_TRUE(platform::StartsWith(entries[0].strings[0], L"Failed to execute:  " + target + kCrLf + kCrLf))
        << platform::ToUtf8(entries[0].strings[0]);
    EXPECT_TRUE(platform::EndsWith(entries[0].strings[0], L"Verb:  none (already handed to the shell once)"))
        << "the entry comes from the relaunch, which hands nothing on";
  }
}

// "Run as administrator" runs the run-as verb's isolated command. For a hooked screen saver, and
// for a program with the EXE/COM filter on, that is the module, which weighs the file as for any
// start: a listed one is blocked by its hash.
TEST_F(FilterModTest, TheElevatedStartsIsolatedCommandBlocksAListedProgram) {
  const HookedClasses hook(program, true);
  ASSERT_TRUE(hook.Ok());
  const struct {
    const wchar_t* classKey;
    const wchar_t* file;
  } cases[] = {{L"scrfile", L"elevated\\saver.scr"}, {L"exefile", L"elevated\\Downloads\\setup.exe"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.classKey));
    const std::wstring target = Target(c.file);
    ListFile(target);
    DeleteFileW(program.PromptLog().c_str());
    const std::wstring command = hook.CommandFor(c.classKey, L"runas", L"IsolatedCommand", target);
    ASSERT_TRUE(platform::StartsWith(command, L"\"" + program.ExePath() + L"\"")) << platform::ToUtf8(command);
    const RunResult result =
        RunProcess(command, {L"ILATCH_PROMPT_LOG=" + program.PromptLog(), L"ILATCH_PROMPT_ANSWERS=yes,yes"});
    ASSERT_TRUE(result.finished);
    ExpectBoxes({{L"0x0", kHashBox}});
    EXPECT_TRUE(Calls(target, false).empty()) << "the listed program ran";
  }
}

// The Windows version the user who launches a file sets for the module (a compatibility layer;
// here Wine's per-program version) does not move its lists: told Windows XP, the module would
// look for them beside itself, find none, and let a listed program run.
TEST_F(FilterModTest, AWindowsVersionTheUserSetsDoesNotMoveTheLists) {
  // A copy under a name of its own, so that the setting reaches no other test's module.
  const std::wstring name = L"ilfm" + RunTag() + L".exe";
  const std::wstring copy = program.Folder() + name;
  ASSERT_TRUE(CopyProgram(kFilterModuleProgram, copy));
  // Wine refuses plain "winxp" for the whole of a 64-bit prefix, not for one program: both.
  for (const wchar_t* version : {L"winxp", L"winxp64"}) {
    SCOPED_TRACE(platform::ToUtf8(version));
    const std::wstring target = Target(std::wstring(L"told_") + version + L"\\saver.scr");
    ListFile(target);
    DeleteFileW(program.PromptLog().c_str());
    RunResult result;
    {
      const WineProgramVersion told(name, version);
      ASSERT_TRUE(told.Ok());
      result = RunProcess(L"\"" + copy + L"\" \"" + target + L"\"",
                          {L"ILATCH_PROMPT_LOG=" + program.PromptLog(), L"ILATCH_PROMPT_ANSWERS=yes"});
    }
    ASSERT_TRUE(result.finished);
    ExpectBoxes({{L"0x0", kHashBox}});
    EXPECT_TRUE(Calls(target, false).empty()) << "the listed program ran";
  }
}
