// The event monitoring service: installed and started under the service manager from a scratch
// folder, fed entries through the Application log, mailing to the local SMTP sink; and its event
// filter in process.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "notify/AlertEntry.h"
#include "notify/modBase85.h"
#include "notify/modEmailSvc.h"
#include "notify/modWriteEvent.h"
#include "common/CommonModule.h"
#include "eventsvc/Module1Names.h"
#include "eventsvc/modFilterEvents.h"
#include "platform/EventLog.h"
#include "platform/Handle.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "tests/support/InstalledService.h"
#include "tests/support/MailPasswordChecks.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

namespace {

using testsupport::InstalledService;
using testsupport::ReadFileBytes;

constexpr uint16_t kSinkPort = 47025;
constexpr uint16_t kSilentPort = 47027;  // accepts and never says a word
using testsupport::kEmailSetupKey;
using testsupport::kSettingsKey;
// Windows writes the policy's "program blocked" entries under this source.
const wchar_t kPolicySource[] = L"Microsoft-Windows-SoftwareRestrictionPolicies";

std::string Token(const char* what) {
  static int counter = 0;
  return std::string(what) + "-" + std::to_string(GetTickCount()) + "-" + std::to_string(GetCurrentProcessId()) +
         "-" + std::to_string(++counter);
}
std::wstring W(const std::string& text) { return platform::FromUtf8(text); }
bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> SinkMails() { return testsupport::SinkMails(); }
std::string WaitForMail(const std::string& token, DWORD timeoutMs = 15000) {
  return testsupport::WaitForSinkMail(token, timeoutMs);
}

bool AnyMailHas(const std::string& token) {
  for (const auto& mail : SinkMails())
    if (Has(mail, token)) return true;
  return false;
}

int MailsWith(const std::string& token) {
  int count = 0;
  for (const auto& mail : SinkMails()) count += Has(mail, token) ? 1 : 0;
  return count;
}

// Waits until at least count mails hold token, or the time is up; the number that do.
int WaitForMails(const std::string& token, int count, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  int got = MailsWith(token);
  while (got < count && GetTickCount() - start < timeoutMs) {
    Sleep(200);
    got = MailsWith(token);
  }
  return got;
}

constexpr auto& kFilterModSource = testsupport::kFilterModuleEventSource;

// The text of an alert entry as the filter module writes it, for a blocked file.
std::wstring AlertEntryText(const std::string& program, const std::wstring& subject = L"Restricted program blocked!") {
  const std::wstring path = W(program);
  return AlertEntry::Format(
      {subject, path, L"A restricted program was blocked from execution by user click:\r\n\r\n" + path});
}

void DeleteSettingsValue(const wchar_t* value) {
  platform::UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, key.put()) == ERROR_SUCCESS)
    RegDeleteValueW(key.get(), value);
}

// Alerts on through the registry, to the sink.
class AlertSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    Clear();
    ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"EmailAlerts", L"1"));
    ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kEmailSetupKey, L"EmailAddress", L"owner@example.test"));
    ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kEmailSetupKey, L"SMTPServer", L"127.0.0.1"));
    ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kEmailSetupKey, L"SMTPPort", std::to_wstring(kSinkPort)));
  }
  void TearDown() override { Clear(); }
  static void Clear() {
    testsupport::RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kEmailSetupKey);
    for (const wchar_t* value : {L"EmailAlerts", L"UTCAdjustment", L"ClientName"}) DeleteSettingsValue(value);
  }
};

// ---- The service under the service manager -----------------------------------------------------

bool WriteEntry(const std::wstring& source, uint16_t type, uint32_t id, const std::wstring& text) {
  platform::EventSource s(source);
  return s.Ok() && s.Report(type, 0, id, {text});
}

// An entry that names the account given ("" none), as any writer may: a forger's.
bool WriteEntryNaming(const std::wstring& sid, const std::wstring& source, uint16_t type, uint32_t id,
                      const std::wstring& text) {
  platform::EventSource s(source);
  return s.Ok() && s.ReportNaming(sid, type, 0, id, {text});
}

// An account nobody has: each number names another.
std::wstring MadeUpAccount(int n) { return L"S-1-5-21-1111-2222-3333-" + std::to_wstring(5000 + n); }

// The two kinds the service mails, each written as what anyone can write.
enum class Kind { Policy, FilterModule };

// An entry of the kind about the program (whose name the mail carries), naming the account given.
bool WriteAlertOfKind(Kind kind, const std::string& program, const std::wstring& sid) {
  if (kind == Kind::Policy)
    return WriteEntryNaming(sid, kPolicySource, platform::kEventWarning, 866,
                            W("Access to " + program + " has been restricted by your Administrator."));
  return WriteEntryNaming(sid, kFilterModSource, platform::kEventWarning, 10177, AlertEntryText(program));
}

// The same, naming this process's own account, as the policy and the filter module do.
bool WriteRealAlertOfKind(Kind kind, const std::string& program) {
  if (kind == Kind::Policy)
    return WriteEntry(kPolicySource, platform::kEventWarning, 866,
                      W("Access to " + program + " has been restricted by your Administrator."));
  return WriteEntry(kFilterModSource, platform::kEventWarning, 10177, AlertEntryText(program));
}

