// The HTTP update roads end to end: the real main program in a scratch folder fetches its update
// index and packages from the local server of the httpserver fixture (tests/support/http_server.py).
// ILATCH_UPDATE_HOST points the program at a folder of its own on that server; TEMP and the data
// root (ILATCH_DATA_ROOT) point at scratch folders. The new program in a package is the recording fake, so a
// restart shows up in its calls log.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/FileDigest.h"
#include "platform/FileTree.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "tests/support/EventService.h"
#include "tests/support/ProductState.h"
#include "tests/support/StagedUpdate.h"
#include "tests/support/StandardUserAccess.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UnixLink.h"
#include "tests/support/UpdateSigning.h"
#include "tests/update/PackageVersionCases.h"
#include "zip/ZipClass.h"

using namespace testsupport;

namespace {

const std::wstring kServerAddress = L"127.0.0.1:47131";
const std::wstring kRunningVersion = L"1.0.1";  // the project's 1.0.0.1: major, minor, revision
const wchar_t kCloseQuestion[] = L"Are you sure you wish to cancel any active downloads and exit?";
const std::wstring kHashRuleKey =
    std::wstring(kRestrictionPolicyKey) + L"\\0\\Hashes\\{5e1d0a5c-0d1e-4a5e-9d0a-00000000a11e}";

std::wstring ServerRoot() { return TestsDir() + L"httpserver\\root\\"; }

// The recording fake under the programs' version block of the given version ("1_0_0_2"); with
// nullptr, the fake without any version resource.
std::wstring Fake(const wchar_t* version) {
  return TestsDir() + L"fakes\\fakeprog" + (version ? std::wstring(L"_") + version : L"") + L".exe";
}
// The program the index's 1.0.2 announces.
const wchar_t kNewerFake[] = L"1_0_0_2";

std::wstring Token(const wchar_t* what) {
  static int counter = 0;
  return std::wstring(what) + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount()) +
         L"_" + std::to_wstring(++counter);
}

// Zips the given files (path, name in the archive) to a path, signed by the maker as the real
// server's files are.
bool Zip(const std::vector<std::pair<std::wstring, std::wstring>>& files, const std::wstring& to) {
  ZipClass zip;
  for (const auto& [path, name] : files)
    if (!zip.AddFile(path, name)) return false;
  return zip.WriteZip(to, true) && SignFile(to);
}

// A served file that is no zip, signed all the same: the road must still fail safely.
bool ServeSignedText(const std::wstring& to, const std::string& text) { return WriteTextFile(to, text) && SignFile(to); }

struct Box {
  std::wstring title, flags, text, answer;
};

// One program folder, its own corner of the server and its own temporary and data folders.
class UpdateRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    served_ = Token(L"road");
    ASSERT_TRUE(CreateDirectoryW((ServerRoot() + served_).c_str(), nullptr));
    CreateDirectoryW((data_ / L"tmp").c_str(), nullptr);
    CreateDirectoryW((data_ / L"programdata").c_str(), nullptr);
    CreateDirectoryW((data_ / L"stage").c_str(), nullptr);
    ASSERT_TRUE(WriteTextFile(ServiceExe(), "the service executable before the update"));
    ASSERT_TRUE(WriteTextFile(program_.Folder() + kMainBackup, "a backup from an earlier update"));
    ASSERT_TRUE(WriteTextFile(program_.Folder() + kServiceBackup, "an earlier service backup"));
    realProgram_ = ReadFileBytes(program_.ExePath());
    fake_ = ReadFileBytes(Fake(kNewerFake));
    ASSERT_FALSE(realProgram_.empty());
    ASSERT_FALSE(fake_.empty());
  }
  void TearDown() override {
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kHashRuleKey);
    ClearProductAndPolicy();
    ForgetRestartMovesFrom(program_.Folder());
    RemoveUserListCopy();  // made by a filter module a test ran
  }

  std::wstring Url(const std::wstring& name) const { return L"http://" + kServerAddress + L"/" + served_ + L"/" + name; }
  std::wstring Served(const std::wstring& name) const { return ServerRoot() + served_ + L"\\" + name; }
  std::wstring Stage(const std::wstring& name) const { return data_ / (L"stage\\" + name); }
  std::wstring ServiceExe() const { return program_.Folder() + kServiceProgram; }
  std::wstring DefsFolder() const { return data_ / L"programdata" + kProductFolder + L"\\"; }

  void WriteIndex(const std::wstring& version, const std::wstring& defs = L"105", const std::wstring& packageUrl = L"") {
    const std::string ini =
        std::string(kUpdateIndexSectionA) + "\r\nCurrentVersion=" + platform::ToUtf8(version) +
        "\r\nDownloadURLB=" + platform::ToUtf8(packageUrl.empty() ? Url(L"package.zip") : packageUrl) +
        "\r\nCurrentDefs=" + platform::ToUtf8(defs) + "\r\nDownloadDefsURL=" + platform::ToUtf8(Url(L"defs.zip")) +
        "\r\n";
    ASSERT_TRUE(WriteTextFile(Stage(kUpdateIndexIni), ini));
    ASSERT_TRUE(Zip({{Stage(kUpdateIndexIni), kUpdateIndexIni}}, Served(kUpdateIndexZip)));
  }

  // A package whose programs are the recording fake, by default of the version 1.0.2.
  void WritePackage(const std::wstring& program = Fake(kNewerFake)) {
    ASSERT_TRUE(WriteTextFile(Stage(L"readme.txt"), "new files"));
    ASSERT_TRUE(
        Zip({{program, kMainProgram}, {Fake(kNewerFake), kServiceProgram}, {Stage(L"readme.txt"), L"readme.txt"}},
            Served(L"package.zip")));
  }

  // A package that fails half-way: the new program is written, then an entry's data is damaged.
  void WriteBrokenPackage() {
    ASSERT_TRUE(WriteTextFile(Stage(L"last.txt"), std::string(5000, 'x')));
    ASSERT_TRUE(Zip({{Fake(kNewerFake), kMainProgram}, {Stage(L"last.txt"), L"last.txt"}}, Served(L"package.zip")));
    std::string bytes = ReadFileBytes(Served(L"package.zip"));
    const size_t second = bytes.find("PK\x03\x04", 4);
    ASSERT_NE(second, std::string::npos);
    for (size_t i = second + 30 + 8; i < second + 30 + 8 + 16; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    ASSERT_TRUE(ServeSignedText(Served(L"package.zip"), bytes));
  }

  // A definitions package whose version file gives version; nullptr: it has none.
  void WriteDefinitions(bool withHashes, const char* version = "105") {
    ASSERT_TRUE(WriteTextFile(Stage(kDefinitionsVersionFile),
                              version ? std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=" + version + "\r\n"
                                      : std::string(kUpdateIndexSectionA) + "\r\n"));
    ASSERT_TRUE(WriteTextFile(Stage(L"ExecFilter.md5"), "; definitions\r\n0123456789ABCDEF0123456789ABCDEF\r\n"));
    std::vector<std::pair<std::wstring, std::wstring>> files = {
        {Stage(kDefinitionsVersionFile), kDefinitionsVersionFile}, {Stage(L"ExecFilter.md5"), L"ExecFilter.md5"}};
    if (withHashes) {
      ASSERT_TRUE(WriteTextFile(Stage(L"Hashes.reg"),
                                "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\" +
                                    platform::ToUtf8(kHashRuleKey) + std::string("]\r\n\"Description\"=\"") +
                                    kRuleDescriptionA + "\"\r\n\r\n"));
      files.push_back({Stage(L"Hashes.reg"), L"Hashes.reg"});
    }
    ASSERT_TRUE(Zip(files, Served(L"defs.zip")));
  }

  // Definitions with both lists and the version given.
  void WriteBothLists(const std::string& version) {
    ASSERT_TRUE(WriteTextFile(Stage(kDefinitionsVersionFile),
                              std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=" + version + "\r\n"));
    ASSERT_TRUE(WriteTextFile(Stage(L"ExecFilter.md5"), "NEW MD5 " + version + "\r\n"));
    ASSERT_TRUE(WriteTextFile(Stage(L"ExecFilter.sha256"), "NEW SHA " + version + "\r\n"));
    ASSERT_TRUE(Zip({{Stage(L"ExecFilter.md5"), L"ExecFilter.md5"},
                     {Stage(L"ExecFilter.sha256"), L"ExecFilter.sha256"},
                     {Stage(kDefinitionsVersionFile), kDefinitionsVersionFile}},
                    Served(L"defs.zip")));
  }

  RunResult Run(const std::wstring& arguments, const std::wstring& answers = L"",
                const std::vector<std::wstring>& moreEnv = {}) {
    const std::wstring command = L"\"" + program_.ExePath() + L"\" " + arguments;
    std::vector<std::wstring> env = {L"ILATCH_PROMPT_LOG=" + program_.PromptLog(), L"ILATCH_PROMPT_ANSWERS=" + answers,
                                     L"TEMP=" + data_ / L"tmp", L"TMP=" + data_ / L"tmp",
                                     L"ILATCH_DATA_ROOT=" + data_ / L"programdata",
                                     L"ILATCH_UPDATE_HOST=" + kServerAddress + L"/" + served_};
    for (const auto& more : moreEnv) {
      const std::wstring name = more.substr(0, more.find(L'=') + 1);
      std::erase_if(env, [&](const std::wstring& entry) { return platform::StartsWith(entry, name); });
      env.push_back(more);
    }
    return RunProcess(command, env, 90000);
  }

  // The message boxes of the run, without the download window's close question.
  std::vector<Box> Boxes() const {
    std::vector<Box> boxes;
    for (const auto& p : program_.Prompts()) {
      if (p.kind != L"box" || p.fields.size() < 4 || p.fields[2] == kCloseQuestion) continue;
      boxes.push_back({p.fields[0], p.fields[1], p.fields[2], p.fields[3]});
    }
    return boxes;
  }
  int CloseQuestions() const {
    int count = 0;
    for (const auto& p : program_.Prompts())
      if (p.kind == L"box" && p.fields.size() > 2 && p.fields[2] == kCloseQuestion) ++count;
    return count;
  }

  // The restarted program's command line, waiting for it to start; "" when it did not.
  std::wstring RestartedWith(DWORD waitMs = 10000) const {
    const std::wstring log = program_.Folder() + kStandInCallsLog;
    for (DWORD waited = 0; waited < waitMs && !FileExists(log); waited += 100) Sleep(100);
    const auto lines = Lines(ReadTextFile(log));
    if (lines.empty()) return L"";
    const std::wstring& line = lines[0];
    const size_t exe = platform::Lower(line).find(platform::Lower(kMainProgram));
    if (exe == std::wstring::npos) return line;
    std::wstring rest = line.substr(exe + 13);
    if (!rest.empty() && rest[0] == L'"') rest.erase(0, 1);
    return platform::Trim(rest);
  }

  void ExpectSwapped() {
    EXPECT_EQ(ReadFileBytes(program_.ExePath()), fake_);
    EXPECT_EQ(ReadFileBytes(program_.Folder() + kMainBackup), realProgram_);
    EXPECT_EQ(ReadFileBytes(ServiceExe()), fake_);
    EXPECT_EQ(ReadFileBytes(program_.Folder() + kServiceBackup), "the service executable before the update");
    EXPECT_TRUE(FileExists(program_.Folder() + L"readme.txt"));
    EXPECT_FALSE(FileExists(program_.Folder() + kDownloadedPackage));
    // In place at once: nothing waits for the restart.
    EXPECT_FALSE(FileExists(program_.Folder() + kStagedUpdateFolder));
    for (const auto& move : RestartMovesFrom(program_.Folder()))
      EXPECT_FALSE(FileExists(move.from)) << "the restart would move " << platform::ToUtf8(move.from);
  }
  void ExpectNotSwapped() {
    EXPECT_EQ(ReadFileBytes(program_.ExePath()), realProgram_);
    EXPECT_EQ(ReadFileBytes(ServiceExe()), "the service executable before the update");
  }
  void ExpectIndexGone() {
    EXPECT_FALSE(FileExists(data_ / (std::wstring(L"tmp\\") + kUpdateIndexZip)));
    EXPECT_FALSE(FileExists(data_ / (std::wstring(L"tmp\\") + kUpdateIndexIni)));
  }

  InstalledProgram program_;
  ScratchDir data_;
  std::wstring served_;
  std::string realProgram_, fake_;
};

}  // namespace

// ---- "/update" ----------------------------------------------------------------------------------

TEST_F(UpdateRoad, UpdateSwapsProgramAndServiceKeepingOneGenerationOfBackupsAndRestarts) {
  WriteIndex(L"1.0.2");
  WritePackage();
  const RunResult run = Run(L"/update", L"no,ok,no");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  ExpectSwapped();
  EXPECT_EQ(RestartedWith(), L"");
  EXPECT_TRUE(FileExists(program_.Folder() + kStandInCallsLog));
  ExpectIndexGone();
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, L"An update is available!");
  EXPECT_EQ(boxes[0].flags, L"0x31");  // OK, Cancel, exclamation
  EXPECT_EQ(boxes[0].text, L"Press OK to update this application to v1.0.2");
  EXPECT_EQ(CloseQuestions(), 2);  // the index and the package were fetched with the window
}

