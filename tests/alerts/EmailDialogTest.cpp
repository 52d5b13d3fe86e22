// The e-mail set-up dialog as a user meets it: opened by the e-mail question ("/showemail") of the
// real program under the test display, filled in and saved, a test mail sent to the local SMTP
// sink, and what is then stored and whether the event service was installed.
#include <gtest/gtest.h>

#include <memory>

#include "alerts/Form9Ids.h"
#include "notify/modBase85.h"
#include "tests/support/EventService.h"
#include "tests/support/LiveWindow.h"
#include "tests/support/MailPasswordChecks.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;
using namespace livewindow;

namespace {

const std::wstring kEmailQuestion =
    std::wstring(kProductName) +
    L" can email you when an application is blocked.  Would you like to set up an email account for email "
    L"alerts?";
std::wstring Email(const wchar_t* value) { return ProductSetting(value, L"\\Email Setup"); }

class EmailDialog : public testing::Test {
 protected:
  void SetUp() override {
    Clean();
    // Beside the program, as installed: the dialog starts the service it installs.
    ASSERT_TRUE(CopyProgram(kServiceProgram, program_.Folder() + kServiceProgram));
  }
  void TearDown() override { Clean(); }
  static void Clean() {
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kMakerKey);
    eventservice::Remove();
    for (int i = 0; i < 100 && eventservice::Exists(); ++i) Sleep(100);
  }

  // The password as typed in the protected value, its key closed to users, and no trace of it
  // (in clear or scrambled) where a standard user can read.
  static void ExpectOnlyProtected(const std::wstring& typed) {
    std::wstring stored;
    EXPECT_TRUE(StoredMailPassword(stored)) << "the protected value is missing or does not decrypt";
    EXPECT_EQ(stored, typed) << "the password is stored as typed";
    ExpectPasswordKeyClosedToUsers();
    std::vector<std::string> forms = TextForms(typed);
    for (const std::string& form : TextForms(modBase85::ScrambleString(typed, modBase85::kScrambleKey)))
      forms.push_back(form);
    ExpectNoUserReadableValueHolds(forms);
    EXPECT_EQ(Email(L"EmailPassword"), L"<missing>");
  }

  // Starts the e-mail question, answers Yes and returns the dialog.
  HWND Open() {
    live_ = std::make_unique<LiveProgram>(L"\"" + program_.ExePath() + L"\" /showemail");
    EXPECT_TRUE(live_->Started());
    EXPECT_EQ(live_->Answer(kProductName, IDYES), kEmailQuestion);
    HWND dialog = live_->Window(L"Email Config - v", true);
    EXPECT_NE(dialog, nullptr) << "the dialog did not appear";
    return dialog;
  }
  // Answers the dialog's box and returns its text.
  std::wstring Told(int button = IDOK) { return live_->Answer(kProductName, button); }

  InstalledProgram program_;
  std::unique_ptr<LiveProgram> live_;
};

}  // namespace