bool WriteStopNotice() {
  return modWriteEvent::WriteEventAs(testsupport::kEventSource, modFilterEvents::kStopNotice, 0);
}

using ServiceRoad = AlertSettings;

TEST_F(ServiceRoad, BlockedEntryMailsOthersDoNotAndOnlyTheServiceManagersStopEndsIt) {
  InstalledService service;
  ASSERT_TRUE(service.Ok());
  ASSERT_TRUE(service.Start());

  SERVICE_STATUS status{};
  ASSERT_TRUE(service.Control(SERVICE_CONTROL_INTERROGATE, status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));

  // Entries that must not mail come first: once the blocked entry's mail is in, they were handled.
  const std::string ownEntry = Token("own"), nearCode = Token("near"), userTool = Token("user-tool"),
                    forged = Token("forged");
  ASSERT_TRUE(WriteEntry(testsupport::kFilterModuleEventSource, platform::kEventInformation, 10177, W(ownEntry)));
  ASSERT_TRUE(WriteEntry(kPolicySource, platform::kEventWarning, 8660, W(nearCode)));
  // What any user can write: an 866 of their own, and an alert entry in the module's form.
  ASSERT_TRUE(WriteEntry(L"SomeUserTool", platform::kEventWarning, 866, W("Access to C:\\" + userTool + ".exe")));
  ASSERT_TRUE(WriteEntry(L"SomeUserTool", platform::kEventWarning, 10177, AlertEntryText("C:\\" + forged + ".exe")));
  const std::string blocked = Token("blocked");
  const std::string path = "C:\\Users\\someone\\AppData\\Roaming\\" + blocked + "\\dropper.exe";
  ASSERT_TRUE(WriteEntry(kPolicySource, platform::kEventWarning, 866,
                         W("Access to " + path + " has been restricted by your Administrator.")));

  const std::string mail = WaitForMail(blocked);
  ASSERT_FALSE(mail.empty()) << "no alert mail";
  EXPECT_TRUE(Has(mail, "\r\nSubject: Blocked Application Alert! - \r\n")) << mail;
  EXPECT_TRUE(Has(mail, "\r\n\r\nComputer Name:  ")) << mail;
  // The address comes from a helper copy of the service: the same text as the query here gives.
  EXPECT_TRUE(Has(mail, "\r\nLAN IP:  " + platform::ToUtf8(modEmailSvc::GetLanIPs()) + "\r\n\r\n")) << mail;
  EXPECT_TRUE(Has(mail, "\r\nSUSPICIOUS APPLICATION BLOCKED\r\n\r\nTime (UTC): ")) << mail;
  EXPECT_TRUE(Has(mail, "\r\nEvent Log: Application\r\nEvent Type: Warning\r\nEvent ID: 866\r\n"
                        "Source Name: Microsoft-Windows-SoftwareRestrictionPolicies\r\nMessage: Access to " +
                            path + " has been restricted by your Administrator.\r\n"))
      << mail;
  EXPECT_TRUE(
      Has(mail, std::string("This message sent by ") + testsupport::kProductNameA + "  v1.0.0.1 (Service Code v1.0.1)"))
      << mail;
  EXPECT_FALSE(AnyMailHas(ownEntry));
  EXPECT_FALSE(AnyMailHas(nearCode));
  EXPECT_FALSE(AnyMailHas(userTool)) << "an 866 from another source was mailed";
  EXPECT_FALSE(AnyMailHas(forged)) << "an alert entry from another source was mailed";

  // The notice alone, even from the program's own source, leaves monitoring running; an entry
  // written after it is still mailed, so the loop went on.
  ASSERT_TRUE(WriteStopNotice());
  const std::string after = Token("after-notice");
  ASSERT_TRUE(WriteEntry(kPolicySource, platform::kEventWarning, 866, W("Blocked " + after)));
  EXPECT_FALSE(WaitForMail(after).empty()) << "the notice ended monitoring";
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_RUNNING));

  ASSERT_TRUE(service.Control(SERVICE_CONTROL_STOP, status));
  EXPECT_TRUE(service.WaitForState(SERVICE_STOPPED, 10000));
}

// What any user can write: the notice under another source, in a blocked file's name, or under the
// program's own source (which nothing stops a user from naming). None of it ends monitoring, and
// the blocked entry is still mailed.
TEST_F(ServiceRoad, ForgedStopNoticesLeaveMonitoringRunning) {
  InstalledService service;
  ASSERT_TRUE(service.Ok());
  ASSERT_TRUE(service.Start());
  const std::wstring notice = modFilterEvents::kStopNotice;
  ASSERT_TRUE(WriteEntry(L"SomeUserTool", platform::kEventInformation, 10177, notice));
  ASSERT_TRUE(WriteEntry(testsupport::kEventSource, platform::kEventInformation, 10177, L"x " + notice));
  const std::string named = Token("named");
  const std::string path =
      "C:\\Users\\someone\\Downloads\\" + named + " " + testsupport::kProductNameA + " - stopping event service....exe";
  ASSERT_TRUE(WriteEntry(kPolicySource, platform::kEventWarning, 866,
                         W("Access to " + path + " has been restricted by your Administrator.")));
  const std::string mail = WaitForMail(named);
  EXPECT_FALSE(mail.empty()) << "the blocked file that names the notice was not reported";
  const std::string later = Token("later");
  ASSERT_TRUE(WriteEntry(kPolicySource, platform::kEventWarning, 866, W("Blocked " + later)));
  EXPECT_FALSE(WaitForMail(later).empty()) << "monitoring ended";
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_RUNNING));
}

