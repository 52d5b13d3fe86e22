// The elevated program and the environment it is started with. A standard user can set that
// environment (HKCU\Environment) for the elevated program started next; nothing in it may choose a
// program that runs with the administrator's token, or the account that is given rights.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <thread>

#include "platform/FileTree.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "tests/support/PlantedFolders.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

const std::wstring kDisallowedPaths = std::wstring(kRestrictionPolicyKey) + L"\\0\\Paths";
const std::wstring kHashes = std::wstring(kRestrictionPolicyKey) + L"\\0\\Hashes";

// Windows' tools that the program starts, as a user would plant them.
const wchar_t* const kTools[] = {L"reg.exe",     L"net.exe",      L"net1.exe",     L"cmd.exe",     L"regsvr32.exe",
                                 L"subinacl.exe", L"gpupdate.exe", L"schtasks.exe", L"shutdown.exe", L"control.exe",
                                 L"sc.exe",       L"taskkill.exe", L"tskill.exe",   L"explorer.exe"};

// The account of this process's token, as Windows names it ("DOMAIN\name") and as a SID text; the
// tests and the program run as the same account.
struct Account {
  std::wstring name, sid;
};
Account TokenAccount() {
  platform::UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
  std::vector<BYTE> buffer(512);
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size)) return {};
  PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  wchar_t name[256] = {}, domain[256] = {};
  DWORD nameSize = 256, domainSize = 256;
  SID_NAME_USE use;
  wchar_t* text = nullptr;
  if (!LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use) || !ConvertSidToStringSidW(sid, &text))
    return {};
  platform::UniqueLocal owner(text);
  return {std::wstring(domain) + L"\\" + name, text};
}

bool SetDacl(const std::wstring& key, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) return false;
  platform::UniqueLocal owner(descriptor);
  platform::UniqueRegKey k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, WRITE_DAC | KEY_WOW64_64KEY, k.put()) != ERROR_SUCCESS)
    return false;
  return RegSetKeySecurity(k.get(), DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
}

class ElevatedEnvironmentTest : public ClearedProductTest {
 protected:
  void SetUp() override {
    ClearedProductTest::SetUp();
    ASSERT_TRUE(CreateDirectoryW((standIns_ / L"System32").c_str(), nullptr));
    for (const wchar_t* tool : kTools) {
      ASSERT_TRUE(CopyProgram(L"fakeprog.exe", standIns_ / tool));
      ASSERT_TRUE(CopyProgram(L"fakeprog.exe", standIns_ / (std::wstring(L"System32\\") + tool)));
    }
    // subinacl beside the program, where only an administrator can put it: it records the account.
    ASSERT_TRUE(CopyProgram(L"fakeprog.exe", program_.Folder() + L"subinacl.exe"));
    ASSERT_TRUE(gpupdate_.Install());
  }
  void TearDown() override {
    gpupdate_.Remove();
    ClearedProductTest::TearDown();
  }

  // Runs the program with the planted environment, from the stand-ins' folder as the current folder.
  // (Wine gives every process its own SystemRoot back, so there that one entry plants nothing; on
  // Windows it does. windir, ComSpec, PATH, USERNAME and the current folder reach the program.)
  void RunPlanted(const std::wstring& arguments) {
    const std::wstring folder = standIns_.Path().substr(0, standIns_.Path().size() - 1);
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
    const RunResult result =
        RunProcess(L"\"" + program_.ExePath() + L"\" " + arguments,
                   {L"SystemRoot=" + folder, L"windir=" + folder, L"ComSpec=" + folder + L"\\cmd.exe",
                    L"PATH=" + folder + L";" + folder + L"\\System32", L"USERNAME=" + kOtherAccount,
                    L"ILATCH_PROMPT_LOG=" + program_.PromptLog()},
                   60000);
    SetCurrentDirectoryW(previous);
    ASSERT_TRUE(result.finished) << platform::ToUtf8(arguments);
  }

  // Every stand-in that recorded a start.
  std::vector<std::wstring> StandInsThatRan() const {
    std::vector<std::wstring> ran;
    for (const wchar_t* tool : kTools) {
      for (const std::wstring folder : {L"", L"System32\\"}) {
        std::wstring log = standIns_ / (folder + tool);
        log = log.substr(0, log.size() - 4) + L".calls.log";
        if (FileExists(log)) ran.push_back(folder + tool + L": " + ReadTextFile(log));
      }
    }
    return ran;
  }

  const std::wstring kOtherAccount = L"Guest";
  ScratchDir standIns_;
  InstalledProgram program_;
  GpUpdateStandIn gpupdate_;
};

}  // namespace

