// The main window's load: icon, caption, branded and portable modes, and the saved choices.
#include <iterator>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/Variant.h"
#include "common/WebPages.h"
#include "common/modRegistry.h"
#include "engine/Module1.h"
#include "engine/SavedChoices.h"
#include "ui/Form1.h"
#include "ui/Form1Ids.h"

namespace {

const std::wstring kFilterKey = Product::kFilterModuleKey;
constexpr auto& kClasses = Product::kHookedClasses;
constexpr int kClassCount = static_cast<int>(std::size(kClasses));  // a box of each in both rows

// A saved text as a box value; false when it is no whole number (the box then stays as it is).
bool Number(const std::wstring& text, int& number) {
  int32_t n = 0;
  if (!Variant(text).ToLong(n)) return false;
  number = n;
  return true;
}

void SetBoxFromText(int id, const std::wstring& text) {
  int number = 0;
  if (Number(text, number)) Form1::SetBoxValue(id, number);
}

using SavedChoices::Choice;

// The boxes of the saved choices.
const std::pair<Choice, int> kChoiceBoxes[] = {
    {Choice::SilentBlock, IDC_FORM1_CHKSILENTBLOCK},
    {Choice::NoAllow, IDC_FORM1_CHKNOALLOW},  // ticked when unsaved, which its click handler then saves
    {Choice::Appdata, IDC_FORM1_CHKAPPDATA},
    {Choice::AppdataDeep, IDC_FORM1_CHKAPPDATADEEP},
    {Choice::AppdataLocal, IDC_FORM1_CHKAPPDATALOCAL},
    {Choice::RecycleBin, IDC_FORM1_CHKRECYCLEBIN},
    {Choice::UserProfile, IDC_FORM1_CHKUSERPROFILE},
    {Choice::ProgramData, IDC_FORM1_CHKPROGRAMDATA},
    {Choice::StartupFolder, IDC_FORM1_CHKSTARTUPFOLDER},
    {Choice::Syskey, IDC_FORM1_CHKSYSKEY},
    {Choice::Cipher, IDC_FORM1_CHKCIPHER},
    {Choice::Vssadmin, IDC_FORM1_CHKVSSADMIN},
    {Choice::AutoWhitelist, IDC_FORM1_CHKWHITELIST},
    {Choice::Sidebar, IDC_FORM1_CHKSIDEBAR},
    {Choice::FakeExtensions, IDC_FORM1_CHKFAKEEXT},
};

// The menu items of the saved choices: ticked when saved as 1, unticked when saved as another number.
const std::pair<Choice, int> kChoiceMenuItems[] = {
    {Choice::TempArchives, IDM_FORM1_BLOCK},
    {Choice::BcdEdit, IDM_FORM1_BLOCKBCDEDIT},
};

void LoadSavedChoices() {
  const SavedChoices::Saved saved = SavedChoices::Saved::Read();
  for (const auto& [choice, id] : kChoiceBoxes)
    if (const std::optional<int> value = saved.BoxValue(choice)) Form1::SetBoxValue(id, *value);
  for (const auto& [choice, id] : kChoiceMenuItems)
    if (const std::optional<int> value = saved.BoxValue(choice)) Form1::SetMenuChecked(id, *value == 1);
  if (saved.On(Choice::ExeComFilter)) Form1::SetMenuChecked(IDM_FORM1_EXEFILTER, true);
}

void WriteBox(Choice choice, int id) { SavedChoices::Write(choice, Form1::BoxValue(id)); }

void DisableFilterFrame() {
  const int ids[] = {IDC_FORM1_FRAME3,          IDC_FORM1_LABEL1,          IDC_FORM1_LABEL4,
                     IDC_FORM1_LABEL6,          IDC_FORM1_LABEL11,         IDC_FORM1_CHKNOALLOW,
                     IDC_FORM1_CHKSILENTBLOCK,  IDC_FORM1_CHKSUSPICIOUS + 0, IDC_FORM1_CHKSUSPICIOUS + 1,
                     IDC_FORM1_CHKSUSPICIOUS + 2, IDC_FORM1_CHKCONSTANT + 0, IDC_FORM1_CHKCONSTANT + 1,
                     IDC_FORM1_CHKCONSTANT + 2};
  for (int id : ids) EnableWindow(GetDlgItem(Form1::Window(), id), FALSE);
}

}  // namespace

