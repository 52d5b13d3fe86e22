// The scheduled program update: the main program's "/autoupdateapp" against the update account of the
// local FTP server (the ftpserver fixture, tests/update/ftp_server.py), and "/applyupdate", the
// step that the new program takes after it.
//
// The cases share the account's folder on the server, so they run one at a time (LOCK hklm).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Handle.h"
#include "platform/Text.h"
#include "tests/support/EventService.h"
#include "tests/support/ProductState.h"
#include "tests/support/StagedUpdate.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UpdateSigning.h"
#include "tests/update/PackageVersionCases.h"
#include "zip/ZipClass.h"

using namespace testsupport;

namespace {

const std::wstring kDisallowedPaths = std::wstring(kRestrictionPolicyKey) + L"\\0\\Paths";
const std::wstring kExeOpenCommand = L"SOFTWARE\\Classes\\exefile\\Shell\\Open\\Command";

// The update account's folder on the server, as this process sees it.
std::wstring ServerFolder() { return TestsDir() + L"ftpserver\\root\\update\\"; }

void ClearServerFolder() {
  for (const wchar_t* name : {kUpdateIndexZip, kProgramPackage, kBrandedPackage}) {
    for (const wchar_t* suffix : {L"", L".short", L".next", L".cut", L".sig", L".next.sig"})
      DeleteFileW((ServerFolder() + name + suffix).c_str());
  }
}

using Entries = std::vector<std::pair<std::wstring, std::string>>;

// A zip archive of the entries, written with the program's own zip writer.
bool WriteZip(const std::wstring& path, const Entries& entries) {
  ScratchDir sources;
  ZipClass zip;
  for (const auto& [name, bytes] : entries) {
    if (!WriteTextFile(sources / name, bytes) || !zip.AddFile(sources / name, name)) return false;
  }
  return zip.WriteZip(path, true);
}

std::string IndexIni(const std::string& version) {
  return std::string(kUpdateIndexSectionA) + "\r\nCurrentVersion=" + version + "\r\n";
}

// The running program is 1.0.0.1: major, minor and revision make "1.0.1".
constexpr char kNewer[] = "1.0.2";

// The recording fake under the programs' version block of version ("1_0_0_2"); with nullptr, the
// fake without any version resource.
std::string FakeProgram(const wchar_t* version = L"1_0_0_2") {
  return ReadFileBytes(TestsDir() + L"fakes\\fakeprog" + (version ? std::wstring(L"_") + version : L"") + L".exe");
}

// A package whose new program is the recording fake, so that its start is seen.
Entries Package(const std::string& serviceBytes = "new service", const std::string& program = FakeProgram()) {
  return {{kMainProgram, program}, {kServiceProgram, serviceBytes}, {L"readme.txt", "new"}};
}

bool ContainsLine(const std::wstring& log, const std::wstring& text) { return log.find(text) != std::wstring::npos; }

class AutoUpdateTest : public testing::Test {
 protected:
  void SetUp() override {
    ClearServerFolder();
    original_ = ReadFileBytes(program_.ExePath());
    ASSERT_FALSE(original_.empty());
    ASSERT_TRUE(WriteTextFile(Folder() + kServiceProgram, "old service"));
  }
  void TearDown() override { ClearServerFolder(); }

  std::wstring Folder() const { return program_.Folder(); }
  std::string Bytes(const std::wstring& name) const { return ReadFileBytes(Folder() + name); }
  bool Has(const std::wstring& name) const { return FileExists(Folder() + name); }

  // Served files carry the maker's signature, as the real server's do.
  void Serve(const std::wstring& name, const Entries& entries) {
    ASSERT_TRUE(WriteZip(ServerFolder() + name, entries));
    ASSERT_TRUE(SignFile(ServerFolder() + name));
  }
  void ServeIndex(const std::string& version) { Serve(kUpdateIndexZip, {{kUpdateIndexIni, IndexIni(version)}}); }
  void ServeText(const std::wstring& name, const std::string& text) {
    ASSERT_TRUE(WriteTextFile(ServerFolder() + name, text));
  }

  // Runs the update with the debug log on and returns the log.
  std::wstring RunUpdate(const std::vector<std::wstring>& moreEnv = {}) {
    std::vector<std::wstring> env = {L"ILATCH_PROMPT_LOG=" + program_.PromptLog(), L"ILATCH_PROMPT_ANSWERS=",
                                     L"ILATCH_UPDATE_SERVER=127.0.0.1:47121"};
    env.insert(env.end(), moreEnv.begin(), moreEnv.end());
    RunResult run = RunProcess(L"\"" + program_.ExePath() + L"\" /debug /autoupdateapp", env, 90000);
    EXPECT_TRUE(run.finished);
    return ReadTextFile(Folder() + kDebugLog);
  }

  // What the recording fake that replaced the program was started with; waits for it a while.
  std::wstring NewProgramCalls(DWORD waitMs = 10000) {
    const std::wstring log = Folder() + kStandInCallsLog;
    for (DWORD waited = 0; waited < waitMs && !FileExists(log); waited += 100) Sleep(100);
    Sleep(200);
    return ReadTextFile(log);
  }

