// The first-run wizard ("/installerprompt") and the e-mail question ("/showemail") of the real
// program: the questions it asks, answered through the prompt seam, and what it then leaves in the
// registry, the policy and the task list.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/EventService.h"
#include "tests/support/ProductState.h"
#include "tests/update/ScheduleTestHelpers.h"

using namespace testsupport;
using namespace scheduletest;

namespace {

const wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const wchar_t kSidebarKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Windows\\Sidebar";
const std::wstring kDisallowedPaths = std::wstring(kRestrictionPolicyKey) + L"\\0\\Paths";
const std::wstring kAllowedPaths = std::wstring(kRestrictionPolicyKey) + L"\\262144\\Paths";

const wchar_t kApplyQuestion[] =
    L"Would you like to apply all default protections and schedule automatic updates every day randomly between 8am "
    L"and noon?  Select No to configure options manually.";
const wchar_t kSidebarQuestion[] =
    L"The Windows Sidebar and Desktop Gadgets are a major security vulnerability and Microsoft now recommends "
    L"disabling them.  Would you like to disable them now?";
const std::wstring kEmailQuestion =
    std::wstring(kProductName) +
    L" can email you when an application is blocked.  Would you like to set up an email account for email "
    L"alerts?";
const wchar_t kRestartQuestion[] = L"Finally we just need to restart the PC for changes to take effect.  Restart now?";

class FirstRunWizard : public ClearedProductTest {
 protected:
  void Clean() override {
    ClearedProductTest::Clean();
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kSidebarKey);
    RegDeleteValueQuiet(HKEY_LOCAL_MACHINE, kRunOnceKey, kRestartTestValue);
    DeleteProductTasks();
    eventservice::Remove();
  }

  // What the program showed: "box" records as "caption|flags|text", windows as "window|name|caption".
  std::vector<std::wstring> Run(const std::wstring& arguments, const std::wstring& answers) {
    EXPECT_TRUE(program_.Run(L"/debug " + arguments, answers, 120000).finished);
    std::vector<std::wstring> shown;
    for (const auto& record : program_.Prompts()) {
      std::wstring line = record.kind;
      const size_t fields = record.kind == L"box" ? 3 : record.fields.size();
      for (size_t i = 0; i < fields && i < record.fields.size(); ++i) line += L"|" + record.fields[i];
      shown.push_back(line);
    }
    DeleteFileW(program_.PromptLog().c_str());
    return shown;
  }
  static std::wstring Box(const std::wstring& text, const std::wstring& caption = kProductName) {
    return L"box|" + caption + L"|0x24|" + text;
  }
  std::wstring RestartEntry() const {
    std::wstring text;
    return RegRead(HKEY_LOCAL_MACHINE, kRunOnceKey, kRestartTestValue, text) ? text : L"<missing>";
  }

  InstalledProgram program_;
};

const std::wstring kMainWindow = L"window|Form1|" + MainWindowCaption();

}  // namespace

TEST_F(FirstRunWizard, NoOpensTheMainWindowAndChangesNothing) {
  EXPECT_EQ(Run(L"/installerprompt", L"no"), (std::vector<std::wstring>{Box(kApplyQuestion), kMainWindow}));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
  EXPECT_TRUE(RuleItemData(kDisallowedPaths).empty());
  EXPECT_FALSE(FileExists(TaskXmlPath(kDefsTask)));
  EXPECT_FALSE(FileExists(TaskXmlPath(kAppTask)));
  EXPECT_EQ(RestartEntry(), L"<missing>");
}

TEST_F(FirstRunWizard, YesAppliesTheDefaultsSchedulesAndAsksTheRest) {
  // Yes to apply, Yes to the Sidebar, No to e-mail, No to the restart.
  EXPECT_EQ(Run(L"/installerprompt", L"yes,yes,no,no"),
            (std::vector<std::wstring>{Box(kApplyQuestion), Box(kSidebarQuestion), Box(kEmailQuestion),
                                       Box(kRestartQuestion, L"Protections applied!"), kMainWindow}));
  const std::pair<const wchar_t*, const wchar_t*> saved[] = {
      {L"ApplyAppdata", L"1"}, {L"ApplyUserProf", L"1"}, {L"ApplyFakeExts", L"1"}, {L"ApplyTempEXEs", L"0"},
      {L"BlockSyskey", L"1"},  {L"BlockBCDEdit", L"0"},  {L"Sidebar", L"1"},       {L"AutoWhitelist", L"0"},
      {L"ScheduleEnabled", L"1"}};
  for (const auto& [value, expected] : saved) EXPECT_EQ(ProductSetting(value), expected) << value;
  DWORD sidebar = 0;
  EXPECT_TRUE(RegReadDword(HKEY_LOCAL_MACHINE, kSidebarKey, L"TurnOffSidebar", sidebar));
  EXPECT_EQ(sidebar, 1u);

  const auto rules = RuleItemData(kDisallowedPaths);
  for (const wchar_t* tool : {L"syskey.exe", L"cipher.exe", L"vssadmin.exe"})
    EXPECT_EQ(std::count(rules.begin(), rules.end(), tool), 1) << tool;
  EXPECT_EQ(std::count(rules.begin(), rules.end(), L"bcdedit.exe"), 0);
  EXPECT_NE(std::find(rules.begin(), rules.end(), L"%appdata%\\*.exe"), rules.end());

  // The schedule dialog's choice: a weekday from Monday to Friday, between 8 and 11 o'clock.
  const auto calls = TaskCalls(program_.Folder() + kDebugLog);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].name, kAppTask) << "the application task is created first";
  EXPECT_EQ(calls[1].name, kDefsTask);
  EXPECT_EQ(calls[0].Hour(), calls[1].Hour());
  EXPECT_GE(calls[0].Hour(), 8);
  EXPECT_LE(calls[0].Hour(), 11);
  const std::vector<std::wstring> weekdays = {L"2", L"4", L"8", L"16", L"32"};
  EXPECT_NE(std::find(weekdays.begin(), weekdays.end(), calls[0].days), weekdays.end()) << calls[0].days;
  EXPECT_TRUE(FileExists(TaskXmlPath(kDefsTask)));
  EXPECT_TRUE(FileExists(TaskXmlPath(kAppTask)));
  EXPECT_EQ(RestartEntry(), L"<missing>");
}

