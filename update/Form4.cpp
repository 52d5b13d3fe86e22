#include "update/Form4.h"

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <random>
#include <vector>

#include "common/CommonModule.h"
#include "common/MCommonFile.h"
#include "common/Product.h"
#include "common/WebPages.h"
#include "common/clsFSO.h"
#include "common/mod32BitIcon.h"
#include "common/modOpSys.h"
#include "engine/UpdateTasks.h"
#include "engine/modWhitelist.h"
#include "platform/Dialogs.h"
#include "platform/PromptSeam.h"
#include "platform/StaticDialog.h"
#include "platform/Text.h"
#include "platform/UserFolder.h"
#include "platform/WindowText.h"
#include "update/Form4Ids.h"
#include "update/Form5.h"
#include "update/InstallerScript.h"
#include "update/ProgramSwap.h"
#include "update/SettingsIni.h"
#include "update/modSpecialFolders.h"
#include "update/modUpdate.h"

namespace {

constexpr wchar_t kCrLf[] = L"\r\n";
constexpr const wchar_t* kWhiteLabelPage = WebPages::kWhiteLabel;
constexpr const wchar_t* kSecurityWarningsPage = WebPages::kSecurityWarnings;

class ConfigBuilder final : public platform::StaticDialog {
 public:
  ConfigBuilder() : StaticDialog(L"Form4", IDD_FORM4, ICC_WIN95_CLASSES) {}

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

ConfigBuilder& Dialog() {
  static ConfigBuilder dialog;
  return dialog;
}

// Null while the window is not loaded.
HWND Window() { return Dialog().Window(); }

bool g_tempExeWarned = false;  // the temp-EXE question is asked on the first change only

using ProtectionCatalogue::Choice;
using Settings = SettingsIni::Settings;
using Flag = bool Settings::*;
using Text = std::wstring Settings::*;

// A control and the setting it holds (a protection option, a flag or a text), in the order the
// window loads them.
struct Bind {
  int id;
  Flag flag;
  Text text;
  std::optional<Choice> choice;
};
constexpr Bind C(int id, Choice choice) { return {id, nullptr, nullptr, choice}; }
constexpr Bind B(int id, Flag flag) { return {id, flag, nullptr, {}}; }
constexpr Bind T(int id, Text text) { return {id, nullptr, text, {}}; }

const Bind kBinds[] = {
    T(IDC_FORM4_TXTNAME, &Settings::RegName),
    B(IDC_FORM4_CHECK9, &Settings::EnableSchedule),
    T(IDC_FORM4_COMBO1, &Settings::ScheduledHour),
    T(IDC_FORM4_COMBO2, &Settings::ScheduledDay),
    C(IDC_FORM4_CHKSIDEBAR, Choice::Sidebar),
    C(IDC_FORM4_CHKUSERPROFILE, Choice::UserProfile),
    C(IDC_FORM4_CHKAPPDATA, Choice::Appdata),
    C(IDC_FORM4_CHKTEMPEXES, Choice::TempArchives),
    C(IDC_FORM4_CHKWHITELIST, Choice::AutoWhitelist),
    B(IDC_FORM4_CHECK13, &Settings::NoRestartPrompt),
    C(IDC_FORM4_CHKFAKEEXT, Choice::FakeExtensions),
    C(IDC_FORM4_CHKSYSKEY, Choice::Syskey),
    C(IDC_FORM4_CHKBCDEDIT, Choice::BcdEdit),
    C(IDC_FORM4_CHKAPPDATADEEP, Choice::AppdataDeep),
    C(IDC_FORM4_CHKAPPDATALOCAL, Choice::AppdataLocal),
    C(IDC_FORM4_CHKRECYCLEBIN, Choice::RecycleBin),
    C(IDC_FORM4_CHKPROGRAMDATA, Choice::ProgramData),
    C(IDC_FORM4_CHKSTARTUPFOLDER, Choice::StartupFolder),
    C(IDC_FORM4_CHKCIPHER, Choice::Cipher),
    C(IDC_FORM4_CHKVSSADMIN, Choice::Vssadmin),
    B(IDC_FORM4_CHECK4, &Settings::Advanced),
    B(IDC_FORM4_CHECK5, &Settings::ApplySilent),
    B(IDC_FORM4_CHECK6, &Settings::RebootSilent),
    B(IDC_FORM4_CHECK10, &Settings::UpdateOnInstall),
    C(IDC_FORM4_CHKSILENTBLOCK, Choice::SilentBlock),
    C(IDC_FORM4_CHKNOALLOW, Choice::NoAllow),
    B(IDC_FORM4_CHKSUSPICIOUS0, &Settings::SuspiciousCPL),
    B(IDC_FORM4_CHKSUSPICIOUS1, &Settings::SuspiciousSCR),
    B(IDC_FORM4_CHKSUSPICIOUS2, &Settings::SuspiciousPIF),
    B(IDC_FORM4_CHKCONSTANT0, &Settings::ConstantCPL),
    B(IDC_FORM4_CHKCONSTANT1, &Settings::ConstantSCR),
    B(IDC_FORM4_CHKCONSTANT2, &Settings::ConstantPIF),
    T(IDC_FORM4_TXTDSSURL, &Settings::Website),
    T(IDC_FORM4_TXTEULA, &Settings::EULA),
    T(IDC_FORM4_TXTPRE, &Settings::PreInfo),
    T(IDC_FORM4_TXTPOST, &Settings::PostInfo),
};

// The boxes that are ticked before any settings are loaded.
const int kOnBeforeLoad[] = {
    IDC_FORM4_CHKAPPDATA,   IDC_FORM4_CHKAPPDATADEEP,  IDC_FORM4_CHKAPPDATALOCAL, IDC_FORM4_CHKRECYCLEBIN,
    IDC_FORM4_CHKUSERPROFILE, IDC_FORM4_CHKPROGRAMDATA, IDC_FORM4_CHKSTARTUPFOLDER, IDC_FORM4_CHKSYSKEY,
    IDC_FORM4_CHKCIPHER,    IDC_FORM4_CHKVSSADMIN,     IDC_FORM4_CHKFAKEEXT,      IDC_FORM4_CHKSIDEBAR,
    IDC_FORM4_CHKWHITELIST, IDC_FORM4_CHKNOALLOW,
};

constexpr wchar_t kTipLocations[] =
    L"Apply Protection to %appdata% and %localappdata% and their first level subfolders, in addition to the Recycle Bin.";
constexpr wchar_t kTipProfile[] = L"Apply Protection to %userprofile% and %programdata% in addition to the Startup folder.";
constexpr wchar_t kTipPrograms[] = L"Prevents SYSKEY.EXE CIPHER.EXE and VSSADMIN.EXE from running.";
constexpr wchar_t kTipFake[] =
    L"Apply protection against fake file extensions (for example, an executable pretending to be a document "
    L"*.docx.exe) and also RLO (Right to Left Override) exploits.";
constexpr wchar_t kTipSilent[] =
    L"Forces the post-installation task of applying the protection to occur silently.  Use /verysilent with the "
    L"installer to roll out a completely silent installation.";
constexpr wchar_t kTipSilentLabels[] =
    L"When using the options below, you should run the installer with a silent parameter:  " ILATCH_PRODUCT_NAME
    L"Setup.exe /verysilent";

const std::pair<int, const wchar_t*> kTips[] = {
    {IDC_FORM4_CHKAPPDATA, kTipLocations},
    {IDC_FORM4_CHKAPPDATADEEP, kTipLocations},
    {IDC_FORM4_CHKAPPDATALOCAL, kTipLocations},
    {IDC_FORM4_CHKRECYCLEBIN, kTipLocations},
    {IDC_FORM4_CHKSTARTUPFOLDER, kTipLocations},
    {IDC_FORM4_CHKUSERPROFILE, kTipProfile},
    {IDC_FORM4_CHKPROGRAMDATA, kTipProfile},
    {IDC_FORM4_CHKSYSKEY, kTipPrograms},
    {IDC_FORM4_CHKCIPHER, kTipPrograms},
    {IDC_FORM4_CHKVSSADMIN, kTipPrograms},
    {IDC_FORM4_CHKFAKEEXT, kTipFake},
    {IDC_FORM4_CHKSUSPICIOUS0, kTipFake},
    {IDC_FORM4_CHKSUSPICIOUS1, kTipFake},
    {IDC_FORM4_CHKSUSPICIOUS2, kTipFake},
    {IDC_FORM4_CHKCONSTANT0, kTipFake},
    {IDC_FORM4_CHKCONSTANT1, kTipFake},
    {IDC_FORM4_CHKCONSTANT2, kTipFake},
    {IDC_FORM4_CHKSIDEBAR,
     L"The Windows Sidebar and Gadgets (e.g. the big analog clock) are known to be major security vulnerabilities "
     L"which Microsoft recommends to disable."},
    {IDC_FORM4_CHKWHITELIST,
     L"Apply whitelist policies to all executables currently found in %appdata% and first level subdirectories."},
    {IDC_FORM4_CHECK5, kTipSilent},
    {IDC_FORM4_CHECK10, kTipSilent},
    {IDC_FORM4_CHECK6, L"Force a reboot when applying the protection silently during installation."},
    {IDC_FORM4_SILENTLABEL1, kTipSilentLabels},
    {IDC_FORM4_SILENTLABEL2, kTipSilentLabels},
    {IDC_FORM4_TXTEULA,
     L"Enter a filename for a EULA (.txt or .rtf) to be displayed which must be accepted prior to installation."},
    {IDC_FORM4_TXTPRE, L"Enter a filename (.txt or .rtf) for an Info file to be displayed prior to installation."},
    {IDC_FORM4_TXTPOST,
     L"Enter a filename (.txt or .rtf) for an Info file to be displayed after successful installation."},
};

HWND Item(int id) { return GetDlgItem(Window(), id); }

int Tell(const std::wstring& text, UINT type) {
  return platform::ShowMessageBox(Window(), text, Product::ProductLabel, type);
}

std::wstring ProgramFolder() { return CommonModule::StripTrailingCharacters(CommonModule::AppPath(), L"\\"); }

bool SameFolder(const std::wstring& a, const std::wstring& b) { return platform::Lower(a) == platform::Lower(b); }

std::wstring ControlText(int id) { return platform::ItemText(Window(), id); }

bool Checked(int id) { return IsDlgButtonChecked(Window(), id) == BST_CHECKED; }

void OnBoxChanged(int id);

// A box set from code counts as a change, as a click would.
void SetBox(int id, bool on) {
  if (Checked(id) == on) return;
  CheckDlgButton(Window(), id, on ? BST_CHECKED : BST_UNCHECKED);
  OnBoxChanged(id);
}

void OnBoxChanged(int id) {
  if (id == IDC_FORM4_CHKTEMPEXES) {
    if (g_tempExeWarned) return;
    g_tempExeWarned = true;
    const int answer = platform::ShowMessageBox(
        Window(),
        L"Selecting this option provides maximum protection but can also impede a certain programs and installations "
        L"from working properly while protection is enabled.  Please see the website for more details.  Are you sure "
        L"you wish to do this?",
        L"Are you sure?", MB_YESNO | MB_ICONQUESTION);
    if (answer == IDNO) SetBox(IDC_FORM4_CHKTEMPEXES, false);
    return;
  }
  // A file class is filtered in one mode at most.
  if (id >= IDC_FORM4_CHKSUSPICIOUS0 && id <= IDC_FORM4_CHKSUSPICIOUS2) {
    if (Checked(id)) SetBox(id - IDC_FORM4_CHKSUSPICIOUS0 + IDC_FORM4_CHKCONSTANT0, false);
  } else if (id >= IDC_FORM4_CHKCONSTANT0 && id <= IDC_FORM4_CHKCONSTANT2) {
    if (Checked(id)) SetBox(id - IDC_FORM4_CHKCONSTANT0 + IDC_FORM4_CHKSUSPICIOUS0, false);
  }
}

Settings ReadControls() {
  Settings settings;
  for (const Bind& bind : kBinds) {
    if (bind.choice) settings.choices.Set(*bind.choice, Checked(bind.id));
    else if (bind.flag) settings.*bind.flag = Checked(bind.id);
    else settings.*bind.text = ControlText(bind.id);
  }
  HWND list = Item(IDC_FORM4_LIST1);
  const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::wstring entry(static_cast<size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
    entry.resize(static_cast<size_t>(SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(entry.data()))));
    settings.Whitelist.push_back(entry);
  }
  return settings;
}

// The tips window is owned by the dialog and goes with it.
void AddTips() {
  HWND tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Window(), nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  if (!tips) return;
  SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, 400);
  for (const auto& [id, text] : kTips) {
    TOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Window();
    tool.uId = reinterpret_cast<UINT_PTR>(Item(id));
    tool.lpszText = const_cast<wchar_t*>(text);
    SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void FillCombo(int id, const std::vector<std::wstring>& items) {
  for (const auto& item : items) SendDlgItemMessageW(Window(), id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

void Load() {
  mod32BitIcon::SetFormIcon(Window());
  SetWindowTextW(Window(), (CommonModule::GetVersionText(L"", L"") + L" -  White-Label Config").c_str());
  g_tempExeWarned = false;
  for (int id : kOnBeforeLoad) CheckDlgButton(Window(), id, BST_CHECKED);

  std::vector<std::wstring> hours;
  for (int h = 0; h < 24; ++h) hours.push_back((h < 10 ? L"0" : L"") + std::to_wstring(h));
  FillCombo(IDC_FORM4_COMBO1, hours);
  SetDlgItemTextW(Window(), IDC_FORM4_COMBO1, Form4::HourFromRandom(Form4::RandomMinute()).c_str());
  FillCombo(IDC_FORM4_COMBO2, {L"mon", L"tues", L"wed", L"thur", L"fri", L"sat", L"sun"});
  SetDlgItemTextW(Window(), IDC_FORM4_COMBO2, Form4::DayFromRandom(UpdateTasks::RandomScheduleNumber()).c_str());

  Settings settings = ReadControls();
  const std::wstring whitelistFile = SettingsIni::WhitelistTextFilePath();
  if (SettingsIni::Load(CommonModule::IniPath, whitelistFile, settings)) {
    for (const Bind& bind : kBinds) {
      if (bind.choice) SetBox(bind.id, settings.choices.Has(*bind.choice));
      else if (bind.flag) SetBox(bind.id, settings.*bind.flag);
      else SetDlgItemTextW(Window(), bind.id, (settings.*bind.text).c_str());
    }
  } else if (CommonModule::DoesFileExist(whitelistFile)) {
    std::vector<std::wstring> lines;
    clsFSO fso;
    fso.FileToArray(whitelistFile, lines);
    for (const auto& line : lines)
      if (!platform::Trim(line).empty()) settings.Whitelist.push_back(line);
  }
  for (const auto& entry : settings.Whitelist)
    SendDlgItemMessageW(Window(), IDC_FORM4_LIST1, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));

  // Left behind by a program update that restarted this window.
  const std::wstring oldExe = ProgramSwap::ProgramBackupPath();
  if (CommonModule::DoesFileExist(oldExe)) DeleteFileW(oldExe.c_str());
  AddTips();
}

std::wstring PickFile(const std::wstring& title, const std::wstring& filter, const std::wstring& folder) {
  std::wstring fileName;
  bool readOnly = false;
  std::wstring filterText = filter;
  int32_t filterIndex = 1;
  int32_t flags = 0;
  MCommonFile::ShowOpenFile(fileName, false, false, readOnly, true, filterText, filterIndex, folder, title, L"",
                            Window(), flags);
  return fileName;
}

void AddClick() {
  const std::wstring entry = platform::ShowInputBox(
      Window(),
      L"Enter a path\\executable name in the box below, wildcards are NOT accepted.  You MUST leave off the %appdata% "
      L"part of the path, e.g. Foo\\Bar.exe will whitelist %appdata%\\Foo\\Bar.exe",
      Product::ProductLabel, L"");
  if (!entry.empty()) Form4::AddIfNotInListBox(entry);
}

void BrowseWhitelistClick() {
  const std::wstring chosen = PickFile(L"Select an Executable to Whitelist", L"EXEs (*.exe)|*.exe",
                                       platform::UserFolderPath(platform::UserFolder::AppData));
  if (chosen.empty()) return;
  std::wstring entry;
  if (!Form4::WhitelistEntryFromPath(chosen, entry)) {
    // The entry is taken as relative to %appdata%; a file elsewhere would name a path that is not there.
    Tell(L"That file is not inside the application-data folder (%appdata%), so it cannot be whitelisted from "
         L"here:" + std::wstring(kCrLf) + chosen,
         MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  Form4::AddIfNotInListBox(entry);
}

void RemoveSelected() {
  HWND list = Item(IDC_FORM4_LIST1);
  for (int i = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0)) - 1; i >= 0; --i)
    if (SendMessageW(list, LB_GETSEL, i, 0) > 0) SendMessageW(list, LB_DELETESTRING, i, 0);
}

void SelectAll(bool on) { SendDlgItemMessageW(Window(), IDC_FORM4_LIST1, LB_SETSEL, on ? TRUE : FALSE, -1); }

// Copies a chosen file into the program folder unless it lies there already.
bool BringIntoProgramFolder(const std::wstring& chosen) {
  if (SameFolder(CommonModule::StripNameFromPath(chosen), ProgramFolder())) return true;
  return CommonModule::CopyFiles(chosen, ProgramFolder(), true, false, false);
}

void BrowseTextClick(int index) {
  const std::wstring chosen = PickFile(L"Select a Text or Rich Text file:", L"Text or RTF (*.txt; *.rtf)|*.txt; *.rtf",
                                       ProgramFolder());
  if (chosen.empty() || !CommonModule::DoesFileExist(chosen)) return;
  BringIntoProgramFolder(chosen);
  static const int kBoxes[] = {IDC_FORM4_TXTEULA, IDC_FORM4_TXTPRE, IDC_FORM4_TXTPOST};
  SetDlgItemTextW(Window(), kBoxes[index], CommonModule::StripPath(chosen).c_str());
}

struct Branding {
  const wchar_t* title;
  const wchar_t* filter;
  const wchar_t* target;
  const wchar_t* done;
};
constexpr Branding kLogo = {L"Select a bitmap to import.", L"Bitmaps (*.bmp)|*.bmp", L"applogo.bmp", L"Logo Imported."};
constexpr Branding kIcon = {L"Select an icon to import.", L"Icons (*.ico)|*.ico", L"applogo.ico", L"Icon Imported."};

void ImportBranding(const Branding& kind) {
  const std::wstring chosen = PickFile(kind.title, kind.filter, ProgramFolder());
  if (chosen.empty()) return;
  // The dialog takes any typed name; renaming, say, the settings INI to the logo would lose it.
  const std::wstring targetName = kind.target;
  const bool rightKind = platform::EndsWith(platform::Lower(chosen), targetName.substr(targetName.rfind(L'.')));
  if (!rightKind || !BringIntoProgramFolder(chosen)) {
    Tell(std::wstring(L"Oops, there was a problem importing that logo.") + kCrLf + kCrLf + chosen, MB_OK);
    return;
  }
  const std::wstring name = CommonModule::StripPath(chosen);
  if (platform::Lower(name) != kind.target) {
    const std::wstring target = CommonModule::AppPath() + kind.target;
    DeleteFileW(target.c_str());
    if (!MoveFileW((CommonModule::AppPath() + name).c_str(), target.c_str()))
      CommonModule::DPrint(L"Form4\\ImportBranding: ", L"- rename failed: " + name);
  }
  Tell(kind.done, MB_OK);
}

void TestLogoClick() {
  if (!CommonModule::DoesFileExist(CommonModule::AppPath() + L"applogo.bmp")) {
    Tell(L"Logo not found!", MB_OK);
    return;
  }
  Form5::Show();
  CommonModule::Delay(3);
  Form5::Unload();
}

void WarningLabelClick() {
  if (Tell(L"These settings offer max protection but may cause false positives in some anti-malware apps!  You may "
           L"need to whitelist some items after intallation.  Read more?",
           MB_YESNO | MB_ICONQUESTION) == IDYES)
    CommonModule::OpenWebPage(kSecurityWarningsPage);
}

void OnCommand(int id, int code) {
  switch (id) {
    case IDC_FORM4_COMMAND7: AddClick(); return;
    case IDC_FORM4_COMMAND9: BrowseWhitelistClick(); return;
    case IDC_FORM4_COMMAND8: RemoveSelected(); return;
    case IDC_FORM4_LABEL6: if (code == STN_CLICKED) SelectAll(true); return;
    case IDC_FORM4_LABEL5: if (code == STN_CLICKED) SelectAll(false); return;
    case IDC_FORM4_LABEL1: if (code == STN_CLICKED) WarningLabelClick(); return;
    case IDC_FORM4_CMDBROWSE0: BrowseTextClick(0); return;
    case IDC_FORM4_CMDBROWSE1: BrowseTextClick(1); return;
    case IDC_FORM4_CMDBROWSE2: BrowseTextClick(2); return;
    case IDC_FORM4_COMMAND1: ImportBranding(kLogo); return;
    case IDC_FORM4_COMMAND6: ImportBranding(kIcon); return;
    case IDC_FORM4_COMMAND5: TestLogoClick(); return;
    case IDC_FORM4_COMMAND4:
      Form4::SaveConfig();
      Tell(L"Config Saved.", MB_OK);
      return;
    case IDC_FORM4_COMMAND3: Form4::Command3_Click(); return;
    case IDM_FORM4_WEBSITE: CommonModule::OpenWebPage(kWhiteLabelPage); return;
    case IDM_FORM4_UPDATES: modUpdate::CheckForUpdatesInteractive(); return;
    case IDM_FORM4_GETINNO: Form4::Menu_GetInno_Click(); return;
    case IDCANCEL: Dialog().Close(); return;
  }
  if (code == BN_CLICKED) OnBoxChanged(id);
}

// The labels that act as links: drawn in blue, with the hand cursor.
bool IsLinkLabel(HWND dialog, HWND control) {
  for (int id : {IDC_FORM4_LABEL1, IDC_FORM4_LABEL5, IDC_FORM4_LABEL6})
    if (control && control == GetDlgItem(dialog, id)) return true;
  return false;
}

INT_PTR ConfigBuilder::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND dialog = Window();
  switch (message) {
    case WM_INITDIALOG:
      Load();
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_CTLCOLORSTATIC:
      if (IsLinkLabel(dialog, reinterpret_cast<HWND>(lParam))) return platform::LinkColors(wParam);
      return FALSE;
    case WM_SETCURSOR:
      if (IsLinkLabel(dialog, reinterpret_cast<HWND>(wParam))) return platform::HandCursor(dialog);
      return FALSE;
  }
  return FALSE;
}


}  // namespace

void Form4::Show() {
  Dialog().Show();
}

void Form4::SaveConfig() {
  if (!Window()) return;
  SettingsIni::Save(CommonModule::IniPath, SettingsIni::WhitelistTextFilePath(), ReadControls());
}

void Form4::AddIfNotInListBox(const std::wstring& text) {
  if (text.empty() || !Window()) return;
  HWND list = Item(IDC_FORM4_LIST1);
  const std::wstring wanted = platform::Lower(text);
  const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::wstring entry(static_cast<size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
    entry.resize(static_cast<size_t>(SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(entry.data()))));
    if (platform::Lower(entry) == wanted) return;
  }
  SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

int Form4::RandomMinute() {
  static std::mt19937 generator;
  generator.seed(static_cast<unsigned>(std::chrono::system_clock::now().time_since_epoch().count()));
  const double r = std::uniform_real_distribution<double>(0.0, 1.0)(generator) * 57 + 1;
  return static_cast<int>(std::nearbyint(r));  // halves to even, the default rounding mode
}

std::wstring Form4::HourFromRandom(int number) {
  if (number >= 1 && number <= 12) return L"08";
  if (number >= 13 && number <= 25) return L"09";
  if (number >= 26 && number <= 38) return L"10";
  return L"11";
}

std::wstring Form4::DayFromRandom(int number) {
  if (number >= 1 && number <= 12) return L"mon";
  if (number >= 13 && number <= 24) return L"tues";
  if (number >= 25 && number <= 36) return L"wed";
  if (number >= 37 && number <= 48) return L"thur";
  return L"fri";
}

bool Form4::WhitelistEntryFromPath(const std::wstring& path, std::wstring& entry) {
  return modWhitelist::RelativeToFolders(path, modWhitelist::AppDataFolders(), entry);
}

void Form4::AppendSetupLine(const std::wstring& line) {
  CommonModule::SaveTextToFile(CommonModule::AppPath() + InstallerScript::kScriptName, line, false, false);
}

std::wstring Form4::FindInnoCompiler() {
  const std::wstring tail = L"\\Inno Setup 5\\Compil32.exe";
  const std::wstring x86 = modSpecialFolders::GetSpecialFolder(modSpecialFolders::kProgramFilesX86);
  if (!x86.empty() && CommonModule::DoesFileExist(x86 + tail)) return x86 + tail;
  const std::wstring native = modSpecialFolders::GetSpecialFolder(modSpecialFolders::kProgramFiles);
  if (!native.empty() && CommonModule::DoesFileExist(native + tail)) return native + tail;
  return L"";
}

void Form4::Menu_GetInno_Click() {
  if (!FindInnoCompiler().empty()) {
    Tell(L"Inno Setup is already installed!", MB_OK);
    return;
  }
  if (Form4::EnsureInnoSetup()) Tell(L"Inno Setup Installed!", MB_OK);
}

void Form4::Command3_Click() {
  SaveConfig();
  std::wstring compiler = FindInnoCompiler();
  if (compiler.empty()) {
    if (!Form4::EnsureInnoSetup()) return;
    compiler = FindInnoCompiler();
  }

  InstallerScript::Options options;
  options.publisher = ControlText(IDC_FORM4_TXTNAME);
  options.website = ControlText(IDC_FORM4_TXTDSSURL);
  options.eula = ControlText(IDC_FORM4_TXTEULA);
  options.preInfo = ControlText(IDC_FORM4_TXTPRE);
  options.postInfo = ControlText(IDC_FORM4_TXTPOST);
  options.advanced = Checked(IDC_FORM4_CHECK4);
  options.applySilent = Checked(IDC_FORM4_CHECK5);
  options.rebootSilent = Checked(IDC_FORM4_CHECK6);
  options.updateOnInstall = Checked(IDC_FORM4_CHECK10);

  const std::wstring script = CommonModule::AppPath() + InstallerScript::kScriptName;
  const std::wstring output = CommonModule::AppPath() + InstallerScript::OutputBaseName(options.applySilent) + L".exe";
  DeleteFileW(script.c_str());
  DeleteFileW(output.c_str());
  // An old installer left in place would pass for the new one.
  if (CommonModule::DoesFileExist(script) || CommonModule::DoesFileExist(output)) {
    Tell(L"Unable to overwrite existing file.", MB_OK);
    return;
  }
  for (const auto& line : InstallerScript::Lines(CommonModule::AppPath(), options)) AppendSetupLine(line);

  // Made means: the compiler ended, content, and left the installer. A compiler that failed or was
  // cut off at its time limit may have left half of one.
  int32_t exitCode = -1;
  const bool compiled = !compiler.empty() &&
                        CommonModule::ShellX(compiler, L"/cc \"" + script + L"\"", true, SW_SHOWNORMAL, exitCode, false,
                                             true, CommonModule::kNoTimeLimit) &&
                        exitCode == 0;
  if (compiled && CommonModule::DoesFileExist(output)) {
    Tell(std::wstring(L"Output file has been created:") + kCrLf + kCrLf + InstallerScript::OutputBaseName(options.applySilent),
         MB_OK);
    return;
  }
  if (!compiled) {
    CommonModule::DPrint(L"Form4\\Command3_Click: the compiler did not succeed, exit code " + std::to_wstring(exitCode));
    DeleteFileW(output.c_str());
  }
  Tell(L"The installer could not be created.", MB_OK);
}