// The running service reads the settings for each mail: switched from TLS (which the sink's
// self-signed certificate makes fail) to plain, the next alert arrives without a restart.
TEST_F(ServiceRoad, SettingsChangedWhileRunningCountForTheNextMail) {
  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kEmailSetupKey, L"UseSSL", L"1"));
  InstalledService service;
  ASSERT_TRUE(service.Ok());
  ASSERT_TRUE(service.Start());
  const std::string refused = Token("tls");
  ASSERT_TRUE(WriteEntry(kPolicySource, platform::kEventWarning, 866, W("Blocked " + refused)));
  EXPECT_TRUE(WaitForMail(refused, 5000).empty()) << "the certificate should have been refused";

  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kEmailSetupKey, L"UseSSL", L"0"));
  const std::string plain = Token("plain");
  ASSERT_TRUE(WriteEntry(kPolicySource, platform::kEventWarning, 866, W("Blocked " + plain)));
  const std::string mail = WaitForMail(plain);
  ASSERT_FALSE(mail.empty()) << "the service kept the old settings";
  EXPECT_TRUE(Has(mail, "X-Sink-TLS: no\r\n")) << mail;
}

// The service (SYSTEM) logs in with the stored password: a scrambled one an earlier version left
// where every user reads it is moved to the protected key at the first mail, and deleted.
TEST_F(ServiceRoad, ServiceLogsInWithTheStoredPasswordAndMovesAScrambledOne) {
  const std::wstring password = L"Pa55 w\xF6rd!";  // the sink's alert account
  const std::wstring scrambled = modBase85::ScrambleString(password, modBase85::kScrambleKey);
  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kEmailSetupKey, L"EmailAddress", L"alerts@example.test"));
  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kEmailSetupKey, L"Authenticate", L"1"));
  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kEmailSetupKey, L"EmailPassword", scrambled));
  InstalledService service;
  ASSERT_TRUE(service.Ok());
  ASSERT_TRUE(service.Start());
  const std::string first = Token("login");
  ASSERT_TRUE(WriteEntry(kPolicySource, platform::kEventWarning, 866, W("Blocked " + first)));
  const std::string mail = WaitForMail(first);
  ASSERT_FALSE(mail.empty()) << "the sink refused the login or got no mail";
  EXPECT_TRUE(Has(mail, "X-Sink-Login: alerts@example.test\r\n")) << mail;

  std::wstring stored;
  EXPECT_TRUE(testsupport::StoredMailPassword(stored));
  EXPECT_EQ(stored, password);
  EXPECT_EQ(testsupport::ProductSetting(L"EmailPassword", L"\\Email Setup"), L"<missing>");
  testsupport::ExpectPasswordKeyClosedToUsers();
  std::vector<std::string> forms = testsupport::TextForms(password);
  forms.push_back(platform::ToUtf8(scrambled));
  testsupport::ExpectNoUserReadableValueHolds(forms);

  // From the protected key alone, the next mail logs in as well.
  const std::string second = Token("login-again");
  ASSERT_TRUE(WriteEntry(kPolicySource, platform::kEventWarning, 866, W("Blocked " + second)));
  const std::string again = WaitForMail(second);
  ASSERT_FALSE(again.empty());
  EXPECT_TRUE(Has(again, "X-Sink-Login: alerts@example.test\r\n")) << again;
}

// A standard user who makes the guard's name first must not keep the service from starting.
TEST_F(ServiceRoad, SquattedGuardObjectDoesNotStopTheServiceStarting) {
  platform::UniqueKernelHandle squatter(CreateMutexW(nullptr, FALSE, testsupport::kServiceInstanceMutex));
  ASSERT_TRUE(squatter);
  InstalledService service;
  ASSERT_TRUE(service.Ok());
  ASSERT_TRUE(service.Start()) << "the service did not reach RUNNING";
  const std::string blocked = Token("squatted");
  ASSERT_TRUE(WriteEntry(kPolicySource, platform::kEventWarning, 866, W("Blocked " + blocked)));
  EXPECT_FALSE(WaitForMail(blocked).empty());
}

// A burst of blocked entries and alert entries while the mail server never answers: every mail
// would wait for its time-out, yet the stop is answered at once.
TEST_F(ServiceRoad, StopDuringABurstWithASilentServerEndsTheServiceAtOnce) {
  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kEmailSetupKey, L"SMTPPort", std::to_wstring(kSilentPort)));
  InstalledService service;
  ASSERT_TRUE(service.Ok());
  ASSERT_TRUE(service.Start());
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(WriteEntry(kPolicySource, platform::kEventWarning, 866, W(Token("burst"))));
    ASSERT_TRUE(WriteEntry(kFilterModSource, platform::kEventWarning, 10177, AlertEntryText(Token("C:\\burst"))));
  }
  Sleep(1500);  // the first mail is under way
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_RUNNING));
  SERVICE_STATUS status{};
  ASSERT_TRUE(service.Control(SERVICE_CONTROL_STOP, status));
  // One mail alone waits a minute for the silent server; thirty, half an hour.
  EXPECT_TRUE(service.WaitForState(SERVICE_STOPPED, 2000)) << "the stop waited for the mails";
}

