#include "ui/Form3.h"

#include <windows.h>

#include <string>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/WebPages.h"
#include "platform/Dialogs.h"
#include "platform/Handle.h"
#include "platform/ProductName.h"
#include "platform/PromptSeam.h"
#include "platform/StaticDialog.h"
#include "ui/Form3Ids.h"

namespace {

struct Link {
  int control;
  const wchar_t* question;
  const wchar_t* address;
};

constexpr Link kLinks[] = {
    {IDC_FORM3_PICTURE1, L"Would you like to go to the " ILATCH_MAKER_NAME L" web site?", WebPages::kMakerSite},
    {IDC_FORM3_LABEL2, L"Would you like to read Ada Wrenfield's Ransomware Field Guide on fieldnotes.example?",
     WebPages::kRansomwareFieldGuide},
    {IDC_FORM3_LABEL4, L"Would you like to go to the " ILATCH_PRODUCT_NAME L" page on the " ILATCH_MAKER_NAME L" web site?",
     WebPages::kProductPage},
    {IDC_FORM3_LABEL7, L"Would you like to go to the " ILATCH_PRODUCT_NAME L" White-Label page on the " ILATCH_MAKER_NAME
     L" web site?",
     WebPages::kWhiteLabel},
};

class AboutDialog final : public platform::StaticDialog {
 public:
  AboutDialog() : StaticDialog(L"Form3", IDD_FORM3) {}

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnDestroyed() override;
};

AboutDialog& Dialog() {
  static AboutDialog dialog;
  return dialog;
}

// Owned here: a static control does not delete the bitmap it is given.
platform::UniqueBitmap g_logo;

const Link* LinkOf(int control) {
  for (const Link& link : kLinks)
    if (link.control == control) return &link;
  return nullptr;
}

void FollowLink(const Link& link) {
  if (platform::ShowMessageBox(Dialog().Window(), link.question, Product::ProductLabel, MB_YESNO | MB_ICONQUESTION) == IDYES)
    CommonModule::OpenWebPage(link.address);
}

// The logo stretched across the whole width of its control.
void ShowLogo(HWND dialog) {
  HWND picture = GetDlgItem(dialog, IDC_FORM3_PICTURE1);
  RECT bounds = {};
  GetClientRect(picture, &bounds);
  g_logo.reset(static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_FORM3_LOGO),
                                               IMAGE_BITMAP, bounds.right, bounds.bottom, 0)));
  if (g_logo) SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(g_logo.get()));
}

INT_PTR AboutDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      ShowLogo(Window());
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_FORM3_COMMAND1 || LOWORD(wParam) == IDCANCEL) {
        Close();
      } else if (HIWORD(wParam) == STN_CLICKED) {
        if (const Link* link = LinkOf(LOWORD(wParam))) FollowLink(*link);
      }
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      const int control = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      if (control == IDC_FORM3_PICTURE1 || !LinkOf(control)) return FALSE;
      return platform::LinkColors(wParam);
    }
    case WM_SETCURSOR:
      if (LinkOf(GetDlgCtrlID(reinterpret_cast<HWND>(wParam)))) return platform::HandCursor(Window());
      return FALSE;
  }
  return FALSE;
}

void AboutDialog::OnDestroyed() { g_logo.reset(); }

}  // namespace

void Form3::Show() {
  Dialog().Show();
}
