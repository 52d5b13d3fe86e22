// Install and uninstall from the main program: the install menu's two roads run by a probe that
// carries the main program's code, with the recording fake in place of the product's installer,
// uninstaller and installed copy. Questions are answered through the prompt log.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <optional>

#include "platform/Handle.h"
#include "platform/Text.h"
#include "tests/support/PrivateFolderRun.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UpdateSigning.h"

using namespace testsupport;

namespace {

std::wstring ProgramFiles() {
  wchar_t path[MAX_PATH] = {};
  const bool wow = !platform::GetEnv(L"ProgramFiles(x86)").empty();
  SHGetFolderPathW(nullptr, wow ? CSIDL_PROGRAM_FILESX86 : CSIDL_PROGRAM_FILES, nullptr, 0, path);
  return path;
}
std::wstring InstallFolder() { return ProgramFiles() + kProductFolder + L"\\"; }
std::wstring OldInstallFolder() { return ProgramFiles() + L"\\" + kProductName + L"\\"; }

void RemoveTree(const std::wstring& folder) {
  std::wstring from = folder + L'\0';
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
  SHFileOperationW(&operation);
}

// Lines of a fake's call log, waited for when the program was started without waiting.
std::vector<std::wstring> Calls(const std::wstring& fakePath, size_t expected, DWORD timeoutMs = 10000) {
  const std::wstring log = fakePath.substr(0, fakePath.size() - 4) + L".calls.log";
  std::vector<std::wstring> lines;
  for (DWORD waited = 0;; waited += 100) {
    lines = Lines(ReadTextFile(log));
    if (lines.size() >= expected || waited >= timeoutMs) return lines;
    Sleep(100);
  }
}

// A program path as it is started: in quotes when it holds a blank.
std::wstring Quoted(const std::wstring& path) {
  return path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"";
}

// A message box; or a page or folder opened, with flags "web" or "explorer" and text its address.
struct Box {
  std::wstring flags, text, answer;
  bool operator==(const Box&) const = default;
};
void PrintTo(const Box& box, std::ostream* out) {
  *out << platform::ToUtf8(box.flags + L" " + box.text + L" -> " + box.answer);
}

const std::wstring kInstallChoice =
    L"Select YES to install using the installer file (standard install.)\r\nSelect NO to perform a forced install (if "
    L"standard fails.)";
const std::wstring kUninstallChoice =
    L"Select YES to uninstall using the installer file (standard removal.)\r\nSelect NO to perform a forced uninstall "
    L"(if standard fails.)";
const std::wstring kChoiceFlags = L"0x43";   // Yes, No, Cancel; information
const std::wstring kFailureFlags = L"0x14";  // Yes, No; critical
// A run with a prompt log closes every window it opens: the download window asks first.
const Box kKeepDownloading = {L"0x4", L"Are you sure you wish to cancel any active downloads and exit?", L"no"};

// The recording fake under the programs' version block of a version ("1_0_0_2"), as the release
// of that version; with nullptr, the fake without any version resource. The probe runs as 1.0.1
// (the project's 1.0.0.1: major, minor, revision).
std::wstring FakeName(const wchar_t* version) {
  return L"fakeprog" + (version ? std::wstring(L"_") + version : std::wstring());
}
std::wstring Fake(const wchar_t* version) { return TestsDir() + L"fakes\\" + FakeName(version) + L".exe"; }
// The release the probe runs: what the roads take as today.
const wchar_t kRunningRelease[] = L"1_0_0_1";

// What the roads fetch, from the product's web host; test runs fetch it from the local server.
const std::wstring kWebHost = kInstallDownloadHost;
const std::wstring kServerAddress = L"127.0.0.1:47131";
std::wstring ServerRoot() { return TestsDir() + L"httpserver\\root\\"; }

class InstallRoads : public testing::Test {
 protected:
  void SetUp() override {
    Clean();
    ASSERT_TRUE(CopyFileW((TestsDir() + L"installprobe.exe").c_str(), Probe().c_str(), FALSE));
    NewServedFolder();
  }
  void TearDown() override { Clean(); }
  static void Clean() {
    RemoveTree(ProgramFiles() + kMakerFolder);
    RemoveTree(ProgramFiles() + L"\\" + kProductName);
  }
  std::wstring Probe() const { return dir_ / L"installprobe.exe"; }
  // The runs after it fetch from a fresh, empty folder of the server's.
  void NewServedFolder() {
    static int counter = 0;
    served_ = L"install_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount()) + L"_" +
              std::to_wstring(++counter);
    ASSERT_TRUE(CreateDirectoryW((ServerRoot() + served_).c_str(), nullptr));
  }
  // A file of the product's web host, served from the current folder with its signature beside it
  // (none when no signer is given).
  void Serve(const std::wstring& name, const std::wstring& source, std::optional<Signer> signer = Signer::Maker) {
    const std::wstring folder = ServerRoot() + served_ + L"\\" + kWebHost;
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(source.c_str(), (folder + L"\\" + name).c_str(), FALSE)) << platform::ToUtf8(name);
    if (signer) {
      ASSERT_TRUE(SignFile(folder + L"\\" + name, *signer)) << platform::ToUtf8(name);
    }
  }
  static std::wstring WebAddress(const std::wstring& name) { return L"http://" + kWebHost + L"/" + name; }
  // A forced install that gets no program package: the download, the user sent for the package and
  // to the folder to unpack it in, and told to start the unpacked copy there; nothing is run.
  static std::vector<Box> PackageNotUnpackedBoxes() {
    const std::wstring folder = InstallFolder().substr(0, InstallFolder().size() - 1);
    return {
        kKeepDownloading,
        {L"0x10",
         L"There was an error downloading or extracting the update.  Click OK to download the file manually, and "
         L"extract it to the path that will pop up after you click OK.",
         L"ok"},
        {L"web", WebAddress(kProgramPackage), L""},
        {L"explorer", platform::Lower(folder), L""},
        {L"0x40",
         std::wstring(L"When the files are extracted, start ") + kMainProgram +
             L" in that folder to finish the install.",
         L"ok"},
    };
  }
  // A standard install whose setup is not fetched: the download, then the user is told and sent to
  // the page to fetch and run it by hand.
  static std::vector<Box> SetupNotFetchedBoxes() {
    return {
        kKeepDownloading,
        {L"0x10",
         std::wstring(kProductName) +
             L" Download Failed.  In the next pop up, download the installer and run it yourself.",
         L"ok"},
        {L"web", WebAddress(kSetupProgram), L""},
    };
  }
  // The program package whose main program is that fake.
  static std::wstring Package(const wchar_t* version = kRunningRelease) {
    return TestsDir() + L"installfixtures\\" + FakeName(version) + L"\\" + kProgramPackage;
  }
  static void PlaceFake(const std::wstring& path, const std::string& fakeIni = "") {
    CreateDirectoryW(CommonFolder(path, 2).c_str(), nullptr);
    CreateDirectoryW(CommonFolder(path, 1).c_str(), nullptr);
    ASSERT_TRUE(CopyProgram(L"fakeprog.exe", path)) << platform::ToUtf8(path);
    if (!fakeIni.empty()) { ASSERT_TRUE(WriteTextFile(path.substr(0, path.size() - 4) + L".fake.ini", fakeIni)); }
  }
  // The folder levels above a file: 1 its own folder, 2 the one above.
  static std::wstring CommonFolder(const std::wstring& path, int up) {
    std::wstring folder = path;
    for (int i = 0; i < up; ++i) folder = folder.substr(0, folder.find_last_of(L'\\'));
    return folder;
  }
  // Runs a road; its exit code (1 returned, 0 ended the program) and the boxes it showed, with the
  // pages and folders it opened.
  DWORD Run(const std::wstring& road, const std::wstring& answers) {
    const std::wstring log = dir_ / L"prompts.log";
    DeleteFileW(log.c_str());
    // The probe inherits the variables; they are taken away again (or restored) at once.
    const std::wstring webRoot = platform::GetEnv(L"ILATCH_WEB_ROOT");
    SetEnvironmentVariableW(L"ILATCH_PROMPT_LOG", log.c_str());
    SetEnvironmentVariableW(L"ILATCH_PROMPT_ANSWERS", answers.c_str());
    SetEnvironmentVariableW(L"ILATCH_WEB_ROOT", (kServerAddress + L"/" + served_).c_str());
    // A fake run from a private download folder reports here (the folder is gone after the run).
    SetEnvironmentVariableW(L"FAKEPROG_HOME", home_.Path().substr(0, home_.Path().size() - 1).c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::wstring line = L"\"" + Probe() + L"\" " + road;
    const bool started =
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info) != 0;
    SetEnvironmentVariableW(L"ILATCH_PROMPT_LOG", nullptr);
    SetEnvironmentVariableW(L"ILATCH_PROMPT_ANSWERS", nullptr);
    SetEnvironmentVariableW(L"FAKEPROG_HOME", nullptr);
    SetEnvironmentVariableW(L"ILATCH_WEB_ROOT", webRoot.empty() ? nullptr : webRoot.c_str());
    EXPECT_TRUE(started);
    if (!started) return 99;
    platform::UniqueKernelHandle process(info.hProcess), thread(info.hThread);
    DWORD exitCode = 99;
    if (WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process.get(), &exitCode);
    else {
      TerminateProcess(process.get(), 1);
      ADD_FAILURE() << "the road did not end";
    }
    boxes_.clear();
    for (const auto& record : ReadPromptLog(log)) {
      if ((record.kind == L"web" || record.kind == L"explorer") && record.fields.size() == 1) {
        boxes_.push_back({record.kind, record.fields[0], L""});
        continue;
      }
      if (record.kind != L"box") continue;  // the download and unzip windows
      if (record.fields.size() < 4) {
        ADD_FAILURE() << "short box record";
        continue;
      }
      EXPECT_EQ(record.fields[0], kProductName) << "caption";
      boxes_.push_back({record.fields[1], record.fields[2], record.fields[3]});
    }
    return exitCode;
  }

