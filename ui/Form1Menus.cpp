// The main window's menus.
#include "alerts/Form10.h"
#include "alerts/Form9.h"
#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/Variant.h"
#include "common/WebPages.h"
#include "common/modRegistry.h"
#include "engine/Protection.h"
#include "engine/SavedChoices.h"
#include "platform/Dialogs.h"
#include "platform/PromptSeam.h"
#include "platform/Text.h"
#include "ui/Form1.h"
#include "ui/Form11.h"
#include "ui/Form1Ids.h"
#include "ui/Form2.h"
#include "ui/Form3.h"
#include "ui/Form6.h"
#include "update/Form7.h"
#include "update/modInstallIL.h"
#include "update/modUpdate.h"

namespace {


// The extra protections take effect only through Apply, which the window offers at once.
void ToggleProtectionOption(int id) {
  if (Form1::MenuChecked(id)) {
    Form1::SetMenuChecked(id, false);
    if (Form1::Ask(L"You MUST (re)Apply protection now that this option has been disabled.  Re-apply now?",
                   MB_YESNO | MB_ICONQUESTION) == IDYES)
      Form1::Command1_Click();
    return;
  }
  if (Form1::Ask(L"Selecting this option provides maximum protection but can also impede a certain programs and "
                 L"installations from working properly while protection is enabled.  Please see the website for more "
                 L"details.  Are you sure you wish to do this?",
                 MB_YESNO | MB_ICONQUESTION, L"Are you sure?") != IDYES)
    return;
  Form1::SetMenuChecked(id, true);
  if (Form1::Ask(L"You MUST (re)Apply protection now that this option has been enabled.  Re-apply now?",
                 MB_YESNO | MB_ICONQUESTION) == IDYES)
    Form1::Command1_Click();
}

}  // namespace

void Form1::Menu_About_Click() {
  if (!BrandedMode) {
    Form3::Show();
    return;
  }
  std::wstring site = CommonModule::ReadIni(CommonModule::IniPath, L"Installer", L"Website");
  if (platform::Lower(site.substr(0, 4)) != L"http") site = L"http://" + site;
  CommonModule::OpenWebPage(site);
}

void Form1::Menu_HelpForums_Click() {
  if (Ask(L"Go to the " ILATCH_PRODUCT_NAME L" Support Forum?", MB_YESNO | MB_ICONQUESTION) == IDYES)
    CommonModule::OpenWebPage(WebPages::kSupportForum);
}

void Form1::Menu_TechnicalInfo_Click() {
  if (Ask(L"View " ILATCH_PRODUCT_NAME L" technical information on the web?", MB_YESNO | MB_ICONQUESTION) == IDYES)
    CommonModule::OpenWebPage(WebPages::kTechnicalInformation);
}

void Form1::Menu_CmdLine_Click() { Form2::Show(); }

void Form1::Menu_Log1_Click() { Form10::Show(); }

void Form1::Menu_Default_Click() {
  if (Ask(L"This will restart the program with default settings.  From there you can modify them if necessary and "
          L"click Apply Protections to finalize.  Proceed?",
          MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
    return;
  bool notFound = false;
  modRegistry::fDeleteKey(L"HKLM", Product::kMakerKey, Product::kKeyName, notFound);
  modRegistry::fWriteValue(L"HKLM", Product::kSettingsKey, L"Installed", L"S", Variant(L"1"));
  int32_t exitCode = 0;
  CommonModule::ShellX(CommonModule::AppExeFullPath(), L"", false, SW_SHOWNORMAL, exitCode, false, false,
                       CommonModule::kNoTimeLimit);
  CommonModule::UnloadAllForms(L"Form1");
  Unload();
}

void Form1::Menu_GPUpdateNow_Click() {
  int32_t exitCode = 0;
  CommonModule::ShellX(L"gpupdate.exe", L"/force /wait:0", true, SW_SHOWNOACTIVATE, exitCode, false, true, 12000);
}

void Form1::Menu_ApplyGPUpdate_Click() {
  SetMenuChecked(IDM_FORM1_APPLYGPUPDATE, !MenuChecked(IDM_FORM1_APPLYGPUPDATE));
}

void Form1::Menu_DisplayWhitelists_Click() { Form6::Show(); }

void Form1::Menu_BlockBCDEdit_Click() { ToggleProtectionOption(IDM_FORM1_BLOCKBCDEDIT); }

void Form1::Menu_Block_Click() { ToggleProtectionOption(IDM_FORM1_BLOCK); }

void Form1::Menu_UserDefs_Click() { Form11::Show(); }

void Form1::ShowStoredExeComFilter() {
  SetMenuChecked(IDM_FORM1_EXEFILTER, SavedChoices::ReadText(SavedChoices::Choice::ExeComFilter) == L"1");
}

void Form1::Menu_EXEFilter_Click() {
  if (MenuChecked(IDM_FORM1_EXEFILTER)) {
    Protection::SetExeComFilter(false);
    ShowStoredExeComFilter();
    Ask(L"Filtering is disabled, no reboot required.", MB_OK);
    return;
  }
  if (Ask(L"This option is EXPERIMENTAL.  Are you sure you wish to do this?", MB_YESNO | MB_ICONQUESTION,
          L"Are you sure?") != IDYES)
    return;
  const std::wstring typed = platform::ShowInputBox(
      Window(), L"Confirm by typing 'YES' in the box below:  (no quotes, in all caps)", L"CONFIRMATION REQUESTED.", L"");
  if (typed != L"YES") return;
  const bool hooked = Protection::SetExeComFilter(true);
  ShowStoredExeComFilter();
  if (hooked) {
    Ask(L"Filtering is enabled, no reboot required.", MB_OK);
  } else {
    Ask(L"Filtering was not enabled: the filter module " + std::wstring(Product::kFilterModuleProgram) +
            L" is missing from the program folder, or its file classes could not be written.",
        MB_OK | MB_ICONEXCLAMATION);
  }
}

void Form1::Menu_EmailAlerts_Click() { Form9::Show(); }

void Form1::Menu_Install_Click(int index) {
  if (index == 1) modInstallIL::InstallPrompt();
  else if (index == 2) modInstallIL::UninstallPrompt();
}

void Form1::Menu_UpdateCheckDefs_Click() { modUpdate::CheckForDefsUpdate(false, false); }

void Form1::Menu_UpdateCheck_Click() { modUpdate::CheckForAppUpdate(); }

void Form1::Menu_Reg_Click() {
  if (Protection::ReadSetting(L"Installed") == L"1") Form7::Show();
  else CommonModule::OpenWebPage(WebPages::kAutomaticUpdates);
}