TEST_F(UpdateRoad, UpdateReportsWhenThereIsNothingNewerOrNoIndex) {
  struct Case {
    const wchar_t* version;  // nullptr: no index on the server
    const wchar_t* text;
    const wchar_t* flags;
  };
  const Case cases[] = {
      {L"1.0.1", L"No updates exist.", L"0x40"},
      {L"0.9.7", L"No updates exist.", L"0x40"},
      {nullptr, L"Could not check for updates.", L"0x10"},
  };
  WritePackage();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version ? platform::ToUtf8(c.version) : "no index");
    DeleteFileW(program_.PromptLog().c_str());
    DeleteFileW(Served(kUpdateIndexZip).c_str());
    if (c.version) WriteIndex(c.version);
    ASSERT_TRUE(Run(L"/update").finished);
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, L"Update Check");
    EXPECT_EQ(boxes[0].text, c.text);
    EXPECT_EQ(boxes[0].flags, c.flags);
    ExpectNotSwapped();
    EXPECT_FALSE(FileExists(program_.Folder() + kDownloadedPackage));
    ExpectIndexGone();
  }
}

TEST_F(UpdateRoad, CancelledUpdateChangesNothing) {
  WriteIndex(L"2.0.0");
  WritePackage();
  ASSERT_TRUE(Run(L"/update", L"no,cancel").finished);
  ExpectNotSwapped();
  EXPECT_EQ(ReadFileBytes(program_.Folder() + kMainBackup), "a backup from an earlier update");
  EXPECT_FALSE(FileExists(program_.Folder() + kStandInCallsLog));
}

TEST_F(UpdateRoad, FailedExtractionPutsTheOldProgramsBack) {
  struct Case {
    const char* what;
    bool broken;  // damaged half-way rather than no zip at all
  };
  for (const Case& c : {Case{"not a zip", false}, Case{"damaged after the program was written", true}}) {
    SCOPED_TRACE(c.what);
    DeleteFileW(program_.PromptLog().c_str());
    WriteIndex(L"1.0.2");
    if (c.broken)
      WriteBrokenPackage();
    else
      ASSERT_TRUE(ServeSignedText(Served(L"package.zip"), "this is no zip archive"));
    ASSERT_TRUE(Run(L"/update", L"no,ok,no").finished);
    ExpectNotSwapped();
    EXPECT_FALSE(FileExists(program_.Folder() + kMainBackup));
    EXPECT_FALSE(FileExists(program_.Folder() + kServiceBackup));
    // The package was fetched into a private folder, which is gone with the road.
    EXPECT_FALSE(FileExists(program_.Folder() + kDownloadedPackage));
    EXPECT_FALSE(FileExists(program_.Folder() + kStandInCallsLog));
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].title, L"Update Check");
    EXPECT_EQ(boxes[1].text, L"Failed to unzip update.");
    EXPECT_EQ(boxes[1].flags, L"0x0");
  }
}

TEST_F(UpdateRoad, MissingPackageStopsBeforeTheSwap) {
  WriteIndex(L"1.0.2");  // no package on the server
  ASSERT_TRUE(Run(L"/update", L"no,ok,no").finished);
  ExpectNotSwapped();
  EXPECT_EQ(Boxes().size(), 1u);  // only the question: the swap procedures report no failed download
  // The earlier backups were deleted when the swap began.
  EXPECT_FALSE(FileExists(program_.Folder() + kMainBackup));
  EXPECT_FALSE(FileExists(program_.Folder() + kServiceBackup));
}

// ---- "/updateandapply" --------------------------------------------------------------------------

TEST_F(UpdateRoad, UpdateAndApplyRestartsIntoTheIniRoadWithItsSwitches) {
  struct Case {
    const wchar_t* arguments;
    const wchar_t* answers;
    const wchar_t* restart;
    size_t boxes;
    int closeQuestions;
  };
  const Case cases[] = {
      {L"/updateandapply /silent /reboot", L"", L"/applyini /silent /reboot", 0, 0},
      {L"/updateandapply /silent", L"", L"/applyini /silent", 0, 0},
      {L"/updateandapply /reboot", L"no,ok,no", L"/applyini", 1, 2},  // reboot alone changes nothing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.arguments));
    UpdateRoad::TearDown();
    for (const wchar_t* name : {kMainBackup, kServiceBackup, kStandInCallsLog})
      DeleteFileW((program_.Folder() + name).c_str());
    DeleteFileW(program_.PromptLog().c_str());
    CopyProgram(kMainProgram, program_.ExePath());
    ASSERT_TRUE(WriteTextFile(ServiceExe(), "the service executable before the update"));
    WriteIndex(L"1.0.2");
    WritePackage();
    ASSERT_TRUE(Run(c.arguments, c.answers).finished);
    ExpectSwapped();
    EXPECT_EQ(RestartedWith(), c.restart);
    EXPECT_EQ(Boxes().size(), c.boxes);
    EXPECT_EQ(CloseQuestions(), c.closeQuestions);
    if (c.boxes == 0) {
      // Silent: no box and no download window (the unzip status window still shows).
      for (const auto& p : program_.Prompts()) {
        EXPECT_NE(p.kind, L"box");
        if (p.kind == L"window" && !p.fields.empty()) {
          EXPECT_NE(p.fields[0], L"frmDownloadAnp");
        }
      }
    }
    ExpectIndexGone();
  }
}

TEST_F(UpdateRoad, UpdateAndApplyWithoutAnUpdateGoesOnToApplyProtection) {
  struct Case {
    const char* what;
    const wchar_t* version;
    const wchar_t* answers;
    const wchar_t* first;
  };
  const Case cases[] = {
      {"nothing newer", L"1.0.1", L"no,ok", L"No updates exist.  Click OK to apply protection."},
      {"update cancelled", L"1.0.2", L"no,cancel", L"Press OK to update this application to v1.0.2"},
      {"no index", nullptr, L"no,ok", L"Could not check for updates.  Click OK to apply protection."},
  };
  WritePackage();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW(program_.PromptLog().c_str());
    DeleteFileW(Served(kUpdateIndexZip).c_str());
    if (c.version) WriteIndex(c.version);
    ASSERT_TRUE(Run(L"/updateandapply", c.answers).finished);
    ExpectNotSwapped();
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, c.first);
    // The protection's own question comes next (answered No here).
    EXPECT_EQ(boxes[1].title, kProductName);
    EXPECT_NE(boxes[1].text.find(kRuleDescription), std::wstring::npos) << platform::ToUtf8(boxes[1].text);
    ExpectIndexGone();
  }
}

// ---- Definitions ("/autoupdate", the daily task) ------------------------------------------------