  // The fakes a road started, by their calls logs (see FAKEPROG_HOME); cleared for the next run.
  std::vector<std::wstring> StartedPrograms() const { return FileNames(home_ / L"*.calls.log"); }
  void ForgetStartedPrograms() const {
    for (const std::wstring& name : StartedPrograms()) DeleteFileW((home_ / name).c_str());
  }
  std::wstring DebugLog() const { return ReadTextFile(dir_ / L"installprobe.log"); }

  // The setup's runs, wherever it ran from (see FAKEPROG_HOME).
  std::vector<std::wstring> SetupCalls() const {
    return Lines(ReadTextFile(home_ / (std::wstring(kSetupBaseName) + L".calls.log")));
  }
  // An unsigned setup beside the program, as anyone who can write there may leave one.
  std::wstring PlantSetupBesideTheProgram() const {
    const std::wstring planted = dir_ / kSetupProgram;
    PlaceFake(planted);
    return planted;
  }

  ScratchDir dir_;
  ScratchDir home_;
  std::wstring served_;
  std::vector<Box> boxes_;
};

}  // namespace

TEST_F(InstallRoads, CancelInEitherChoiceDoesNothing) {
  PlaceFake(dir_ / kSetupProgram);
  PlaceFake(InstallFolder() + L"Unins000.exe");
  EXPECT_EQ(Run(L"install", L"cancel"), 1u);
  EXPECT_EQ(boxes_, (std::vector<Box>{{kChoiceFlags, kInstallChoice, L"cancel"}}));
  EXPECT_EQ(Run(L"uninstall", L"cancel"), 1u);
  EXPECT_EQ(boxes_, (std::vector<Box>{{kChoiceFlags, kUninstallChoice, L"cancel"}}));
  Sleep(500);
  EXPECT_FALSE(FileExists(dir_ / (std::wstring(kSetupBaseName) + L".calls.log")));
  EXPECT_FALSE(FileExists(InstallFolder() + L"Unins000.calls.log"));
}

