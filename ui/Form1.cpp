#include "ui/Form1.h"

#include <commctrl.h>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "platform/Dialogs.h"
#include "platform/PromptSeam.h"
#include "platform/StaticDialog.h"
#include "ui/ActionScope.h"
#include "ui/Form1Ids.h"

bool Form1::BrandedMode = false;

namespace {

bool IsSuspicious(int id) { return id >= IDC_FORM1_CHKSUSPICIOUS && id < IDC_FORM1_CHKSUSPICIOUS + 3; }
bool IsConstant(int id) { return id >= IDC_FORM1_CHKCONSTANT && id < IDC_FORM1_CHKCONSTANT + 3; }
bool IsBox(int id) {
  return (id >= IDC_FORM1_CHKAPPDATA && id <= IDC_FORM1_CHKWHITELIST) || IsSuspicious(id) || IsConstant(id) ||
         id == IDC_FORM1_CHKNOALLOW || id == IDC_FORM1_CHKSILENTBLOCK;
}
bool IsLink(int id) { return id == IDC_FORM1_LABEL9 || id == IDC_FORM1_LABEL10 || id == IDC_FORM1_LABEL11; }

UINT MenuStateMessage() {
  static const UINT message = RegisterWindowMessageW(FORM1_MENU_STATE_MESSAGE);
  return message;
}

const wchar_t kClassTip[] = L"Program Information Files, or .PIF files are the predecessor to the shortcut (.LNK) but can "
                            L"still run as executables, even malicious ones.";

}  // namespace

class Form1::MainDialog final : public platform::StaticDialog {
 public:
  MainDialog() : StaticDialog(L"Form1", IDD_FORM1, ICC_WIN95_CLASSES) {}

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    return Form1::OnMessage(Window(), message, wParam, lParam);
  }
  // Closed in the middle of Apply, the window would leave half a protection behind.
  bool MayClose() override { return !ui::ActionScope::Busy(); }
};

Form1::MainDialog& Form1::Dialog() {
  static MainDialog dialog;
  return dialog;
}

HWND Form1::Window() { return Dialog().Window(); }

void Form1::Unload() { Dialog().Close(); }

int Form1::BoxValue(int id) {
  const LRESULT state = SendDlgItemMessageW(Window(), id, BM_GETCHECK, 0, 0);
  return state == BST_CHECKED ? 1 : state == BST_INDETERMINATE ? 2 : 0;
}

void Form1::SetBoxValue(int id, int value) {
  if (value < 0 || value > 2 || !Window() || BoxValue(id) == value) return;
  const WPARAM state = value == 1 ? BST_CHECKED : value == 2 ? BST_INDETERMINATE : BST_UNCHECKED;
  SendDlgItemMessageW(Window(), id, BM_SETCHECK, state, 0);
  if (id == IDC_FORM1_CHKSILENTBLOCK) chkSilentBlock_Click();
  else if (id == IDC_FORM1_CHKNOALLOW) chkNoAllow_Click();
  else if (IsSuspicious(id)) chkSuspicious_Click(id - IDC_FORM1_CHKSUSPICIOUS);
  else if (IsConstant(id)) chkConstant_Click(id - IDC_FORM1_CHKCONSTANT);
}

// A click ticks an unticked or greyed box and unticks a ticked one.
void Form1::OnBoxClicked(int id) { SetBoxValue(id, BoxValue(id) == 1 ? 0 : 1); }

