#include "platform/Dialogs.h"

namespace platform {

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

}  // namespace platform