TEST_F(UpdateRoad, DefinitionsAreUnpackedIntoTheDefinitionsFolderWhenOlder) {
  struct Case {
    const char* what;
    std::string localDef;  // empty: no version file yet
    bool updated;
  };
  const Case cases[] = {
      {"first run, no version file", "", true},
      {"older", std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=104\r\n", true},
      {"unreadable version", std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=abc\r\n", true},
      {"equal", std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=105\r\n", false},
      {"newer", std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=106\r\n", false},
  };
  WriteIndex(L"1.0.1", L"105");
  WriteDefinitions(true);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kHashRuleKey);
    DeleteFileW((DefsFolder() + L"ExecFilter.md5").c_str());
    DeleteFileW((DefsFolder() + kDefinitionsVersionFile).c_str());
    if (!c.localDef.empty()) {
      CreateDirectoryW((data_ / L"programdata" + kMakerFolder).c_str(), nullptr);
      CreateDirectoryW(DefsFolder().c_str(), nullptr);
      ASSERT_TRUE(WriteTextFile(DefsFolder() + kDefinitionsVersionFile, c.localDef));
    }
    ASSERT_TRUE(Run(L"/autoupdate").finished);
    EXPECT_TRUE(program_.Prompts().empty());
    EXPECT_TRUE(FolderExists(DefsFolder()));
    EXPECT_EQ(FileExists(DefsFolder() + L"ExecFilter.md5"), c.updated);
    EXPECT_EQ(RegKeyExists(HKEY_LOCAL_MACHINE, kHashRuleKey), c.updated);
    if (c.updated) {
      EXPECT_EQ(ReadFileBytes(DefsFolder() + kDefinitionsVersionFile),
                std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=105\r\n");
    }
    EXPECT_FALSE(FileExists(DefsFolder() + L"Hashes.reg"));
    EXPECT_FALSE(FileExists(DefsFolder() + L"Defs.zip"));
    ExpectIndexGone();
  }
}

TEST_F(UpdateRoad, DefinitionsWithoutHashRulesAndAMissingPackage) {
  WriteIndex(L"1.0.1", L"105");
  WriteDefinitions(false);
  ASSERT_TRUE(Run(L"/autoupdate").finished);
  EXPECT_TRUE(FileExists(DefsFolder() + L"ExecFilter.md5"));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kHashRuleKey));

  // A package that is not there leaves the installed definitions alone.
  WriteIndex(L"1.0.1", L"106");
  DeleteFileW(Served(L"defs.zip").c_str());
  ASSERT_TRUE(Run(L"/autoupdate").finished);
  EXPECT_EQ(ReadFileBytes(DefsFolder() + kDefinitionsVersionFile),
            std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=105\r\n");
  EXPECT_TRUE(FileExists(DefsFolder() + L"ExecFilter.md5"));
  EXPECT_FALSE(FileExists(DefsFolder() + L"Defs.zip"));
  EXPECT_TRUE(program_.Prompts().empty());
}

// ---- The bulk road's silent check ---------------------------------------------------------------

TEST_F(UpdateRoad, BulkInstallSwapsSilentlyWithoutRestartingOrUpdatesDefinitions) {
  WriteIndex(L"1.0.2", L"105");
  WritePackage();
  WriteDefinitions(false);
  ASSERT_TRUE(Run(L"/bulkinstaller").finished);
  ExpectSwapped();
  EXPECT_EQ(RestartedWith(3000), L"");
  EXPECT_FALSE(FileExists(program_.Folder() + kStandInCallsLog));
  // The process ended with the swap: the definitions check after it did not run.
  EXPECT_FALSE(FileExists(DefsFolder() + L"ExecFilter.md5"));
  EXPECT_TRUE(Boxes().empty());
  ExpectIndexGone();
}

TEST_F(UpdateRoad, BulkInstallWithoutANewerProgramUpdatesDefinitions) {
  WriteIndex(kRunningVersion, L"105");
  WritePackage();
  WriteDefinitions(false);
  ASSERT_TRUE(Run(L"/bulkinstaller").finished);
  ExpectNotSwapped();
  EXPECT_TRUE(FileExists(DefsFolder() + L"ExecFilter.md5"));
  EXPECT_TRUE(Boxes().empty());
  ExpectIndexGone();
}

// ---- What nothing planted or forged may change --------------------------------------------------

namespace {

const std::wstring kPolicyKey = L"SOFTWARE\\Policies\\Microsoft\\Windows\\safer\\codeidentifiers";

// A key's subkeys and values, one line each ("key" or "key | value | type | bytes in hex").
void Snapshot(HKEY root, const std::wstring& key, std::vector<std::wstring>& lines) {
  lines.push_back(key);
  platform::UniqueRegKey k;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, k.put()) != ERROR_SUCCESS) return;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256, type = 0;
    BYTE data[2048];
    DWORD size = sizeof data;
    if (RegEnumValueW(k.get(), i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    std::wstring hex;
    for (DWORD b = 0; b < size; ++b) hex += L"0123456789abcdef"[data[b] >> 4], hex += L"0123456789abcdef"[data[b] & 15];
    lines.push_back(key + L" | " + name + L" | " + std::to_wstring(type) + L" | " + hex);
  }
  for (const auto& sub : RegSubkeys(root, key)) Snapshot(root, key + L"\\" + sub, lines);
}
std::vector<std::wstring> Policy() {
  std::vector<std::wstring> lines;
  Snapshot(HKEY_LOCAL_MACHINE, kPolicyKey, lines);
  return lines;
}

}  // namespace

// ---- The package's own version ----------------------------------------------------------------

TEST_F(UpdateRoad, OnlyAPackageOfTheAnnouncedNewerVersionIsSwappedIn) {
  for (const PackageVersionCase& c : kPackageVersionCases) {
    SCOPED_TRACE(c.what);
    UpdateRoad::TearDown();
    for (const wchar_t* name : {kMainBackup, kServiceBackup, kStandInCallsLog, kDebugLog, L"readme.txt"})
      DeleteFileW((program_.Folder() + name).c_str());
    DeleteFileW(program_.PromptLog().c_str());
    CopyProgram(kMainProgram, program_.ExePath());
    ASSERT_TRUE(WriteTextFile(ServiceExe(), "the service executable before the update"));
    const auto files = FolderFiles(program_.Folder());
    WriteIndex(c.index);
    WritePackage(Fake(c.packaged));
    const RunResult run = Run(L"/debug /update", L"no,ok,no");
    ASSERT_TRUE(run.finished);
    const std::wstring log = ReadTextFile(program_.Folder() + kDebugLog);
    if (c.taken) {
      EXPECT_EQ(ReadFileBytes(program_.ExePath()), ReadFileBytes(Fake(c.packaged)));
      EXPECT_EQ(RestartedWith(), L"");
      EXPECT_EQ(log.find(L"Refused version"), std::wstring::npos);
      continue;
    }
    // The old program ran on to its end, as after a failed download: nothing replaced or started.
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(FolderFiles(program_.Folder()), files);
    EXPECT_FALSE(FileExists(program_.Folder() + kStandInCallsLog));
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"Press OK to update this application to v" + std::wstring(c.index));
    const std::wstring refused = L"Refused version\t" + std::wstring(c.packaged ? L"1.0." : L"(none)");
    EXPECT_NE(log.find(refused), std::wstring::npos) << platform::ToUtf8(log);
    EXPECT_NE(log.find(L"announced " + std::wstring(c.index) + L", running 1.0.1"), std::wstring::npos);
  }
}

TEST_F(UpdateRoad, DefinitionsAreTakenOnlyWhenTheirOwnVersionIsTheIndexsAndNewer) {
  struct Case {
    const char* what;
    const char* packaged;  // the package's own version file; nullptr: none in it
    bool taken;
  };
  // Installed 104, the index announces 105.
  const Case cases[] = {
      {"equal to the index, newer than installed", "105", true},
      {"equal to the installed, lower than the index", "104", false},
      {"older than the installed", "103", false},
      {"higher than the index", "106", false},
      {"without a version", nullptr, false},
  };
  WriteIndex(L"1.0.1", L"105");
  CreateDirectoryW((data_ / L"programdata" + kMakerFolder).c_str(), nullptr);
  CreateDirectoryW(DefsFolder().c_str(), nullptr);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kHashRuleKey);
    const auto policy = Policy();
    DeleteFileW((DefsFolder() + L"ExecFilter.md5").c_str());
    DeleteFileW((program_.Folder() + kDebugLog).c_str());
    ASSERT_TRUE(WriteTextFile(DefsFolder() + kDefinitionsVersionFile,
                              std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=104\r\n"));
    WriteDefinitions(true, c.packaged);
    ASSERT_TRUE(Run(L"/debug /autoupdate").finished);
    EXPECT_TRUE(program_.Prompts().empty());
    EXPECT_EQ(FileExists(DefsFolder() + L"ExecFilter.md5"), c.taken);
    EXPECT_EQ(RegKeyExists(HKEY_LOCAL_MACHINE, kHashRuleKey), c.taken);
    EXPECT_EQ(ReadFileBytes(DefsFolder() + kDefinitionsVersionFile),
              c.taken ? std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=105\r\n"
                      : std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=104\r\n");
    const std::wstring log = ReadTextFile(program_.Folder() + kDebugLog);
    EXPECT_EQ(log.find(L"Refused definitions\t" + (c.packaged ? platform::FromUtf8(c.packaged) : L"(none)")) !=
                  std::wstring::npos,
              !c.taken)
        << platform::ToUtf8(log);
    if (!c.taken) EXPECT_EQ(Policy(), policy);
  }
}

TEST_F(UpdateRoad, OnlyAPackageTheMakerSignedIsSwappedIn) {
  struct Case {
    const char* what;
    std::function<void(const std::wstring&)> spoil;  // the served package; nullptr: left as signed
  };
  const Case cases[] = {
      {"unsigned", [](const std::wstring& path) { DeleteFileW((path + L".sig").c_str()); }},
      {"signed with another key", [](const std::wstring& path) { ASSERT_TRUE(SignFile(path, Signer::ForeignKey)); }},
      {"altered after signing",
       [](const std::wstring& path) {
         std::string bytes = ReadFileBytes(path);
         bytes[bytes.size() / 2] ^= 0x01;
         ASSERT_TRUE(WriteTextFile(path, bytes));
       }},
      {"truncated signature",
       [](const std::wstring& path) {
         const std::string signature = ReadFileBytes(path + L".sig");
         ASSERT_TRUE(WriteTextFile(path + L".sig", signature.substr(0, signature.size() / 2)));
       }},
      {"SHA-1 signature", [](const std::wstring& path) { ASSERT_TRUE(SignFile(path, Signer::MakerSha1)); }},
      {"signed by the maker", nullptr},
  };
  DeleteFileW((program_.Folder() + kMainBackup).c_str());
  DeleteFileW((program_.Folder() + kServiceBackup).c_str());
  const auto policy = Policy();
  const auto files = FolderFiles(program_.Folder());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW(program_.PromptLog().c_str());
    WriteIndex(L"1.0.2");
    WritePackage();
    if (c.spoil) c.spoil(Served(L"package.zip"));
    ASSERT_TRUE(Run(L"/update", L"no,ok,no").finished);
    EXPECT_EQ(Policy(), policy);
    if (!c.spoil) {
      ExpectSwapped();
      EXPECT_EQ(RestartedWith(), L"");  // waits for the restarted program's record
      EXPECT_TRUE(FileExists(program_.Folder() + kStandInCallsLog));
    } else {
      EXPECT_EQ(FolderFiles(program_.Folder()), files);
      EXPECT_EQ(Boxes().size(), 1u);  // the question; the swap reports a failed download with nothing
    }
  }
}

