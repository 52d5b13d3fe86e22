#include "alerts/Form9.h"

#include <windows.h>
#include <commctrl.h>

#include "alerts/Form9Ids.h"
#include "notify/modEmailSvc.h"
#include "alerts/modService.h"
#include "common/CommonModule.h"
#include "common/WebPages.h"
#include "common/Product.h"
#include "common/Variant.h"
#include "common/modRegistry.h"
#include "engine/Module1.h"
#include "platform/Dialogs.h"
#include "platform/Handle.h"
#include "platform/StaticDialog.h"
#include "platform/PromptSeam.h"
#include "platform/Text.h"
#include "platform/WindowText.h"

namespace {

constexpr wchar_t kGmailServer[] = L"smtp.gmail.com";
constexpr const wchar_t* kEmailHelpPage = WebPages::kEmailSetupHelp;
constexpr const wchar_t* kEmailKey = Product::kEmailSetupKey;

// The controls that each panel holds.
constexpr int kPicEmail[] = {IDC_FORM9_CHECK1,          IDC_FORM9_LABEL2,  IDC_FORM9_TXTSMTPUSERNAME,
                             IDC_FORM9_LABEL3,          IDC_FORM9_TXTSMTPPASSWORD, IDC_FORM9_OPTION1,
                             IDC_FORM9_OPTION2};
constexpr int kPicInfo[] = {IDC_FORM9_LABEL8, IDC_FORM9_LABEL9};
constexpr int kPicAdv[] = {IDC_FORM9_LABEL4,       IDC_FORM9_TXTSMTPSERVER, IDC_FORM9_LABEL7,
                           IDC_FORM9_COMBOSMTPPORT, IDC_FORM9_CHKSMTPAUTH,   IDC_FORM9_CHKUSESSL};

// The worker thread that sends the test mail tells the dialog here; wParam: 1 sent, 0 failed.
constexpr UINT kTestMailDone = WM_APP + 9;

class EmailDialog final : public platform::StaticDialog {
 public:
  EmailDialog() : StaticDialog(L"Form9", IDD_FORM9) {}

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnDestroy() override;
};

EmailDialog& Dialog() {
  static EmailDialog dialog;
  return dialog;
}

// Null while the window is not loaded.
HWND Window() { return Dialog().Window(); }

HWND g_tip = nullptr;
bool g_sending = false;  // a test mail is under way: the buttons wait for its outcome

HWND Item(int id) { return GetDlgItem(Window(), id); }

template <size_t N>
void ShowPanel(const int (&panel)[N], bool show) {
  for (int id : panel) ShowWindow(Item(id), show ? SW_SHOW : SW_HIDE);
}

std::wstring Text(int id) { return platform::ItemText(Window(), id); }

bool Checked(int id) { return IsDlgButtonChecked(Window(), id) == BST_CHECKED; }
std::wstring CheckText(int id) { return Checked(id) ? L"1" : L"0"; }

// A stored "1" or "0" sets the box; an empty or other value leaves it as it is.
void SetCheck(int id, const std::wstring& stored) {
  if (stored == L"1" || stored == L"0") CheckDlgButton(Window(), id, stored == L"1" ? BST_CHECKED : BST_UNCHECKED);
}

std::wstring ReadValue(const std::wstring& key, const wchar_t* name) {
  Variant value;
  modRegistry::fReadValue(L"HKLM", key, name, L"S", Variant(L""), value);
  return value.Text();
}
void WriteValue(const std::wstring& key, const wchar_t* name, const std::wstring& text) {
  modRegistry::fWriteValue(L"HKLM", key, name, L"S", Variant(text));
}

int Tell(const std::wstring& text, UINT type) {
  return platform::ShowMessageBox(Window(), text, Module1::ProductLabel, type);
}

void Option1Click() {
  ShowPanel(kPicAdv, false);
  ShowPanel(kPicInfo, true);
}
void Option2Click() {
  ShowPanel(kPicAdv, true);
  ShowPanel(kPicInfo, false);
}

void LoadEmailSettings() {
  HWND port = Item(IDC_FORM9_COMBOSMTPPORT);
  SendMessageW(port, CB_RESETCONTENT, 0, 0);
  for (const wchar_t* number : {L"25", L"465"}) SendMessageW(port, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(number));

  SetDlgItemTextW(Window(), IDC_FORM9_TXTSMTPUSERNAME, ReadValue(kEmailKey, L"EmailAddress").c_str());
  std::wstring password;
  if (modEmailSvc::ReadMailPassword(password)) SetDlgItemTextW(Window(), IDC_FORM9_TXTSMTPPASSWORD, password.c_str());
  const std::wstring server = ReadValue(kEmailKey, L"SMTPServer");
  SetDlgItemTextW(Window(), IDC_FORM9_TXTSMTPSERVER, server.c_str());
  if (!server.empty() && platform::Lower(platform::Trim(server)) != kGmailServer) {
    CheckRadioButton(Window(), IDC_FORM9_OPTION1, IDC_FORM9_OPTION2, IDC_FORM9_OPTION2);
    Option2Click();
  }
  SetWindowTextW(port, ReadValue(kEmailKey, L"SMTPPort").c_str());
  SetCheck(IDC_FORM9_CHKSMTPAUTH, ReadValue(kEmailKey, L"Authenticate"));
  SetCheck(IDC_FORM9_CHKUSESSL, ReadValue(kEmailKey, L"UseSSL"));
  SetCheck(IDC_FORM9_CHECK1, ReadValue(Module1::kSettingsKey, L"EmailAlerts"));
}

// The stored form carries one byte a character: a password with other characters would be
// stored as something else than typed.
bool PasswordStorable(const std::wstring& password) {
  for (wchar_t c : password)
    if (c > 0xFF) return false;
  return true;
}

// False, with nothing saved, when the password cannot be stored as typed.
bool SaveEmailSettings() {
  const std::wstring password = Text(IDC_FORM9_TXTSMTPPASSWORD);
  if (!PasswordStorable(password)) {
    Tell(L"The password holds characters that cannot be stored.  Please use letters, digits and signs of the "
         L"Western alphabets only.",
         MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  // A box empty or blank keeps the saved password: it is never shown back when it cannot be read.
  // Otherwise the password is stored as typed, blanks at either end included, where only
  // Administrators and SYSTEM can read it; nothing is saved when that fails.
  if (!platform::Trim(password).empty() && !modEmailSvc::StoreMailPassword(password)) {
    Tell(L"The password could not be stored.  Nothing was saved.", MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  WriteValue(Module1::kSettingsKey, L"EmailAlerts", CheckText(IDC_FORM9_CHECK1));
  WriteValue(kEmailKey, L"EmailAddress", platform::Lower(platform::Trim(Text(IDC_FORM9_TXTSMTPUSERNAME))));
  if (Checked(IDC_FORM9_OPTION2)) {
    WriteValue(kEmailKey, L"SMTPServer", platform::Trim(Text(IDC_FORM9_TXTSMTPSERVER)));
    WriteValue(kEmailKey, L"SMTPPort", platform::Trim(Text(IDC_FORM9_COMBOSMTPPORT)));
    WriteValue(kEmailKey, L"Authenticate", CheckText(IDC_FORM9_CHKSMTPAUTH));
    WriteValue(kEmailKey, L"UseSSL", CheckText(IDC_FORM9_CHKUSESSL));
  } else {
    WriteValue(kEmailKey, L"SMTPServer", kGmailServer);
    WriteValue(kEmailKey, L"SMTPPort", L"465");
    WriteValue(kEmailKey, L"Authenticate", L"1");
    WriteValue(kEmailKey, L"UseSSL", L"1");
  }
  return true;
}

// Signalled when the dialog closes during a send, so that the worker gives up at once.
HANDLE AbandonEvent() {
  static HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

void Command1Click() {
  if (g_sending || !SaveEmailSettings()) return;
  if (!Checked(IDC_FORM9_CHECK1)) {
    modService::RemoveEventService(true, true);
    Tell(L"Config Saved, Monitoring Service Disabled.", MB_OK);
    Dialog().Close();
  } else if (modEmailSvc::LoadEmailConfig()) {
    if (modService::InstallEventService()) {
      Tell(L"Config Saved, Monitoring Service Started.", MB_OK);
      Dialog().Close();
    } else {
      Tell(L"Config Saved, but the Monitoring Service could not be started.", MB_OK | MB_ICONEXCLAMATION);
    }
  } else if (Tell(L"Email configuration is incomplete!  Would you like to skip it for now?",
                  MB_YESNO | MB_ICONQUESTION) == IDYES) {
    Dialog().Close();
  }
}

DWORD WINAPI SendTestMail(LPVOID target) {
  const bool sent = modEmailSvc::SendEmail(L"Test Email", L"This is just a test.");
  PostMessageW(static_cast<HWND>(target), kTestMailDone, sent ? 1 : 0, 0);
  return 0;
}

void SetSending(bool sending) {
  g_sending = sending;
  EnableWindow(Item(IDC_FORM9_COMMAND1), !sending);
  EnableWindow(Item(IDC_FORM9_COMMAND2), !sending);
}

// The send may take minutes with a slow server: it runs on a thread of its own while the dialog
// stays responsive, and its outcome arrives as kTestMailDone.
void Command2Click() {
  if (g_sending || !SaveEmailSettings()) return;
  ResetEvent(AbandonEvent());
  modEmailSvc::SetAbandonEvent(AbandonEvent());
  SetSending(true);
  const platform::UniqueKernelHandle worker(CreateThread(nullptr, 0, SendTestMail, Window(), 0, nullptr));
  if (!worker) PostMessageW(Window(), kTestMailDone, 0, 0);
}

void TestMailDone(bool sent) {
  SetSending(false);
  if (!sent) {
    Tell(L"Test email failed to send, please check your settings and try again!", MB_OK);
    return;
  }
  Tell(L"Test email sent successfully!  Your settings are now saved.", MB_OK);
  modService::InstallEventService();
  Dialog().Close();
}

// "major.minor", and ".revision" when the revision is not 0: the version part of the version text.
std::wstring VersionNumbers() {
  std::wstring text = CommonModule::GetVersionText(L"", L"");
  const size_t at = text.rfind(L" v");
  return at == std::wstring::npos ? L"" : platform::Trim(text.substr(at + 2));
}

void AddServerTip() {
  INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&classes);
  g_tip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, Window(), nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!g_tip) return;
  TOOLINFOW tool = {};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = Window();
  tool.uId = reinterpret_cast<UINT_PTR>(Item(IDC_FORM9_TXTSMTPSERVER));
  static wchar_t tip[] = L"You can use any valid SMTP server.  ";
  tool.lpszText = tip;
  SendMessageW(g_tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Load(HWND dialog) {
  Module1::SetFormIcon(dialog);
  CheckDlgButton(dialog, IDC_FORM9_CHECK1, BST_CHECKED);
  CheckRadioButton(dialog, IDC_FORM9_OPTION1, IDC_FORM9_OPTION2, IDC_FORM9_OPTION1);
  SendDlgItemMessageW(dialog, IDC_FORM9_TXTSMTPPASSWORD, EM_SETPASSWORDCHAR, L'*', 0);
  AddServerTip();
  ShowPanel(kPicEmail, false);
  ShowPanel(kPicAdv, false);
  ShowWindow(Item(IDC_FORM9_COMMAND2), SW_HIDE);
  ShowPanel(kPicEmail, true);
  ShowWindow(Item(IDC_FORM9_COMMAND2), SW_SHOW);
  ShowPanel(kPicInfo, true);
  LoadEmailSettings();
  SetWindowTextW(dialog, (L"Email Config - v" + VersionNumbers()).c_str());
}

bool OverLink(HWND control) { return control == Item(IDC_FORM9_LABEL9); }

INT_PTR EmailDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND dialog = Window();
  switch (message) {
    case WM_INITDIALOG:
      Load(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_FORM9_COMMAND1: Command1Click(); break;
        case IDC_FORM9_COMMAND2: Command2Click(); break;
        case IDC_FORM9_OPTION1:
          if (HIWORD(wParam) == BN_CLICKED) Option1Click();
          break;
        case IDC_FORM9_OPTION2:
          if (HIWORD(wParam) == BN_CLICKED) Option2Click();
          break;
        case IDC_FORM9_LABEL9:
          if (HIWORD(wParam) == STN_CLICKED) CommonModule::OpenWebPage(kEmailHelpPage);
          break;
        case IDCANCEL: Close(); break;
      }
      return TRUE;
    case kTestMailDone:
      TestMailDone(wParam == 1);
      return TRUE;
    case WM_SETCURSOR:
      if (OverLink(reinterpret_cast<HWND>(wParam))) return platform::HandCursor(dialog);
      return FALSE;
    case WM_CTLCOLORSTATIC:
      if (OverLink(reinterpret_cast<HWND>(lParam))) {
        const auto result = DefWindowProcW(dialog, message, wParam, lParam);
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 255));
        return static_cast<INT_PTR>(result);
      }
      return FALSE;
  }
  return FALSE;
}

// Closed during a send (the close box saves nothing), the worker gives up at once.
void EmailDialog::OnDestroy() {
  if (g_sending) SetEvent(AbandonEvent());
  g_tip = nullptr;
  g_sending = false;
}

}  // namespace

void Form9::Show() { Dialog().Show(); }

// Already open modeless, that one is brought forward: it is the dialog the user answers.
void Form9::ShowModal() { Dialog().ShowModal(); }