// A flood of entries is bounded: the same program is mailed once; the entries of one account get
// ten mails, and entries naming any number of made-up accounts share the kind's thirty. The rest
// wait for the summary (which the in-process test below sees; here it is ten minutes away).
TEST_F(ServiceRoad, BurstsAreMailedOncePerProgramWithinTheAccountsShareAndTheKindsThirty) {
  struct Case {
    const char* name;
    int programs;
    bool madeUpAccounts;  // each entry names an account of its own; else all name this process's
    int mails;
  };
  for (const Case c : {Case{"five-programs", 5, false, 5}, Case{"two-hundred-programs", 200, false, 10},
                       Case{"two-hundred-made-up-accounts", 200, true, 30}}) {
    SCOPED_TRACE(c.name);
    InstalledService service;
    ASSERT_TRUE(service.Ok());
    ASSERT_TRUE(service.Start());
    const std::string burst = Token(c.name);
    for (int i = 0; i < 200; ++i) {
      const std::string program = "C:\\Users\\u\\AppData\\" + burst + "-" + std::to_string(i % c.programs) + ".exe";
      ASSERT_TRUE(c.madeUpAccounts ? WriteAlertOfKind(Kind::FilterModule, program, MadeUpAccount(i))
                                   : WriteRealAlertOfKind(Kind::FilterModule, program));
    }
    EXPECT_EQ(WaitForMails(burst, c.mails, 30000), c.mails);
    Sleep(3000);  // anything more would be in by now
    EXPECT_EQ(MailsWith(burst), c.mails);
  }
}

