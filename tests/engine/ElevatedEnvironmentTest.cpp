// The elevated program and the environment it is started with. A standard user can set that
// environment (HKCU\Environment) for the elevated program started next; nothing in it may choose a
// program that runs with the administrator's token, or the account that is given rights.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include "platform/Handle.h"
#include "platform/Text.h"
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
