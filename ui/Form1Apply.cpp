// The main window's Apply, Undo and Test buttons.
#include <map>

#include <iterator>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/ShutDownMod.h"
#include "common/Variant.h"
#include "common/modRegistry.h"
#include "engine/Module1.h"
#include "engine/SavedChoices.h"
#include "engine/modToggle.h"
#include "engine/modWhitelist.h"
#include "ui/Form1.h"
#include "ui/Form1Ids.h"

namespace {

const std::wstring kFilterKey = Product::kFilterModuleKey;
constexpr auto& kClasses = Product::kHookedClasses;
constexpr int kClassCount = static_cast<int>(std::size(kClasses));  // a box of each in both rows

void Save(const std::wstring& key, const std::wstring& value, int number) {
  modRegistry::fWriteValue(L"HKLM", key, value, L"S", Variant(std::to_wstring(number)));
}

// The window's choices as Apply found them at the click: read before its first wait, so nothing
// that happens while it waits changes what it writes.
struct ApplyChoices {
  int suspicious[kClassCount] = {}, constant[kClassCount] = {};
  int silentBlock = 0, noAllow = 0;
  bool tempArchives = false, bcdEdit = false, refresh = false;
  std::map<int, int> boxes;  // protection box id -> value
  bool Ticked(int id) const { return boxes.at(id) == 1; }
};

using SavedChoices::Choice;

// The protection options in the order Apply writes them, with the choice each box is saved as
// (the two menu options are saved after the boxes).
const struct {
  int id;
  void (*write)();
  Choice saved;
} kOptions[] = {
    {IDC_FORM1_CHKAPPDATA, Module1::BlockAppdata, Choice::Appdata},
    {IDC_FORM1_CHKAPPDATADEEP, Module1::BlockAppdataDeep, Choice::AppdataDeep},
    {IDC_FORM1_CHKAPPDATALOCAL, Module1::BlockAppdataLocal, Choice::AppdataLocal},
    {IDC_FORM1_CHKRECYCLEBIN, Module1::BlockRecycleBin, Choice::RecycleBin},
    {IDC_FORM1_CHKUSERPROFILE, Module1::BlockUserProfile, Choice::UserProfile},
    {IDC_FORM1_CHKPROGRAMDATA, Module1::BlockProgramData, Choice::ProgramData},
    {IDC_FORM1_CHKSTARTUPFOLDER, Module1::BlockStartupFolders, Choice::StartupFolder},
    {IDC_FORM1_CHKSYSKEY, Module1::BlockSyskey, Choice::Syskey},
    {IDC_FORM1_CHKCIPHER, Module1::BlockCipher, Choice::Cipher},
    {IDC_FORM1_CHKVSSADMIN, [] { Module1::BlockVssadmin(true); }, Choice::Vssadmin},
    {IDM_FORM1_BLOCK, Module1::BlockTempArchives, Choice::TempArchives},
    {IDM_FORM1_BLOCKBCDEDIT, Module1::BlockBCDEdit, Choice::BcdEdit},
    {IDC_FORM1_CHKFAKEEXT, Module1::BlockFakeExtensions, Choice::FakeExtensions},
};

bool IsMenuOption(int id) { return id == IDM_FORM1_BLOCK || id == IDM_FORM1_BLOCKBCDEDIT; }

ApplyChoices ReadChoices() {
  ApplyChoices c;
  for (int i = 0; i < kClassCount; ++i) {
    c.suspicious[i] = Form1::BoxValue(IDC_FORM1_CHKSUSPICIOUS + i);
    c.constant[i] = Form1::BoxValue(IDC_FORM1_CHKCONSTANT + i);
  }
  c.silentBlock = Form1::BoxValue(IDC_FORM1_CHKSILENTBLOCK);
  c.noAllow = Form1::BoxValue(IDC_FORM1_CHKNOALLOW);
  c.tempArchives = Form1::MenuChecked(IDM_FORM1_BLOCK);
  c.bcdEdit = Form1::MenuChecked(IDM_FORM1_BLOCKBCDEDIT);
  c.refresh = Form1::MenuChecked(IDM_FORM1_APPLYGPUPDATE);
  for (const auto& option : kOptions)
    if (!IsMenuOption(option.id)) c.boxes[option.id] = Form1::BoxValue(option.id);
  for (int id : {IDC_FORM1_CHKSIDEBAR, IDC_FORM1_CHKWHITELIST}) c.boxes[id] = Form1::BoxValue(id);
  return c;
}

}  // namespace

void Form1::Command1_Click() {
  const ApplyChoices c = ReadChoices();
  Module1::RemoveProtection(false, true, false);
  ShowStoredExeComFilter();
  Module1::SetSaferDefaults();

  for (int i = 0; i < kClassCount; ++i) Save(kFilterKey + L"\\Suspicious", kClasses[i], c.suspicious[i]);
  for (int i = 0; i < kClassCount; ++i) Save(kFilterKey + L"\\Constant", kClasses[i], c.constant[i]);
  Module1::ApplyFilterModule();

  for (const auto& option : kOptions) {
    const bool chosen = option.id == IDM_FORM1_BLOCK         ? c.tempArchives
                        : option.id == IDM_FORM1_BLOCKBCDEDIT ? c.bcdEdit
                                                              : c.Ticked(option.id);
    if (chosen) option.write();
  }
  modToggle::SetSidebarDisabled(c.Ticked(IDC_FORM1_CHKSIDEBAR));
  if (c.Ticked(IDC_FORM1_CHKWHITELIST)) modWhitelist::WhitelistAllKnownItems();

  SavedChoices::Write(Choice::SilentBlock, c.silentBlock);
  SavedChoices::Write(Choice::NoAllow, c.noAllow);
  SavedChoices::Write(Choice::Sidebar, c.boxes.at(IDC_FORM1_CHKSIDEBAR));
  for (const auto& option : kOptions)
    if (!IsMenuOption(option.id)) SavedChoices::Write(option.saved, c.boxes.at(option.id));
  SavedChoices::Write(Choice::TempArchives, c.tempArchives ? 1 : 0);
  SavedChoices::Write(Choice::BcdEdit, c.bcdEdit ? 1 : 0);

  if (c.refresh) Module1::RunGPUpdate(false);

  if (Ask(L"Policies created, but you must restart the PC to ensure the changes take effect!  Restart now?",
          MB_YESNO | MB_ICONQUESTION) == IDYES) {
    Module1::WriteRestartTestEntry();
    ShutDownMod::RebootSystem(true);
  }
}

void Form1::Command2_Click() {
  const bool alsoWhitelist = Ask(L"Also remove any whitelist policies?", MB_YESNO | MB_ICONQUESTION) == IDYES;
  Module1::RemoveProtection(alsoWhitelist, false, true);
  ShowStoredExeComFilter();
  modToggle::PromptKeepSidebarDisabled();
  if (Ask(L"Policies deleted, but you should reboot to ensure changes take effect.  Restart now?",
          MB_YESNO | MB_ICONQUESTION) == IDYES)
    ShutDownMod::RebootSystem(true);
}

void Form1::Command3_Click() { Module1::ReportPreventionTest(false); }