// Anyone can write 866 entries under the policy's source and alert entries under the module's, and
// name any account in them. A flood of one kind, even one that takes that kind's whole budget by
// naming a made-up account in each entry, holds back none of the other kind; the flood of one
// account, or of entries naming none, takes that account's share and holds back no other account's
// alert of the same kind. The real alert after the flood is mailed at once.
TEST_F(ServiceRoad, AFloodHoldsBackNeitherTheOtherKindNorAnotherAccount) {
  struct Case {
    const char* name;
    Kind flood;
    bool accountPerEntry;      // each entry names a made-up account of its own
    std::wstring floodAccount;  // else all name this one ("" none)
    Kind real;
    int floodMails;
  };
  const Case cases[] = {
      {"policy-flood-then-module-block", Kind::Policy, true, L"", Kind::FilterModule, 30},
      {"module-flood-then-policy-block", Kind::FilterModule, true, L"", Kind::Policy, 30},
      {"module-alerts-of-one-account", Kind::FilterModule, false, MadeUpAccount(1), Kind::FilterModule, 10},
      {"module-alerts-naming-none", Kind::FilterModule, false, L"", Kind::FilterModule, 10},
      {"policy-entries-of-one-account", Kind::Policy, false, MadeUpAccount(2), Kind::Policy, 10},
      {"policy-entries-naming-none", Kind::Policy, false, L"", Kind::Policy, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InstalledService service;
    ASSERT_TRUE(service.Ok());
    ASSERT_TRUE(service.Start());
    const std::string flood = Token("flood");
    for (int i = 0; i < 60; ++i)
      ASSERT_TRUE(WriteAlertOfKind(c.flood, "C:\\Users\\u\\Downloads\\" + flood + "-" + std::to_string(i) + ".exe",
                                   c.accountPerEntry ? MadeUpAccount(i) : c.floodAccount));
    const std::string real = Token("real");
    ASSERT_TRUE(WriteRealAlertOfKind(c.real, "C:\\Users\\v\\AppData\\Roaming\\" + real + "\\dropper.exe"));
    EXPECT_FALSE(WaitForMail(real).empty()) << "the flood held the alert back";
    // Sends go in order: the flood's mails before the real one are all it had.
    EXPECT_EQ(MailsWith(flood), c.floodMails);
  }
}

// A message file of the test's own, registered for a source: a copy of the product's message DLL
// whose last access is set far back, so that the file showing a later access tells that someone
// loaded it (the file system notes an access when the last one is older than the last write).
class WatchedMessageFile {
 public:
  WatchedMessageFile(const std::wstring& source, const std::wstring& path) : source_(source), path_(path) {
    const std::wstring key = kSourcesKey + source;
    testsupport::RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, key);
    ok_ = CopyFileW((testsupport::ProgramsDir() + modWriteEvent::kMessageDll).c_str(), path.c_str(), FALSE) &&
          testsupport::RegWriteString(HKEY_LOCAL_MACHINE, key, L"EventMessageFile", path) && SetAccessLongAgo() &&
          !Loaded();
  }
  ~WatchedMessageFile() { testsupport::RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kSourcesKey + source_); }
  bool Ok() const { return ok_; }
  // True when the file was read since it was set up.
  bool Loaded() const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    SYSTEMTIME accessed{};
    return GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data) &&
           FileTimeToSystemTime(&data.ftLastAccessTime, &accessed) && accessed.wYear > kLongAgo.wYear;
  }

 private:
  static constexpr wchar_t kSourcesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\";
  static constexpr SYSTEMTIME kLongAgo = {2001, 1, 0, 1, 0, 0, 0, 0};
  bool SetAccessLongAgo() const {
    platform::UniqueFileHandle file(CreateFileW(path_.c_str(), FILE_WRITE_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
    FILETIME longAgo{};
    return file && SystemTimeToFileTime(&kLongAgo, &longAgo) && SetFileTime(file.get(), nullptr, &longAgo, nullptr);
  }
  std::wstring source_, path_;
  bool ok_ = false;
};

// The service formats the text only of the entries it mails: of another source, or of another ID of
// the policy's source, no message file is loaded (as SYSTEM, on Windows). The policy's 866 loads
// its source's file, which shows that a load would be seen.
TEST_F(ServiceRoad, EntriesItDoesNotMailAreNeverFormatted) {
  testsupport::ScratchDir dir;
  const std::wstring otherSource = L"IlOtherTool" + W(Token("src"));
  WatchedMessageFile policyFile(kPolicySource, dir / L"policy-messages.dll");
  WatchedMessageFile otherFile(otherSource, dir / L"other-messages.dll");
  ASSERT_TRUE(policyFile.Ok() && otherFile.Ok()) << "the last access could not be set back";
  InstalledService service;
  ASSERT_TRUE(service.Ok());
  ASSERT_TRUE(service.Start());

  struct Entry {
    const std::wstring* source;
    uint32_t id;
  };
  const std::wstring policySource = kPolicySource;
  for (const Entry e : {Entry{&otherSource, 866}, Entry{&otherSource, 10177}, Entry{&otherSource, 4242},
                        Entry{&policySource, 865}, Entry{&policySource, 10177}}) {
    SCOPED_TRACE(testing::Message() << platform::ToUtf8(*e.source) << " " << e.id);
    ASSERT_TRUE(WriteEntry(*e.source, platform::kEventWarning, e.id, L"Access to C:\\x\\y.exe was restricted."));
  }
  // Handled in order: once the module's alert after them is mailed, they were passed over.
  const std::string marker = Token("marker");
  ASSERT_TRUE(WriteRealAlertOfKind(Kind::FilterModule, "C:\\Users\\u\\" + marker + ".exe"));
  ASSERT_FALSE(WaitForMail(marker).empty());
  EXPECT_FALSE(otherFile.Loaded()) << "the message file of another source was loaded";
  EXPECT_FALSE(policyFile.Loaded()) << "an entry of another ID of the policy's source was formatted";

  const std::string blocked = Token("blocked");
  ASSERT_TRUE(WriteRealAlertOfKind(Kind::Policy, "C:\\Users\\u\\" + blocked + ".exe"));
  ASSERT_FALSE(WaitForMail(blocked).empty());
  EXPECT_TRUE(policyFile.Loaded()) << "the policy's 866 was not formatted: a load would not have shown";
  EXPECT_FALSE(otherFile.Loaded());
}

// A stop request without the notice still ends the service, within the loop's polling time; a copy
// started by hand meanwhile ends without a word.
TEST_F(ServiceRoad, StopRequestAloneEndsTheServiceAndASecondCopyEndsSilently) {
  InstalledService service;
  ASSERT_TRUE(service.Ok());
  ASSERT_TRUE(service.Start());

  const std::wstring log = service.Dir() / L"prompts.log";
  const testsupport::RunResult second = testsupport::RunProcess(
      L"\"" + (service.Dir() / testsupport::kServiceProgram) + L"\"", {L"ILATCH_PROMPT_LOG=" + log}, 20000);
  ASSERT_TRUE(second.finished);
  EXPECT_TRUE(testsupport::ReadPromptLog(log).empty());
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_RUNNING));

  SERVICE_STATUS status{};
  ASSERT_TRUE(service.Control(SERVICE_CONTROL_STOP, status));
  EXPECT_TRUE(service.WaitForState(SERVICE_STOPPED, 10000));
}

TEST(ServiceByHand, StartedFromAPromptSaysSoAndEnds) {
  testsupport::InstalledProgram program(testsupport::kServiceProgram);
  const testsupport::RunResult run = program.Run(L"", L"", 30000);
  ASSERT_TRUE(run.finished);
  const auto prompts = program.Prompts();
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_EQ(prompts[0].kind, L"box");
  ASSERT_GE(prompts[0].fields.size(), 3u);
  EXPECT_EQ(prompts[0].fields[0], testsupport::kProductName);
  EXPECT_EQ(prompts[0].fields[2], L"This program must be started as a service.");
}

// The service asks a short-lived copy of itself for the mail's LAN address (the query's libraries
// are never unloaded): the copy answers with what the query gives in this process and ends.
TEST(LanAddressHelper, CopyAnswersWithTheQueryTextAndEnds) {
  testsupport::InstalledProgram program(testsupport::kServiceProgram);
  const platform::CapturedRun run =
      platform::RunAndCapture(L"\"" + program.ExePath() + L"\" /lanaddress", 30000, 4096);
  ASSERT_EQ(run.startError, 0u);
  ASSERT_TRUE(run.finished) << "the helper did not end";
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.output, platform::ToUtf8(modEmailSvc::GetLanIPs()));
}

