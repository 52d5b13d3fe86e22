#include "platform/Dialogs.h"

#include "platform/Handle.h"

namespace platform {
namespace {

struct ScreenDcTraits {  // GetDC(nullptr)
  static HDC Invalid() { return nullptr; }
  static bool IsValid(HDC dc) { return dc != nullptr; }
  static int Close(HDC dc) { return ReleaseDC(nullptr, dc); }
};

}  // namespace

void BringForward(HWND window) {
  if (IsIconic(window))
    ShowWindow(window, SW_RESTORE);
  else if (!IsWindowVisible(window))
    ShowWindow(window, SW_SHOWNORMAL);
  SetForegroundWindow(window);
}

INT_PTR LinkColors(WPARAM dc) {
  HDC context = reinterpret_cast<HDC>(dc);
  SetTextColor(context, RGB(0, 0, 255));
  SetBkMode(context, TRANSPARENT);
  return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

INT_PTR HandCursor(HWND dialog) {
  SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // IDC_HAND
  SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
  return TRUE;
}

int ScreenPixelsPerInch() {
  const UniqueHandle<HDC, ScreenDcTraits> screen(GetDC(nullptr));
  return screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
}

}  // namespace platform