TEST_F(EmailDialog, FirstOpeningShowsTheGmailSetupAndSavingStoresIt) {
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(Text(dialog), L"Email Config - v1.0.1");
  EXPECT_TRUE(IsChecked(dialog, IDC_FORM9_CHECK1)) << "alerts start switched on";
  EXPECT_TRUE(IsChecked(dialog, IDC_FORM9_OPTION1));
  EXPECT_FALSE(IsChecked(dialog, IDC_FORM9_OPTION2));
  EXPECT_TRUE(IsVisible(dialog, IDC_FORM9_LABEL9)) << "the help panel is shown";
  EXPECT_FALSE(IsVisible(dialog, IDC_FORM9_TXTSMTPSERVER)) << "the advanced panel is hidden";
  EXPECT_TRUE(IsVisible(dialog, IDC_FORM9_COMMAND2));
  EXPECT_EQ(Text(GetDlgItem(dialog, IDC_FORM9_LABEL9)), L"Click Here for the Email Setup FAQ");
  EXPECT_EQ(Text(GetDlgItem(dialog, IDC_FORM9_COMMAND1)), L"Save && Close");
  HWND port = GetDlgItem(dialog, IDC_FORM9_COMBOSMTPPORT);
  ASSERT_EQ(SendMessageW(port, CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(ComboItem(port, 0), L"25");
  EXPECT_EQ(ComboItem(port, 1), L"465");
  for (int box : {IDC_FORM9_TXTSMTPUSERNAME, IDC_FORM9_TXTSMTPPASSWORD, IDC_FORM9_TXTSMTPSERVER})
    EXPECT_EQ(Text(GetDlgItem(dialog, box)), L"") << box;

  // The hidden advanced panel's values do not count while the Gmail option is chosen.
  SetText(GetDlgItem(dialog, IDC_FORM9_TXTSMTPUSERNAME), L"  Admin@Example.COM ");
  SetText(GetDlgItem(dialog, IDC_FORM9_TXTSMTPPASSWORD), L"  s3cret pass  ");
  SetText(GetDlgItem(dialog, IDC_FORM9_TXTSMTPSERVER), L"mail.other.test");
  SetText(GetDlgItem(dialog, IDC_FORM9_COMBOSMTPPORT), L"25");
  Press(dialog, IDC_FORM9_COMMAND1);
  EXPECT_EQ(Told(), L"Config Saved, Monitoring Service Started.");
  EXPECT_TRUE(live_->WaitForExit(20000)) << "the dialog closes and the program ends";

  EXPECT_EQ(ProductSetting(L"EmailAlerts"), L"1");
  const std::pair<const wchar_t*, const wchar_t*> stored[] = {
      {L"EmailAddress", L"admin@example.com"}, {L"SMTPServer", L"smtp.gmail.com"}, {L"SMTPPort", L"465"},
      {L"Authenticate", L"1"}, {L"UseSSL", L"1"}, {L"FromEmail", L"<missing>"}, {L"SendToEmail", L"<missing>"}};
  for (const auto& [value, expected] : stored) EXPECT_EQ(Email(value), expected) << value;
  ExpectOnlyProtected(L"  s3cret pass  ");
  EXPECT_TRUE(eventservice::Exists()) << "complete settings install the event service";
}

TEST_F(EmailDialog, StoredAdvancedSettingsAreShownAndAnEmptyPasswordKeepsTheSavedOne) {
  const std::wstring scrambled = modBase85::ScrambleString(L"kept", modBase85::kScrambleKey);
  for (const auto& [value, text] : std::initializer_list<std::pair<const wchar_t*, std::wstring>>{
           {L"EmailAddress", L"me@site.test"}, {L"EmailPassword", scrambled}, {L"SMTPServer", L"mail.site.test"},
           {L"SMTPPort", L"587"}, {L"Authenticate", L"1"}, {L"UseSSL", L"0"}})
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kEmailSetupKey, value, text));
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"EmailAlerts", L"0"));

  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(IsChecked(dialog, IDC_FORM9_OPTION2));
  EXPECT_TRUE(IsVisible(dialog, IDC_FORM9_TXTSMTPSERVER));
  EXPECT_FALSE(IsVisible(dialog, IDC_FORM9_LABEL9));
  EXPECT_FALSE(IsChecked(dialog, IDC_FORM9_CHECK1));
  EXPECT_TRUE(IsChecked(dialog, IDC_FORM9_CHKSMTPAUTH));
  EXPECT_FALSE(IsChecked(dialog, IDC_FORM9_CHKUSESSL));
  EXPECT_EQ(Text(GetDlgItem(dialog, IDC_FORM9_TXTSMTPUSERNAME)), L"me@site.test");
  EXPECT_EQ(Text(GetDlgItem(dialog, IDC_FORM9_TXTSMTPPASSWORD)), L"kept");
  // The scrambled value of an earlier version, readable by every user, is moved at the first read.
  ExpectOnlyProtected(L"kept");
  EXPECT_EQ(Text(GetDlgItem(dialog, IDC_FORM9_TXTSMTPSERVER)), L"mail.site.test");
  EXPECT_EQ(Text(GetDlgItem(dialog, IDC_FORM9_COMBOSMTPPORT)), L"587");

  // Back to Gmail and forth: the panels take turns.
  SendMessageW(GetDlgItem(dialog, IDC_FORM9_OPTION1), BM_CLICK, 0, 0);
  EXPECT_FALSE(IsVisible(dialog, IDC_FORM9_TXTSMTPSERVER));
  EXPECT_TRUE(IsVisible(dialog, IDC_FORM9_LABEL9));
  SendMessageW(GetDlgItem(dialog, IDC_FORM9_OPTION2), BM_CLICK, 0, 0);
  EXPECT_TRUE(IsVisible(dialog, IDC_FORM9_TXTSMTPSERVER));

  SetText(GetDlgItem(dialog, IDC_FORM9_TXTSMTPPASSWORD), L"   ");
  SetText(GetDlgItem(dialog, IDC_FORM9_TXTSMTPSERVER), L"  smtp.other.test ");
  SetText(GetDlgItem(dialog, IDC_FORM9_COMBOSMTPPORT), L" 2525 ");
  SendMessageW(GetDlgItem(dialog, IDC_FORM9_CHKUSESSL), BM_CLICK, 0, 0);
  Press(dialog, IDC_FORM9_COMMAND1);  // alerts off
  EXPECT_EQ(Told(), L"Config Saved, Monitoring Service Disabled.");
  EXPECT_TRUE(live_->WaitForExit(20000));
  EXPECT_EQ(ProductSetting(L"EmailAlerts"), L"0");
  ExpectOnlyProtected(L"kept");  // an empty box keeps the saved password
  EXPECT_EQ(Email(L"SMTPServer"), L"smtp.other.test");
  EXPECT_EQ(Email(L"SMTPPort"), L"2525");
  EXPECT_EQ(Email(L"Authenticate"), L"1");
  EXPECT_EQ(Email(L"UseSSL"), L"1");
  EXPECT_FALSE(eventservice::Exists());
}