  void ExpectInstalled() {
    EXPECT_EQ(Bytes(kMainProgram), FakeProgram()) << "the new program";
    EXPECT_EQ(Bytes(kMainBackup), original_) << "the old program, renamed";
    EXPECT_EQ(Bytes(kServiceBackup), "old service");
    EXPECT_FALSE(Has(kProgramPackage));
    EXPECT_FALSE(Has(kUpdateIndexZip));
    EXPECT_FALSE(Has(kUpdateIndexIni));
    const std::wstring calls = NewProgramCalls();
    EXPECT_NE(calls.find(L"/applyupdate"), std::wstring::npos) << "the new program is started";
    EXPECT_EQ(Lines(calls).size(), 1u);
    // In place at once: nothing waits for the restart.
    EXPECT_FALSE(Has(kStagedUpdateFolder));
    for (const auto& move : RestartMovesFrom(Folder()))
      EXPECT_FALSE(FileExists(move.from)) << "the restart would move " << platform::ToUtf8(move.from);
  }

  void ExpectUnchanged() {
    EXPECT_EQ(Bytes(kMainProgram), original_);
    EXPECT_EQ(Bytes(kServiceProgram), "old service");
    EXPECT_FALSE(Has(kMainBackup));
    EXPECT_FALSE(Has(kServiceBackup));
    EXPECT_FALSE(Has(L"readme.txt"));
    EXPECT_FALSE(Has(kUpdateIndexIni));
    EXPECT_TRUE(NewProgramCalls(1000).empty()) << "nothing is started";
  }

  InstalledProgram program_;
  std::string original_;
};

}  // namespace

TEST_F(AutoUpdateTest, ANewerVersionIsFetchedSwappedInAndStarted) {
  ServeIndex(kNewer);
  Serve(kProgramPackage, Package());
  const std::wstring log = RunUpdate();
  ExpectInstalled();
  EXPECT_EQ(Bytes(kServiceProgram), "new service");
  EXPECT_EQ(Bytes(L"readme.txt"), "new");
  EXPECT_TRUE(ContainsLine(log, L"/AutoUpdateApp triggered."));
  EXPECT_TRUE(ContainsLine(log, std::wstring(L"d/l + verify:  ") + kUpdateIndexZip + L"  to  "));
  EXPECT_FALSE(ContainsLine(log, L"to  " + Folder())) << "downloads go to a private folder, not the program's";
  EXPECT_TRUE(ContainsLine(log, L"CheckUpdate returns True, updates available."));
  EXPECT_TRUE(ContainsLine(log, std::wstring(L"d/l + verify:  ") + kProgramPackage + L"  to  "));
  EXPECT_TRUE(ContainsLine(log, std::wstring(L"d/l + verify:  ") + kProgramPackage + L".sig  to  "));
  EXPECT_FALSE(ContainsLine(log, L"2nd attempt"));
  for (const auto& record : program_.Prompts()) EXPECT_NE(record.kind, L"box") << "no message";
}

TEST_F(AutoUpdateTest, NoNewerVersionFetchesNoPackageAndRemovesOldBackups) {
  for (const char* version : {"1.0.1", "1.0.0", "0.9", "", "not a version"}) {
    SCOPED_TRACE(version);
    ServeIndex(version);
    Serve(kProgramPackage, Package());
    ASSERT_TRUE(WriteTextFile(Folder() + kMainBackup, "older backup"));
    ASSERT_TRUE(WriteTextFile(Folder() + kServiceBackup, "older backup"));
    const std::wstring log = RunUpdate();
    EXPECT_TRUE(ContainsLine(log, L"CheckUpdate returns False, no updates available."));
    EXPECT_FALSE(ContainsLine(log, kProgramPackage));
    EXPECT_FALSE(Has(kProgramPackage));
    EXPECT_FALSE(Has(kUpdateIndexZip));
    ExpectUnchanged();
    DeleteFileW((Folder() + kDebugLog).c_str());
  }
}

