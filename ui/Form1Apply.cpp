// The main window's Apply, Undo and Test buttons.
#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/ShutDownMod.h"
#include "common/Variant.h"
#include "common/modRegistry.h"
#include "engine/Module1.h"
#include "engine/modToggle.h"
#include "engine/modWhitelist.h"
#include "ui/Form1.h"
#include "ui/Form1Ids.h"

namespace {

const std::wstring kFilterKey = Product::kFilterModuleKey;
const wchar_t* const kClasses[] = {L"CPL", L"SCR", L"PIF"};

void Save(const std::wstring& key, const std::wstring& value, int number) {
  modRegistry::fWriteValue(L"HKLM", key, value, L"S", Variant(std::to_wstring(number)));
}

void SaveBox(const std::wstring& key, const std::wstring& value, int id) { Save(key, value, Form1::BoxValue(id)); }

}  // namespace

void Form1::Command1_Click() {
  Module1::RemoveProtection(false, true, false);
  Module1::SetSaferDefaults();

  for (int i = 0; i < 3; ++i) SaveBox(kFilterKey + L"\\Suspicious", kClasses[i], IDC_FORM1_CHKSUSPICIOUS + i);
  for (int i = 0; i < 3; ++i) SaveBox(kFilterKey + L"\\Constant", kClasses[i], IDC_FORM1_CHKCONSTANT + i);
  Module1::ApplyFilterModule();

  const struct {
    int id;
    void (*write)();
  } options[] = {
      {IDC_FORM1_CHKAPPDATA, Module1::BlockAppdata},
      {IDC_FORM1_CHKAPPDATADEEP, Module1::BlockAppdataDeep},
      {IDC_FORM1_CHKAPPDATALOCAL, Module1::BlockAppdataLocal},
      {IDC_FORM1_CHKRECYCLEBIN, Module1::BlockRecycleBin},
      {IDC_FORM1_CHKUSERPROFILE, Module1::BlockUserProfile},
      {IDC_FORM1_CHKPROGRAMDATA, Module1::BlockProgramData},
      {IDC_FORM1_CHKSTARTUPFOLDER, Module1::BlockStartupFolders},
      {IDC_FORM1_CHKSYSKEY, Module1::BlockSyskey},
      {IDC_FORM1_CHKCIPHER, Module1::BlockCipher},
      {IDC_FORM1_CHKVSSADMIN, [] { Module1::BlockVssadmin(true); }},
      {IDM_FORM1_BLOCK, Module1::BlockTempArchives},
      {IDM_FORM1_BLOCKBCDEDIT, Module1::BlockBCDEdit},
      {IDC_FORM1_CHKFAKEEXT, Module1::BlockFakeExtensions},
  };
  for (const auto& option : options) {
    const bool menu = option.id == IDM_FORM1_BLOCK || option.id == IDM_FORM1_BLOCKBCDEDIT;
    if (menu ? MenuChecked(option.id) : Ticked(option.id)) option.write();
  }
  modToggle::SetSidebarDisabled(Ticked(IDC_FORM1_CHKSIDEBAR));
  if (Ticked(IDC_FORM1_CHKWHITELIST)) modWhitelist::WhitelistAllKnownItems();

  SaveBox(kFilterKey, L"SilentBlock", IDC_FORM1_CHKSILENTBLOCK);
  SaveBox(kFilterKey, L"NoAllow", IDC_FORM1_CHKNOALLOW);
  const struct {
    const wchar_t* value;
    int id;
  } saved[] = {
      {L"Sidebar", IDC_FORM1_CHKSIDEBAR},          {L"Appdata", IDC_FORM1_CHKAPPDATA},
      {L"AppdataDeep", IDC_FORM1_CHKAPPDATADEEP},  {L"AppdataLocal", IDC_FORM1_CHKAPPDATALOCAL},
      {L"RecycleBin", IDC_FORM1_CHKRECYCLEBIN},    {L"UserProfile", IDC_FORM1_CHKUSERPROFILE},
      {L"ProgramData", IDC_FORM1_CHKPROGRAMDATA},  {L"StartupFolder", IDC_FORM1_CHKSTARTUPFOLDER},
      {L"syskey", IDC_FORM1_CHKSYSKEY},            {L"cipher", IDC_FORM1_CHKCIPHER},
      {L"vssadmin", IDC_FORM1_CHKVSSADMIN},        {L"ApplyFakeExts", IDC_FORM1_CHKFAKEEXT},
  };
  for (const auto& value : saved) SaveBox(Module1::kSettingsKey, value.value, value.id);
  Save(Module1::kSettingsKey, L"ApplyTempEXEs", MenuChecked(IDM_FORM1_BLOCK) ? 1 : 0);
  Save(Module1::kSettingsKey, L"BlockBCDEdit", MenuChecked(IDM_FORM1_BLOCKBCDEDIT) ? 1 : 0);

  if (MenuChecked(IDM_FORM1_APPLYGPUPDATE)) Module1::RunGPUpdate(false);

  if (Ask(L"Policies created, but you must restart the PC to ensure the changes take effect!  Restart now?",
          MB_YESNO | MB_ICONQUESTION) == IDYES) {
    Module1::WriteRestartTestEntry();
    ShutDownMod::RebootSystem(true);
  }
}

void Form1::Command2_Click() {
  const bool alsoWhitelist = Ask(L"Also remove any whitelist policies?", MB_YESNO | MB_ICONQUESTION) == IDYES;
  Module1::RemoveProtection(alsoWhitelist, false, true);
  modToggle::PromptKeepSidebarDisabled();
  if (Ask(L"Policies deleted, but you should reboot to ensure changes take effect.  Restart now?",
          MB_YESNO | MB_ICONQUESTION) == IDYES)
    ShutDownMod::RebootSystem(true);
}

void Form1::Command3_Click() { Module1::ReportPreventionTest(false); }