TEST_F(UpdateRoad, AnUnsignedIndexOrDefinitionsPackageIsNotUsed) {
  const auto policy = Policy();
  const auto files = FolderFiles(program_.Folder());
  WriteIndex(L"1.0.2");
  WritePackage();
  DeleteFileW((Served(kUpdateIndexZip) + L".sig").c_str());
  ASSERT_TRUE(Run(L"/update", L"no,ok,no").finished);
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, L"Could not check for updates.");
  EXPECT_EQ(FolderFiles(program_.Folder()), files);

  WriteIndex(L"1.0.1", L"105");
  WriteDefinitions(true);
  DeleteFileW((Served(L"defs.zip") + L".sig").c_str());
  ASSERT_TRUE(Run(L"/autoupdate").finished);
  EXPECT_EQ(Policy(), policy);
  EXPECT_FALSE(FileExists(DefsFolder() + L"ExecFilter.md5"));
  EXPECT_FALSE(FileExists(DefsFolder() + kDefinitionsVersionFile));
}

TEST_F(UpdateRoad, AnIndexPlantedInTheOldTemporaryPlaceIsNotUsed) {
  // Any user can write the temporary folder and hold a file there open, so that it cannot be
  // replaced: an index naming a newer version, with no index on the server at all.
  ASSERT_TRUE(WriteTextFile(Stage(kUpdateIndexIni),
                            std::string(kUpdateIndexSectionA) +
                                "\r\nCurrentVersion=9.9.9\r\nDownloadURLB=" + platform::ToUtf8(Url(L"package.zip")) +
                                "\r\nCurrentDefs=32000\r\nDownloadDefsURL=" + platform::ToUtf8(Url(L"defs.zip")) +
                                "\r\n"));
  ZipClass zip;
  ASSERT_TRUE(zip.AddFile(Stage(kUpdateIndexIni), kUpdateIndexIni));
  ASSERT_TRUE(zip.WriteZip(data_ / (std::wstring(L"tmp\\") + kUpdateIndexZip), true));
  platform::UniqueFileHandle held(CreateFileW((data_ / (std::wstring(L"tmp\\") + kUpdateIndexZip)).c_str(),
                                              GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  WritePackage();
  WriteDefinitions(true);
  const auto policy = Policy();
  const auto files = FolderFiles(program_.Folder());

  ASSERT_TRUE(Run(L"/update", L"no,ok,no").finished);
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, L"Could not check for updates.");
  ASSERT_TRUE(Run(L"/autoupdate").finished);
  EXPECT_EQ(FolderFiles(program_.Folder()), files);
  EXPECT_EQ(Policy(), policy);
  EXPECT_FALSE(FileExists(DefsFolder() + L"ExecFilter.md5"));
}

TEST_F(UpdateRoad, DefinitionsImportOnlyHashRules) {
  const std::wstring rule = kHashRuleKey;
  const std::string hklm = "HKEY_LOCAL_MACHINE\\";
  const std::string policyKey = hklm + "SOFTWARE\\Policies\\Microsoft\\Windows\\safer\\codeidentifiers";
  const std::string reg =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[" +
      policyKey +
      "\\0\\Hashes]\r\n\r\n"
      "[" +
      hklm + platform::ToUtf8(rule) + "]\r\n" + std::string("\"Description\"=\"") + kRuleDescriptionA +
      "\"\r\n\"SaferFlags\"=dword:00000000\r\n\"HashAlg\"=dword:00008003\r\n"
      "\"ItemData\"=hex:01,23,45,67,89,ab,cd,ef,\\\r\n  01,23,45,67,89,ab,cd,ef\r\n"
      "\"ItemSize\"=hex(b):00,10,00,00,00,00,00,00\r\n"
      "\"Run\"=\"C:\\\\evil.exe\"\r\n\r\n"
      "[" +
      hklm + platform::ToUtf8(rule) +
      "\\SHA256]\r\n\"HashAlg\"=dword:0000800c\r\n"
      "\"ItemData\"=hex:00,11,22,33,44,55,66,77,88,99,aa,bb,cc,dd,ee,ff,00,11,22,33,44,55,66,77,88,99,aa,bb,cc,dd,ee,"
      "ff\r\n\r\n"
      "[" +
      hklm +
      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n\"IlatchPlanted\"=\"C:\\\\evil.exe\"\r\n\r\n"
      "[" +
      policyKey +
      "]\r\n\"DefaultLevel\"=dword:00000000\r\n\r\n"
      "[" +
      policyKey +
      "\\262144\\Hashes\\{11111111-2222-4333-8444-555555555555}]\r\n\"Description\"=\"allowed\"\r\n\r\n"
      "[-" +
      hklm +
      "SOFTWARE\\IlatchKeepMe]\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\IlatchPlanted]\r\n\"x\"=\"y\"\r\n\r\n";
  ASSERT_TRUE(RegWriteDword(HKEY_LOCAL_MACHINE, kPolicyKey, L"DefaultLevel", 0x40000));
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\IlatchKeepMe", L"v", L"kept"));
  ASSERT_TRUE(
      WriteTextFile(Stage(kDefinitionsVersionFile), std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=105\r\n"));
  ASSERT_TRUE(WriteTextFile(Stage(L"Hashes.reg"), reg));
  WriteIndex(L"1.0.1", L"105");
  ASSERT_TRUE(Zip({{Stage(kDefinitionsVersionFile), kDefinitionsVersionFile}, {Stage(L"Hashes.reg"), L"Hashes.reg"}},
                  Served(L"defs.zip")));

  ASSERT_TRUE(Run(L"/autoupdate").finished);
  std::wstring text;
  EXPECT_TRUE(RegRead(HKEY_LOCAL_MACHINE, rule, L"Description", text));
  EXPECT_EQ(text, kRuleDescription);
  DWORD number = 0;
  EXPECT_TRUE(RegReadDword(HKEY_LOCAL_MACHINE, rule + L"\\SHA256", L"HashAlg", number));
  EXPECT_EQ(number, 0x800cu);
  EXPECT_FALSE(RegRead(HKEY_LOCAL_MACHINE, rule, L"Run", text)) << "no value a hash rule does not hold";
  EXPECT_FALSE(RegRead(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", L"IlatchPlanted", text));
  EXPECT_TRUE(RegReadDword(HKEY_LOCAL_MACHINE, kPolicyKey, L"DefaultLevel", number));
  EXPECT_EQ(number, 0x40000u);
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kPolicyKey + L"\\262144\\Hashes\\{11111111-2222-4333-8444-555555555555}"));
  EXPECT_TRUE(RegRead(HKEY_LOCAL_MACHINE, L"SOFTWARE\\IlatchKeepMe", L"v", text));
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\IlatchPlanted"));
  EXPECT_EQ(ReadFileBytes(DefsFolder() + kDefinitionsVersionFile),
            std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=105\r\n");
  EXPECT_FALSE(FileExists(DefsFolder() + L"Hashes.reg"));
  RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, L"SOFTWARE\\IlatchKeepMe");
  RegDeleteValueQuiet(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", L"IlatchPlanted");
  RegDeleteTreeQuiet(HKEY_CURRENT_USER, L"Software\\IlatchPlanted");
}

// The files that could be replaced now wait with the one that cannot: no release is left half in
// place, whichever entry of the package is held.
TEST_F(UpdateRoad, AHeldLastFileOfThePackageLeavesEveryOtherFileAsItWas) {
  ASSERT_TRUE(WriteTextFile(program_.Folder() + L"readme.txt", "the readme before the update"));
  ASSERT_TRUE(WriteTextFile(program_.Folder() + L"last.txt", "the last file before the update"));
  ASSERT_TRUE(WriteTextFile(Stage(L"last.txt"), "the new last file"));
  ASSERT_TRUE(WriteTextFile(Stage(L"readme.txt"), "the new readme"));
  ASSERT_TRUE(Zip({{Fake(kNewerFake), kMainProgram},
                   {Fake(kNewerFake), kServiceProgram},
                   {Stage(L"readme.txt"), L"readme.txt"},
                   {Stage(L"last.txt"), L"last.txt"}},
                  Served(L"package.zip")));
  WriteIndex(L"1.0.2");
  // Another program holds the last file open: it cannot be replaced.
  platform::UniqueFileHandle held(CreateFileW((program_.Folder() + L"last.txt").c_str(), GENERIC_READ,
                                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  ASSERT_TRUE(Run(L"/update", L"no,ok,no").finished);
  held.reset();
  ExpectNotSwapped();
  EXPECT_EQ(ReadFileBytes(program_.Folder() + L"readme.txt"), "the readme before the update");
  EXPECT_EQ(ReadFileBytes(program_.Folder() + L"last.txt"), "the last file before the update");
  EXPECT_FALSE(FileExists(program_.Folder() + kStandInCallsLog));
  EXPECT_EQ(RestartMovesFrom(program_.Folder()).size(), 4u) << "every file waits for the restart";
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].text,
            L"The file last.txt is in use by another program, so the update will be completed when the PC restarts.");
}

TEST_F(UpdateRoad, AServerThatStallsMidTransferIsGivenUp) {
  // The server sends half of each file and then nothing for 90 s; the road gives up after the
  // (shortened) limit of silence and changes nothing.
  WriteIndex(L"1.0.2");
  WritePackage();
  const auto policy = Policy();
  const auto files = FolderFiles(program_.Folder());
  const DWORD start = GetTickCount();
  const RunResult run = Run(L"/update", L"no,ok,no",
                            {L"ILATCH_UPDATE_HOST=" + kServerAddress + L"/stall/" + served_, L"ILATCH_STALL_SECONDS=3"});
  ASSERT_TRUE(run.finished);
  EXPECT_LT(GetTickCount() - start, 45000u) << "long before the server lets go";
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, L"Could not check for updates.");
  EXPECT_EQ(FolderFiles(program_.Folder()), files);
  EXPECT_EQ(Policy(), policy);
}

TEST_F(UpdateRoad, TransfersThatCrawlOrOutgrowTheirCapAreGivenUp) {
  struct Case {
    const char* what;
    const wchar_t* indexRoad;    // where the index is fetched from: "" its folder, else that road of the server
    const wchar_t* packageRoad;  // the same for the package
    const wchar_t* logLine;
    const wchar_t* orLogLine;  // another ending that is as good, or nullptr
    const wchar_t* box;  // the run's only box: the road reports as after a failed download
    const wchar_t* stallSeconds;
  };
  const Case cases[] = {
      // Half the package at once, then one byte a second: never silent, always far below the minimum rate.
      {"package trickled at one byte a second", L"", L"trickle/", L"below the minimum rate", nullptr,
       L"Press OK to update this application to v1.0.2", L"3"},
      // No length announced and no end: the cap, kept while the bytes arrive, ends it. Now and then
      // Wine's URL moniker hands such a response over without a word of progress; then the stall
      // rule is what ends it, as bounded. The stall time is longer here, so that a loaded machine's
      // slow start is not taken for a stall in the runs where the bytes are reported.
      {"endless index", L"endless/", L"", L"larger than its size cap", L"below the minimum rate",
       L"Could not check for updates.", L"15"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW(program_.PromptLog().c_str());
    DeleteFileW((program_.Folder() + kDebugLog).c_str());
    WriteIndex(L"1.0.2", L"105", L"http://" + kServerAddress + L"/" + c.packageRoad + served_ + L"/package.zip");
    WritePackage();
    // The swap road deletes the backups of an earlier update first: without them, nothing may change.
    DeleteFileW((program_.Folder() + kMainBackup).c_str());
    DeleteFileW((program_.Folder() + kServiceBackup).c_str());
    const auto files = FolderFiles(program_.Folder());
    const DWORD start = GetTickCount();
    const RunResult run = Run(L"/debug /update", L"no,ok,no",
                              {L"ILATCH_UPDATE_HOST=" + kServerAddress + L"/" + c.indexRoad + served_,
                               L"ILATCH_STALL_SECONDS=" + std::wstring(c.stallSeconds)});
    ASSERT_TRUE(run.finished);
    EXPECT_LT(GetTickCount() - start, 45000u);
    const std::wstring log = ReadTextFile(program_.Folder() + kDebugLog);
    EXPECT_TRUE(log.find(c.logLine) != std::wstring::npos ||
                (c.orLogLine && log.find(c.orLogLine) != std::wstring::npos))
        << platform::ToUtf8(log);
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, c.box);
    EXPECT_EQ(FolderFiles(program_.Folder()), files);
    EXPECT_FALSE(FileExists(program_.Folder() + kStandInCallsLog));
  }
}

namespace {

// The URL cache's entries whose address holds text.
std::vector<std::wstring> CachedUrls(const std::wstring& text) {
  std::vector<std::wstring> urls;
  std::vector<BYTE> buffer(64 * 1024);
  DWORD size = static_cast<DWORD>(buffer.size());
  auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
  HANDLE find = FindFirstUrlCacheEntryW(nullptr, entry, &size);
  if (!find) return urls;
  do {
    if (entry->lpszSourceUrlName && std::wstring(entry->lpszSourceUrlName).find(text) != std::wstring::npos)
      urls.push_back(entry->lpszSourceUrlName);
    size = static_cast<DWORD>(buffer.size());
  } while (FindNextUrlCacheEntryW(find, entry, &size));
  FindCloseUrlCache(find);
  return urls;
}

}  // namespace

TEST_F(UpdateRoad, NothingOfTheDownloadsStaysInTheUrlCache) {
  WriteIndex(L"1.0.2");
  WritePackage();
  // An update that landed, and one whose index the server cut short.
  ASSERT_TRUE(Run(L"/update", L"no,ok,no").finished);
  ExpectSwapped();
  ASSERT_TRUE(Run(L"/update", L"no,ok,no", {L"ILATCH_UPDATE_HOST=" + kServerAddress + L"/cut/" + served_}).finished);
  const std::vector<std::wstring> cached = CachedUrls(served_);
  EXPECT_TRUE(cached.empty()) << platform::ToUtf8(cached.front());
}

TEST_F(UpdateRoad, UpdateAndApplyAfterAFailedUpdateSaysSoAndAppliesProtection) {
  WriteIndex(L"1.0.2");
  WritePackage();
  DeleteFileW((Served(L"package.zip") + L".sig").c_str());
  ASSERT_TRUE(Run(L"/updateandapply", L"no,ok,no,ok,no").finished);
  ExpectNotSwapped();
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].text, L"Press OK to update this application to v1.0.2");
  EXPECT_EQ(boxes[1].text, L"The update failed.  Click OK to apply protection.");
  EXPECT_NE(boxes[2].text.find(kRuleDescription), std::wstring::npos) << platform::ToUtf8(boxes[2].text);
}

// ---- A file another program holds: the update waits for the restart ----------------------------

namespace {

const std::wstring kDisallowedPaths = std::wstring(kRestrictionPolicyKey) + L"\\0\\Paths";

// A program folder with one file beside the programs that no package brings, and a package whose
// program is the real one as release 1.0.0.2, so that its start after the restart is the one
// that finishes the update.
class HeldFileUpdate : public UpdateRoad {
 protected:
  void SetUp() override {
    UpdateRoad::SetUp();
    DeleteFileW((program_.Folder() + kMainBackup).c_str());
    DeleteFileW((program_.Folder() + kServiceBackup).c_str());
    ASSERT_TRUE(WriteTextFile(program_.Folder() + L"readme.txt", "the readme before the update"));
    ASSERT_TRUE(WriteTextFile(program_.Folder() + kFilterModuleProgram, "no package brings this one"));
    newProgram_ = WithFileVersion(realProgram_, 1, 0, 0, 2);
    ASSERT_FALSE(newProgram_.empty());
    newService_ = "the service executable of the new release";
  }
  void ServePackage() {
    ASSERT_TRUE(WriteTextFile(Stage(L"new.exe"), newProgram_));
    ASSERT_TRUE(WriteTextFile(Stage(L"new service.exe"), newService_));
    ASSERT_TRUE(WriteTextFile(Stage(L"readme.txt"), "the readme of the new release"));
    ASSERT_TRUE(Zip({{Stage(L"new.exe"), kMainProgram},
                     {Stage(L"new service.exe"), kServiceProgram},
                     {Stage(L"readme.txt"), L"readme.txt"}},
                    Served(L"package.zip")));
  }
  // The folder as the new release leaves it: the package's files, the other one as it was.
  std::vector<std::pair<std::wstring, std::string>> NewRelease() const {
    return {{kMainProgram, newProgram_},
            {kFilterModuleProgram, "no package brings this one"},
            {kServiceProgram, newService_},
            {L"readme.txt", "the readme of the new release"}};
  }
  std::wstring StagingFolder() const { return program_.Folder() + kStagedUpdateFolder; }

  // "/update" while another program holds the service's file: the update waits for the restart.
  void UpdateWhileTheServiceFileIsHeld() {
    ServePackage();
    WriteIndex(L"1.0.2");
    platform::UniqueFileHandle hold = HoldWithoutDeleteSharing(ServiceExe());
    ASSERT_TRUE(hold);
    ASSERT_TRUE(Run(L"/update", L"no,ok,no").finished);
  }

  // Every file of the package is to be moved over its target at the restart, and nothing else.
  void ExpectEveryFileMovedAtTheRestart() const {
    std::vector<std::wstring> targets;
    for (const auto& move : RestartMovesFrom(program_.Folder())) {
      EXPECT_TRUE(move.replace) << platform::ToUtf8(move.to);
      const std::wstring name = move.to.substr(move.to.rfind(L'\\') + 1);
      EXPECT_EQ(platform::Lower(move.from), platform::Lower(StagingFolder() + L"\\" + name));
      targets.push_back(platform::Lower(move.to));
    }
    std::sort(targets.begin(), targets.end());
    std::vector<std::wstring> expected = {platform::Lower(program_.ExePath()), platform::Lower(ServiceExe()),
                                          platform::Lower(program_.Folder() + L"readme.txt")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(targets, expected);
  }

  std::string newProgram_, newService_;
};

}  // namespace

TEST_F(HeldFileUpdate, AHeldFileMakesTheWholeUpdateWaitForTheRestartWhichTheNextStartFinishes) {
  struct Case {
    const char* road;
    const wchar_t* arguments;
    const wchar_t* answers;
    const wchar_t* held;
    std::vector<std::wstring> boxes;  // title | flags | text, the download window's questions left out
    bool protectionQuestion;          // the road goes on to apply the protection with the old program
  };
  const std::wstring offer = L"An update is available! | 0x31 | Press OK to update this application to v1.0.2";
  const std::wstring atRestart = L" is in use by another program, so the update will be completed when the PC restarts.";
  const Case cases[] = {
      {"/update", L"/debug /update", L"no,ok,no", kServiceProgram,
       {offer, L"Update Check | 0x40 | The file " + std::wstring(kServiceProgram) + atRestart}, false},
      {"/updateandapply", L"/debug /updateandapply", L"no,ok,no", kMainProgram,
       {offer, L"Update Check | 0x40 | The file " + std::wstring(kMainProgram) + atRestart +
                   L"  Click OK to apply protection."},
       true},
      {"the bulk road's silent update", L"/debug /bulkinstaller", L"", L"readme.txt", {}, false},
  };
  ServePackage();
  WriteIndex(L"1.0.2");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.road);
    UpdateRoad::TearDown();
    ASSERT_TRUE(WriteTextFile(program_.ExePath(), realProgram_));
    ASSERT_TRUE(WriteTextFile(ServiceExe(), "the service executable before the update"));
    ASSERT_TRUE(WriteTextFile(program_.Folder() + L"readme.txt", "the readme before the update"));
    for (const std::wstring& record : {program_.PromptLog(), program_.Folder() + kDebugLog})
      DeleteFileW(record.c_str());
    const auto before = FolderFiles(program_.Folder());

    platform::UniqueFileHandle hold = HoldWithoutDeleteSharing(program_.Folder() + c.held);
    ASSERT_TRUE(hold);
    ASSERT_TRUE(Run(c.arguments, c.answers).finished);
    // The old release stays whole and in use; the new one waits, every file of it.
    EXPECT_EQ(ChangedFiles(before, FolderFiles(program_.Folder())), std::vector<std::wstring>{});
    ExpectEveryFileMovedAtTheRestart();
    std::vector<std::wstring> boxes;
    for (const auto& b : Boxes()) boxes.push_back(b.title + L" | " + b.flags + L" | " + b.text);
    if (c.protectionQuestion) {
      ASSERT_EQ(boxes.size(), c.boxes.size() + 1);
      EXPECT_NE(boxes.back().find(kRuleDescription), std::wstring::npos) << platform::ToUtf8(boxes.back());
      boxes.pop_back();
    }
    EXPECT_EQ(boxes, c.boxes);
    const std::wstring log = ReadTextFile(program_.Folder() + kDebugLog);
    EXPECT_NE(log.find(L"Held by another program: \t" + program_.Folder() + c.held), std::wstring::npos)
        << platform::ToUtf8(log);
    EXPECT_NE(log.find(L"The file " + std::wstring(c.held) + atRestart), std::wstring::npos);

    // The restart: the holder is gone, Windows moves the files in, and the program starts.
    hold.reset();
    MakeRestartMovesFrom(program_.Folder());
    EXPECT_EQ(ChangedFiles(NewRelease(), FolderFiles(program_.Folder())), std::vector<std::wstring>{});
    DeleteFileW(program_.PromptLog().c_str());
    ASSERT_TRUE(Run(L"").finished);
    EXPECT_EQ(ChangedFiles(NewRelease(), FolderFiles(program_.Folder())), std::vector<std::wstring>{});
    EXPECT_FALSE(FileExists(StagingFolder())) << "the start after the restart cleans up";
    EXPECT_TRUE(Boxes().empty());
    // The step after an update: the saved choices (none, so the one default) are applied again.
    const std::vector<std::wstring> rules = RuleItemData(kDisallowedPaths);
    EXPECT_NE(std::find(rules.begin(), rules.end(), L"syskey.exe"), rules.end());
  }
}

// An update waiting for the restart must not be overtaken: a later update that goes through at
// once takes the waiting one's files away, so that the restart brings nothing older back.
TEST_F(HeldFileUpdate, AnUpdateThatGoesThroughLaterTakesTheWaitingOneAway) {
  UpdateWhileTheServiceFileIsHeld();
  ASSERT_FALSE(RestartMovesFrom(program_.Folder()).empty());
  WritePackage();  // the later one's program is the recording fake, which shows its restart
  ASSERT_TRUE(Run(L"/update", L"no,ok,no").finished);
  EXPECT_EQ(RestartedWith(), L"");
  ExpectSwapped();
  const auto swapped = FolderFiles(program_.Folder());
  MakeRestartMovesFrom(program_.Folder());
  EXPECT_EQ(ChangedFiles(swapped, FolderFiles(program_.Folder())), std::vector<std::wstring>{});
}

// Starts of the program before the restart find the update waiting and leave it so: the moves
// stay recorded (one the restart did not make is recorded again), unless the program in use is no
// older than the one waiting, which another install brought in between.
TEST_F(HeldFileUpdate, AStartBeforeTheRestartLeavesTheUpdateWaitingUnlessItIsNoLongerNewer) {
  UpdateWhileTheServiceFileIsHeld();
  const auto oldRelease = FolderFiles(program_.Folder());
  struct Start {
    const char* when;
    bool movesLost;
  };
  for (const Start& start : {Start{"before the restart", false}, Start{"after a restart that made no move", true}}) {
    SCOPED_TRACE(start.when);
    if (start.movesLost) ForgetRestartMovesFrom(program_.Folder());
    ASSERT_TRUE(Run(L"/nogpupdate /autoupdate").finished);
    EXPECT_EQ(ChangedFiles(oldRelease, FolderFiles(program_.Folder())), std::vector<std::wstring>{});
    ExpectEveryFileMovedAtTheRestart();
  }

  // The same release installed in between: what waits would only take the machine back.
  ASSERT_TRUE(WriteTextFile(program_.ExePath(), newProgram_));
  ASSERT_TRUE(Run(L"/nogpupdate /autoupdate").finished);
  EXPECT_FALSE(FileExists(StagingFolder()));
  const auto installed = FolderFiles(program_.Folder());
  MakeRestartMovesFrom(program_.Folder());
  EXPECT_EQ(ChangedFiles(installed, FolderFiles(program_.Folder())), std::vector<std::wstring>{});
}

namespace {

class HeldServiceUpdate : public HeldFileUpdate {
 protected:
  void SetUp() override {
    eventservice::Remove();
    HeldFileUpdate::SetUp();
  }
  void TearDown() override {
    eventservice::Remove();
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE,
                       std::wstring(L"SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Network\\") + kServiceName);
    HeldFileUpdate::TearDown();
  }
};

}  // namespace

