// The filter module's alert mails, received by the local SMTP sink that the test fixture runs.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/CommonModule.h"
#include "filtermod/clsHash.h"
#include "platform/Text.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

constexpr uint16_t kPlainPort = 47025;
constexpr uint16_t kSilentPort = 47093;
constexpr ALG_ID kSha256 = 0x800C;

// A mail server that takes every connection and never says a word, until it is stopped: a mail
// sent to it hangs until its time-out, or until the server goes.
class SilentServer {
 public:
  SilentServer() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(kSilentPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ok_ = listener_ != INVALID_SOCKET && bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
          listen(listener_, 4) == 0;
    if (ok_) acceptor_ = std::thread([this] {
        for (SOCKET s; (s = accept(listener_, nullptr, nullptr)) != INVALID_SOCKET;) held_.push_back(s);
      });
  }
  ~SilentServer() {
    closesocket(listener_);  // ends the accept loop
    if (acceptor_.joinable()) acceptor_.join();
    for (const SOCKET s : held_) closesocket(s);
    WSACleanup();
  }
  bool Ok() const { return ok_; }

 private:
  SOCKET listener_ = INVALID_SOCKET;
  std::thread acceptor_;
  std::vector<SOCKET> held_;
  bool ok_ = false;
};

std::string FindMail(const std::string& part) { return WaitForSinkMail(part); }

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class FilterModMailTest : public testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kMakerKey);
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"EmailAlerts", L"1"));
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kEmailSetupKey, L"EmailAddress", L"owner@example.test"));
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kEmailSetupKey, L"SMTPServer", L"127.0.0.1"));
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kEmailSetupKey, L"SMTPPort", std::to_wstring(kPlainPort)));
  }
  void TearDown() override { RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kMakerKey); }

  InstalledProgram program{L"IronlatchFilterMod.exe"};
};

// A silent block and an allowed start with AlertAllow: subject, body and the module's footer.
TEST_F(FilterModMailTest, BlockedAndAllowedLaunchesAreMailed) {
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kFilterModuleKey, L"SilentBlock", L"1"));
  const std::wstring blocked = program.Folder() + L"blocked.scr";
  ASSERT_TRUE(CopyProgram(L"fakeprog.exe", blocked));
  ASSERT_TRUE(program.Run(L"\"" + blocked + L"\" /S").finished);
  const std::string path = platform::ToUtf8(blocked);
  std::string mail = FindMail(path);
  ASSERT_FALSE(mail.empty());
  EXPECT_TRUE(Has(mail, "\r\nSubject: Restricted .SCR program blocked!")) << mail;
  EXPECT_TRUE(Has(mail, "A restricted .SCR program was blocked from execution by user click:\r\n\r\n" + path)) << mail;
  EXPECT_TRUE(Has(mail, "(Filter Module Code v")) << mail;

  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kFilterModuleKey, L"SilentBlock", L"0"));
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kFilterModuleKey, L"AlertAllow", L"1"));
  const std::wstring allowed = program.Folder() + L"AppData\\allowed.exe";
  CreateDirectoryW((program.Folder() + L"AppData").c_str(), nullptr);
  ASSERT_TRUE(CopyProgram(L"fakeprog.exe", allowed));
  ASSERT_TRUE(program.Run(L"/\"" + allowed + L"\"", L"yes").finished);
  mail = FindMail(platform::ToUtf8(allowed));
  ASSERT_FALSE(mail.empty());
  EXPECT_TRUE(Has(mail, "\r\nSubject: Restricted program allowed!")) << mail;
  EXPECT_TRUE(Has(mail, "A restricted program was allowed to execute by user click:\r\n\r\n" +
                            platform::ToUtf8(allowed)))
      << mail;
}

// An allowed program starts before its alert mail is sent: a server that does not answer must
// not hold it back.
TEST_F(FilterModMailTest, AllowedProgramStartsBeforeItsMailGoesOut) {
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kFilterModuleKey, L"AlertAllow", L"1"));
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kEmailSetupKey, L"SMTPPort", std::to_wstring(kSilentPort)));
  const std::wstring allowed = program.Folder() + L"AppData\\slowmail.exe";
  CreateDirectoryW((program.Folder() + L"AppData").c_str(), nullptr);
  ASSERT_TRUE(CopyProgram(L"fakeprog.exe", allowed));
  const std::wstring calls = program.Folder() + L"AppData\\slowmail.calls.log";

  auto server = std::make_unique<SilentServer>();
  ASSERT_TRUE(server->Ok());
  std::atomic<bool> moduleEnded{false};
  std::thread module([&] {
    program.Run(L"/\"" + allowed + L"\"", L"yes", 120000);
    moduleEnded = true;
  });
  bool started = false;
  for (int i = 0; i < 200 && !started && !moduleEnded; ++i) {
    started = FileExists(calls);
    if (!started) Sleep(50);
  }
  const bool endedBeforeServerWent = moduleEnded;
  server.reset();  // the module's mail now fails at once
  module.join();
  EXPECT_TRUE(started) << "the program waited for the mail";
  EXPECT_FALSE(endedBeforeServerWent) << "the mail did not wait for the silent server";
}

