// The set-up roads of the main program: the configuration INI and the first-run wizard, which set
// up the rules, the event service, the schedule and the windows.
#include "app/Module1App.h"

#include <windows.h>

#include "alerts/Form9.h"
#include "alerts/modService.h"
#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/ShutDownMod.h"
#include "common/clsFSO.h"
#include "common/modOpSys.h"
#include "engine/Protection.h"
#include "engine/SavedChoices.h"
#include "engine/modToggle.h"
#include "engine/modWhitelist.h"
#include "notify/modEmailSvc.h"
#include "platform/CommonControls.h"
#include "platform/PromptSeam.h"
#include "platform/Text.h"
#include "ui/Form1.h"
#include "update/Form5.h"
#include "update/Form7.h"
#include "update/modUpdate.h"

namespace Module1 {

using namespace Protection;

// ---- Applying the configuration INI -------------------------------------------------------------

namespace {

std::wstring IniValue(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
  return CommonModule::ReadIni(file, section, key);
}

bool IniChoice(const std::wstring& file, const wchar_t* key) { return IniValue(file, L"Config", key) == L"1"; }

}  // namespace

void ApplyIniSettings(const std::wstring& iniPath) {
  const std::wstring settings = Product::kSettingsKey;
  WriteSetting(settings, L"Installed", L"1");

  const bool bulk = iniPath.empty();
  const std::wstring file = bulk ? CommonModule::AppPath() + L"bulk.ini" : iniPath;
  if (bulk) {
    WriteSetting(settings, L"BulkInstall", L"1");
    WriteSetting(settings, L"ClientName", IniValue(file, L"Config", L"ClientName"));
  }
  WriteSetting(settings, L"NoRestartPrompt", IniChoice(file, L"NoRestartPrompt") ? L"1" : L"0");
  SavedChoices::CopyFromIni(file, SavedChoices::IniSection::FilterModule);
  ApplyFilterIniSettings(file, true);
  SavedChoices::CopyFromIni(file, SavedChoices::IniSection::Config);

  const ChoiceSet chosen = SavedChoices::IniChoices(file);
  if (chosen.Has(Choice::Sidebar)) modToggle::SetSidebarDisabled(true);
  Apply(chosen);
  if (chosen.Has(Choice::AutoWhitelist)) modWhitelist::WhitelistAllKnownItems();

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

  const modEmailSvc::EmailSettings email = modEmailSvc::EmailSettings::LoadBulkIni(file);
  if (email.alerts == L"1") {
    // The password goes where only Administrators and SYSTEM can read it, never in clear or
    // scrambled where every user can. One that does not unscramble is not stored. The scrambled
    // form carries one byte a character, so this road takes no password beyond the Western
    // alphabets; the e-mail dialog's protected store takes any.
    if (!email.Save() || (email.passwordGiven && !email.password))
      CommonModule::DPrint(L"Module1\\ApplyIniSettings: the INI's SMTPPassword was not stored");
    modService::InstallEventService();
  }
  WriteSetting(settings, L"ScheduleEnabled", L"1");
  Form7::ScheduleIt(false, IniValue(file, L"Config", L"ScheduledHour"), IniValue(file, L"Config", L"ScheduledDay"));
  DeleteFileW(file.c_str());
  modUpdate::SilentUpdateCheck();
}

void PromptApplyNow(bool silent, bool reboot) {
  if (!silent) {
    std::wstring question =
        TestPrevention() ? std::wstring(Product::kProtectionName) +
                               L" appears to already be applied, as the prevention test is successful.  Re-apply "
                               L"prevention settings?"
                         : std::wstring(L"Apply ") + Product::kProtectionName + L" now?";
    if (Ask(question, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    Form5::Show();
  }
  ApplyIniSettings(CommonModule::IniPath);
  if (!silent) {
    Form5::Unload();
    if (Ask(L"Protection applied, you should restart your PC for the changes to take effect!  Restart Now?",
            MB_YESNO | MB_ICONQUESTION) == IDYES) {
      WriteRestartTestEntry();
      ShutDownMod::RebootSystem(true);
    }
  } else if (reboot) {
    ShutDownMod::RebootSystem(true);
  }
}

// ---- First-run wizard --------------------------------------------------------------------------

void SaveApplyChoices(bool sidebarDisabled) { SavedChoices::SaveFirstRunDefaults(sidebarDisabled); }

void ApplyDefaultProtections(bool schedule, bool askSidebar) {
  if (schedule) Form7::ScheduleIt(false, L"", L"");
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
  // The tools' rules go again with the old rules when Apply starts, and come back with its own.
  for (const Choice tool : {Choice::Syskey, Choice::Cipher, Choice::Vssadmin}) WriteRuleSet(tool);
  ApplyFilterIniSettings(CommonModule::IniPath, true);
  SaveApplyChoices(sidebarDisabled);
  modWhitelist::WhitelistAllKnownItems();
  Apply(ProtectionCatalogue::kFirstRunDefaults);
}

bool PromptRestartAfterApply() {
  if (platform::ShowMessageBox(nullptr, L"Finally we just need to restart the PC for changes to take effect.  Restart now?",
                               L"Protections applied!", MB_YESNO | MB_ICONQUESTION) == IDYES) {
    WriteRestartTestEntry();
    ShutDownMod::RebootSystem(true);
    return true;
  }
  Form1::Show();
  return false;
}

void PromptEmailAlerts() {
  if (Ask(std::wstring(Product::kName) +
              L" can email you when an application is blocked.  Would you like to set up an email account for "
              L"email alerts?",
          MB_YESNO | MB_ICONQUESTION) == IDYES)
    Form9::ShowModal();
}

void RunFirstRunWizard() {
  const platform::UniqueModule shell32 = platform::InitCommonControlsVB();
  if (Ask(L"Would you like to apply all default protections and schedule automatic updates every day randomly between "
          L"8am and noon?  Select No to configure options manually.",
          MB_YESNO | MB_ICONQUESTION) == IDYES) {
    ApplyDefaultProtections(true, true);
    if (!modEmailSvc::LoadEmailConfig()) PromptEmailAlerts();
    modService::InstallEventService();
    // The restart is under way: nothing more to do.
    if (PromptRestartAfterApply()) return;
  } else {
    Form1::Show();
  }
}

}  // namespace Module1