// The main window reads "Sidebar" as the box to show: a No to the question must come back unticked.
TEST_F(FirstRunWizard, NoToTheSidebarIsSavedAsNo) {
  EXPECT_EQ(Run(L"/installerprompt", L"yes,no,no,no"),
            (std::vector<std::wstring>{Box(kApplyQuestion), Box(kSidebarQuestion), Box(kEmailQuestion),
                                       Box(kRestartQuestion, L"Protections applied!"), kMainWindow}));
  EXPECT_EQ(ProductSetting(L"Sidebar"), L"0");
  DWORD sidebar = 0;
  EXPECT_FALSE(RegReadDword(HKEY_LOCAL_MACHINE, kSidebarKey, L"TurnOffSidebar", sidebar) && sidebar == 1);
}

TEST_F(FirstRunWizard, RestartQueuesThePreventionTestAndEndsTheWizard) {
  // A Sidebar already off is not asked about.
  ASSERT_TRUE(RegWriteDword(HKEY_LOCAL_MACHINE, kSidebarKey, L"TurnOffSidebar", 1));
  const auto shown = Run(L"/installerprompt", L"yes,no,yes");
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0], Box(kApplyQuestion));
  EXPECT_EQ(shown[1], Box(kEmailQuestion));
  EXPECT_EQ(shown[2], Box(kRestartQuestion, L"Protections applied!"));
  EXPECT_EQ(shown[3].rfind(L"reboot|force", 0), 0u) << shown[3];
  EXPECT_EQ(RestartEntry(), L"cmd /c start \"\" \"" + program_.ExePath() + L"\" /test");
  EXPECT_EQ(ProductSetting(L"Sidebar"), L"1");
}

TEST_F(FirstRunWizard, CompleteAlertSettingsAreNotAskedForAndStartTheService) {
  const std::wstring email = std::wstring(kSettingsKey) + L"\\Email Setup";
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"EmailAlerts", L"1"));
  for (const auto& [value, text] : {std::pair{L"EmailAddress", L"me@site.test"}, std::pair{L"SMTPServer", L"127.0.0.1"},
                                    std::pair{L"SMTPPort", L"47099"}})
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, email, value, text));
  EXPECT_EQ(Run(L"/installerprompt", L"yes,no,no"),
            (std::vector<std::wstring>{Box(kApplyQuestion), Box(kSidebarQuestion),
                                       Box(kRestartQuestion, L"Protections applied!"), kMainWindow}));
  EXPECT_TRUE(eventservice::Exists());
}

TEST_F(FirstRunWizard, ASecondRunWritesTheSameRulesOnce) {
  Run(L"/installerprompt", L"yes,no,no,no");
  const auto first = RuleItemData(kDisallowedPaths);
  const auto allowed = RuleItemData(kAllowedPaths);
  ASSERT_FALSE(first.empty());
  Run(L"/installerprompt", L"yes,no,no,no");
  EXPECT_EQ(RuleItemData(kDisallowedPaths), first);
  EXPECT_EQ(RuleItemData(kAllowedPaths), allowed);
}

TEST_F(FirstRunWizard, TheEmailQuestionOpensTheEmailDialogOnYes) {
  EXPECT_TRUE(Run(L"/showemail", L"no") == std::vector<std::wstring>{Box(kEmailQuestion)});
  const auto shown = Run(L"/showemail", L"yes");
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], Box(kEmailQuestion));
  EXPECT_EQ(shown[1].rfind(L"window|Form9|Email Config - v", 0), 0u) << shown[1];
}

TEST_F(FirstRunWizard, AStoredScheduleIsTheOneTheTasksTakeWithoutAWindow) {
  // The stored hour and weekday (in any case) are taken as the schedule dialog presets them, without
  // the dialog; the Sidebar and the rest answered No.
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"ScheduleHour", L"14"));
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"ScheduleDay", L"SAT"));
  Run(L"/installerprompt", L"yes,no,no,no");
  const auto calls = TaskCalls(program_.Folder() + kDebugLog);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].name, kAppTask);
  EXPECT_EQ(calls[0].Hour(), 14);
  EXPECT_EQ(calls[0].days, L"64") << "Saturday";
  EXPECT_EQ(calls[1].name, kDefsTask);
  EXPECT_EQ(calls[1].Hour(), 14);
  EXPECT_EQ(ProductSetting(L"ScheduleEnabled"), L"1");
}