TEST_F(AutoUpdateTest, FailedDownloadsAreTriedTwiceThenGiveUp) {
  struct Case {
    const char* name;
    bool index, package;
    int shortTransfers;  // of the package
    std::vector<std::wstring> lines;
  };
  const Case cases[] = {
      {"index missing",
       false,
       true,
       0,
       {std::wstring(L"d/l + verify:  ") + kUpdateIndexZip, L"Failed download", L"2nd attempt triggered",
        L"2nd attempt - failed download!"}},
      {"package missing",
       true,
       false,
       0,
       {L"CheckUpdate returns True", std::wstring(L"d/l + verify:  ") + kProgramPackage,
        L"2nd attempt - failed download!"}},
      // The second attempt reads as the first does: a short transfer fails as it ends.
      {"package cut short twice",
       true,
       true,
       2,
       {std::wstring(L"d/l + verify:  ") + kProgramPackage, L"Failed download", L"2nd attempt triggered",
        L"2nd attempt - failed download!"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ClearServerFolder();
    if (c.index) ServeIndex(kNewer);
    if (c.package) Serve(kProgramPackage, Package());
    if (c.shortTransfers) ServeText(std::wstring(kProgramPackage) + L".short", std::to_string(c.shortTransfers));
    const std::wstring log = RunUpdate();
    size_t at = 0;
    for (const auto& line : c.lines) {
      at = log.find(line, at);
      EXPECT_NE(at, std::wstring::npos) << "in order: " << platform::ToUtf8(line) << "\n" << platform::ToUtf8(log);
      if (at == std::wstring::npos) break;
    }
    EXPECT_FALSE(ContainsLine(log, L"CheckUpdate returns False"));
    ExpectUnchanged();
    DeleteFileW((Folder() + kDebugLog).c_str());
  }
}

TEST_F(AutoUpdateTest, ASpoiledFirstDownloadIsFetchedAgain) {
  struct Case {
    const char* name;
    bool cutShort;  // else the server's file changes while it is fetched
    const wchar_t* line;
  };
  const Case cases[] = {
      {"cut short once", true, L"Failed download"},
      {"changed during the download", false, L"Bad file size, corrupted download?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ClearServerFolder();
    for (const wchar_t* name : {kMainProgram, kMainBackup, kServiceBackup, kStandInCallsLog, kDebugLog})
      DeleteFileW((Folder() + name).c_str());
    ASSERT_TRUE(WriteTextFile(program_.ExePath(), original_));
    ASSERT_TRUE(WriteTextFile(Folder() + kServiceProgram, "old service"));
    ServeIndex(kNewer);
    if (c.cutShort) {
      Serve(kProgramPackage, Package());
      ServeText(std::wstring(kProgramPackage) + L".short", "1");
    } else {
      Serve(kProgramPackage, Package("the service before the server's file changed"));
      Serve(std::wstring(kProgramPackage) + L".next", Package("the service after"));
      // What is published in the end is what the maker signed.
      ASSERT_TRUE(CopyFileW((ServerFolder() + kProgramPackage + L".next.sig").c_str(),
                            (ServerFolder() + kProgramPackage + L".sig").c_str(), FALSE));
    }
    const std::wstring log = RunUpdate();
    EXPECT_TRUE(ContainsLine(log, c.line)) << platform::ToUtf8(log);
    EXPECT_TRUE(ContainsLine(log, L"2nd attempt triggered"));
    EXPECT_FALSE(ContainsLine(log, L"2nd attempt - "));
    ExpectInstalled();
    if (!c.cutShort) {
      EXPECT_EQ(Bytes(kServiceProgram), "the service after");
    }
  }
}

TEST_F(AutoUpdateTest, ABrandedCopyFetchesTheBrandedPackage) {
  ASSERT_TRUE(WriteTextFile(Folder() + kSettingsIni, "[Config]\r\n"));
  ServeIndex(kNewer);
  Serve(kProgramPackage, Package("ordinary service"));
  Serve(kBrandedPackage, Package("branded service"));
  const std::wstring log = RunUpdate();
  EXPECT_TRUE(ContainsLine(log, std::wstring(L"d/l + verify:  ") + kBrandedPackage + L"  to  "));
  ExpectInstalled();
  EXPECT_EQ(Bytes(kServiceProgram), "branded service");
  EXPECT_FALSE(Has(kBrandedPackage));
}

TEST_F(AutoUpdateTest, APackageThatCannotBeInstalledGivesTheOldFilesTheirNamesBack) {
  struct Case {
    const char* name;
    std::function<void(const std::wstring&)> writePackage;
  };
  const Case cases[] = {
      {"not a zip", [](const std::wstring& path) { WriteTextFile(path, std::string(3000, 'x')); }},
      // The new program is written before the damaged entry fails: the old one must win.
      {"damaged after the program",
       [](const std::wstring& path) {
         Entries entries = Package();
         entries.emplace_back(L"z_damaged.bin", std::string(4000, 'q'));
         ASSERT_TRUE(WriteZip(path, entries));
         std::string bytes = ReadFileBytes(path);
         const size_t entry = bytes.rfind(std::string("PK\x03\x04", 4));
         ASSERT_NE(entry, std::string::npos);
         bytes[entry + 30 + std::string("z_damaged.bin").size() + 2] ^= 0x55;
         WriteTextFile(path, bytes);
       }},
      {"no program in it",
       [](const std::wstring& path) {
         ASSERT_TRUE(WriteZip(path, {{kServiceProgram, "new service"}, {L"readme.txt", "new"}}));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ClearServerFolder();
    ServeIndex(kNewer);
    c.writePackage(ServerFolder() + kProgramPackage);
    ASSERT_TRUE(SignFile(ServerFolder() + kProgramPackage));
    const std::wstring log = RunUpdate();
    EXPECT_TRUE(ContainsLine(log, L"CheckUpdate returns True"));
    EXPECT_EQ(Bytes(kMainProgram), original_);
    EXPECT_EQ(Bytes(kServiceProgram), "old service");
    EXPECT_FALSE(Has(kMainBackup));
    EXPECT_FALSE(Has(kServiceBackup));
    EXPECT_FALSE(Has(kProgramPackage)) << "the package goes after the attempt";
    EXPECT_TRUE(NewProgramCalls(1000).empty());
    for (const wchar_t* name : {L"readme.txt", kDebugLog, L"z_damaged.bin"}) DeleteFileW((Folder() + name).c_str());
  }
}

TEST_F(AutoUpdateTest, NothingTheMakerDidNotSignIsUsed) {
  struct Case {
    const char* name;
    const wchar_t* file;  // the served file spoiled
    std::function<void(const std::wstring&)> spoil;
  };
  auto unsigned_ = [](const std::wstring& path) { DeleteFileW((path + L".sig").c_str()); };
  const Case cases[] = {
      {"unsigned package", kProgramPackage, unsigned_},
      {"unsigned index", kUpdateIndexZip, unsigned_},
      {"package signed with another key", kProgramPackage,
       [](const std::wstring& path) { ASSERT_TRUE(SignFile(path, Signer::ForeignKey)); }},
      {"package altered after signing", kProgramPackage,
       [](const std::wstring& path) {
         std::string bytes = ReadFileBytes(path);
         bytes[bytes.size() / 2] ^= 0x01;
         ASSERT_TRUE(WriteTextFile(path, bytes));
       }},
      {"truncated signature", kProgramPackage,
       [](const std::wstring& path) {
         const std::string signature = ReadFileBytes(path + L".sig");
         ASSERT_TRUE(WriteTextFile(path + L".sig", signature.substr(0, signature.size() - 1)));
       }},
      {"SHA-1 signature", kProgramPackage,
       [](const std::wstring& path) { ASSERT_TRUE(SignFile(path, Signer::MakerSha1)); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ClearServerFolder();
    ServeIndex(kNewer);
    Serve(kProgramPackage, Package());
    c.spoil(ServerFolder() + c.file);
    const std::wstring log = RunUpdate();
    EXPECT_TRUE(ContainsLine(log, L"refused: no valid signature")) << platform::ToUtf8(log);
    ExpectUnchanged();
    DeleteFileW((Folder() + kDebugLog).c_str());
  }
}

TEST_F(AutoUpdateTest, OnlyAPackageOfTheAnnouncedNewerVersionIsInstalled) {
  for (const PackageVersionCase& c : kPackageVersionCases) {
    SCOPED_TRACE(c.what);
    ClearServerFolder();
    for (const wchar_t* name : {kMainProgram, kMainBackup, kServiceBackup, L"readme.txt", kStandInCallsLog, kDebugLog})
      DeleteFileW((Folder() + name).c_str());
    ASSERT_TRUE(WriteTextFile(program_.ExePath(), original_));
    ASSERT_TRUE(WriteTextFile(Folder() + kServiceProgram, "old service"));
    ServeIndex(platform::ToUtf8(c.index));
    Serve(kProgramPackage, Package("new service", FakeProgram(c.packaged)));
    const std::wstring log = RunUpdate();
    EXPECT_TRUE(ContainsLine(log, L"CheckUpdate returns True"));
    if (c.taken) {
      EXPECT_EQ(Bytes(kMainProgram), FakeProgram(c.packaged));
      EXPECT_NE(NewProgramCalls().find(L"/applyupdate"), std::wstring::npos);
      EXPECT_FALSE(ContainsLine(log, L"Refused version"));
      continue;
    }
    // As after a failed download: the old program and service stay, nothing is started.
    ExpectUnchanged();
    EXPECT_FALSE(Has(kProgramPackage));
    const std::wstring refused = L"Refused version\t" + std::wstring(c.packaged ? L"1.0." : L"(none)");
    EXPECT_TRUE(ContainsLine(log, refused)) << platform::ToUtf8(log);
    EXPECT_TRUE(ContainsLine(log, L"announced " + std::wstring(c.index) + L", running 1.0.1"));
  }
}

// With an overall limit of 2 s and a package trickled at 1.25 KB/s, both attempts together end
// within the limit: the second takes what is left of the first one's deadline.
TEST_F(AutoUpdateTest, BothAttemptsAtATrickledPackageEndWithinTheOneLimit) {
  ServeIndex(kNewer);
  Serve(kProgramPackage, Package());
  ServeText(std::wstring(kProgramPackage) + L".slow", "");
  const DWORD started = GetTickCount();
  const std::wstring log = RunUpdate({L"ILATCH_DOWNLOAD_SECONDS=2"});
  const DWORD took = GetTickCount() - started;
  DeleteFileW((ServerFolder() + kProgramPackage + L".slow").c_str());
  EXPECT_LT(took, 12000u) << "the limit, the pause between the attempts and the program's start";
  EXPECT_TRUE(ContainsLine(log, L"2nd attempt - failed download!")) << platform::ToUtf8(log);
  EXPECT_TRUE(ContainsLine(log, L"over its time limit"));
  ExpectUnchanged();
}

TEST_F(AutoUpdateTest, AnIndexOverItsSizeCapIsNotFetched) {
  // Noise does not compress: the zip stays larger than the index's cap of 256 KB.
  std::string noise(300 * 1024, '\0');
  uint32_t x = 12345;
  for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  Serve(kUpdateIndexZip, {{kUpdateIndexIni, IndexIni(kNewer)}, {L"padding.bin", noise}});
  Serve(kProgramPackage, Package());
  const std::wstring log = RunUpdate();
  EXPECT_TRUE(ContainsLine(log, L"larger than its size cap")) << platform::ToUtf8(log);
  EXPECT_FALSE(ContainsLine(log, L"CheckUpdate returns"));
  EXPECT_FALSE(ContainsLine(log, std::wstring(L"d/l + verify:  ") + kProgramPackage));
  ExpectUnchanged();
}

TEST_F(AutoUpdateTest, OnlyTheIniIsTakenFromTheIndexZip) {
  Serve(kUpdateIndexZip, {{kUpdateIndexIni, IndexIni("1.0.1")},
                          {kMainProgram, "a program slipped into the index"},
                          {L"planted.dll", "a library slipped into the index"}});
  const std::wstring log = RunUpdate();
  EXPECT_TRUE(ContainsLine(log, L"CheckUpdate returns False, no updates available."));
  EXPECT_EQ(Bytes(kMainProgram), original_);
  EXPECT_FALSE(Has(L"planted.dll"));
  EXPECT_FALSE(Has(kUpdateIndexIni));
  ExpectUnchanged();
}

// ---- A file another program holds: the update waits for the restart -----------------------------

namespace {

class HeldFileAutoUpdate : public AutoUpdateTest {
 protected:
  void TearDown() override {
    ForgetRestartMovesFrom(Folder());
    ClearProductAndPolicy();
    AutoUpdateTest::TearDown();
  }
};

}  // namespace

TEST_F(HeldFileAutoUpdate, TheRunningProgramHeldMakesTheUpdateWaitForTheRestartWhichTheNextRunFinishes) {
  // The new release's program is the real one as 1.0.0.2: its start after the restart finishes.
  const std::string newProgram = WithFileVersion(original_, 1, 0, 0, 2);
  ASSERT_FALSE(newProgram.empty());
  ServeIndex(kNewer);
  Serve(kProgramPackage, Package("new service", newProgram));
  ASSERT_TRUE(WriteTextFile(Folder() + kFilterModuleProgram, "no package brings this one"));
  const auto before = FolderFiles(Folder());

  platform::UniqueFileHandle hold = HoldWithoutDeleteSharing(program_.ExePath());
  ASSERT_TRUE(hold);
  std::wstring log = RunUpdate();
  EXPECT_TRUE(ContainsLine(log, L"CheckUpdate returns True, updates available."));
  EXPECT_TRUE(ContainsLine(log, L"Held by another program: \t" + program_.ExePath())) << platform::ToUtf8(log);
  EXPECT_TRUE(ContainsLine(log, std::wstring(L"The file ") + kMainProgram +
                                    L" is in use by another program, so the update will be completed when the PC "
                                    L"restarts."));
  // Nothing of the new release is in place, nothing renamed, nothing started; every file waits.
  EXPECT_EQ(ChangedFiles(before, FolderFiles(Folder())), std::vector<std::wstring>{});
  EXPECT_TRUE(NewProgramCalls(1000).empty());
  std::vector<std::wstring> targets;
  for (const auto& move : RestartMovesFrom(Folder())) {
    EXPECT_TRUE(move.replace);
    targets.push_back(platform::Lower(move.to));
  }
  std::sort(targets.begin(), targets.end());
  EXPECT_EQ(targets, (std::vector<std::wstring>{platform::Lower(program_.ExePath()),
                                                platform::Lower(Folder() + kServiceProgram),
                                                platform::Lower(Folder() + L"readme.txt")}));
  for (const auto& record : program_.Prompts()) EXPECT_NE(record.kind, L"box") << "no message";

  // The restart, then the next weekly run: it finishes the update and finds nothing newer.
  hold.reset();
  MakeRestartMovesFrom(Folder());
  DeleteFileW((Folder() + kDebugLog).c_str());
  log = RunUpdate();
  const auto newRelease = std::vector<std::pair<std::wstring, std::string>>{
      {kMainProgram, newProgram}, {kFilterModuleProgram, "no package brings this one"},
      {kServiceProgram, "new service"}, {L"readme.txt", "new"}};
  EXPECT_EQ(ChangedFiles(newRelease, FolderFiles(Folder())), std::vector<std::wstring>{});
  EXPECT_TRUE(ContainsLine(log, L"The program update staged for the restart is in place: v\t1.0.2"))
      << platform::ToUtf8(log);
  EXPECT_TRUE(ContainsLine(log, L"CheckUpdate returns False, no updates available."));
  EXPECT_FALSE(Has(kStagedUpdateFolder));
  const std::vector<std::wstring> rules = RuleItemData(kDisallowedPaths);
  EXPECT_NE(std::find(rules.begin(), rules.end(), L"syskey.exe"), rules.end()) << "the saved choices applied again";
}

// ---- "/applyupdate": the new program's first run ----------------------------------------------

namespace {

// One rule that each option writes (Windows Vista and later), to tell which options were applied.
const std::pair<const wchar_t*, const wchar_t*> kOptionMarkers[] = {
    {L"appdata", L"%appdata%\\*.exe"},
    {L"appdatadeep", L"%appdata%\\*\\*.exe"},
    {L"appdatalocal", L"%userprofile%\\AppData\\Local\\*.exe"},
    {L"bin", L"*:\\$Recycle.Bin\\*\\*.exe"},
    {L"userprofile", L"%userprofile%\\*.exe"},
    {L"programdata", L"%programdata%\\*.exe"},
    {L"startup", L"%programdata%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\*.exe"},
    {L"tempexes", L"%userprofile%\\AppData\\Local\\Temp\\wz*\\*.exe"},
    {L"fakeexts", L"*.pdf*.exe"},
    {L"syskey", L"syskey.exe"},
    {L"cipher", L"cipher.exe"},
    {L"vssadmin", L"vssadmin.exe"},
    {L"bcdedit", L"bcdedit.exe"},
};

// The applied options, by name, in the order of the table above, joined by ",".
std::wstring AppliedOptions() {
  const std::vector<std::wstring> rules = RuleItemData(kDisallowedPaths);
  std::wstring applied;
  for (const auto& [name, marker] : kOptionMarkers) {
    if (std::find(rules.begin(), rules.end(), marker) == rules.end()) continue;
    if (!applied.empty()) applied += L",";
    applied += name;
  }
  return applied;
}

class ApplyUpdateRun : public ClearedProductTest {
 protected:

  static void Save(const std::wstring& name, const std::wstring& value, const std::wstring& subkey = L"") {
    ASSERT_TRUE(
        RegWriteString(HKEY_LOCAL_MACHINE, subkey.empty() ? kSettingsKey : kSettingsKey + (L"\\" + subkey), name, value));
  }
  void Run(const std::wstring& answers = L"") {
    ASSERT_TRUE(program_.Run(L"/nogpupdate /applyupdate", answers, 100000).finished);
  }

  InstalledProgram program_;
};

struct SavedCase {
  const char* name;
  std::map<std::wstring, std::wstring> saved;
  const wchar_t* applied;
  std::map<std::wstring, std::wstring> after;  // "<missing>": the value is gone
};

// Every value that saves a protection choice, each holding the same text.
std::map<std::wstring, std::wstring> EverySaved(const std::wstring& text) {
  std::map<std::wstring, std::wstring> saved;
  for (const wchar_t* name :
       {L"Appdata", L"AppdataDeep", L"AppdataLocal", L"RecycleBin", L"UserProfile", L"ProgramData", L"StartupFolder",
        L"syskey", L"cipher", L"vssadmin", L"ApplyFakeExts", L"ApplyTempEXEs", L"BlockBCDEdit"})
    saved[name] = text;
  return saved;
}

void PrintTo(const SavedCase& c, std::ostream* os) { *os << c.name; }

class ApplyUpdateChoices : public ApplyUpdateRun, public testing::WithParamInterface<SavedCase> {};

}  // namespace

TEST_P(ApplyUpdateChoices, TheSavedChoicesAreAppliedAsSaved) {
  const SavedCase& c = GetParam();
  for (const auto& [name, value] : c.saved) Save(name, value);
  // Rules of the old program are replaced, not added to.
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kDisallowedPaths + L"\\{00000000-0000-0000-0000-000000000001}",
                             L"Description", kRuleDescription));
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kDisallowedPaths + L"\\{00000000-0000-0000-0000-000000000001}",
                             L"ItemData", L"%appdata%\\*.exe", REG_EXPAND_SZ));
  Run();
  EXPECT_EQ(AppliedOptions(), c.applied);
  const std::vector<std::wstring> rules = RuleItemData(kDisallowedPaths);
  EXPECT_LE(std::count(rules.begin(), rules.end(), L"%appdata%\\*.exe"), 1);
  for (const auto& [name, value] : c.after) EXPECT_EQ(ProductSetting(name), value) << platform::ToUtf8(name);
  for (const auto& record : program_.Prompts()) EXPECT_NE(record.kind, L"box");
}

INSTANTIATE_TEST_SUITE_P(
    Saved, ApplyUpdateChoices,
    testing::Values(
        // Blocking syskey is the one default.
        SavedCase{"nothing", {}, L"syskey", {{L"syskey", L"<missing>"}, {L"Appdata", L"<missing>"}}},
        // "0" is a box left unticked; only "1" ticks one.
        SavedCase{"members",
                  {{L"Appdata", L"1"},
                   {L"AppdataDeep", L"0"},
                   {L"AppdataLocal", L"1"},
                   {L"RecycleBin", L""},
                   {L"UserProfile", L"0"},
                   {L"ProgramData", L"1"},
                   {L"StartupFolder", L"1"},
                   {L"syskey", L"0"},
                   {L"cipher", L"1"},
                   {L"vssadmin", L"0"},
                   {L"ApplyFakeExts", L"1"},
                   {L"ApplyTempEXEs", L"0"},
                   {L"BlockBCDEdit", L"1"}},
                  L"appdata,appdatalocal,programdata,startup,fakeexts,cipher,bcdedit",
                  {{L"AppdataDeep", L"0"}, {L"syskey", L"0"}}},
        SavedCase{"all members",
                  EverySaved(L"1"),
                  L"appdata,appdatadeep,appdatalocal,bin,userprofile,programdata,startup,tempexes,fakeexts,syskey,"
                  L"cipher,vssadmin,bcdedit",
                  {}},
        SavedCase{"all members off", EverySaved(L"0"), L"", {{L"syskey", L"0"}}},
        // A legacy group value decides for all its members, which are saved so; the group value goes.
        SavedCase{"legacy groups",
                  {{L"ApplyAppdata", L"1"},
                   {L"Appdata", L"0"},
                   {L"ApplyUserProf", L"0"},
                   {L"UserProfile", L"1"},
                   {L"BlockSyskey", L"1"}},
                  L"appdata,appdatadeep,appdatalocal,bin,syskey,cipher,vssadmin",
                  {{L"ApplyAppdata", L"<missing>"},
                   {L"Appdata", L"1"},
                   {L"AppdataDeep", L"1"},
                   {L"AppdataLocal", L"1"},
                   {L"RecycleBin", L"1"},
                   {L"ApplyUserProf", L"<missing>"},
                   {L"UserProfile", L"0"},
                   {L"ProgramData", L"0"},
                   {L"StartupFolder", L"0"},
                   {L"BlockSyskey", L"<missing>"},
                   {L"syskey", L"1"},
                   {L"cipher", L"1"},
                   {L"vssadmin", L"1"}}},
        // A group text that is no box value counts as absent: the members' own choices stand. A
        // grey box ("2") is kept in its members and ticks nothing.
        SavedCase{"legacy groups that are no choice",
                  {{L"ApplyAppdata", L"junk"}, {L"Appdata", L"1"}, {L"AppdataLocal", L"1"}, {L"ApplyUserProf", L"2"}},
                  L"appdata,appdatalocal,syskey",
                  {{L"ApplyAppdata", L"junk"},
                   {L"Appdata", L"1"},
                   {L"AppdataDeep", L"<missing>"},
                   {L"AppdataLocal", L"1"},
                   {L"ApplyUserProf", L"<missing>"},
                   {L"UserProfile", L"2"},
                   {L"ProgramData", L"2"},
                   {L"StartupFolder", L"2"}}},
        SavedCase{"legacy syskey group off",
                  {{L"BlockSyskey", L"0"}, {L"ApplyFakeExts", L"yes"}, {L"BlockBCDEdit", L"1 "}},
                  L"",
                  {{L"BlockSyskey", L"<missing>"}, {L"syskey", L"0"}, {L"cipher", L"0"}, {L"vssadmin", L"0"}}}),
    [](const testing::TestParamInfo<SavedCase>& info) {
      std::string name;
      for (const char* p = info.param.name; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      return name;
    });

TEST_F(ApplyUpdateRun, RemovesTheBackupsAndKeepsTheExeComFilter) {
  for (const wchar_t* backup : {kMainBackup, kServiceBackup})
    ASSERT_TRUE(WriteTextFile(program_.Folder() + backup, "old"));
  Save(L"SuspiciousExeComFiles", L"1", L"FilterModule");
  Save(L"Appdata", L"1");
  ASSERT_TRUE(CopyProgram(L"fakeprog.exe", program_.Folder() + kFilterModuleProgram));
  Run();
  EXPECT_FALSE(FileExists(program_.Folder() + kMainBackup));
  EXPECT_FALSE(FileExists(program_.Folder() + kServiceBackup));
  EXPECT_EQ(AppliedOptions(), L"appdata,syskey");
  // The rule writers switch this filter off while they replace the old rules; it comes back on.
  EXPECT_EQ(ProductSetting(L"SuspiciousExeComFiles", L"\\FilterModule"), L"1");
  std::wstring command;
  EXPECT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kExeOpenCommand, L"", command));
  EXPECT_NE(command.find(std::wstring(kFilterModuleProgram) + L"\" /\"%1\""), std::wstring::npos)
      << platform::ToUtf8(command);
  // Put the program classes back as they were.
  ASSERT_TRUE(program_.Run(L"/undo /silent /nogpupdate").finished);
  EXPECT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kExeOpenCommand, L"", command));
  EXPECT_EQ(command.find(kFilterModuleEventSource), std::wstring::npos);
}