// A service that cannot start is not reported as started, and the dialog stays for another try.
TEST_F(EmailDialog, ServiceThatCannotStartIsNotReportedAsStarted) {
  ASSERT_TRUE(DeleteFileW((program_.Folder() + kServiceProgram).c_str()));
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  SetText(GetDlgItem(dialog, IDC_FORM9_TXTSMTPUSERNAME), L"me@example.test");
  Press(dialog, IDC_FORM9_COMMAND1);
  EXPECT_EQ(Told(), L"Config Saved, but the Monitoring Service could not be started.");
  EXPECT_FALSE(live_->WaitForExit(500)) << "the dialog stays open";
  EXPECT_EQ(ProductSetting(L"EmailAlerts"), L"1") << "the settings are saved all the same";
}

TEST_F(EmailDialog, IncompleteSettingsAskWhetherToSkip) {
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  Press(dialog, IDC_FORM9_COMMAND1);  // no address
  EXPECT_EQ(Told(IDNO), L"Email configuration is incomplete!  Would you like to skip it for now?");
  EXPECT_FALSE(live_->WaitForExit(500)) << "No leaves the dialog open";
  EXPECT_EQ(ProductSetting(L"EmailAlerts"), L"1") << "saved before the question";
  Press(dialog, IDC_FORM9_COMMAND1);
  EXPECT_EQ(Told(IDYES), L"Email configuration is incomplete!  Would you like to skip it for now?");
  EXPECT_TRUE(live_->WaitForExit(20000));
  EXPECT_FALSE(eventservice::Exists());
}

// The protected store holds any character: a password beyond the Western alphabets is stored as
// typed, and the test mail logs in with it (the sink's account takes only that password).
TEST_F(EmailDialog, PasswordBeyondTheWesternAlphabetsIsStoredAndLogsIn) {
  const std::wstring client = L"client-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount());
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"ClientName", client));
  const std::wstring password = L"pass\x20AC\x4E2D \x0416";
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  SendMessageW(GetDlgItem(dialog, IDC_FORM9_OPTION2), BM_CLICK, 0, 0);
  SetText(GetDlgItem(dialog, IDC_FORM9_TXTSMTPUSERNAME), L"wide@example.test");
  SetText(GetDlgItem(dialog, IDC_FORM9_TXTSMTPPASSWORD), password);
  SetText(GetDlgItem(dialog, IDC_FORM9_TXTSMTPSERVER), L"127.0.0.1");
  SetText(GetDlgItem(dialog, IDC_FORM9_COMBOSMTPPORT), L"47025");
  SendMessageW(GetDlgItem(dialog, IDC_FORM9_CHKSMTPAUTH), BM_CLICK, 0, 0);
  Press(dialog, IDC_FORM9_COMMAND2);
  EXPECT_EQ(Told(), L"Test email sent successfully!  Your settings are now saved.");
  EXPECT_TRUE(live_->WaitForExit(20000));
  const std::string mail = WaitForSinkMail(std::string(client.begin(), client.end()));
  ASSERT_FALSE(mail.empty()) << "the sink got no test mail";
  EXPECT_NE(mail.find("X-Sink-Login: wide@example.test\r\n"), std::string::npos) << mail;
  ExpectOnlyProtected(password);
  EXPECT_TRUE(eventservice::Exists());
}