// The service reads what its helper writes: never more than the cap, never past the limit, and
// not on once a stop is asked for; a program that outgrows a bound is ended.
TEST(LanAddressHelper, CapturedRunIsBoundedInSizeAndTime) {
  testsupport::ScratchDir dir;
  const std::wstring sleeper = dir / L"sleeper.exe";
  ASSERT_TRUE(testsupport::CopyProgram(L"fakeprog.exe", sleeper));
  ASSERT_TRUE(testsupport::WriteTextFile(dir / L"sleeper.fake.ini", "[fake]\r\nsleepms=60000\r\n"));
  platform::UniqueKernelHandle stop(CreateEventW(nullptr, TRUE, TRUE, nullptr));
  const std::wstring sleeping = L"\"" + sleeper + L"\"";
  struct Case {
    const char* name;
    std::wstring line;
    DWORD limitMs;
    HANDLE abandon;
    bool finished;
    std::string output;  // exactly, or its first bytes when the cap cut it
    size_t size;
    DWORD atMostMs;
  } cases[] = {
      {"answers and ends", L"cmd.exe /c echo 10.0.0.5 (DHCP)", 20000, nullptr, true, "10.0.0.5 (DHCP)\r\n", 17, 15000},
      {"writes past the cap", L"cmd.exe /c \"for /l %i in (1,1,100000) do @echo 0123456789\"", 60000, nullptr, false,
       "0123456789\r\n", 100, 30000},
      {"silent past the limit", sleeping, 1000, nullptr, false, "", 0, 10000},
      {"a stop asked for", sleeping, 60000, stop.get(), false, "", 0, 10000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DWORD start = GetTickCount();
    const platform::CapturedRun run = platform::RunAndCapture(c.line, c.limitMs, 100, c.abandon);
    const DWORD spent = GetTickCount() - start;
    EXPECT_EQ(run.startError, 0u);
    EXPECT_EQ(run.finished, c.finished);
    EXPECT_EQ(run.output.size(), c.size);
    EXPECT_EQ(run.output.substr(0, c.output.size()), c.output);
    EXPECT_LT(spent, c.atMostMs);
    if (c.limitMs < 60000 && !c.finished) {
      EXPECT_GE(spent + 50, c.limitMs) << "ended before its limit";
    }
  }
  // Each program that outgrew a bound was ended: the sleeper's file can go at once.
  EXPECT_TRUE(DeleteFileW(sleeper.c_str())) << "a run left its program running";
}

// ---- The filter in process -----------------------------------------------------------------------

class FilterTest : public AlertSettings {
 protected:
  void SetUp() override {
    AlertSettings::SetUp();
    CommonModule::IniPath = ini_ / testsupport::kSettingsIni;
    Module1::BuildProductTitle();
    modFilterEvents::StopServiceFlag = false;
    modFilterEvents::EventTimeShift.clear();
    modFilterEvents::ResetAlertLimits([this] { return now_; });
  }
  uint64_t now_ = 1000;
  // An entry as the event loop hands it on; its message carries token.
  static bool Filter(const std::wstring& code, const std::string& token, const std::wstring& extra = L"",
                     const std::wstring& source = kPolicySource) {
    return modFilterEvents::FilterEvent(L"Warning", code, source, W("Blocked " + token) + extra, L"Application",
                                        L"20140601120000.000000+000");
  }
  testsupport::ScratchDir ini_;
};

// "wakes": the entry makes the loop look for a stop request; it never stops the loop itself.
TEST_F(FilterTest, OnlyTheBlockedCodeMailsAndOnlyTheOwnSourcesNoticeWakes) {
  struct Case {
    const char* name;
    const wchar_t* code;
    std::wstring extra;
    const wchar_t* source;
    bool wakes;
    bool mails;
  };
  const std::wstring kStopNotice = std::wstring(L" ") + testsupport::kProductName + L" - stopping event service...";
  const Case cases[] = {
      {"notice-in-blocked-name", L"866", platform::Upper(kStopNotice), kPolicySource, false, true},
      {"notice-other-source", L"10177", kStopNotice, L"SomeUserTool", false, false},
      {"notice-own-source", L"10177", platform::Lower(kStopNotice), testsupport::kEventSource, true, false},
      {"blanks", L" 866 ", L"", kPolicySource, false, true},
      {"near", L"8660", L"", kPolicySource, false, false},
      {"own", L"10177", L"", testsupport::kFilterModuleEventSource, false, false},
      {"blocked-other-source", L"866", L"", L"SomeUserTool", false, false},
      {"blocked-source-with-blanks", L"866", L"", L" Microsoft-Windows-SoftwareRestrictionPolicies ", false, true},
  };
  std::vector<std::pair<std::string, bool>> sent;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string token = Token(c.name);
    EXPECT_EQ(Filter(c.code, token, c.extra, c.source), c.wakes);
    EXPECT_FALSE(modFilterEvents::StopServiceFlag);
    sent.emplace_back(token, c.mails);
  }
  // Sends are synchronous: once the last mail is in, every earlier one is too.
  const std::string last = Token("last");
  Filter(L"866", last);
  ASSERT_FALSE(WaitForMail(last).empty());
  for (const auto& [token, mails] : sent) EXPECT_EQ(AnyMailHas(token), mails) << token;
}

