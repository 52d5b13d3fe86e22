// The event monitoring service: installed and started under the service manager from a scratch
// folder, fed entries through the Application log, mailing to the local SMTP sink; and its event
// filter in process.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "alerts/modWriteEvent.h"
#include "common/CommonModule.h"
#include "eventsvc/Module1.h"
#include "eventsvc/modFilterEvents.h"
#include "platform/EventLog.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "tests/support/TestSupport.h"

namespace {

using platform::UniqueServiceHandle;
using testsupport::ReadFileBytes;

constexpr uint16_t kSinkPort = 47025;
const wchar_t kSettingsKey[] = L"Software\\Merrowind IT\\Ironlatch";
const wchar_t kEmailKey[] = L"Software\\Merrowind IT\\Ironlatch\\Email Setup";
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
    ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kEmailKey, L"EmailAddress", L"owner@example.test"));
    ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kEmailKey, L"SMTPServer", L"127.0.0.1"));
    ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kEmailKey, L"SMTPPort", std::to_wstring(kSinkPort)));
  }
  void TearDown() override { Clear(); }
  static void Clear() {
    testsupport::RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kEmailKey);
    for (const wchar_t* value : {L"EmailAlerts", L"UTCAdjustment", L"ClientName"}) DeleteSettingsValue(value);
  }
};

// ---- The service under the service manager -----------------------------------------------------

// The built service and main program copied into a scratch folder, registered under a name of its
// own; stopped and deleted again when the object goes.
class InstalledService {
 public:
  InstalledService() : name_(L"IlEvtSvcTest" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                             std::to_wstring(GetTickCount())) {
    ok_ = testsupport::CopyProgram(L"IronlatchEventSvc.exe", dir_ / L"IronlatchEventSvc.exe") &&
          testsupport::CopyProgram(L"Ironlatch.exe", dir_ / L"Ironlatch.exe");
    manager_.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!ok_ || !manager_) return;
    const std::wstring binary = L"\"" + (dir_ / L"IronlatchEventSvc.exe") + L"\" ";
    service_.reset(CreateServiceW(manager_.get(), name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS,
                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                  binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    ok_ = static_cast<bool>(service_);
  }
  ~InstalledService() {
    if (!service_) return;
    SERVICE_STATUS status{};
    if (State() != SERVICE_STOPPED) {
      ControlService(service_.get(), SERVICE_CONTROL_STOP, &status);
      WaitForState(SERVICE_STOPPED, 15000);
    }
    DeleteService(service_.get());
  }
  InstalledService(const InstalledService&) = delete;
  InstalledService& operator=(const InstalledService&) = delete;

  bool Ok() const { return ok_; }
  const testsupport::ScratchDir& Dir() const { return dir_; }
  bool Start() { return StartServiceW(service_.get(), 0, nullptr) && WaitForState(SERVICE_RUNNING, 20000); }
  DWORD State() const {
    SERVICE_STATUS status{};
    return QueryServiceStatus(service_.get(), &status) ? status.dwCurrentState : 0;
  }
  bool Control(DWORD code, SERVICE_STATUS& status) { return ControlService(service_.get(), code, &status) != FALSE; }
  bool WaitForState(DWORD state, DWORD timeoutMs) const {
    const DWORD start = GetTickCount();
    do {
      if (State() == state) return true;
      Sleep(100);
    } while (GetTickCount() - start < timeoutMs);
    return State() == state;
  }

 private:
  testsupport::ScratchDir dir_;
  std::wstring name_;
  UniqueServiceHandle manager_;
  UniqueServiceHandle service_;
  bool ok_ = false;
};

bool WriteEntry(const std::wstring& source, uint16_t type, uint32_t id, const std::wstring& text) {
  platform::EventSource s(source);
  return s.Ok() && s.Report(type, 0, id, {text});
}

bool WriteStopNotice() {
  return modWriteEvent::WriteEventAs(L"Ironlatch", modFilterEvents::kStopNotice, 0);
}

using ServiceRoad = AlertSettings;

TEST_F(ServiceRoad, BlockedEntryMailsOthersDoNotAndTheStopNoticeEndsTheService) {
  InstalledService service;
  ASSERT_TRUE(service.Ok());
  ASSERT_TRUE(service.Start());

  SERVICE_STATUS status{};
  ASSERT_TRUE(service.Control(SERVICE_CONTROL_INTERROGATE, status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));

  // Entries that must not mail come first: once the blocked entry's mail is in, they were handled.
  const std::string ownEntry = Token("own"), nearCode = Token("near");
  ASSERT_TRUE(WriteEntry(L"IronlatchFilterMod", platform::kEventInformation, 10177, W(ownEntry)));
  ASSERT_TRUE(WriteEntry(kPolicySource, platform::kEventWarning, 8660, W(nearCode)));
  const std::string blocked = Token("blocked");
  const std::string path = "C:\\Users\\someone\\AppData\\Roaming\\" + blocked + "\\dropper.exe";
  ASSERT_TRUE(WriteEntry(kPolicySource, platform::kEventWarning, 866,
                         W("Access to " + path + " has been restricted by your Administrator.")));

  const std::string mail = WaitForMail(blocked);
  ASSERT_FALSE(mail.empty()) << "no alert mail";
  EXPECT_TRUE(Has(mail, "\r\nSubject: Blocked Application Alert! - \r\n")) << mail;
  EXPECT_TRUE(Has(mail, "\r\n\r\nComputer Name:  ")) << mail;
  EXPECT_TRUE(Has(mail, "\r\nSUSPICIOUS APPLICATION BLOCKED\r\n\r\nTime (UTC): ")) << mail;
  EXPECT_TRUE(Has(mail, "\r\nEvent Log: Application\r\nEvent Type: Warning\r\nEvent ID: 866\r\n"
                        "Source Name: Microsoft-Windows-SoftwareRestrictionPolicies\r\nMessage: Access to " +
                            path + " has been restricted by your Administrator.\r\n"))
      << mail;
  EXPECT_TRUE(Has(mail, "This message sent by Ironlatch  v1.0.0.1 (Service Code v1.0.1)")) << mail;
  EXPECT_FALSE(AnyMailHas(ownEntry));
  EXPECT_FALSE(AnyMailHas(nearCode));

  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_RUNNING));
  ASSERT_TRUE(WriteStopNotice());
  EXPECT_TRUE(service.WaitForState(SERVICE_STOPPED, 10000));
}

