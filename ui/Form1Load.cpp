// The main window's load: icon, caption, branded and portable modes, and the saved choices.
#include <iterator>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/Variant.h"
#include "common/WebPages.h"
#include "common/mod32BitIcon.h"
#include "common/modRegistry.h"
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

using ProtectionCatalogue::Choice;
using ProtectionCatalogue::Control;

// Each choice's box or menu item as saved; then the EXE/COM filter's menu item as the filter was
// last set. A menu item is checked when its choice is saved as 1, unchecked as another number.
void LoadSavedChoices() {
  const SavedChoices::Saved saved = SavedChoices::Saved::Read();
  for (const Control control : {Control::Box, Control::MenuItem}) {
    for (const ProtectionCatalogue::Row& row : ProtectionCatalogue::kRows) {
      if (row.window.control != control) continue;
      const std::optional<int> value = saved.BoxValue(row.choice);
      if (!value) continue;
      if (control == Control::Box) Form1::SetBoxValue(row.window.id, *value);
      else Form1::SetMenuChecked(row.window.id, *value == 1);
    }
  }
  if (saved.On(Choice::ExeComFilter)) Form1::SetMenuChecked(IDM_FORM1_EXEFILTER, true);
}

void WriteBox(Choice choice) { SavedChoices::Write(choice, Form1::BoxValue(ProtectionCatalogue::RowOf(choice).window.id)); }

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
  mod32BitIcon::SetFormIcon(window);
  BrandedMode = CommonModule::DoesFileExist(CommonModule::IniPath);

  if (BrandedMode) {
    SetWindowTextW(window, Product::ProductLabel.c_str());
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

  if (modRegistry::ReadText(HKEY_LOCAL_MACHINE, Product::kSettingsKey, L"Installed") != L"1") {
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

void Form1::chkSilentBlock_Click() { WriteBox(Choice::SilentBlock); }

void Form1::chkNoAllow_Click() { WriteBox(Choice::NoAllow); }

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