// The setup runs elevated: only the signed one fetched into a private folder runs, never the one
// found beside the program. Success is judged by the installed file.
TEST_F(InstallRoads, StandardInstallRunsOnlyTheSignedSetupFromAPrivateFolder) {
  const std::wstring question = L"It appears installation was not succesful!  Would you like to force the install?";
  struct Case {
    const char* name;
    bool installedAfterwards;
    std::vector<Box> boxes;
  } cases[] = {
      {"installed file found: no question", true, {{kChoiceFlags, kInstallChoice, L"yes"}, kKeepDownloading}},
      {"installed file missing: No returns", false,
       {{kChoiceFlags, kInstallChoice, L"yes"}, kKeepDownloading, {kFailureFlags, question, L"no"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Clean();
    NewServedFolder();
    ForgetStartedPrograms();
    const std::wstring planted = PlantSetupBesideTheProgram();
    Serve(kSetupProgram, Fake(kRunningRelease));
    // The installed copy that a real installer would leave.
    if (c.installedAfterwards) PlaceFake(InstallFolder() + kMainProgram);
    EXPECT_EQ(Run(L"install", L"yes,no"), 1u) << "the program goes on running";
    EXPECT_EQ(boxes_, c.boxes);
    ExpectOneRunFromAPrivateFolder(SetupCalls(), std::wstring(kSetupProgram) + L" /silent");
    EXPECT_TRUE(Calls(planted, 0).empty()) << "the setup beside the program was run";
    if (c.installedAfterwards) {
      EXPECT_FALSE(FileExists(InstallFolder() + kStandInCallsLog));
    }
  }
}

// When the signed setup cannot be fetched the user is sent to the page to fetch and run it by hand:
// nothing is run for them, neither a setup beside the program nor one saved there meanwhile.
TEST_F(InstallRoads, AFailedFetchOfTheSetupOnlySendsTheUserToThePage) {
  const std::wstring planted = PlantSetupBesideTheProgram();
  EXPECT_EQ(Run(L"install", L"yes,no,ok"), 1u) << "the program goes on running";
  std::vector<Box> boxes = {{kChoiceFlags, kInstallChoice, L"yes"}};
  for (const Box& box : SetupNotFetchedBoxes()) boxes.push_back(box);
  EXPECT_EQ(boxes_, boxes);
  Sleep(500);
  EXPECT_TRUE(Calls(planted, 0).empty()) << "the setup beside the program was run";
  EXPECT_TRUE(SetupCalls().empty());
  EXPECT_FALSE(FileExists(InstallFolder() + kMainProgram));
}

TEST_F(InstallRoads, ForcedInstallLetsTheInstalledCopySetItselfUpThenEnds) {
  // The installed copy comes out of the fetched package; its fake settings are put there first.
  Serve(kProgramPackage, Package());
  const std::wstring installed = InstallFolder() + kMainProgram;
  CreateDirectoryW((ProgramFiles() + kMakerFolder).c_str(), nullptr);
  CreateDirectoryW(InstallFolder().c_str(), nullptr);
  ASSERT_TRUE(WriteTextFile(InstallFolder() + kProductName + L".fake.ini", "[fake]\r\nsleepms=1500\r\n"));
  const DWORD start = GetTickCount();
  EXPECT_EQ(Run(L"install", L"no,no"), 0u) << "the forced install ends the running program";
  EXPECT_GE(GetTickCount() - start, 1400u) << "\"/installer\" is waited for";
  EXPECT_EQ(boxes_, (std::vector<Box>{{kChoiceFlags, kInstallChoice, L"no"}, kKeepDownloading}));
  EXPECT_EQ(Calls(installed, 2),
            (std::vector<std::wstring>{Quoted(installed) + L" /installer", Quoted(installed) + L" /installerprompt"}));
  EXPECT_EQ(ReadFileBytes(installed), ReadFileBytes(Fake(kRunningRelease)));
  EXPECT_FALSE(FileExists(InstallFolder() + kProgramPackage)) << "the package went with its private folder";
}

TEST_F(InstallRoads, AFailedStandardInstallFallsBackToUnpackingTheProgramPackage) {
  Serve(kSetupProgram, Fake(kRunningRelease));
  Serve(kProgramPackage, Package());
  EXPECT_EQ(Run(L"install", L"yes,no,yes,no"), 0u) << "the forced install ends the running program";
  EXPECT_EQ(boxes_, (std::vector<Box>{
                        {kChoiceFlags, kInstallChoice, L"yes"},
                        kKeepDownloading,
                        {kFailureFlags, L"It appears installation was not succesful!  Would you like to force the install?",
                         L"yes"},
                        kKeepDownloading,
                    }));
  EXPECT_EQ(SetupCalls().size(), 1u);
  const std::wstring installed = InstallFolder() + kMainProgram;
  EXPECT_EQ(Calls(installed, 2),
            (std::vector<std::wstring>{Quoted(installed) + L" /installer", Quoted(installed) + L" /installerprompt"}));
  EXPECT_FALSE(FileExists(InstallFolder() + kProgramPackage));
}

// Without the package the user is sent for it and to the folder to unpack it in; what lies in
// that folder (here an old copy) is not run for them.
TEST_F(InstallRoads, AForcedInstallWithoutThePackageSendsTheUserForItAndRunsNothing) {
  const std::wstring installed = InstallFolder() + kMainProgram;
  PlaceFake(installed);
  EXPECT_EQ(Run(L"install", L"no,no,ok,ok,ok"), 1u) << "the program goes on running";
  std::vector<Box> boxes = {{kChoiceFlags, kInstallChoice, L"no"}};
  for (const Box& box : PackageNotUnpackedBoxes()) boxes.push_back(box);
  EXPECT_EQ(boxes_, boxes);
  EXPECT_TRUE(FolderExists(InstallFolder())) << "the folder to unpack into is made";
  EXPECT_FALSE(FileExists(InstallFolder() + kProgramPackage));
  Sleep(500);
  EXPECT_TRUE(Calls(installed, 0).empty()) << "a copy the road did not unpack was run";
}

// The installer and the program package run elevated: what the network serves without the maker's
// signature is neither run nor unpacked, and is not left behind; the roads go on as after a failed
// download.
TEST_F(InstallRoads, AnInstallerOrPackageWithoutTheMakersSignatureIsNeitherRunNorUnpacked) {
  const std::pair<const char*, std::optional<Signer>> cases[] = {{"unsigned", std::nullopt},
                                                                 {"signed with another key", Signer::ForeignKey}};
  for (const auto& [name, signer] : cases) {
    SCOPED_TRACE(name);
    Clean();
    NewServedFolder();
    ForgetStartedPrograms();
    Serve(kSetupProgram, Fake(kRunningRelease), signer);
    Serve(kProgramPackage, Package(), signer);
    EXPECT_EQ(Run(L"install", L"yes,no,ok"), 1u) << "the program goes on running";
    std::vector<Box> refused = {{kChoiceFlags, kInstallChoice, L"yes"}};
    for (const Box& box : SetupNotFetchedBoxes()) refused.push_back(box);
    EXPECT_EQ(boxes_, refused);
    EXPECT_EQ(Run(L"install", L"no,no,ok,ok"), 1u) << "the program goes on running";
    std::vector<Box> boxes = {{kChoiceFlags, kInstallChoice, L"no"}};
    for (const Box& box : PackageNotUnpackedBoxes()) boxes.push_back(box);
    EXPECT_EQ(boxes_, boxes);
    Sleep(500);
    EXPECT_TRUE(SetupCalls().empty()) << "the installer was run";
    EXPECT_FALSE(FileExists(InstallFolder() + kMainProgram)) << "the package was unpacked";
    EXPECT_FALSE(FileExists(InstallFolder() + kProgramPackage));
  }
}

// The signature binds bytes, not a release: a man in the middle can serve an older signed release.
// Neither road takes one older than the running program (the setup by its own version resource,
// the package by its main program's); what is refused is neither run nor unpacked, and the road
// goes on as after a failed download. The running release again, or a newer one, is taken.
TEST_F(InstallRoads, NeitherInstallRoadTakesAnOlderReleaseThanTheRunningOne) {
  enum class Road { Standard, Forced, ForcedAfterStandard };
  struct Case {
    const char* what;
    Road road;
    const wchar_t* release;  // the served setup's or package's version; nullptr: no version resource
    bool taken;
  } cases[] = {
      {"standard, older", Road::Standard, L"1_0_0_0", false},
      {"standard, as old as running", Road::Standard, L"1_0_0_1", true},
      {"standard, newer", Road::Standard, L"1_0_0_2", true},
      {"standard, without a version resource", Road::Standard, nullptr, false},
      {"forced, older", Road::Forced, L"1_0_0_0", false},
      {"forced, as old as running", Road::Forced, L"1_0_0_1", true},
      {"forced, newer", Road::Forced, L"1_0_0_2", true},
      {"forced, without a version resource", Road::Forced, nullptr, false},
      {"forced after a failed standard install, older package", Road::ForcedAfterStandard, L"1_0_0_0", false},
  };
  const std::wstring notInstalled = L"It appears installation was not succesful!  Would you like to force the install?";
  const std::wstring installed = InstallFolder() + kMainProgram;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    NewServedFolder();
    ForgetStartedPrograms();
    DeleteFileW((dir_ / L"installprobe.log").c_str());
    const bool standard = c.road != Road::Forced, forced = c.road != Road::Standard;
    Serve(kSetupProgram, Fake(forced ? kRunningRelease : c.release));
    Serve(kProgramPackage, Package(forced ? c.release : kRunningRelease));
    // What the user sees and what is started: the standard road's setup runs (and, as a stand-in,
    // installs nothing), then the forced road unpacks and starts the installed copy.
    std::vector<Box> boxes = {{kChoiceFlags, kInstallChoice, standard ? L"yes" : L"no"}};
    auto add = [&boxes](const std::vector<Box>& more) { boxes.insert(boxes.end(), more.begin(), more.end()); };
    std::vector<std::wstring> started;
    if (standard && (forced || c.taken)) {
      add({kKeepDownloading, {kFailureFlags, notInstalled, forced ? L"yes" : L"no"}});
      started.push_back(std::wstring(kSetupBaseName) + L".calls.log");
    } else if (standard) {
      add(SetupNotFetchedBoxes());
    }
    if (forced) add(c.taken ? std::vector<Box>{kKeepDownloading} : PackageNotUnpackedBoxes());
    if (forced && c.taken) started.insert(started.begin(), kStandInCallsLog);
    std::wstring answers;
    for (const Box& box : boxes)
      if (box.flags != L"web" && box.flags != L"explorer") answers += (answers.empty() ? L"" : L",") + box.answer;

    EXPECT_EQ(Run(L"install", answers), forced && c.taken ? 0u : 1u) << "0: the forced install ends the program";
    EXPECT_EQ(boxes_, boxes);
    if (forced && c.taken) Calls(installed, 2);  // "/installerprompt" is not waited for
    EXPECT_EQ(StartedPrograms(), started);
    const std::wstring log = DebugLog();
    if (c.taken) {
      if (standard) ExpectOneRunFromAPrivateFolder(SetupCalls(), std::wstring(kSetupProgram) + L" /silent");
      else EXPECT_EQ(ReadFileBytes(installed), ReadFileBytes(Fake(c.release)));
      EXPECT_EQ(log.find(L"Refused version"), std::wstring::npos) << platform::ToUtf8(log);
      continue;
    }
    // Nothing unpacked into the program folder.
    EXPECT_EQ(FileNames(InstallFolder() + L"*"), std::vector<std::wstring>{});
    const std::wstring refused = c.release ? L"1.0.0" : L"(none)";
    const std::wstring why = c.release                    ? L"- Older than the running program"
                             : c.road == Road::Standard ? L"- The setup carries no version"
                                                        : L"- The package's program carries no version";
    EXPECT_NE(log.find(L"Refused version\t" + refused + L"\t" + why), std::wstring::npos) << platform::ToUtf8(log);
    EXPECT_NE(log.find(L"running 1.0.1"), std::wstring::npos) << platform::ToUtf8(log);
  }
}

TEST_F(InstallRoads, StandardUninstallRunsTheUninstallerOfTheNewerFolder) {
  struct Case {
    const char* name;
    bool inOld, inNew;
  } cases[] = {{"both: the newer folder's", true, true}, {"old folder only", true, false}};
  for (const auto& c : cases) {
    Clean();
    if (c.inOld) PlaceFake(OldInstallFolder() + L"Unins000.exe");
    if (c.inNew) PlaceFake(InstallFolder() + L"Unins000.exe");
    EXPECT_EQ(Run(L"uninstall", L"yes"), 0u) << c.name << ": the standard uninstall ends the running program";
    EXPECT_EQ(boxes_, (std::vector<Box>{{kChoiceFlags, kUninstallChoice, L"yes"}})) << c.name;
    const std::wstring ran = (c.inNew ? InstallFolder() : OldInstallFolder()) + L"Unins000.exe";
    EXPECT_EQ(Calls(ran, 1), (std::vector<std::wstring>{Quoted(ran) + L" /silent /noreboot"})) << c.name;
    if (c.inNew && c.inOld) { EXPECT_FALSE(FileExists(OldInstallFolder() + L"Unins000.calls.log")) << c.name; }
  }
}

TEST_F(InstallRoads, UninstallWithNothingInstalled) {
  const std::wstring question = L"Cannot find uninstall file!  Would you like to force the uninstall?";
  const Box nothing = {
      L"0x10", std::wstring(L"Could not find ") + kMainProgram + L" anywhere in:\r\n\r\n" + ProgramFiles(), L"ok"};
  struct Case {
    const char* answers;
    std::vector<Box> boxes;
  } cases[] = {
      {"yes,yes", {{kChoiceFlags, kUninstallChoice, L"yes"}, {kFailureFlags, question, L"yes"}, nothing}},
      {"yes,no", {{kChoiceFlags, kUninstallChoice, L"yes"}, {kFailureFlags, question, L"no"}}},
      {"no", {{kChoiceFlags, kUninstallChoice, L"no"}, nothing}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(L"uninstall", platform::FromUtf8(c.answers)), 1u) << c.answers;
    EXPECT_EQ(boxes_, c.boxes) << c.answers;
  }
}

TEST_F(InstallRoads, ForcedUninstallRunsTheInstalledCopysBulkUninstallOfTheNewerFolder) {
  PlaceFake(OldInstallFolder() + kMainProgram);
  const std::wstring installed = InstallFolder() + kMainProgram;
  PlaceFake(installed, "[fake]\r\nsleepms=1000\r\n");
  const DWORD start = GetTickCount();
  EXPECT_EQ(Run(L"uninstall", L"no"), 1u) << "the program goes on running";
  EXPECT_GE(GetTickCount() - start, 900u) << "the uninstall is waited for";
  EXPECT_EQ(boxes_, (std::vector<Box>{
                        {kChoiceFlags, kUninstallChoice, L"no"},
                        {L"0x40",
                         L"You should now be able to delete the directory that will pop up when you click OK.  If not, "
                         L"reboot the PC and try again.",
                         L"ok"},
                        // The installed copy's folder is opened.
                        {L"explorer", platform::Lower(InstallFolder().substr(0, InstallFolder().size() - 1)), L""},
                    }));
  EXPECT_EQ(Calls(installed, 1), (std::vector<std::wstring>{Quoted(installed) + L" /bulkuninstaller"}));
  EXPECT_FALSE(FileExists(OldInstallFolder() + kStandInCallsLog));
}