// Pointed at a filter module the update did not bring, every program started from the shell
// would fail: the filter stays off, and the setting says so.
TEST_F(ApplyUpdateRun, LeavesTheExeComFilterOffWithoutTheFilterModule) {
  Save(L"SuspiciousExeComFiles", L"1", L"FilterModule");
  Run();
  EXPECT_EQ(ProductSetting(L"SuspiciousExeComFiles", L"\\FilterModule"), L"0");
  std::wstring command;
  RegRead(HKEY_LOCAL_MACHINE, kExeOpenCommand, L"", command);
  EXPECT_EQ(command.find(kFilterModuleEventSource), std::wstring::npos) << platform::ToUtf8(command);
}

namespace {

class ApplyUpdateService : public ApplyUpdateRun {
 protected:
  void SetUp() override {
    eventservice::Remove();
    ApplyUpdateRun::SetUp();
  }
  void TearDown() override {
    eventservice::Remove();
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE,
                       std::wstring(L"SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Network\\") + kServiceName);
    ApplyUpdateRun::TearDown();
  }
};

}  // namespace

TEST_F(ApplyUpdateService, TheEventServiceRestartsFromTheNewFile) {
  // Alerts on, to a port where nothing listens: the service runs and mails nobody.
  Save(L"EmailAlerts", L"1");
  Save(L"EmailAddress", L"it@example.test", L"Email Setup");
  Save(L"SMTPServer", L"127.0.0.1", L"Email Setup");
  Save(L"SMTPPort", L"9", L"Email Setup");
  const std::wstring service = program_.Folder() + kServiceProgram;
  ASSERT_TRUE(CopyProgram(kServiceProgram, service));
  Run();
  ASSERT_TRUE(eventservice::WaitForState(SERVICE_RUNNING, 30000)) << "installed and started";
  const DWORD oldProcess = eventservice::Query().processId;

  // What the swap leaves: the running service's file renamed, the new one under the name.
  ASSERT_TRUE(MoveFileW(service.c_str(), (program_.Folder() + kServiceBackup).c_str()));
  ASSERT_TRUE(CopyProgram(kServiceProgram, service));
  Run();
  EXPECT_TRUE(eventservice::WaitForState(SERVICE_RUNNING, 30000));
  EXPECT_NE(eventservice::Query().processId, oldProcess) << "a new service process";
  EXPECT_FALSE(FileExists(program_.Folder() + kServiceBackup));
}