TEST_F(HeldServiceUpdate, TheServiceRunsTheOldReleaseUntilTheRestartAndTheNewOneAfterIt) {
  // Alerts on, to a port where nothing listens: the service runs and mails nobody.
  for (const auto& [key, name, value] : {std::tuple{L"", L"EmailAlerts", L"1"},
                                         std::tuple{L"\\Email Setup", L"EmailAddress", L"it@example.test"},
                                         std::tuple{L"\\Email Setup", L"SMTPServer", L"127.0.0.1"},
                                         std::tuple{L"\\Email Setup", L"SMTPPort", L"9"}})
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey + std::wstring(key), name, value));
  ASSERT_TRUE(CopyProgram(kServiceProgram, ServiceExe()));
  const std::string oldService = ReadFileBytes(ServiceExe());
  newService_ = oldService + std::string("\0the new release", 16);
  ASSERT_TRUE(Run(L"/nogpupdate /applyupdate").finished);
  ASSERT_TRUE(eventservice::WaitForState(SERVICE_RUNNING, 30000)) << "installed and started";

  ServePackage();
  WriteIndex(L"1.0.2");
  platform::UniqueFileHandle hold = HoldWithoutDeleteSharing(ServiceExe());
  ASSERT_TRUE(hold);
  ASSERT_TRUE(Run(L"/update", L"no,ok,no").finished);
  // The road stopped the service for the swap and started it again: from the old file, unchanged.
  EXPECT_TRUE(eventservice::WaitForState(SERVICE_RUNNING, 30000));
  const eventservice::State before = eventservice::Query();
  EXPECT_NE(platform::Lower(before.binaryPath).find(platform::Lower(ServiceExe())), std::wstring::npos)
      << platform::ToUtf8(before.binaryPath);
  EXPECT_TRUE(ReadFileBytes(ServiceExe()) == oldService) << "the old service file is in place";
  ExpectEveryFileMovedAtTheRestart();

  // The restart: the service ends with the machine, the files move in, and the next start of the
  // program starts the service from its new file.
  hold.reset();
  ASSERT_TRUE(eventservice::Stop(30000));
  MakeRestartMovesFrom(program_.Folder());
  ASSERT_TRUE(ReadFileBytes(ServiceExe()) == newService_) << "the new service file is in place";
  ASSERT_TRUE(Run(L"/nogpupdate /autoupdate").finished);
  EXPECT_TRUE(eventservice::WaitForState(SERVICE_RUNNING, 30000));
  EXPECT_NE(eventservice::Query().processId, before.processId) << "a new service process";
  EXPECT_FALSE(FileExists(StagingFolder()));
}

