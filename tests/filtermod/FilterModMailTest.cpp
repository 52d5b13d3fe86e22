// The filter module's alerts: written as alert entries to the Application log and mailed by the
// event service to the local SMTP sink that the test fixture runs; the module itself reads no
// mail settings.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <optional>
#include <string>
#include <vector>

#include "notify/AlertEntry.h"
#include "common/CommonModule.h"
#include "filtermod/clsHash.h"
#include "platform/EventLog.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "tests/support/InstalledService.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

constexpr uint16_t kPlainPort = 47025;
constexpr auto& kModuleSource = kFilterModuleEventSource;
constexpr ALG_ID kSha256 = 0x800C;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool AnyMailHas(const std::string& part) {
  for (const auto& mail : SinkMails())
    if (Has(mail, part)) return true;
  return false;
}

// The newest alert entry of the module's source that names the program.
std::optional<platform::EventEntry> AlertEntryFor(const std::wstring& program) {
  for (const auto& e : platform::ReadEventsNewestFirst(L"Application", 500)) {
    if (e.source != kModuleSource || e.strings.size() != 1) continue;
    const auto alert = AlertEntry::Parse(e.strings[0]);
    if (alert && platform::Contains(alert->body, program)) return e;
  }
  return std::nullopt;
}

// What a program writes to the debugger output, its command line run under this test as its
// debugger until it ends or the time is up.
std::vector<std::string> DebugOutputOf(const std::wstring& commandLine, DWORD timeoutMs) {
  std::vector<std::string> lines;
  STARTUPINFOW startup = {sizeof startup};
  PROCESS_INFORMATION process = {};
  std::wstring command = commandLine;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr,
                      &startup, &process))
    return lines;
  platform::UniqueKernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
  bool ended = false;
  for (const DWORD start = GetTickCount(); !ended && GetTickCount() - start < timeoutMs;) {
    DEBUG_EVENT event = {};
    if (!WaitForDebugEvent(&event, 200)) continue;
    DWORD answer = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case OUTPUT_DEBUG_STRING_EVENT: {
        const auto& text = event.u.DebugString;
        std::string bytes(text.nDebugStringLength * (text.fUnicode ? 2 : 1), '\0');
        SIZE_T got = 0;
        if (ReadProcessMemory(process.hProcess, text.lpDebugStringData, bytes.data(), bytes.size(), &got) && !text.fUnicode)
          lines.push_back(bytes.substr(0, bytes.find('\0')));
        break;
      }
      case EXCEPTION_DEBUG_EVENT:
        if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) answer = DBG_EXCEPTION_NOT_HANDLED;
        break;
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        ended = true;
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, answer);
  }
  if (!ended) {
    TerminateProcess(process.hProcess, 1);
    DebugActiveProcessStop(process.dwProcessId);
    lines.push_back("(the program did not end)");
  }
  return lines;
}

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

  // A silently blocked screen saver under the module's folder; its path.
  std::wstring BlockSilently(const std::wstring& name) {
    EXPECT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kFilterModuleKey, L"SilentBlock", L"1"));
    const std::wstring blocked = program.Folder() + name;
    EXPECT_TRUE(CopyProgram(L"fakeprog.exe", blocked));
    EXPECT_TRUE(program.Run(L"\"" + blocked + L"\" /S").finished);
    return blocked;
  }

  InstalledProgram program{kFilterModuleProgram};
};

class WithService : public FilterModMailTest {
 protected:
  void SetUp() override {
    FilterModMailTest::SetUp();
    ASSERT_TRUE(service.Ok());
    ASSERT_TRUE(service.Start());
  }
  InstalledService service;
};

// A silent block and an allowed start with AlertAllow: the service mails the module's subject and
// body.
TEST_F(WithService, BlockedAndAllowedLaunchesAreMailedByTheService) {
  const std::wstring blocked = BlockSilently(L"blocked" + std::to_wstring(GetTickCount()) + L".scr");
  const std::string path = platform::ToUtf8(blocked);
  std::string mail = WaitForSinkMail(path, 15000);
  ASSERT_FALSE(mail.empty());
  EXPECT_TRUE(Has(mail, "\r\nSubject: Restricted .SCR program blocked! - \r\n")) << mail;
  EXPECT_TRUE(Has(mail, "\r\n\r\nComputer Name:  ")) << mail;
  EXPECT_TRUE(Has(mail, "A restricted .SCR program was blocked from execution by user click:\r\n\r\n" + path)) << mail;
  EXPECT_TRUE(Has(mail, "(Service Code v")) << mail;
  EXPECT_FALSE(Has(mail, platform::ToUtf8(AlertEntry::kMarking))) << mail;

  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kFilterModuleKey, L"SilentBlock", L"0"));
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kFilterModuleKey, L"AlertAllow", L"1"));
  const std::wstring allowed = program.Folder() + L"AppData\\allowed" + std::to_wstring(GetTickCount()) + L".exe";
  CreateDirectoryW((program.Folder() + L"AppData").c_str(), nullptr);
  ASSERT_TRUE(CopyProgram(L"fakeprog.exe", allowed));
  ASSERT_TRUE(program.Run(L"/\"" + allowed + L"\"", L"yes").finished);
  mail = WaitForSinkMail(platform::ToUtf8(allowed), 15000);
  ASSERT_FALSE(mail.empty());
  EXPECT_TRUE(Has(mail, "\r\nSubject: Restricted program allowed! - \r\n")) << mail;
  EXPECT_TRUE(Has(mail, "A restricted program was allowed to execute by user click:\r\n\r\n" +
                            platform::ToUtf8(allowed)))
      << mail;
}