bool Form1::MenuChecked(int id) {
  const UINT state = GetMenuState(GetMenu(Window()), id, MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && (state & MF_CHECKED);
}

void Form1::SetMenuChecked(int id, bool checked) {
  CheckMenuItem(GetMenu(Window()), id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void Form1::SetMenuEnabled(int id, bool enabled) {
  ::EnableMenuItem(GetMenu(Window()), id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void Form1::HideMenuItem(int id) {
  DeleteMenu(GetMenu(Window()), id, MF_BYCOMMAND);
  DrawMenuBar(Window());
}

void Form1::HideTopMenu(int position) {
  DeleteMenu(GetMenu(Window()), position, MF_BYPOSITION);
  DrawMenuBar(Window());
}

void Form1::SetMenuCaption(int id, const std::wstring& caption) {
  ModifyMenuW(GetMenu(Window()), id, MF_BYCOMMAND | MF_STRING, id, caption.c_str());
  DrawMenuBar(Window());
}

int Form1::Ask(const std::wstring& text, UINT type, const std::wstring& title) {
  return platform::ShowMessageBox(Window(), text, title.empty() ? Product::ProductLabel : title, type);
}

// The boxes as the window is designed, before any saved choice is read.
void Form1::SetDesignState() {
  for (int id = IDC_FORM1_CHKAPPDATA; id <= IDC_FORM1_CHKWHITELIST; ++id) CheckDlgButton(Window(), id, BST_CHECKED);
  CheckDlgButton(Window(), IDC_FORM1_CHKSUSPICIOUS + 0, BST_CHECKED);
  CheckDlgButton(Window(), IDC_FORM1_CHKSUSPICIOUS + 1, BST_CHECKED);
  CheckDlgButton(Window(), IDC_FORM1_CHKCONSTANT + 2, BST_CHECKED);
}

void Form1::AddToolTips() {
  HWND tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Window(), nullptr, GetModuleHandleW(nullptr),
                              nullptr);
  if (!tips) return;
  SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, 360);
  const struct {
    int id;
    const wchar_t* text;
  } tools[] = {
      {IDC_FORM1_CHKAPPDATADEEP,
       L"This applies protection to all first-level subdirectories inside %appdata%, equavilent to the /appdatadeep "
       L"switch."},
      {IDC_FORM1_CHKSTARTUPFOLDER,
       L"This is the Startup Folder in the Start Menu from which programs may automatically run."},
      {IDC_FORM1_CHKVSSADMIN,
       L"Used by malware to delete shadow copies or \"previous versions\" of your files, so recovery isn't possible "
       L"after an encryption attack."},
      {IDC_FORM1_CHKFAKEEXT,
       L"Apply protection against fake file extensions (for example, an executable pretending to be a document "
       L"*.docx.exe) and also RLO (Right to Left Override) exploits."},
      {IDC_FORM1_CHKSIDEBAR,
       L"The Windows Sidebar and Gadgets (e.g. the big analog clock) are known to be major security vulnerabilities "
       L"which Microsoft recommends to disable."},
      {IDC_FORM1_CHKWHITELIST,
       L"Apply whitelist policies to all executables currently found in %appdata% and first level subdirectories."},
  };
  const wchar_t* classTips[] = {
      L"Control Panel Applets (prevents execution individually, not via Control Panel itself.",
      L"Screen Saver files, these can be any malicious executable pretending to be a screen saver.", kClassTip};
  auto add = [&](int id, const wchar_t* text) {
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V1_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Window();
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(Window(), id));
    tool.lpszText = const_cast<wchar_t*>(text);
    SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  };
  for (const auto& tool : tools) add(tool.id, tool.text);
  for (int i = 0; i < 3; ++i) {
    add(IDC_FORM1_CHKSUSPICIOUS + i, classTips[i]);
    add(IDC_FORM1_CHKCONSTANT + i, classTips[i]);
  }
}

void Form1::OnCommand(int id, int code) {
  // Clicks that arrive while an action waits are dropped.
  if (ui::ActionScope::Busy()) return;
  ui::ActionScope action;
  if (IsBox(id)) {
    if (code == BN_CLICKED) OnBoxClicked(id);
    return;
  }
  if (IsLink(id)) {
    if (code != STN_CLICKED) return;
    if (id == IDC_FORM1_LABEL10) Label10_Click();
    else if (id == IDC_FORM1_LABEL9) Label9_Click();
    else Label11_Click();
    return;
  }
  if (code != 0 && code != 1) return;  // menu, accelerator or button click
  switch (id) {
    case IDC_FORM1_COMMAND1: Command1_Click(); break;
    case IDC_FORM1_COMMAND2: Command2_Click(); break;
    case IDC_FORM1_COMMAND3: Command3_Click(); break;
    case IDM_FORM1_ABOUT: Menu_About_Click(); break;
    case IDM_FORM1_HELPFORUMS: Menu_HelpForums_Click(); break;
    case IDM_FORM1_TECHNICALINFO: Menu_TechnicalInfo_Click(); break;
    case IDM_FORM1_CMDLINE: Menu_CmdLine_Click(); break;
    case IDM_FORM1_LOG1: Menu_Log1_Click(); break;
    case IDM_FORM1_DEFAULT: Menu_Default_Click(); break;
    case IDM_FORM1_GPUPDATENOW: Menu_GPUpdateNow_Click(); break;
    case IDM_FORM1_APPLYGPUPDATE: Menu_ApplyGPUpdate_Click(); break;
    case IDM_FORM1_DISPLAYWHITELISTS: Menu_DisplayWhitelists_Click(); break;
    case IDM_FORM1_BLOCKBCDEDIT: Menu_BlockBCDEdit_Click(); break;
    case IDM_FORM1_BLOCK: Menu_Block_Click(); break;
    case IDM_FORM1_USERDEFS: Menu_UserDefs_Click(); break;
    case IDM_FORM1_EXEFILTER: Menu_EXEFilter_Click(); break;
    case IDM_FORM1_EMAILALERTS: Menu_EmailAlerts_Click(); break;
    case IDM_FORM1_INSTALL1: Menu_Install_Click(1); break;
    case IDM_FORM1_INSTALL2: Menu_Install_Click(2); break;
    case IDM_FORM1_UPDATECHECKDEFS: Menu_UpdateCheckDefs_Click(); break;
    case IDM_FORM1_UPDATECHECK: Menu_UpdateCheck_Click(); break;
    case IDM_FORM1_REG: Menu_Reg_Click(); break;
  }
}

INT_PTR Form1::OnMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == MenuStateMessage() && message != 0) {
    const UINT state = GetMenuState(GetMenu(dialog), static_cast<UINT>(wParam), MF_BYCOMMAND);
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, state == static_cast<UINT>(-1) ? -1 : static_cast<LONG_PTR>(state));
    return TRUE;
  }
  switch (message) {
    case WM_INITDIALOG:
      SetDesignState();
      AddToolTips();
      Form_Load();
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_CTLCOLORSTATIC:
      if (IsLink(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)))) return platform::LinkColors(wParam);
      return FALSE;
    case WM_SETCURSOR:
      if (IsLink(GetDlgCtrlID(reinterpret_cast<HWND>(wParam))) && IsWindowEnabled(reinterpret_cast<HWND>(wParam)))
        return platform::HandCursor(dialog);
      return FALSE;
  }
  return FALSE;
}

void Form1::Show() {
  if (!Dialog().Show())
    CommonModule::DPrint(L"Form1\\Show: ", L"- Error: the window could not be created");
}