// The filter module's alert entries are mailed with their own subject and body, only from the
// module's source, only in the module's form and of its kinds.
TEST_F(FilterTest, FilterModuleAlertsAreMailedAsTheModuleWroteThem) {
  struct Case {
    const char* name;
    const wchar_t* source;
    const wchar_t* subject;
    bool mails;
  };
  const Case cases[] = {
      {"blocked", kFilterModSource, L"Restricted program blocked!", true},
      {"typed", kFilterModSource, L"Restricted .SCR program allowed!", true},
      {"hash", kFilterModSource, L"Restricted program blocked by HASH rule!", true},
      {"other-source", L"SomeUserTool", L"Restricted program blocked!", false},
      {"not-a-module-subject", kFilterModSource, L"Your mailbox is full", false},
      {"long-extension", kFilterModSource, L"Restricted .ABCDEFGHIJKLMNOPQ program blocked!", false},
  };
  std::vector<std::pair<std::string, bool>> sent;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string program = "C:\\Users\\u\\AppData\\" + Token(c.name) + ".exe";
    EXPECT_FALSE(modFilterEvents::FilterEvent(L"Warning", L"10177", c.source, AlertEntryText(program, c.subject),
                                              L"Application", L"20140601120000.000000+000"));
    sent.emplace_back(program, c.mails);
  }
  // Marked, but not in the form: the marking without its lines, and the lines without the marking.
  const std::string broken = Token("broken");
  const std::wstring whole = AlertEntryText(broken);
  for (const std::wstring& text : {std::wstring(AlertEntry::kMarking) + L"\r\n" + W(broken),
                                   whole.substr(whole.find(L"\r\n") + 2)})
    modFilterEvents::FilterEvent(L"Warning", L"10177", kFilterModSource, text, L"Application", L"");

  const std::string last = Token("last");
  Filter(L"866", last);
  ASSERT_FALSE(WaitForMail(last).empty());
  for (const auto& [program, mails] : sent) EXPECT_EQ(AnyMailHas(program), mails) << program;
  EXPECT_FALSE(AnyMailHas(broken));
  const std::string mail = WaitForMail(sent[0].first);
  EXPECT_TRUE(Has(mail, "\r\nSubject: Restricted program blocked! - \r\n")) << mail;
  EXPECT_TRUE(Has(mail, "A restricted program was blocked from execution by user click:\r\n\r\n" + sent[0].first))
      << mail;
  EXPECT_FALSE(Has(mail, "[Alert mail]")) << mail;
}

// A flood naming no account: its ten mails, then, once the ten minutes after the first alert held
// back are up, one summary that names each kind held back and counts it; no second summary.
TEST_F(FilterTest, TheSummaryNamesEachKindHeldBack) {
  const std::string rest =
      " not mailed: at most 30 alert mails of each kind go out in any 10 minutes, at most 10 of them for the "
      "entries of one account. The Application event log holds every one of them.";
  struct Case {
    const char* name;
    int policyEntries;
    int moduleEntries;
    std::string text;
  };
  const Case cases[] = {
      {"policy", 60, 0, "50 policy alerts (event 866) were" + rest},
      {"one-module-alert", 0, 11, "1 filter-module alert was" + rest},
      {"both", 60, 200, "50 policy alerts (event 866) and 190 filter-module alerts were" + rest},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    modFilterEvents::ResetAlertLimits([this] { return now_; });
    // The client's name ends the summary's subject: it picks out this case's summary.
    const std::string client = Token(c.name);
    ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"ClientName", W(client)));
    const std::string flood = Token("flood");
    for (int i = 0; i < c.policyEntries; ++i) {
      Filter(L"866", flood + "-" + std::to_string(i));
      now_ += 10;
    }
    for (int i = 0; i < c.moduleEntries; ++i) {
      const std::string program = "C:\\Users\\u\\AppData\\" + flood + "-" + std::to_string(i) + ".exe";
      modFilterEvents::FilterEvent(L"Warning", L"10177", kFilterModSource, AlertEntryText(program), L"Application",
                                   L"");
      now_ += 10;
    }
    modFilterEvents::SendDueSummary();  // not due yet
    now_ += 10 * 60 * 1000;
    modFilterEvents::SendDueSummary();
    modFilterEvents::SendDueSummary();
    const std::string subject = "\r\nSubject: Alerts not mailed - " + client + "\r\n";
    ASSERT_EQ(WaitForMails(subject, 1, 15000), 1);
    const std::string summary = WaitForMail(subject);
    EXPECT_TRUE(Has(summary, "\r\n\r\n" + c.text + "\r\n\r\nThis message sent by ")) << summary;
    EXPECT_EQ(MailsWith(flood), (c.policyEntries > 0 ? 10 : 0) + (c.moduleEntries > 0 ? 10 : 0));
    Sleep(500);
    EXPECT_EQ(MailsWith(subject), 1) << "a second summary";
  }
}