// ---- The windows' menu checks, through the probe that carries the main program ------------------

namespace {

class MenuCheck : public UpdateRoad {
 protected:
  void SetUp() override {
    UpdateRoad::SetUp();
    ASSERT_TRUE(CopyFileW((TestsDir() + L"updateprobe.exe").c_str(), Probe().c_str(), FALSE));
    probe_ = ReadFileBytes(Probe());
  }
  std::wstring Probe() const { return program_.Folder() + L"updateprobe.exe"; }
  RunResult RunProbe(const std::wstring& what, const std::wstring& answers) {
    return RunProcess(L"\"" + Probe() + L"\" " + what,
                      {L"ILATCH_PROMPT_LOG=" + program_.PromptLog(), L"ILATCH_PROMPT_ANSWERS=" + answers,
                       L"TEMP=" + data_ / L"tmp", L"TMP=" + data_ / L"tmp", L"ILATCH_DATA_ROOT=" + data_ / L"programdata",
                       L"ILATCH_UPDATE_HOST=" + kServerAddress + L"/" + served_},
                      90000);
  }
  void WriteProbePackage(const wchar_t* version = kNewerFake) {
    ASSERT_TRUE(Zip({{Fake(version), L"updateprobe.exe"}}, Served(L"package.zip")));
  }
  // The new program (the recording fake) was started back into the builder.
  void ExpectRestartedIntoTheBuilder() const {
    const std::wstring log = program_.Folder() + L"updateprobe.calls.log";
    for (int i = 0; i < 100 && !FileExists(log); ++i) Sleep(100);
    const auto lines = Lines(ReadTextFile(log));
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(platform::EndsWith(platform::TrimRight(lines[0]), L"/config")) << platform::ToUtf8(lines[0]);
  }
  std::vector<std::wstring> BoxLines() const {
    std::vector<std::wstring> lines;
    for (const auto& b : Boxes()) lines.push_back(b.title + L" | " + b.flags + L" | " + b.text);
    return lines;
  }
  std::string probe_;
};

}  // namespace

