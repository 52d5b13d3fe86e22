#include "common/frmStatusWin.h"

#include "common/CommonModule.h"
#include "platform/StaticDialog.h"
#include "platform/WindowText.h"

namespace {

constexpr int kLabel1Id = 1001;
constexpr int kWidth = 360;
constexpr int kHeight = 110;

// No controls and no close box: the operation it reports on ends it. The size is set in pixels
// once it exists, the label made then.
struct alignas(DWORD) StatusLayout {
  DLGTEMPLATE head;
  WORD menu = 0, windowClass = 0, title = 0;
};
const StatusLayout kLayout = {{WS_POPUP | WS_CAPTION | DS_MODALFRAME, WS_EX_DLGMODALFRAME, 0, 0, 0, 0, 0}};

class StatusWindow final : public platform::StaticDialog {
 public:
  StatusWindow() : StaticDialog(L"frmStatusWin", &kLayout.head) {}

 private:
  INT_PTR OnMessage(UINT message, WPARAM, LPARAM) override {
    switch (message) {
      case WM_INITDIALOG:
        Load();
        return TRUE;
      case WM_SETCURSOR:
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        SetWindowLongPtrW(Window(), DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    return FALSE;
  }

  void Load() {
    HWND window = Window();
    SetWindowTextW(window, CommonModule::AppTitle().c_str());
    SetWindowPos(window, nullptr, (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2, kWidth, kHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client = {};
    GetClientRect(window, &client);
    HWND label = CreateWindowW(L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX, 12, 20,
                               client.right - 24, client.bottom - 32, window,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLabel1Id)), nullptr, nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  }
};

StatusWindow& Dialog() {
  static StatusWindow dialog;
  return dialog;
}

}  // namespace

void frmStatusWin::Show(const std::wstring& caption) {
  if (!Dialog().Create()) return;
  SetLabel1(caption);
  Dialog().ShowCreated();
  // The caller goes on working at once: paint now.
  if (Dialog().IsOpen()) UpdateWindow(Dialog().Window());
}

void frmStatusWin::SetLabel1(const std::wstring& caption) {
  if (!Dialog().IsOpen()) return;
  SetDlgItemTextW(Dialog().Window(), kLabel1Id, caption.c_str());
  UpdateWindow(Dialog().Window());
}

std::wstring frmStatusWin::Label1() {
  if (!Dialog().IsOpen()) return {};
  return platform::ItemText(Dialog().Window(), kLabel1Id);
}

HWND frmStatusWin::Handle() { return Dialog().Window(); }

void frmStatusWin::Unload() { Dialog().Close(); }