TEST_F(ElevatedEnvironmentTest, NoToolComesFromTheEnvironmentAndRightsGoToTheTokensAccount) {
  const Account account = TokenAccount();
  ASSERT_FALSE(account.name.empty());
  ASSERT_NE(platform::Lower(account.name.substr(account.name.find(L'\\') + 1)), platform::Lower(kOtherAccount));

  // One rule of ours that resists deletion until this account's refusal on it is lifted.
  ASSERT_TRUE(program_.Run(L"/b=C:\\Resisting\\*.exe").finished);
  const auto rules = RegSubkeys(HKEY_LOCAL_MACHINE, kDisallowedPaths);
  ASSERT_EQ(rules.size(), 1u);
  const std::wstring rule = kDisallowedPaths + L"\\" + rules[0];
  platform::UniqueRegKey child;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (rule + L"\\Child").c_str(), 0, nullptr, 0, KEY_READ | KEY_WOW64_64KEY,
                            nullptr, child.put(), nullptr),
            ERROR_SUCCESS);
  child.reset();
  ASSERT_TRUE(SetDacl(rule, (L"D:P(D;CI;KW;;;" + account.sid + L")(A;CI;KA;;;WD)").c_str()));

  // The undo refreshes the policy and takes the resisting rule with subinacl and the key's rights.
  RunPlanted(L"/undo /silent");
  EXPECT_TRUE(RegSubkeys(HKEY_LOCAL_MACHINE, kDisallowedPaths).empty()) << "the resisting rule stayed";
  const auto grants = Lines(ReadTextFile(program_.Folder() + L"subinacl.calls.log"));
  ASSERT_FALSE(grants.empty()) << "subinacl was not run";
  for (const auto& call : grants) {
    SCOPED_TRACE(platform::ToUtf8(call));
    EXPECT_NE(call.find(L"/grant=" + account.name + L"=f"), std::wstring::npos);
    EXPECT_EQ(platform::Lower(call).find(platform::Lower(kOtherAccount)), std::wstring::npos);
  }
  const auto refreshes = Lines(ReadTextFile(gpupdate_.CallsLog()));
  ASSERT_EQ(refreshes.size(), 1u) << "the system's gpupdate did not run";

  // The apply imports the built-in hash rules through reg.exe.
  RunPlanted(L"/silent /nogpupdate");
  EXPECT_FALSE(RegSubkeys(HKEY_LOCAL_MACHINE, kHashes).empty()) << "the system's reg.exe did not import";

  EXPECT_EQ(StandInsThatRan(), std::vector<std::wstring>{});
}

namespace {

// The main program run with the planted environment on a thread of its own and held at the
// prevention test's gate (ILATCH_PREVENTION_GATE): after the test program is written, before it
// starts.
class GatedRun {
 public:
  GatedRun(const InstalledProgram& program, const std::wstring& arguments, const std::wstring& answers,
           const PlantedFolders& planted)
      : gate_(dir_ / L"gate") {
    std::vector<std::wstring> env = planted.Environment();
    env.push_back(L"ILATCH_PROMPT_LOG=" + program.PromptLog());
    env.push_back(L"ILATCH_PROMPT_ANSWERS=" + answers);
    env.push_back(L"ILATCH_PREVENTION_GATE=" + gate_);
    const std::wstring command = L"\"" + program.ExePath() + L"\" " + arguments;
    thread_ = std::thread([this, command, env] { result_ = RunProcess(command, env, 90000); });
  }
  ~GatedRun() { Finish(); }

  // True once the program waits at the gate.
  bool AtGate() const {
    for (int waited = 0; waited < 60000 && !FileExists(gate_); waited += 50) Sleep(50);
    return FileExists(gate_);
  }
  // Opens the gate and waits for the program's end.
  RunResult Finish() {
    DeleteFileW(gate_.c_str());
    if (thread_.joinable()) thread_.join();
    return result_;
  }

 private:
  ScratchDir dir_;
  std::wstring gate_;
  RunResult result_;
  std::thread thread_;
};

// Planted folders for the prevention test: a stand-in of the test program's name where the planted
// %APPDATA% (and %USERPROFILE%\AppData\Roaming) would put it.
class PreventionTestFolderTest : public ClearedProductTest {
 protected:
  void SetUp() override {
    ClearedProductTest::SetUp();
    ASSERT_FALSE(appData_.empty());
    ASSERT_TRUE(planted_.PlantProgram(L"HelloWorld2.exe"));
    ASSERT_TRUE(planted_.PlantProgram(L"AppData\\Roaming\\HelloWorld2.exe"));
    before_ = FolderContents(planted_.Folder());
  }
  void TearDown() override {
    DeleteFileW(TestProgram().c_str());
    ClearedProductTest::TearDown();
  }
  std::wstring TestProgram() const { return appData_ + L"\\HelloWorld2.exe"; }
  // The text of the first message box recorded. (An unsuccessful /test also opens the main window
  // in a process of its own, whose record may come in later.)
  std::wstring FirstBoxText() const {
    for (const auto& record : program_.Prompts())
      if (record.kind == L"box" && record.fields.size() >= 3) return record.fields[2];
    return L"<no box>";
  }