TEST_F(EmailDialog, TestMailGoesToTheServerAndAFailureKeepsTheDialogOpen) {
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  const std::wstring address =
      L"tester-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount()) + L"@example.test";
  SendMessageW(GetDlgItem(dialog, IDC_FORM9_OPTION2), BM_CLICK, 0, 0);
  SetText(GetDlgItem(dialog, IDC_FORM9_TXTSMTPUSERNAME), address);
  SetText(GetDlgItem(dialog, IDC_FORM9_TXTSMTPSERVER), L"127.0.0.1");
  SetText(GetDlgItem(dialog, IDC_FORM9_COMBOSMTPPORT), L"47099");  // nothing listens there

  Press(dialog, IDC_FORM9_COMMAND2);
  EXPECT_EQ(Told(), L"Test email failed to send, please check your settings and try again!");
  EXPECT_FALSE(live_->WaitForExit(500));

  SetText(GetDlgItem(dialog, IDC_FORM9_COMBOSMTPPORT), L"47025");
  Press(dialog, IDC_FORM9_COMMAND2);
  EXPECT_EQ(Told(), L"Test email sent successfully!  Your settings are now saved.");
  EXPECT_TRUE(live_->WaitForExit(20000)) << "the dialog closes without a second confirmation";
  const std::string mail = WaitForSinkMail(std::string(address.begin(), address.end()));
  ASSERT_FALSE(mail.empty()) << "the sink got no test mail";
  EXPECT_NE(mail.find("Subject: Test Email - "), std::string::npos);
  EXPECT_NE(mail.find("This is just a test."), std::string::npos);
  EXPECT_EQ(Email(L"SMTPPort"), L"47025");
  EXPECT_TRUE(eventservice::Exists()) << "a sent test mail installs the event service";
}

// The test mail logs in with the password as typed: the sink accepts the alert account only with
// its own password, and says who logged in.
TEST_F(EmailDialog, TestMailLogsInWithThePasswordAsTyped) {
  const std::wstring client = L"client-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount());
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"ClientName", client));
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  SendMessageW(GetDlgItem(dialog, IDC_FORM9_OPTION2), BM_CLICK, 0, 0);
  SetText(GetDlgItem(dialog, IDC_FORM9_TXTSMTPUSERNAME), L"alerts@example.test");
  SetText(GetDlgItem(dialog, IDC_FORM9_TXTSMTPPASSWORD), L"Pa55 w\xF6rd!");
  SetText(GetDlgItem(dialog, IDC_FORM9_TXTSMTPSERVER), L"127.0.0.1");
  SetText(GetDlgItem(dialog, IDC_FORM9_COMBOSMTPPORT), L"47025");
  SendMessageW(GetDlgItem(dialog, IDC_FORM9_CHKSMTPAUTH), BM_CLICK, 0, 0);
  Press(dialog, IDC_FORM9_COMMAND2);
  EXPECT_EQ(Told(), L"Test email sent successfully!  Your settings are now saved.");
  EXPECT_TRUE(live_->WaitForExit(20000));
  const std::string mail = WaitForSinkMail(std::string(client.begin(), client.end()));
  ASSERT_FALSE(mail.empty()) << "the sink got no test mail";
  EXPECT_NE(mail.find("X-Sink-Login: alerts@example.test\r\n"), std::string::npos) << mail;
  ExpectOnlyProtected(L"Pa55 w\xF6rd!");
}