TEST_F(MenuCheck, BuilderCheckSwapsOnlyTheProgramAndReturnsToTheBuilder) {
  WriteIndex(L"1.0.2");
  WriteProbePackage();
  ASSERT_TRUE(RunProbe(L"interactive", L"no,ok,no").finished);
  EXPECT_EQ(BoxLines(), (std::vector<std::wstring>{
                            L"An update is available! | 0x31 | Press OK to update this application to v1.0.2"}));
  EXPECT_EQ(ReadFileBytes(Probe()), fake_);
  EXPECT_EQ(ReadFileBytes(program_.Folder() + L"updateprobe_old.exe"), probe_);
  ExpectRestartedIntoTheBuilder();
  // The service is not part of this road.
  EXPECT_EQ(ReadFileBytes(ServiceExe()), "the service executable before the update");
  EXPECT_FALSE(FileExists(program_.Folder() + kDownloadedPackage));
  ExpectIndexGone();
}

TEST_F(MenuCheck, BuilderCheckAgainstAHeldProgramSaysTheUpdateWaitsForTheRestart) {
  WriteIndex(L"1.0.2");
  WriteProbePackage();
  // The backups of an earlier update go with any swap, one that waits included.
  for (const wchar_t* backup : {kMainBackup, kServiceBackup}) DeleteFileW((program_.Folder() + backup).c_str());
  const auto before = FolderFiles(program_.Folder());
  {
    platform::UniqueFileHandle hold = HoldWithoutDeleteSharing(Probe());
    ASSERT_TRUE(hold);
    ASSERT_TRUE(RunProbe(L"interactive", L"no,ok,no").finished);
  }
  EXPECT_EQ(BoxLines(), (std::vector<std::wstring>{
                            L"An update is available! | 0x31 | Press OK to update this application to v1.0.2",
                            std::wstring(kProductName) +
                                L" Update | 0x40 | The file updateprobe.exe is in use by another program, so the "
                                L"update will be completed when the PC restarts."}));
  EXPECT_EQ(ChangedFiles(before, FolderFiles(program_.Folder())), std::vector<std::wstring>{});
  const auto moves = RestartMovesFrom(program_.Folder());
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(platform::Lower(moves[0].to), platform::Lower(Probe()));
}