// A hash match is mailed with the list's label and the digest; the file does not run.
TEST_F(WithService, HashMatchIsMailedWithItsLabel) {
  const std::wstring target = program.Folder() + L"hashed.pif";
  ASSERT_TRUE(CopyProgram(L"fakeprog.exe", target));
  {  // a digest of this run's own: earlier runs' mails in the sink name other digests
    platform::UniqueFileHandle file(CreateFileW(target.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    const std::string pad = std::to_string(GetTickCount()) + std::to_string(GetCurrentProcessId());
    DWORD written = 0;
    ASSERT_TRUE(file && WriteFile(file.get(), pad.data(), static_cast<DWORD>(pad.size()), &written, nullptr));
  }
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

  const std::string mail = WaitForSinkMail(platform::ToUtf8(digest), 15000);
  ASSERT_FALSE(mail.empty());
  EXPECT_TRUE(Has(mail, "\r\nSubject: Restricted program blocked by HASH rule! - \r\n")) << mail;
  EXPECT_TRUE(Has(mail, "A restricted program was blocked from execution by a HASH rule:\r\n\r\n" +
                            platform::ToUtf8(target) + "\r\n\r\nUser-defined MD5 Hash:  " + platform::ToUtf8(digest)))
      << mail;
  EXPECT_FALSE(FileExists(program.Folder() + L"hashed.calls.log"));
}

// Without the service nothing is mailed: the alert stays in the log, where the blocked-events
// viewer lists the product's entries (its event ID, a source naming the product), and the launch
// did not wait for any mail.
TEST_F(FilterModMailTest, WithTheServiceStoppedTheAlertStaysInTheLogAndNothingIsMailed) {
  const DWORD start = GetTickCount();
  const std::wstring blocked = BlockSilently(L"unsent" + std::to_wstring(GetTickCount()) + L".scr");
  EXPECT_LT(GetTickCount() - start, 20000u);
  const auto entry = AlertEntryFor(blocked);
  ASSERT_TRUE(entry) << "no alert entry";
  EXPECT_EQ(entry->eventId & 0xFFFF, 10177u);
  const auto alert = AlertEntry::Parse(entry->strings[0]);
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->subject, L"Restricted .SCR program blocked!");
  EXPECT_EQ(alert->body, L"A restricted .SCR program was blocked from execution by user click:\r\n\r\n" + blocked);
  EXPECT_TRUE(platform::Contains(platform::Lower(alert->program), platform::Lower(L"unsent")))
      << platform::ToUtf8(alert->program);
  Sleep(2000);
  EXPECT_FALSE(AnyMailHas(platform::ToUtf8(blocked)));
}

// With every mail setting there, registry and INI, the module reads none of them: its debug
// output names each registry value it reads.
TEST_F(FilterModMailTest, TheModuleReadsNoMailSettings) {
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kEmailSetupKey, L"EmailPassword", L"scrambled-password"));
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kEmailSetupKey, L"Authenticate", L"1"));
  ASSERT_TRUE(WriteTextFile(program.Folder() + kSettingsIni,
                            "[EmailConfig]\r\nEmailAlerts=1\r\nSMTPUserName=u\r\nSMTPPassword=ini-password\r\n"));
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kFilterModuleKey, L"SilentBlock", L"1"));
  const std::wstring blocked = program.Folder() + L"quiet.scr";
  ASSERT_TRUE(CopyProgram(L"fakeprog.exe", blocked));
  const auto lines = DebugOutputOf(L"\"" + program.ExePath() + L"\" \"" + blocked + L"\" /S", 60000);
  std::string all;
  for (const auto& line : lines) all += line + "\n";
  ASSERT_TRUE(Has(all, "SilentBlock")) << "the debug output shows no registry reads:\n" << all;
  EXPECT_FALSE(Has(all, "(the program did not end)")) << all;
  for (const char* setting : {"Email Setup", "EmailPassword", "EmailAlerts", "SMTPPassword", "EmailConfig"}) {
    SCOPED_TRACE(setting);
    EXPECT_FALSE(Has(all, setting)) << all;
  }
  EXPECT_TRUE(AlertEntryFor(blocked)) << "the alert was not written";
}

// A listed program is blocked wherever it lies, in EXE/COM mode as in suspicious mode: the folders
// that are trusted for files no list names (the Windows folder, its Temp, Program Files), a plain
// folder and a data folder. Each time the hash box, the alert the service mails, and nothing started.
TEST_F(WithService, ListedProgramIsBlockedInEveryFolderAndMode) {
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
      const std::string mail = WaitForSinkMail("\r\n\r\n" + path + "\r\n\r\nSHA256 Hash:  " + digest, 15000);
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