TEST_F(FilterTest, AlertsOffInRegistryAndIniSendNothing) {
  DeleteSettingsValue(L"EmailAlerts");
  const std::string off = Token("off");
  Filter(L"866", off);
  CommonModule::WriteIni(CommonModule::IniPath, L"EmailConfig", L"EmailAlerts", L"0");
  Filter(L"866", off);
  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"EmailAlerts", L"1"));
  DeleteFileW(CommonModule::IniPath.c_str());
  const std::string last = Token("last");
  Filter(L"866", last);
  ASSERT_FALSE(WaitForMail(last).empty());
  EXPECT_FALSE(AnyMailHas(off));
}

TEST(FilterText, HeaderNamesThePreventionTestsPrograms) {
  EXPECT_EQ(modFilterEvents::AlertText(L"Message: C:\\x\\HelloWorld2.EXE\r\n"),
            L"TEST EVENT\r\n\r\nMessage: C:\\x\\HelloWorld2.EXE\r\n");
  EXPECT_EQ(modFilterEvents::AlertText(L"Message: helloworld.exe\r\n").substr(0, 12), L"TEST EVENT\r\n");
  EXPECT_EQ(modFilterEvents::AlertText(L"Message: evil.exe\r\n"),
            L"SUSPICIOUS APPLICATION BLOCKED\r\n\r\nMessage: evil.exe\r\n");
}

// The setting is read for each alert, the INI's before the registry's, and the label follows the
// setting that shifts the time; "n" moves the time n hours.
TEST_F(FilterTest, TimeLineFollowsTheShiftSettingAsItStandsNow) {
  const std::wstring noon = L"20140601120000.000000+000";
  struct Case {
    const char* name;
    const wchar_t* ini;       // nullptr: no INI value
    const wchar_t* registry;  // nullptr: no registry value
    const wchar_t* expected;  // provider time of the expected line
    const wchar_t* label;
  };
  const Case cases[] = {
      {"none", nullptr, nullptr, L"20140601120000", L"Time (UTC): "},
      {"registry-minus", nullptr, L"-5", L"20140601070000", L"Time: "},
      {"registry-plus", nullptr, L"5", L"20140601170000", L"Time: "},
      {"ini-wins", L"2", L"-5", L"20140601140000", L"Time: "},
      {"double-minus", L"--5", nullptr, L"20140601070000", L"Time: "},
      {"not-a-number", nullptr, L"abc", L"20140601120000", L"Time: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFileW(CommonModule::IniPath.c_str());
    DeleteSettingsValue(L"UTCAdjustment");
    if (c.ini) CommonModule::WriteIni(CommonModule::IniPath, L"Config", L"UTCAdjustment", c.ini);
    if (c.registry) {
      ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"UTCAdjustment", c.registry));
    }
    const std::wstring body = modFilterEvents::AlertBody(L"Warning", L"866", kPolicySource, L"m", L"Application", noon);
    const std::wstring line = body.substr(0, body.find(L"\r\n"));
    EXPECT_EQ(line, c.label + modFilterEvents::ParseWmiDate(c.expected)) << platform::ToUtf8(line);
  }
}

TEST(FilterText, ProviderTimesThatAreNoTimesStayAsTheyAre) {
  for (const wchar_t* text : {L"", L"2014", L"2014060112000x", L"20141301120000"})
    EXPECT_EQ(modFilterEvents::ParseWmiDate(text), text);
  const std::wstring parsed = modFilterEvents::ParseWmiDate(L"20140601120000.123456-300");
  EXPECT_EQ(parsed, modFilterEvents::ParseWmiDate(L"20140601120000"));
  EXPECT_TRUE(platform::Contains(parsed, L"2014")) << platform::ToUtf8(parsed);
}

TEST(AlertEntryText, ParsesBackWhatItWroteAndNothingElse) {
  const AlertEntry::Alert alert{L"Restricted program blocked!", L"C:\\x\\a.exe",
                                L"A restricted program was blocked:\r\n\r\nC:\\x\\a.exe\r\n"};
  const auto back = AlertEntry::Parse(AlertEntry::Format(alert));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->subject, alert.subject);
  EXPECT_EQ(back->program, alert.program);
  EXPECT_EQ(back->body, alert.body);

  // A subject or program with a line break cannot add lines of its own.
  const auto flat = AlertEntry::Parse(AlertEntry::Format({L"a\r\nBcc: x@y", L"p\r\nq", L"b"}));
  ASSERT_TRUE(flat);
  EXPECT_EQ(flat->subject, L"a  Bcc: x@y");
  EXPECT_EQ(flat->program, L"p  q");

  const std::wstring good = AlertEntry::Format(alert);
  for (const std::wstring& text :
       {std::wstring(), good.substr(1), L" " + good, AlertEntry::Format({L"", L"p", L"b"}),
        AlertEntry::Format({L"s", L"", L"b"}), AlertEntry::Format({L"s", L"p", L""}),
        AlertEntry::Format({std::wstring(201, L's'), L"p", L"b"}), AlertEntry::Format({L"s", L"p", std::wstring(32000, L'b')})}) {
    SCOPED_TRACE(platform::ToUtf8(text.substr(0, 40)));
    EXPECT_FALSE(AlertEntry::Parse(text));
  }
}

}  // namespace
