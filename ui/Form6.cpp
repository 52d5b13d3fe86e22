#include "ui/Form6.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <unordered_set>
#include <vector>

#include "common/CommonModule.h"
#include "common/MCommonFile.h"
#include "common/Product.h"
#include "common/mod32BitIcon.h"
#include "common/modOpSys.h"
#include "common/modRegistry.h"
#include "engine/PolicyLayout.h"
#include "engine/Protection.h"
#include "engine/modWhitelist.h"
#include "platform/Dialogs.h"
#include "platform/Handle.h"
#include "platform/ProductName.h"
#include "platform/PromptSeam.h"
#include "platform/StaticDialog.h"
#include "platform/Text.h"
#include "platform/UserFolder.h"
#include "platform/WindowText.h"
#include "ui/ActionScope.h"
#include "ui/Form6Ids.h"
#include "ui/FormResizer.h"

namespace {

struct EditorState {
  bool bRulesChanged = false;
  SIZE designSize = {};       // the inner size the window opened with
  double designPoints = 8.0;  // the controls' font size at that size
  // The bold notice's own font; declared before the resizer so that it goes after it: the
  // resizer hands each control's first font back when it goes.
  platform::UniqueFont boldFont;
  FormResizer resizer;
};

// The open window's state; made by Show, dropped when the window is gone.
std::unique_ptr<EditorState> g_editor;

class PolicyEditor final : public platform::StaticDialog {
 public:
  PolicyEditor() : StaticDialog(L"Form6", IDD_FORM6) {}

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  bool MayClose() override;
  void OnDestroyed() override { g_editor.reset(); }
};

PolicyEditor& Dialog() {
  static PolicyEditor dialog;
  return dialog;
}

// Null while the window is not loaded.
HWND Window() { return Dialog().Window(); }

HWND Item(int id) { return GetDlgItem(Window(), id); }

std::wstring ControlText(int id) { return platform::ItemText(Window(), id); }

std::wstring ListText(HWND list, int index) {
  const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, index, 0);
  if (length == LB_ERR) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT got = SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
  text.resize(got == LB_ERR ? 0 : static_cast<size_t>(got));
  return text;
}

int ListCount(HWND list) { return static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0)); }

HWND RuleList(bool whitelist) { return Item(whitelist ? IDC_FORM6_LIST1 : IDC_FORM6_LIST2); }

std::wstring PathsKey(bool whitelist) {
  return whitelist ? PolicyLayout::kWhitelistPaths : PolicyLayout::kDisallowedPaths;
}

// The subkey names of a level's Paths key; false when the key cannot be listed.
bool RuleKeys(bool whitelist, std::vector<std::wstring>& names) {
  std::wstring joined;
  if (modRegistry::fEnumKey(L"HKLM", PathsKey(whitelist), joined) != 0) return false;
  names.clear();
  for (const auto& name : platform::Split(joined, std::wstring(1, L'\0')))
    if (!name.empty()) names.push_back(name);
  return true;
}

std::wstring RuleText(bool whitelist, const std::wstring& keyName) {
  return modRegistry::ReadText(HKEY_LOCAL_MACHINE, PathsKey(whitelist) + L"\\" + keyName, L"ItemData");
}