// A stop request without the notice still ends the service, within the loop's polling time; a copy
// started by hand meanwhile ends without a word.
TEST_F(ServiceRoad, StopRequestAloneEndsTheServiceAndASecondCopyEndsSilently) {
  InstalledService service;
  ASSERT_TRUE(service.Ok());
  ASSERT_TRUE(service.Start());

  const std::wstring log = service.Dir() / L"prompts.log";
  const testsupport::RunResult second = testsupport::RunProcess(
      L"\"" + (service.Dir() / L"IronlatchEventSvc.exe") + L"\"", {L"ILATCH_PROMPT_LOG=" + log}, 20000);
  ASSERT_TRUE(second.finished);
  EXPECT_TRUE(testsupport::ReadPromptLog(log).empty());
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_RUNNING));

  SERVICE_STATUS status{};
  ASSERT_TRUE(service.Control(SERVICE_CONTROL_STOP, status));
  EXPECT_TRUE(service.WaitForState(SERVICE_STOPPED, 10000));
}

TEST(ServiceByHand, StartedFromAPromptSaysSoAndEnds) {
  testsupport::InstalledProgram program(L"IronlatchEventSvc.exe");
  const testsupport::RunResult run = program.Run(L"", L"", 30000);
  ASSERT_TRUE(run.finished);
  const auto prompts = program.Prompts();
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_EQ(prompts[0].kind, L"box");
  ASSERT_GE(prompts[0].fields.size(), 3u);
  EXPECT_EQ(prompts[0].fields[0], L"Ironlatch");
  EXPECT_EQ(prompts[0].fields[2], L"This program must be started as a service.");
}

// ---- The filter in process -----------------------------------------------------------------------

