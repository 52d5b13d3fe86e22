#include "ui/Form2.h"

#include <windows.h>

#include "platform/Forms.h"
#include "ui/Form2Ids.h"

namespace {

HWND g_window = nullptr;

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_FORM2_COMMAND1 || LOWORD(wParam) == IDCANCEL) DestroyWindow(dialog);
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(dialog);
      return TRUE;
    case WM_DESTROY:
      g_window = nullptr;
      platform::UnregisterForm(dialog);
      return TRUE;
  }
  return FALSE;
}

}  // namespace

void Form2::Show() {
  if (g_window) {
    SetForegroundWindow(g_window);
    return;
  }
  g_window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_FORM2), nullptr, DialogProc, 0);
  if (!g_window) return;
  ShowWindow(g_window, SW_SHOWNORMAL);
  platform::RegisterForm(L"Form2", g_window);
}