void Form1::Form_Load() {
  HWND window = Window();
  Module1::SetFormIcon(window);
  BrandedMode = CommonModule::DoesFileExist(CommonModule::IniPath);

  if (BrandedMode) {
    SetWindowTextW(window, Module1::ProductLabel.c_str());
    if (CommonModule::ReadIni(CommonModule::IniPath, L"Installer", L"Website").empty()) {
      HideTopMenu(0);  // "Information"
    } else {
      SetMenuCaption(IDM_FORM1_ABOUT, L"Goto our Website");
      HideMenuItem(IDM_FORM1_CMDLINE);
      HideMenuItem(IDM_FORM1_TECHNICALINFO);
      HideMenuItem(IDM_FORM1_HELPFORUMS);
    }
  } else {
    SetWindowTextW(window, CommonModule::GetVersionText(L"", L"").c_str());
  }

  if (modRegistry::ReadText(HKEY_LOCAL_MACHINE, Module1::kSettingsKey, L"Installed") != L"1") {
    HideMenuItem(IDM_FORM1_INSTALL2);
    SetMenuEnabled(IDM_FORM1_EMAILALERTS, false);
    SetMenuEnabled(IDM_FORM1_EXEFILTER, false);
    SetMenuEnabled(IDM_FORM1_USERDEFS, false);
    SetDlgItemTextW(window, IDC_FORM1_FRAME3, L"Filter Module:  (not available in portable edition)");
    for (int i = 0; i < kClassCount; ++i) SetBoxValue(IDC_FORM1_CHKCONSTANT + i, 0);
    for (int i = 0; i < kClassCount; ++i) SetBoxValue(IDC_FORM1_CHKSUSPICIOUS + i, 0);
    DisableFilterFrame();
    return;
  }

  HideMenuItem(IDM_FORM1_CMDLINE);
  HideMenuItem(IDM_FORM1_INSTALL1);

  for (const auto& [subkey, base] : {std::pair{L"\\Suspicious", IDC_FORM1_CHKSUSPICIOUS},
                                     std::pair{L"\\Constant", IDC_FORM1_CHKCONSTANT}}) {
    for (int i = 0; i < kClassCount; ++i) {
      const std::wstring text = modRegistry::ReadText(HKEY_LOCAL_MACHINE, kFilterKey + subkey, kClasses[i]);
      if (!text.empty()) SetBoxFromText(base + i, text);
    }
  }

  LoadSavedChoices();
}

void Form1::chkSilentBlock_Click() { WriteBox(Choice::SilentBlock, IDC_FORM1_CHKSILENTBLOCK); }

void Form1::chkNoAllow_Click() { WriteBox(Choice::NoAllow, IDC_FORM1_CHKNOALLOW); }

// A class is filtered in suspicious mode, constant mode or not at all, never both.
void Form1::chkSuspicious_Click(int index) {
  if (BoxValue(IDC_FORM1_CHKSUSPICIOUS + index) == 1) SetBoxValue(IDC_FORM1_CHKCONSTANT + index, 0);
}

void Form1::chkConstant_Click(int index) {
  if (BoxValue(IDC_FORM1_CHKCONSTANT + index) == 1) SetBoxValue(IDC_FORM1_CHKSUSPICIOUS + index, 0);
}

namespace {

// The boxes that "All /" and "None" set, in their order; the whitelist box is not among them.
void SetProtectionBoxes(int value) {
  for (int id = IDC_FORM1_CHKAPPDATA; id <= IDC_FORM1_CHKSIDEBAR; ++id) Form1::SetBoxValue(id, value);
}

}  // namespace

void Form1::Label10_Click() { SetProtectionBoxes(1); }

void Form1::Label9_Click() { SetProtectionBoxes(0); }

void Form1::Label11_Click() {
  if (Ask(L"These settings offer max protection but may cause false positives in some anti-malware apps!  Read more?",
          MB_YESNO | MB_ICONQUESTION) == IDYES)
    CommonModule::OpenWebPage(WebPages::kFalsePositives);
}
