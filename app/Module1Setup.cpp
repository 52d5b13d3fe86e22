// The set-up roads of the main program: the configuration INI, the scheduled update tasks, the
// first-run wizard and the installer compiler. What they set up above the engine (the event
// service, the schedule, the windows, the downloads) they reach through Module1::Upper.
#include <windows.h>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/ShutDownMod.h"
#include "common/clsFSO.h"
#include "common/modOpSys.h"
#include "engine/Module1.h"
#include "engine/ScheduleRules.h"
#include "engine/modToggle.h"
#include "engine/modWhitelist.h"
#include "platform/PromptSeam.h"
#include "platform/Text.h"

namespace Module1 {

// ---- Applying the configuration INI -------------------------------------------------------------

namespace {

std::wstring IniValue(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
  return CommonModule::ReadIni(file, section, key);
}

bool IniChoice(const std::wstring& file, const wchar_t* key) { return IniValue(file, L"Config", key) == L"1"; }

}  // namespace

void ApplyIniSettings(const std::wstring& iniPath) {
  const std::wstring settings = kSettingsKey;
  const std::wstring filterSettings = Product::kFilterModuleKey;
  WriteSetting(settings, L"Installed", L"1");

  const bool bulk = iniPath.empty();
  const std::wstring file = bulk ? CommonModule::AppPath() + L"bulk.ini" : iniPath;
  if (bulk) {
    WriteSetting(settings, L"BulkInstall", L"1");
    WriteSetting(settings, L"ClientName", IniValue(file, L"Config", L"ClientName"));
  }
  WriteSetting(settings, L"NoRestartPrompt", IniChoice(file, L"NoRestartPrompt") ? L"1" : L"0");
  for (const wchar_t* key : {L"SilentBlock", L"AlertAllow", L"NoAllow"})
    WriteSetting(filterSettings, key, IniValue(file, L"FilterModule", key));
  ApplyFilterIniSettings(file, true);

  // [Config] key -> value under the settings key, copied as read.
  static const std::pair<const wchar_t*, const wchar_t*> kCopied[] = {
      {L"Sidebar", L"Sidebar"},           {L"Appdata", L"Appdata"},         {L"AppdataDeep", L"AppdataDeep"},
      {L"AppdataLocal", L"AppdataLocal"}, {L"RecycleBin", L"RecycleBin"},   {L"UserProf", L"UserProfile"},
      {L"ProgramData", L"ProgramData"},   {L"StartupFolder", L"StartupFolder"}, {L"BlockSyskey", L"syskey"},
      {L"cipher", L"cipher"},             {L"vssadmin", L"vssadmin"},       {L"BlockBCDEdit", L"BlockBCDEdit"},
      {L"FakeEXEs", L"ApplyFakeExts"},
  };
  for (const auto& [key, value] : kCopied) WriteSetting(settings, value, IniValue(file, L"Config", key));

  if (IniChoice(file, L"Sidebar")) modToggle::SetSidebarDisabled(true);
  ApplyProtection(IniChoice(file, L"Appdata"), IniChoice(file, L"TempEXEs"), IniChoice(file, L"FakeEXEs"),
                  IniChoice(file, L"UserProf"), IniChoice(file, L"BlockSyskey"), IniChoice(file, L"BlockBCDEdit"));
  ApplyMoreProtection(IniChoice(file, L"AppdataDeep"), IniChoice(file, L"AppdataLocal"), IniChoice(file, L"RecycleBin"),
                      IniChoice(file, L"cipher"), IniChoice(file, L"vssadmin"), IniChoice(file, L"programdata"),
                      IniChoice(file, L"startupfolder"));
  if (IniChoice(file, L"ExcludeExisting")) modWhitelist::WhitelistAllKnownItems();

  const std::wstring whitelistFile = CommonModule::AppPath() + Product::kWhitelistFile;
  if (CommonModule::DoesFileExist(whitelistFile)) {
    std::vector<std::wstring> lines;
    clsFSO fso;
    fso.FileToArray(whitelistFile, lines);
    for (const auto& line : lines) {
      if (!platform::Trim(line).empty()) modWhitelist::WhitelistItem(line);
    }
  }
  RunGPUpdate(true);
  if (!bulk) return;

  if (IniChoice(file, L"EmailAlerts")) {
    WriteSetting(settings, L"EmailAlerts", L"1");
    static const std::pair<const wchar_t*, const wchar_t*> kEmail[] = {
        {L"FromEmail", L"FromEmail"},     {L"SMTPUserName", L"EmailAddress"}, {L"SendToEmail", L"SendToEmail"},
        {L"SMTPServer", L"SMTPServer"}, {L"SMTPPort", L"SMTPPort"},
        {L"SMTPAuth", L"Authenticate"},   {L"UseSSL", L"UseSSL"},
    };
    for (const auto& [key, value] : kEmail)
      WriteSetting(Product::kEmailSetupKey, value, IniValue(file, L"EmailConfig", key));
    // The password goes where only Administrators and SYSTEM can read it, never in clear or
    // scrambled where every user can.
    const std::wstring password = IniValue(file, L"EmailConfig", L"SMTPPassword");
    if (!password.empty() && !Upper.storeScrambledMailPassword(password))
      CommonModule::DPrint(L"Module1\\ApplyIniSettings: the INI's SMTPPassword was not stored");
    Upper.installEventService();
  }
  WriteSetting(settings, L"ScheduleEnabled", L"1");
  Upper.scheduleUpdates(IniValue(file, L"Config", L"ScheduledHour"), IniValue(file, L"Config", L"ScheduledDay"));
  DeleteFileW(file.c_str());
  Upper.silentUpdateCheck();
}

void PromptApplyNow(bool silent, bool reboot) {
  if (!silent) {
    std::wstring question =
        TestPrevention() ? L"Latchward appears to already be applied, as the prevention test is successful.  Re-apply "
                           L"prevention settings?"
                         : L"Apply Latchward now?";
    if (Ask(question, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    Upper.showLogo();
  }
  ApplyIniSettings(CommonModule::IniPath);
  if (!silent) {
    Upper.closeLogo();
    if (Ask(L"Protection applied, you should restart your PC for the changes to take effect!  Restart Now?",
            MB_YESNO | MB_ICONQUESTION) == IDYES) {
      WriteRestartTestEntry();
      ShutDownMod::RebootSystem(true);
    }
  } else if (reboot) {
    ShutDownMod::RebootSystem(true);
  }
}

// ---- Scheduled update tasks ----------------------------------------------------------------------

namespace {

using Product::kAppUpdateTask;
using Product::kDefsUpdateTask;
using Product::kTaskAuthor;

// The application task's default hour and weekday, picked by one random number each.
std::wstring DefaultTaskHour() {
  const int n = RandomScheduleNumber();
  return n <= 12 ? L"08" : n <= 24 ? L"09" : n <= 36 ? L"10" : n <= 48 ? L"11" : L"07";
}
std::wstring DefaultTaskDay() {
  const int n = RandomScheduleNumber();
  return n <= 12 ? L"mon" : n <= 24 ? L"tues" : n <= 36 ? L"wed" : n <= 48 ? L"thur" : L"fri";
}

std::wstring MinuteText() { return ScheduleRules::TwoDigits(std::to_wstring(RandomScheduleNumber())); }

// The stored schedule, the settings key first and the INI second.
bool ScheduleIsOn() {
  return ReadSetting(L"ScheduleEnabled") == L"1" ||
         CommonModule::ReadIni(CommonModule::IniPath, L"Config", L"EnableSchedule") == L"1";
}
std::wstring StoredScheduleHour() {
  std::wstring hour = ReadSetting(L"ScheduleHour");
  return hour.empty() ? CommonModule::ReadIni(CommonModule::IniPath, L"Config", L"ScheduledHour") : hour;
}

bool TaskIsListed(const wchar_t* name) {
  return ScheduleRules::IsTaskListed(Upper.commandOutput(L"schtasks.exe /query"), name);
}

}  // namespace

int RandomScheduleNumber() { return ScheduleRules::ScheduleNumber(); }

bool CreateDefsUpdateTask(const std::wstring& hour, const std::wstring& minute) {
  // A stored hour may be missing; the task then takes the application task's default hours.
  const std::wstring taskHour = hour.empty() ? DefaultTaskHour() : hour;
  const std::wstring taskMinute = minute.empty() ? MinuteText() : minute;
  const std::wstring time =
      ScheduleRules::TwoDigits(taskHour) + L":" + ScheduleRules::TwoDigits(taskMinute) + L":00";
  return Upper.createDailyTask(kDefsUpdateTask, time, CommonModule::AppExeFullPath(), L"/autoupdate",
                               L"Ironlatch Automatic Definition Updates", kTaskAuthor, L"SYSTEM", L"");
}

bool CreateAppUpdateTask(const std::wstring& day, std::wstring& hour) {
  if (hour.empty()) hour = DefaultTaskHour();
  const std::wstring weekday = day.empty() ? DefaultTaskDay() : day;
  const std::wstring time = ScheduleRules::TwoDigits(hour) + L":" + MinuteText() + L":00";
  return Upper.createWeeklyTask(kAppUpdateTask, time, ScheduleRules::WeekdayMask(weekday),
                                CommonModule::AppExeFullPath(), L"/autoupdateapp",
                                L"Ironlatch Automatic Application Updates", kTaskAuthor, L"SYSTEM", L"");
}

void ScheduleTasksFromIni() {
  const std::wstring& ini = CommonModule::IniPath;
  if (!CommonModule::DoesFileExist(ini) || CommonModule::ReadIni(ini, L"Config", L"EnableSchedule") != L"1") return;
  std::wstring hour = CommonModule::ReadIni(ini, L"Config", L"ScheduledHour");
  const std::wstring day = platform::Lower(CommonModule::ReadIni(ini, L"Config", L"ScheduledDay"));
  CreateDefsUpdateTask(hour, L"");
  CreateAppUpdateTask(day, hour);
}

void CheckDefsUpdateTask() {
  if (!ScheduleIsOn() || TaskIsListed(kDefsUpdateTask)) return;
  CreateDefsUpdateTask(StoredScheduleHour(), L"");
}

void CheckAppUpdateTask() {
  if (!ScheduleIsOn() || TaskIsListed(kAppUpdateTask)) return;
  std::wstring hour = StoredScheduleHour();
  std::wstring day = ReadSetting(L"ScheduleDay");
  if (day.empty()) day = platform::Lower(CommonModule::ReadIni(CommonModule::IniPath, L"Config", L"ScheduledDay"));
  CreateAppUpdateTask(day, hour);
}

// ---- First-run wizard --------------------------------------------------------------------------

void SaveApplyChoices(bool sidebarDisabled) {
  const std::pair<const wchar_t*, const wchar_t*> kChoices[] = {
      {L"ApplyAppdata", L"1"}, {L"ApplyUserProf", L"1"}, {L"ApplyFakeExts", L"1"}, {L"ApplyTempEXEs", L"0"},
      {L"BlockSyskey", L"1"},  {L"BlockBCDEdit", L"0"},  {L"Sidebar", sidebarDisabled ? L"1" : L"0"},
  };
  for (const auto& [value, target] : kChoices)
    if (ReadSetting(value) != target) WriteSetting(kSettingsKey, value, target);
}

void ApplyDefaultProtections(bool schedule, bool askSidebar) {
  if (schedule) Upper.scheduleUpdates(L"", L"");
  // The Sidebar choice saved is the one in effect: turned off already, or as the user answered.
  bool sidebarDisabled = false;
  if (askSidebar && modOpSys::IsVista()) {
    sidebarDisabled = modToggle::IsSidebarDisabled();
    if (!sidebarDisabled &&
        Ask(L"The Windows Sidebar and Desktop Gadgets are a major security vulnerability and Microsoft now recommends "
            L"disabling them.  Would you like to disable them now?",
            MB_YESNO | MB_ICONQUESTION) == IDYES) {
      modToggle::SetSidebarDisabled(true);
      sidebarDisabled = true;
    }
  }
  BlockSyskey();
  BlockCipher();
  BlockVssadmin(false);
  ApplyFilterIniSettings(CommonModule::IniPath, true);
  SaveApplyChoices(sidebarDisabled);
  modWhitelist::WhitelistAllKnownItems();
  ApplyProtection(true, false, true, true, true, false);
  ApplyMoreProtection(true, true, true, true, true, true, true);
}

bool PromptRestartAfterApply() {
  if (platform::ShowMessageBox(nullptr, L"Finally we just need to restart the PC for changes to take effect.  Restart now?",
                               L"Protections applied!", MB_YESNO | MB_ICONQUESTION) == IDYES) {
    WriteRestartTestEntry();
    ShutDownMod::RebootSystem(true);
    return true;
  }
  Upper.showMainWindow();
  return false;
}

void PromptEmailAlerts() {
  if (Ask(L"Ironlatch can email you when an application is blocked.  Would you like to set up an email account for "
          L"email alerts?",
          MB_YESNO | MB_ICONQUESTION) == IDYES)
    Upper.showEmailSetup();
}

void RunFirstRunWizard() {
  InitCommonControlsVB();
  if (Ask(L"Would you like to apply all default protections and schedule automatic updates every day randomly between "
          L"8am and noon?  Select No to configure options manually.",
          MB_YESNO | MB_ICONQUESTION) == IDYES) {
    ApplyDefaultProtections(true, true);
    if (!Upper.emailConfigured()) PromptEmailAlerts();
    Upper.installEventService();
    // The restart is under way: nothing more to do.
    if (PromptRestartAfterApply()) return;
  } else {
    Upper.showMainWindow();
  }
  ReleaseShell32();
}

// ---- Installer compiler -----------------------------------------------------------------------

bool EnsureInnoSetup() {
  static const wchar_t kInstallerUrl[] = L"http://files.jrsoftware.org/is/5/isetup-5.5.3-unicode.exe";
  static const wchar_t kDownloadPage[] = L"http://www.jrsoftware.org/isdl.php";
  const std::wstring installer = CommonModule::AppPath() + L"InnoSetup.exe";
  if (!Upper.downloadFile(kInstallerUrl, installer)) {
    Ask(L"Please download/install the Inno Setup package, opening website now.\r\nNote you do not need the "
        L"'Quickstart' package, just the base install.",
        MB_OK);
    CommonModule::OpenWebPage(kDownloadPage);
    return false;
  }
  int32_t exitCode = -1;
  const bool ended =
      CommonModule::ShellX(installer, L"/silent", true, SW_SHOWNORMAL, exitCode, false, true, CommonModule::kNoTimeLimit);
  DeleteFileW(installer.c_str());
  // Installed means: the installer finished, content, and the compiler is there now.
  if (ended && exitCode == 0 && !Upper.installerCompiler().empty()) return true;
  CommonModule::DPrint(L"Module1\\EnsureInnoSetup: installer exit code " + std::to_wstring(exitCode));
  Ask(L"Inno Setup could not be installed.", MB_OK | MB_ICONERROR);
  return false;
}

}  // namespace Module1