void LoadPathRules(bool bWhitelist) {
  HWND list = RuleList(bWhitelist);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  std::vector<std::wstring> names;
  if (!RuleKeys(bWhitelist, names)) return;
  // Filled in one pass, each text once whatever its case, and drawn once at the end.
  std::unordered_set<std::wstring> listed;
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  for (const auto& name : names) {
    const std::wstring text = RuleText(bWhitelist, name);
    // Rules ending in "%" (the policy's own registry-path rules) are not the user's to edit.
    if (text.empty() || text.back() == L'%' || !listed.insert(platform::Lower(text)).second) continue;
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void RemovePathRule(const std::wstring& sItem, bool bWhitelist) {
  std::vector<std::wstring> names;
  if (!RuleKeys(bWhitelist, names)) return;
  for (const auto& name : names) {
    if (platform::Lower(RuleText(bWhitelist, name)) == sItem) {
      bool notFound = false;
      modRegistry::fDeleteKey(L"HKLM", PathsKey(bWhitelist), name, notFound);
    }
  }
  g_editor->bRulesChanged = true;
}

void RemoveSelected(bool whitelist) {
  HWND list = RuleList(whitelist);
  std::vector<std::wstring> selected;
  for (int i = 0, count = ListCount(list); i < count; ++i)
    if (SendMessageW(list, LB_GETSEL, i, 0) > 0) selected.push_back(platform::Lower(ListText(list, i)));
  for (const auto& item : selected) RemovePathRule(item, whitelist);
  LoadPathRules(whitelist);
}

void SelectAll(bool whitelist, bool selected) {
  SendMessageW(RuleList(whitelist), LB_SETSEL, selected ? TRUE : FALSE, -1);
}

void SearchBlacklist() {
  const std::wstring wanted = platform::Lower(ControlText(IDC_FORM6_TEXT3));
  HWND list = RuleList(false);
  for (int i = 0, count = ListCount(list); i < count; ++i) {
    const bool hit = !wanted.empty() && platform::Contains(platform::Lower(ListText(list, i)), wanted);
    SendMessageW(list, LB_SETSEL, hit ? TRUE : FALSE, i);
  }
}

int Ask(const std::wstring& text, const std::wstring& caption, UINT type) {
  return platform::ShowMessageBox(Window(), text, caption, type);
}

// The chosen whitelist scope: 0 custom, 1 %appdata%, 2 %programdata%, 3 %userprofile%, 4 startup.
int Scope() {
  for (int i = 0; i <= 4; ++i)
    if (IsDlgButtonChecked(Window(), IDC_FORM6_OPTWL0 + i) == BST_CHECKED) return i;
  return 0;
}

// The folders a scope's rules are relative to, as Windows keeps them (the environment would let
// whoever started the program choose what a chosen file's rule names); the first is where the file
// dialog opens.
std::vector<std::wstring> ScopeFolders(int scope) {
  switch (scope) {
    case 1: return modWhitelist::AppDataFolders();
    case 2: return {platform::UserFolderPath(platform::UserFolder::CommonAppData)};
    case 3: return {platform::UserFolderPath(platform::UserFolder::Profile)};
    case 4: return modWhitelist::StartupFolders();
    default: return {};
  }
}

void Browse() {
  const int scope = Scope();
  if (scope == 2 && !modOpSys::IsVista()) {
    Ask(L"ProgramData does not exist on Windows XP.", Product::ProductLabel, MB_OK);
    return;
  }
  const std::vector<std::wstring> folders = ScopeFolders(scope);
  const std::wstring baseFolder = folders.empty() ? L"" : folders.front();
  std::wstring chosen;
  bool readOnly = false;
  std::wstring filter = L"EXEs (*.exe;*.com)|*.exe;*.com";
  int32_t filterIndex = 1;
  int32_t extraFlags = 0;
  MCommonFile::ShowOpenFile(chosen, true, false, readOnly, true, filter, filterIndex, baseFolder,
                            L"Select an Executable to Whitelist", L"", nullptr, extraFlags);
  if (chosen.empty()) return;
  std::wstring text = platform::Lower(chosen);
  if (scope != 0 && !modWhitelist::RelativeToFolders(chosen, folders, text)) {
    // A rule for it would name a path below the scope's folder that does not exist.
    std::wstring inside;
    for (const auto& folder : folders) inside += L"\r\n" + folder;
    Ask(L"That file is not inside the folder of the chosen scope:" + inside +
            L"\r\n\r\nChoose a file there, or choose Custom policy to whitelist a full path.",
        Product::ProductLabel, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  SetDlgItemTextW(Window(), IDC_FORM6_TEXT1, text.c_str());
}

void AddToWhitelist() {
  const int scope = Scope();
  const std::wstring text = ControlText(IDC_FORM6_TEXT1);
  if (text.empty()) return;
  SetDlgItemTextW(Window(), IDC_FORM6_TEXT1, L"");
  switch (scope) {
    case 1: modWhitelist::WhitelistItem(text); break;
    case 2: modWhitelist::WhitelistProgramDataItem(text); break;
    case 3: modWhitelist::WhitelistUserProfileItem(text); break;
    case 4: modWhitelist::WhitelistStartupItem(text); break;
    default: Protection::AddPathRule(text, true); break;
  }
  LoadPathRules(true);
  g_editor->bRulesChanged = true;
}

void WhitelistAll() {
  modWhitelist::WhitelistAllKnownItems();
  LoadPathRules(true);
  Ask(L"Operation completed.", Product::ProductLabel, MB_OK);
}

void AddToBlacklist() {
  const std::wstring text = platform::Trim(ControlText(IDC_FORM6_TEXT2));
  if (Ask(L"This is an ADVANCED option that you should only use if you understand what you are doing and are "
          L"familiar with Windows software restriction policies and syntax!!  Do you wish to proceed?",
          L"WARNING!", MB_OKCANCEL | MB_DEFBUTTON2) != IDOK)
    return;
  if (platform::Lower(text) == L"*.exe") {
    Ask(L"Blacklisting that will ruin the OS!", Product::ProductLabel, MB_OK);
    SetDlgItemTextW(Window(), IDC_FORM6_TEXT2, L"");
    return;
  }
  // A blank rule would be no rule at all: nothing to write, nothing to report as created.
  if (text.empty()) return;
  Protection::AddPathRule(text, false);
  g_editor->bRulesChanged = true;
  Ask(L"You may need to reboot if your rule does not work as expected.  NOTE:  This rule will not persist after a "
      ILATCH_PRODUCT_NAME L" automatic application update!  To undo this rule, you must use the UNDO button to remove all "
      L"protection, then re-apply your preferred protection settings.",
      L"Rule Created!", MB_OK);
}

// "major.minor", and ".revision" when the revision is not 0.
std::wstring VersionText() {
  bool fourParts = true;
  const auto parts = platform::Split(CommonModule::FileVersionNo(CommonModule::AppExeFullPath(), fourParts), L".");
  if (parts.size() < 4) return L"";
  std::wstring text = parts[0] + L"." + parts[1];
  if (parts[3] != L"0") text += L"." + parts[3];
  return text;
}

SIZE InnerSize(HWND window) {
  RECT client = {};
  GetClientRect(window, &client);
  return {client.right - client.left, client.bottom - client.top};
}

// The system's dialog text size, and never below 8 points.
double DialogPoints() {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  double points = 0;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) && metrics.lfMessageFont.lfHeight) {
    const int dpi = platform::ScreenPixelsPerInch();
    points = std::abs(metrics.lfMessageFont.lfHeight) * 72.0 / (dpi > 0 ? dpi : 96);
  }
  return std::max(points, 8.0);
}

// The fonts follow the window from its design size, by the smaller of its two stretches so that
// the text still fits its controls; a minimised window keeps them.
void Resize() {
  if (!g_editor) return;
  const SIZE inner = InnerSize(Window()), design = g_editor->designSize;
  double points = 0;
  if (inner.cx > 0 && inner.cy > 0 && design.cx > 0 && design.cy > 0)
    points = g_editor->designPoints * std::min(static_cast<double>(inner.cx) / design.cx,
                                               static_cast<double>(inner.cy) / design.cy);
  g_editor->resizer.ResizeControlsToPoints(Window(), points);
}

void Load(HWND dialog) {
  // The notice is bold; the resizer keeps the weight of the font a control has when it records.
  LOGFONTW face = {};
  HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  if (GetObjectW(dialogFont ? static_cast<HGDIOBJ>(dialogFont) : GetStockObject(DEFAULT_GUI_FONT), sizeof face,
                 &face)) {
    face.lfWeight = FW_BOLD;
    g_editor->boldFont.reset(CreateFontIndirectW(&face));
    if (g_editor->boldFont)
      SendMessageW(Item(IDC_FORM6_LABEL6), WM_SETFONT, reinterpret_cast<WPARAM>(g_editor->boldFont.get()), FALSE);
  }
  g_editor->resizer.InitResizeArray(dialog);
  g_editor->designSize = InnerSize(dialog);
  g_editor->designPoints = DialogPoints();
  mod32BitIcon::SetFormIcon(dialog);
  SetWindowTextW(dialog, (L"Policy Editor - v" + VersionText()).c_str());
  CheckRadioButton(dialog, IDC_FORM6_OPTWL0, IDC_FORM6_OPTWL4, IDC_FORM6_OPTWL0);
  LoadPathRules(true);
  LoadPathRules(false);
  Resize();  // the layout and fonts a first resize gives, as a shown window gets them
}

void Unload(HWND dialog) {
  if (g_editor && g_editor->bRulesChanged) {
    g_editor->bRulesChanged = false;  // one refresh, however the close arrives
    ShowWindow(dialog, SW_HIDE);
    Protection::RunGPUpdate(false);
  }
  DestroyWindow(dialog);
}

void OnCommand(HWND dialog, int id, int code) {
  switch (id) {
    case IDC_FORM6_COMMAND1: if (code == BN_CLICKED) RemoveSelected(true); break;
    case IDC_FORM6_COMMAND5: if (code == BN_CLICKED) RemoveSelected(false); break;
    case IDC_FORM6_COMMAND2: if (code == BN_CLICKED) Browse(); break;
    case IDC_FORM6_COMMAND3: if (code == BN_CLICKED) AddToWhitelist(); break;
    case IDC_FORM6_COMMAND4: if (code == BN_CLICKED) WhitelistAll(); break;
    case IDC_FORM6_COMMAND7: if (code == BN_CLICKED) AddToBlacklist(); break;
    case IDC_FORM6_LABEL3: if (code == STN_CLICKED) SelectAll(true, true); break;
    case IDC_FORM6_LABEL4: if (code == STN_CLICKED) SelectAll(true, false); break;
    case IDC_FORM6_LABEL2: if (code == STN_CLICKED) SelectAll(false, true); break;
    case IDC_FORM6_LABEL7: if (code == STN_CLICKED) SelectAll(false, false); break;
    case IDCANCEL: Unload(dialog); break;
    default: break;
  }
}

INT_PTR PolicyEditor::OnMessage(UINT message, WPARAM wParam, LPARAM) {
  HWND dialog = Window();
  switch (message) {
    case WM_INITDIALOG:
      Load(dialog);
      return TRUE;
    case WM_SIZE:
      // Sent once before the controls exist too; the resizer has no records then.
      Resize();
      return TRUE;
    case WM_COMMAND:
      // The search box selects as it is typed in; every other command is an action of its own.
      if (g_editor && LOWORD(wParam) == IDC_FORM6_TEXT3) {
        if (HIWORD(wParam) == EN_CHANGE) SearchBlacklist();
      } else if (g_editor && !ui::ActionScope::Busy()) {
        ui::ActionScope action;
        OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
      }
      return TRUE;
  }
  return FALSE;
}

// Closed while a scan, a file dialog or a question waits, the action would resume on a window
// that is gone. Unload ends the window itself, after the policy refresh.
bool PolicyEditor::MayClose() {
  if (!ui::ActionScope::Busy()) {
    ui::ActionScope action;
    Unload(Window());
  }
  return false;
}

}  // namespace

void Form6::AddIfNotInListBox(const std::wstring& sItemToAdd, bool bWhitelist) {
  if (!g_editor || !Window() || sItemToAdd.empty()) return;
  HWND list = RuleList(bWhitelist);
  const std::wstring wanted = platform::Lower(sItemToAdd);
  for (int i = 0, count = ListCount(list); i < count; ++i)
    if (platform::Lower(ListText(list, i)) == wanted) return;
  SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(sItemToAdd.c_str()));
}

void Form6::Show() {
  const bool opening = !g_editor;
  if (opening) g_editor = std::make_unique<EditorState>();
  if (!Dialog().Show() && opening) g_editor.reset();
}
