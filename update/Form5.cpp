#include "update/Form5.h"

#include <windows.h>

#include <string>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "platform/Handle.h"
#include "platform/StaticDialog.h"
#include "update/Form5Ids.h"

namespace {

class LogoWindow final : public platform::StaticDialog {
 public:
  LogoWindow() : StaticDialog(L"Form5", IDD_FORM5) {}

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnDestroy() override;
};

LogoWindow& Dialog() {
  static LogoWindow dialog;
  return dialog;
}

// Owned here: a static control does not delete the bitmap it is given.
platform::UniqueBitmap g_picture;

// Picture1 takes the bitmap at its own size and the window wraps it.
void Load(HWND window) {
  SetWindowTextW(window, Product::ProductLabel.c_str());
  const std::wstring logo = CommonModule::AppPath() + L"applogo.bmp";
  if (!CommonModule::DoesFileExist(logo)) return;
  g_picture.reset(static_cast<HBITMAP>(LoadImageW(nullptr, logo.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
  if (!g_picture) {
    CommonModule::DPrint(L"Form5\\Form_Load: ", L"- not a bitmap: " + logo);
    return;
  }
  BITMAP size = {};
  GetObjectW(g_picture.get(), sizeof size, &size);
  HWND picture = GetDlgItem(window, IDC_FORM5_PICTURE1);
  SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(g_picture.get()));
  SetWindowPos(picture, nullptr, 0, 0, size.bmWidth, size.bmHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  RECT frame = {0, 0, size.bmWidth, size.bmHeight};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  SetWindowPos(window, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2, (GetSystemMetrics(SM_CYSCREEN) - height) / 2,
               width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  CommonModule::SetFormTopMost(window, true);
}

INT_PTR LogoWindow::OnMessage(UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return FALSE;
  Load(Window());
  return TRUE;
}

void LogoWindow::OnDestroy() { g_picture.reset(); }

}  // namespace

void Form5::Show() {
  // The work it is shown for goes on at once: paint now.
  if (Dialog().Show(SW_SHOWNOACTIVATE) && Dialog().IsOpen()) UpdateWindow(Dialog().Window());
}

void Form5::Unload() { Dialog().Close(); }