// A hash match is mailed with the list's label and the digest; the file does not run.
TEST_F(FilterModMailTest, HashMatchIsMailedWithItsLabel) {
  const std::wstring target = program.Folder() + L"hashed.pif";
  ASSERT_TRUE(CopyProgram(L"fakeprog.exe", target));
  clsHash md5;
  const std::wstring digest = md5.HashFile(target, CALG_MD5);
  ASSERT_EQ(digest.size(), 32u);
  const std::wstring data = platform::GetEnv(L"programdata") + kProductFolder + L"\\";
  CommonModule::MakeFolder(data);
  const std::wstring list = data + L"UserExecFilter.md5";
  ASSERT_TRUE(WriteTextFile(list, platform::ToAnsi(digest) + "\r\n"));
  const bool finished = program.Run(L"*\"" + target + L"\"").finished;
  DeleteFileW(list.c_str());
  ASSERT_TRUE(finished);

  const std::string mail = FindMail(platform::ToUtf8(target));
  ASSERT_FALSE(mail.empty());
  EXPECT_TRUE(Has(mail, "\r\nSubject: Restricted program blocked by HASH rule!")) << mail;
  EXPECT_TRUE(Has(mail, "A restricted program was blocked from execution by a HASH rule:\r\n\r\n" +
                            platform::ToUtf8(target) + "\r\n\r\nUser-defined MD5 Hash:  " + platform::ToUtf8(digest)))
      << mail;
  EXPECT_FALSE(FileExists(program.Folder() + L"hashed.calls.log"));
}

// A listed program is blocked wherever it lies, in EXE/COM mode as in suspicious mode: the folders
// that are trusted for files no list names (the Windows folder, its Temp, Program Files), a plain
// folder and a data folder. Each time the hash box, the alert mail, and nothing started.
TEST_F(FilterModMailTest, ListedProgramIsBlockedInEveryFolderAndMode) {
  // Named after this run alone: the sink may keep the mails of earlier runs.
  const std::wstring tag = std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount());
  const std::wstring windows = platform::GetEnv(L"systemroot");
  const std::wstring programFiles = platform::GetEnv(L"ProgramFiles") + L"\\ilhash" + tag;
  CreateDirectoryW(programFiles.c_str(), nullptr);
  CreateDirectoryW((program.Folder() + L"plain").c_str(), nullptr);
  CreateDirectoryW((program.Folder() + L"AppData").c_str(), nullptr);
  const std::wstring data = platform::GetEnv(L"programdata") + kProductFolder + L"\\";
  CommonModule::MakeFolder(data);
  const std::wstring list = data + L"ExecFilter.sha256";

  struct Folder {
    const wchar_t* name;
    std::wstring path;  // the folder, with a trailing backslash
  } folders[] = {
      {L"Windows folder", windows + L"\\"},
      {L"Windows Temp", windows + L"\\Temp\\"},
      {L"Program Files", programFiles + L"\\"},
      {L"plain folder", program.Folder() + L"plain\\"},
      {L"data folder", program.Folder() + L"AppData\\"},
  };
  struct Mode {
    const wchar_t* name;
    const wchar_t* prefix;
    const wchar_t* extension;
  } modes[] = {{L"EXE/COM", L"/", L".exe"}, {L"suspicious", L"", L".scr"}};

  std::vector<std::wstring> placed;
  std::string digest;
  for (const auto& folder : folders) {
    for (const auto& mode : modes) {
      SCOPED_TRACE(folder.name);
      SCOPED_TRACE(mode.name);
      std::wstring target = folder.path + L"ilhash" + tag + mode.extension;
      ASSERT_TRUE(CopyProgram(L"fakeprog.exe", target));
      placed.push_back(target);
      placed.push_back(target.substr(0, target.rfind(L'.')) + L".calls.log");
      wchar_t onDisk[MAX_PATH] = {};
      if (GetLongPathNameW(target.c_str(), onDisk, MAX_PATH)) target = onDisk;
      if (digest.empty()) {
        clsHash sha;
        digest = platform::ToAnsi(sha.HashFile(target, kSha256));
        ASSERT_EQ(digest.size(), 64u);
        ASSERT_TRUE(WriteTextFile(list, digest + "\r\n"));
      }
      DeleteFileW(program.PromptLog().c_str());
      ASSERT_TRUE(program.Run(std::wstring(mode.prefix) + L"\"" + target + L"\"", L"yes").finished);

      const auto prompts = program.Prompts();
      ASSERT_EQ(prompts.size(), 1u);
      ASSERT_EQ(prompts[0].fields.size(), 4u);
      EXPECT_EQ(prompts[0].fields[1], L"0x0");
      EXPECT_EQ(prompts[0].fields[2], L"This file matches a malware hash!  Aborting execution!");
      const std::string path = platform::ToUtf8(target);
      const std::string mail = FindMail("\r\n\r\n" + path + "\r\n\r\nSHA256 Hash:  " + digest);
      EXPECT_TRUE(Has(mail, "\r\nSubject: Restricted program blocked by HASH rule!")) << mail;
      Sleep(300);  // what the module started would have logged its call by now
      EXPECT_FALSE(FileExists(target.substr(0, target.rfind(L'.')) + L".calls.log")) << "the listed program ran";
    }
  }
  DeleteFileW(list.c_str());
  for (const auto& file : placed) DeleteFileW(file.c_str());
  RemoveDirectoryW(programFiles.c_str());
}

}  // namespace