class FilterTest : public AlertSettings {
 protected:
  void SetUp() override {
    AlertSettings::SetUp();
    CommonModule::IniPath = ini_ / L"Ironlatch.ini";
    Module1::BuildProductTitle();
    modFilterEvents::StopServiceFlag = false;
    modFilterEvents::EventTimeShift.clear();
  }
  // An entry as the event loop hands it on; its message carries token.
  static bool Filter(const std::wstring& code, const std::string& token, const std::wstring& extra = L"") {
    return modFilterEvents::FilterEvent(L"Warning", code, kPolicySource, W("Blocked " + token) + extra,
                                        L"Application", L"20140601120000.000000+000");
  }
  testsupport::ScratchDir ini_;
};

TEST_F(FilterTest, OnlyTheBlockedCodeMailsAndTheStopNoticeWinsOverIt) {
  struct Case {
    const char* name;
    const wchar_t* code;
    const wchar_t* extra;
    bool stops;
    bool mails;
  };
  const Case cases[] = {
      {"notice", L"866", L" IRONLATCH - STOPPING EVENT SERVICE...", true, false},
      {"blanks", L" 866 ", L"", false, true},
      {"near", L"8660", L"", false, false},
      {"own", L"10177", L"", false, false},
  };
  std::vector<std::pair<std::string, bool>> sent;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    modFilterEvents::StopServiceFlag = false;
    const std::string token = Token(c.name);
    EXPECT_EQ(Filter(c.code, token, c.extra), c.stops);
    EXPECT_EQ(modFilterEvents::StopServiceFlag, c.stops);
    sent.emplace_back(token, c.mails);
  }
  // Sends are synchronous: once the last mail is in, every earlier one is too.
  const std::string last = Token("last");
  Filter(L"866", last);
  ASSERT_FALSE(WaitForMail(last).empty());
  for (const auto& [token, mails] : sent) EXPECT_EQ(AnyMailHas(token), mails) << token;
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

TEST_F(FilterTest, TimeLineFollowsTheShiftSetting) {
  const std::wstring noon = L"20140601120000.000000+000";
  struct Case {
    const wchar_t* setting;
    const wchar_t* expected;  // provider time of the expected line
    const wchar_t* label;
  };
  const Case cases[] = {
      {L"", L"20140601120000", L"Time (UTC): "},
      {L"-5", L"20140601070000", L"Time: "},
      {L"5", L"20140601140000", L"Time: "},       // five sixtieths of a day
      {L"--5", L"20140601070000", L"Time: "},     // every leading minus goes
      {L"abc", L"20140601120000", L"Time: "},     // not a number: no shift
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.setting));
    modFilterEvents::EventTimeShift = c.setting;
    const std::wstring body = modFilterEvents::AlertBody(L"Warning", L"866", kPolicySource, L"m", L"Application", noon);
    modFilterEvents::EventTimeShift.clear();
    const std::wstring line = body.substr(0, body.find(L"\r\n"));
    EXPECT_EQ(line, c.label + modFilterEvents::ShiftEventTime(modFilterEvents::ParseWmiDate(c.expected)));
  }
  // Without any setting the registry's is loaded on first use, after the label was chosen.
  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"UTCAdjustment", L"-5"));
  const std::wstring body = modFilterEvents::AlertBody(L"Warning", L"866", kPolicySource, L"m", L"Application", noon);
  EXPECT_EQ(modFilterEvents::EventTimeShift, L"-5");
  modFilterEvents::EventTimeShift = L"0";
  EXPECT_EQ(body.substr(0, body.find(L"\r\n")),
            L"Time (UTC): " + modFilterEvents::ShiftEventTime(modFilterEvents::ParseWmiDate(L"20140601070000")));
}

TEST(FilterText, ProviderTimesThatAreNoTimesStayAsTheyAre) {
  for (const wchar_t* text : {L"", L"2014", L"2014060112000x", L"20141301120000"})
    EXPECT_EQ(modFilterEvents::ParseWmiDate(text), text);
  const std::wstring parsed = modFilterEvents::ParseWmiDate(L"20140601120000.123456-300");
  EXPECT_EQ(parsed, modFilterEvents::ParseWmiDate(L"20140601120000"));
  EXPECT_TRUE(platform::Contains(parsed, L"2014")) << platform::ToUtf8(parsed);
}

}  // namespace