  const std::wstring appData_ = OwnFolder(CSIDL_APPDATA);  // this user's, as the system keeps it
  PlantedFolders planted_;
  std::map<std::wstring, std::string> before_;
  InstalledProgram program_;
};

std::string U(const std::wstring& text) { return platform::ToUtf8(text); }

}  // namespace

// /test and the question of the apply road run the prevention test. It writes, starts and removes
// its program in this user's own AppData; the planted folder is not written, deleted or started.
TEST_F(PreventionTestFolderTest, ThePreventionTestRunsInTheUsersOwnAppDataWhateverTheEnvironmentSays) {
  const std::string standIn = ReadFileBytes(TestsDir() + L"fakes\\fakeprog.exe");
  struct Road {
    const char* name;
    const wchar_t* arguments;
    const char* ini;  // the configuration INI beside the program, or none
    const wchar_t* answers;
    std::wstring firstBox;
  };
  const Road roads[] = {
      {"/test", L"/test", nullptr, L"", L"Prevention Not Applied or Unsuccessful!"},
      {"the apply road", L"", "[Config]\r\nAppdata=1\r\n", L"no", std::wstring(L"Apply ") + kRuleDescription + L" now?"},
  };
  for (const Road& road : roads) {
    SCOPED_TRACE(road.name);
    DeleteFileW(program_.PromptLog().c_str());
    DeleteFileW((program_.Folder() + kSettingsIni).c_str());
    if (road.ini) ASSERT_TRUE(WriteTextFile(program_.Folder() + kSettingsIni, road.ini));
    {
      GatedRun run(program_, road.arguments, road.answers, planted_);
      ASSERT_TRUE(run.AtGate()) << "the prevention test never reached its start";
      const std::string written = ReadFileBytes(TestProgram());
      EXPECT_EQ(written.substr(0, 2), "MZ") << "no test program in this user's AppData";
      EXPECT_NE(written, standIn);
      EXPECT_EQ(FolderContents(planted_.Folder()), before_) << "the planted folder was written or emptied";
      EXPECT_TRUE(run.Finish().finished);
    }
    // Wine enforces no policy: the carried test program ran, and said so with its exit code.
    EXPECT_EQ(FirstBoxText(), road.firstBox);
    EXPECT_FALSE(FileExists(TestProgram())) << "the test program is removed again";
    EXPECT_EQ(FolderContents(planted_.Folder()), before_);
    EXPECT_EQ(planted_.StartsRecorded(), std::vector<std::wstring>{});
  }
}

// Between the write and the start nobody can re-point the path to the test program: no folder on
// the way can be renamed away (to put a new one with another program of that name in its place),
// and the file itself cannot be deleted, replaced or written.
TEST_F(PreventionTestFolderTest, NothingOnTheWayToTheTestProgramCanBeSwappedBeforeItStarts) {
  ScratchDir other;
  const std::wstring impostor = other / L"HelloWorld2.exe";
  ASSERT_TRUE(CopyProgram(L"fakeprog.exe", impostor));
  std::wstring renamedFrom, renamedTo;
  {
    GatedRun run(program_, L"/test", L"", planted_);
    ASSERT_TRUE(run.AtGate()) << "the prevention test never reached its start";
    const std::wstring roaming = appData_;
    const std::wstring appDataRoot = roaming.substr(0, roaming.find_last_of(L'\\'));
    for (const std::wstring& folder : {roaming, appDataRoot, OwnFolder(CSIDL_PROFILE)}) {
      SCOPED_TRACE(U(folder));
      const std::wstring aside = folder + L" (renamed)";
      const bool moved = MoveFileW(folder.c_str(), aside.c_str()) != FALSE;
      EXPECT_FALSE(moved) << "a folder on the way was renamed";
      if (!moved) continue;
      // What an attacker puts in its place: the same path, another program behind it.
      renamedFrom = folder;
      renamedTo = aside;
      SHCreateDirectoryExW(nullptr, roaming.c_str(), nullptr);
      CopyProgram(L"fakeprog.exe", TestProgram());
      break;
    }
    EXPECT_FALSE(DeleteFileW(TestProgram().c_str()));
    EXPECT_FALSE(MoveFileExW(impostor.c_str(), TestProgram().c_str(), MOVEFILE_REPLACE_EXISTING));
    const platform::UniqueFileHandle writer(CreateFileW(TestProgram().c_str(), GENERIC_WRITE,
                                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                        nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(static_cast<bool>(writer)) << "the test program could be opened for writing";
    EXPECT_TRUE(run.Finish().finished);
  }
  if (!renamedFrom.empty()) {
    platform::RemoveFolderTree(renamedFrom);
    MoveFileW(renamedTo.c_str(), renamedFrom.c_str());
  }
  EXPECT_EQ(planted_.StartsRecorded(), std::vector<std::wstring>{}) << "another program ran as the test program";
  EXPECT_EQ(FirstBoxText(), L"Prevention Not Applied or Unsuccessful!") << "the carried test program ran";
  EXPECT_FALSE(FileExists(TestProgram()));
}