namespace {

// Runs the program on Windows XP, as the test runs' stand-in for the kernel's version says.
class ApplyUpdateOnXp : public ApplyUpdateRun {
 protected:
  void TearDown() override {
    xp_.reset();
    ApplyUpdateRun::TearDown();
  }
  std::wstring Helper() const { return program_.Folder() + L"Vellcycle.exe"; }

  // The helper's question and restart, which it records in the same prompt log; waits a while.
  std::vector<PromptRecord> HelperRecords() {
    std::vector<PromptRecord> records;
    for (DWORD waited = 0; waited < 10000; waited += 200) {
      records = program_.Prompts();
      if (!records.empty() && records.back().kind == L"reboot") break;
      Sleep(200);
    }
    return records;
  }

  std::unique_ptr<KernelVersionStandIn> xp_ = std::make_unique<KernelVersionStandIn>(L"5.2");
};

}  // namespace

TEST_F(ApplyUpdateOnXp, TheRestartHelperAsksToRestart) {
  Run(L"yes");
  ASSERT_TRUE(FileExists(Helper()));
  const std::vector<PromptRecord> records = HelperRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].kind, L"box");
  ASSERT_GE(records[0].fields.size(), 4u);  // caption, type, text, answer
  EXPECT_EQ(records[0].fields[0], kProductName);
  EXPECT_NE(records[0].fields[2].find(L"Restart the PC now"), std::wstring::npos);
  EXPECT_EQ(records[0].fields[3], L"yes");
  EXPECT_EQ(records[1].kind, L"reboot");
  EXPECT_EQ(AppliedOptions(), L"syskey") << "the protection is applied first";
}

TEST_F(ApplyUpdateOnXp, NoRestartPromptInTheRegistryOrTheIniKeepsTheHelperOut) {
  for (bool inIni : {false, true}) {
    SCOPED_TRACE(inIni ? "INI" : "registry");
    if (inIni) {
      ASSERT_TRUE(WriteTextFile(program_.Folder() + kSettingsIni, "[Config]\r\nNoRestartPrompt=1\r\n"));
      RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kSettingsKey);
    } else {
      Save(L"NoRestartPrompt", L"1");
    }
    Run(L"yes");
    Sleep(1000);
    EXPECT_FALSE(FileExists(Helper()));
    EXPECT_TRUE(program_.Prompts().empty());
  }
}