TEST_F(MenuCheck, BuilderCheckOffersThePackageAgainAndReportsFailures) {
  struct Case {
    const char* what;
    const wchar_t* version;
    int package;  // 0 none, 1 good, 2 not a zip
    const wchar_t* answers;
    std::vector<std::wstring> boxes;
    bool swapped;
  };
  const Case cases[] = {
      {"same version, declined",
       kRunningVersion.c_str(),
       1,
       L"no,cancel",
       {L"No updates were detected. | 0x31 | No updates were detected.\r\n\r\nPress OK to re-download the previous "
        L"update:  v1.0.1"},
       false},
      {"no package",
       L"1.0.2",
       0,
       L"no,ok,no",
       {L"An update is available! | 0x31 | Press OK to update this application to v1.0.2",
        std::wstring(kProductName) + L" Update | 0x0 | Failed to download update."},
       false},
      {"not a zip",
       L"1.0.2",
       2,
       L"no,ok,no",
       {L"An update is available! | 0x31 | Press OK to update this application to v1.0.2",
        std::wstring(kProductName) + L" Update | 0x0 | Failed to unzip update."},
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW(program_.PromptLog().c_str());
    DeleteFileW(Served(L"package.zip").c_str());
    WriteIndex(c.version);
    if (c.package == 1) WriteProbePackage();
    if (c.package == 2) {
      ASSERT_TRUE(ServeSignedText(Served(L"package.zip"), "no zip"));
    }
    ASSERT_TRUE(RunProbe(L"interactive", c.answers).finished);
    EXPECT_EQ(BoxLines(), c.boxes);
    EXPECT_EQ(ReadFileBytes(Probe()), probe_);
    EXPECT_FALSE(FileExists(program_.Folder() + L"updateprobe_old.exe"));
    ExpectIndexGone();
  }
}

TEST_F(MenuCheck, MainWindowDefinitionsCheckAsksAndReports) {
  struct Case {
    const char* what;
    const wchar_t* remoteDefs;  // nullptr: no index
    int package;                // 0 none, 1 good, 2 not a zip, 3 of version 106
    const wchar_t* answers;
    std::vector<std::wstring> boxes;
    bool updated;
  };
  const std::wstring offer = L"Updated definitions are available! | 0x31 | Press OK to update to definitions dated 105";
  const Case cases[] = {
      {"no index", nullptr, 1, L"no", {L"Update Check | 0x10 | Could not check for updates!"}, false},
      {"declined", L"105", 1, L"no,cancel", {offer}, false},
      {"updated", L"105", 1, L"no,ok,no",
       {offer, L"Update Check | 0x40 | Definitions Updated Successfully!"}, true},
      {"no package", L"105", 0, L"no,ok,no",
       {offer, L"Update Check | 0x10 | Could not download updated definitions!"}, false},
      {"not a zip", L"105", 2, L"no,ok,no",
       {offer, L"Update Check | 0x10 | Could not unzip updated definitions!"}, false},
      {"its own version not the index's", L"105", 3, L"no,ok,no",
       {offer, L"Update Check | 0x10 | Could not download updated definitions!"}, false},
      {"up to date", L"104", 1, L"no", {L"Update Check | 0x40 | No updates exist."}, false},
  };
  CreateDirectoryW((data_ / L"programdata" + kMakerFolder).c_str(), nullptr);
  CreateDirectoryW(DefsFolder().c_str(), nullptr);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW(program_.PromptLog().c_str());
    DeleteFileW(Served(kUpdateIndexZip).c_str());
    DeleteFileW(Served(L"defs.zip").c_str());
    DeleteFileW((DefsFolder() + L"ExecFilter.md5").c_str());
    ASSERT_TRUE(WriteTextFile(DefsFolder() + kDefinitionsVersionFile,
                              std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=104\r\n"));
    if (c.remoteDefs) WriteIndex(kRunningVersion, c.remoteDefs);
    if (c.package == 1) WriteDefinitions(false);
    if (c.package == 2) {
      ASSERT_TRUE(ServeSignedText(Served(L"defs.zip"), "no zip"));
    }
    if (c.package == 3) WriteDefinitions(false, "106");
    ASSERT_TRUE(RunProbe(L"defs", c.answers).finished);
    EXPECT_EQ(BoxLines(), c.boxes);
    EXPECT_EQ(FileExists(DefsFolder() + L"ExecFilter.md5"), c.updated);
    EXPECT_FALSE(FileExists(DefsFolder() + L"Defs.zip"));
    ExpectIndexGone();
  }
}

TEST_F(MenuCheck, TheReDownloadTakesTheRunningVersionOnOkButNeverALowerOne) {
  struct Case {
    const char* what;
    const wchar_t* index;
    const wchar_t* packaged;
    bool taken;
  };
  const Case cases[] = {
      {"the running version again", L"1.0.1", L"1_0_0_1", true},
      {"lower, under an index of the running version", L"1.0.1", L"1_0_0_0", false},
      {"lower, as the index says", L"1.0.0", L"1_0_0_0", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW(program_.PromptLog().c_str());
    DeleteFileW((program_.Folder() + L"updateprobe.calls.log").c_str());
    DeleteFileW((program_.Folder() + L"updateprobe_old.exe").c_str());
    ASSERT_TRUE(WriteTextFile(Probe(), probe_));
    WriteIndex(c.index);
    WriteProbePackage(c.packaged);
    ASSERT_TRUE(RunProbe(L"interactive", L"no,ok,no").finished);
    std::vector<std::wstring> boxes = {L"No updates were detected. | 0x31 | No updates were detected.\r\n\r\nPress OK "
                                       L"to re-download the previous update:  v" + std::wstring(c.index)};
    if (!c.taken) boxes.push_back(std::wstring(kProductName) + L" Update | 0x0 | Failed to download update.");
    EXPECT_EQ(BoxLines(), boxes);
    if (c.taken) {
      EXPECT_EQ(ReadFileBytes(Probe()), ReadFileBytes(Fake(c.packaged)));
      ExpectRestartedIntoTheBuilder();
    } else {
      EXPECT_EQ(ReadFileBytes(Probe()), probe_);
      EXPECT_FALSE(FileExists(program_.Folder() + L"updateprobe_old.exe"));
      EXPECT_FALSE(FileExists(program_.Folder() + L"updateprobe.calls.log"));
    }
  }
}

// Wine keeps no rights on files: the program records the rights it gives each placed file
// (ILATCH_RIGHTS_LOG), and a standard user's token is checked against them.
TEST_F(UpdateRoad, EveryPlacedDefinitionsFileLetsUsersReadAndOnlyAdministratorsChangeIt) {
  WriteIndex(L"1.0.1", L"105");
  WriteBothLists("105");
  const std::wstring log = data_ / L"rights.log";
  ASSERT_TRUE(Run(L"/autoupdate", L"", {L"ILATCH_RIGHTS_LOG=" + log}).finished);
  const auto rights = RecordedRights(log);
  const auto user = TestToken(true);
  const auto admin = TestToken(false);
  ASSERT_TRUE(user && admin);
  const std::pair<const wchar_t*, std::string> placed[] = {
      {L"ExecFilter.md5", "NEW MD5 105\r\n"},
      {L"ExecFilter.sha256", "NEW SHA 105\r\n"},
      {kDefinitionsVersionFile, std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=105\r\n"}};
  for (const auto& [name, content] : placed) {
    SCOPED_TRACE(platform::ToUtf8(name));
    EXPECT_EQ(ReadFileBytes(DefsFolder() + name), content);
    const auto given = rights.find(platform::Lower(DefsFolder() + name));
    ASSERT_NE(given, rights.end()) << "no rights given to the placed file";
    EXPECT_TRUE(AccessGranted(user.get(), given->second, FILE_GENERIC_READ));
    EXPECT_FALSE(AccessGranted(user.get(), given->second, FILE_WRITE_DATA));
    EXPECT_FALSE(AccessGranted(user.get(), given->second, DELETE));
    EXPECT_FALSE(AccessGranted(user.get(), given->second, WRITE_DAC));
    EXPECT_TRUE(AccessGranted(admin.get(), given->second, FILE_ALL_ACCESS));
  }
  EXPECT_FALSE(FileExists(DefsFolder() + L"ExecFilter.md5.new"));
}

// Another program (any user's) holding a list or the version file open without sharing no longer
// stops a definitions update: the held file keeps its text, everything else is placed, the debug
// log names the held file, and while it is still held the filter module blocks a program listed
// only in the new definitions. A held version file speaks through the list index until it is let
// go; then the next check finds the old version in it and takes the same definitions again.
TEST_F(MenuCheck, ADefinitionsUpdateLandsPastAHeldListOrVersionFile) {
  InstalledProgram filter{kFilterModuleProgram};
  const std::wstring listed = filter.Folder() + L"listed.exe";
  ASSERT_TRUE(CopyProgram(L"fakeprog.exe", listed));
  ASSERT_TRUE(WriteTextFile(listed, ReadFileBytes(listed) + "listed only in the new definitions"));
  const std::string digest = platform::ToUtf8(platform::Sha256OfFile(listed));
  ASSERT_EQ(digest.size(), 64u);
  // A user's launch of the listed program, the module reading this test's data folder.
  const auto launchIsBlocked = [&] {
    DeleteFileW(filter.PromptLog().c_str());
    EXPECT_TRUE(RunProcess(L"\"" + filter.ExePath() + L"\" /\"" + listed + L"\"",
                           {L"ILATCH_PROMPT_LOG=" + filter.PromptLog(), L"ILATCH_DATA_ROOT=" + data_ / L"programdata"})
                    .finished);
    const auto prompts = filter.Prompts();
    return prompts.size() == 1 && prompts[0].fields.size() > 2 &&
           prompts[0].fields[2] == L"This file matches a malware hash!  Aborting execution!";
  };
  CreateDirectoryW((data_ / L"programdata" + kMakerFolder).c_str(), nullptr);
  CreateDirectoryW(DefsFolder().c_str(), nullptr);
  const std::string oldDef = std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=104\r\n";
  const std::string newDef = std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=105\r\n";
  WriteIndex(kRunningVersion, L"105");
  ASSERT_TRUE(WriteTextFile(Stage(kDefinitionsVersionFile), newDef));
  ASSERT_TRUE(WriteTextFile(Stage(L"ExecFilter.md5"), "NEW MD5 105\r\n"));
  ASSERT_TRUE(WriteTextFile(Stage(L"ExecFilter.sha256"), "; 105\r\n" + digest + "\r\n"));
  ASSERT_TRUE(Zip({{Stage(L"ExecFilter.md5"), L"ExecFilter.md5"},
                   {Stage(L"ExecFilter.sha256"), L"ExecFilter.sha256"},
                   {Stage(kDefinitionsVersionFile), kDefinitionsVersionFile}},
                  Served(L"defs.zip")));
  const auto installOld = [&] {
    ASSERT_TRUE(WriteTextFile(DefsFolder() + kDefinitionsVersionFile, oldDef));
    ASSERT_TRUE(WriteTextFile(DefsFolder() + L"ExecFilter.md5", "OLD MD5\r\n"));
    ASSERT_TRUE(WriteTextFile(DefsFolder() + L"ExecFilter.sha256", "OLD SHA\r\n"));
  };
  const auto hold = [&](const wchar_t* name) {
    return platform::UniqueFileHandle(
        CreateFileW((DefsFolder() + name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  };
  const auto expectNothingLeftBeside = [&] {
    for (const wchar_t* name : {L"ExecFilter.md5", L"ExecFilter.sha256", kDefinitionsVersionFile}) {
      EXPECT_FALSE(FileExists(DefsFolder() + name + L".new"));
      EXPECT_FALSE(FileExists(DefsFolder() + name + L".old"));
    }
  };

  {
    SCOPED_TRACE("a list held, the scheduled update");
    installOld();
    platform::UniqueFileHandle held = hold(L"ExecFilter.sha256");
    ASSERT_TRUE(held);
    ASSERT_TRUE(Run(L"/debug /autoupdate").finished);
    EXPECT_TRUE(launchIsBlocked()) << "the new definitions are not in force";
    held.reset();
    EXPECT_EQ(ReadFileBytes(DefsFolder() + L"ExecFilter.sha256"), "OLD SHA\r\n");
    EXPECT_EQ(ReadFileBytes(DefsFolder() + L"ExecFilter.md5"), "NEW MD5 105\r\n");
    EXPECT_EQ(ReadFileBytes(DefsFolder() + kDefinitionsVersionFile), newDef);
    EXPECT_TRUE(platform::Contains(ReadTextFile(program_.Folder() + kDebugLog),
                                   L"Held open by another program, left as it was: " + DefsFolder() + L"ExecFilter.sha256"));
    expectNothingLeftBeside();
  }
  {
    SCOPED_TRACE("the version file held, the menu's check");
    installOld();
    const std::wstring offer = L"Updated definitions are available! | 0x31 | Press OK to update to definitions dated 105";
    platform::UniqueFileHandle held = hold(kDefinitionsVersionFile);
    ASSERT_TRUE(held);
    DeleteFileW(program_.PromptLog().c_str());
    ASSERT_TRUE(RunProbe(L"defs", L"no,ok,no").finished);
    EXPECT_EQ(BoxLines(), (std::vector<std::wstring>{offer, L"Update Check | 0x40 | Definitions Updated Successfully!"}));
    EXPECT_TRUE(launchIsBlocked()) << "the new definitions are not in force";
    DeleteFileW(program_.PromptLog().c_str());
    ASSERT_TRUE(RunProbe(L"defs", L"no").finished);
    EXPECT_EQ(BoxLines(), std::vector<std::wstring>{L"Update Check | 0x40 | No updates exist."});
    held.reset();
    EXPECT_EQ(ReadFileBytes(DefsFolder() + kDefinitionsVersionFile), oldDef);
    EXPECT_EQ(ReadFileBytes(DefsFolder() + L"ExecFilter.sha256"), "; 105\r\n" + digest + "\r\n");
    expectNothingLeftBeside();
    DeleteFileW(program_.PromptLog().c_str());
    ASSERT_TRUE(RunProbe(L"defs", L"no,ok,no").finished);
    EXPECT_EQ(BoxLines(), (std::vector<std::wstring>{offer, L"Update Check | 0x40 | Definitions Updated Successfully!"}));
    EXPECT_EQ(ReadFileBytes(DefsFolder() + kDefinitionsVersionFile), newDef);
    EXPECT_TRUE(launchIsBlocked());
  }
}

// Something planted where the data folder belongs is set aside, never used or followed; the
// definitions go into a folder made afresh.
TEST_F(UpdateRoad, APlantedDataFolderIsSetAsideAndTheDefinitionsGoIntoAFreshOne) {
  WriteIndex(L"1.0.1", L"105");
  WriteBothLists("105");
  CreateDirectoryW((data_ / L"programdata" + kMakerFolder).c_str(), nullptr);
  const std::wstring planted = data_ / L"programdata" + kProductFolder;
  ASSERT_TRUE(WriteTextFile(planted, "planted in the folder's place"));
  const std::wstring log = data_ / L"rights.log";
  ASSERT_TRUE(Run(L"/autoupdate", L"", {L"ILATCH_RIGHTS_LOG=" + log}).finished);
  ASSERT_TRUE(FolderExists(DefsFolder()));
  EXPECT_EQ(ReadFileBytes(DefsFolder() + L"ExecFilter.md5"), "NEW MD5 105\r\n");
  EXPECT_EQ(RecordedRights(log)[platform::Lower(planted)], L"O:BAG:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)");
  WIN32_FIND_DATAW found = {};
  platform::UniqueFindHandle search(FindFirstFileW((planted + L" (set aside *)").c_str(), &found));
  ASSERT_TRUE(search) << "the planted file was not set aside";
  EXPECT_EQ(ReadFileBytes(data_ / L"programdata" + kMakerFolder + L"\\" + found.cFileName), "planted in the folder's place");
}

// A version file that a user planted claims definitions newer than any the maker will publish,
// which would stop every update for good: in a folder whose rights let users create files (the
// folder goes aside whole, the version file with it), or as a hard link or a Unix link in the
// version file's place (set aside, or taking the folder aside). The next update sees no installed
// definitions and lands; the file a link led to keeps its content.
TEST_F(UpdateRoad, APlantedVersionFileStopsNoUpdate) {
  enum Plant { kLooseFolder, kHardLink, kUnixLink };
  const struct {
    const char* what;
    Plant plant;
  } cases[] = {
      {"a folder users could write, holding a version file", kLooseFolder},
      {"a hard link in the version file's place", kHardLink},
      {"a Unix link in the version file's place", kUnixLink},
  };
  WriteIndex(L"1.0.1", L"105");
  WriteDefinitions(false);
  const std::string planted = std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=32000\r\n";
  const std::wstring folder = DefsFolder().substr(0, DefsFolder().size() - 1);
  const std::wstring outside = data_ / L"outside.def";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    platform::RemoveFolderTree(data_ / L"programdata" + kMakerFolder);
    ASSERT_TRUE(CreateDirectoryW((data_ / L"programdata" + kMakerFolder).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(WriteTextFile(outside, planted));
    std::optional<UnixLink> link;
    switch (c.plant) {
      case kLooseFolder:
        ASSERT_TRUE(WriteTextFile(DefsFolder() + kDefinitionsVersionFile, planted));
        ASSERT_TRUE(LetEveryoneChange(folder));
        break;
      case kHardLink:
        ASSERT_TRUE(CreateHardLinkW((DefsFolder() + kDefinitionsVersionFile).c_str(), outside.c_str(), nullptr));
        break;
      case kUnixLink:
        link.emplace(outside, DefsFolder() + kDefinitionsVersionFile);
        if (!link->Made()) continue;  // not Wine
        break;
    }
    ASSERT_TRUE(Run(L"/autoupdate").finished);
    EXPECT_EQ(ReadFileBytes(DefsFolder() + kDefinitionsVersionFile),
              std::string(kUpdateIndexSectionA) + "\r\nCurrentDefs=105\r\n");
    EXPECT_TRUE(FileExists(DefsFolder() + L"ExecFilter.md5"));
    EXPECT_EQ(ReadFileBytes(outside), planted);
    if (link) {
      WIN32_FIND_DATAW found = {};
      platform::UniqueFindHandle aside(FindFirstFileW((folder + L" (set aside *)").c_str(), &found));
      ASSERT_TRUE(aside) << "the folder with the link was not set aside";
      link->MovedTo(data_ / L"programdata" + kMakerFolder + L"\\" + found.cFileName + L"\\" + kDefinitionsVersionFile);
    }
  }
}
