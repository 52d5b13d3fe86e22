#include "ui/Form2.h"

#include <windows.h>

#include "platform/Dialogs.h"
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
      platform::DropForm(dialog, g_window);
      return TRUE;
  }
  return FALSE;
}

}  // namespace

void Form2::Show() {
  platform::ShowForm(g_window, L"Form2", IDD_FORM2, DialogProc);
}
