#include "platform/Dialogs.h"

#include <commctrl.h>

#include "platform/Forms.h"

namespace platform {

HWND CreateFormDialog(int templateId, DLGPROC proc) {
  return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), nullptr, proc, 0);
}

void ShowAsForm(const wchar_t* name, HWND window, int showState) {
  ShowWindow(window, showState);
  RegisterForm(name, window);
}

HWND OpenForm(const wchar_t* name, int templateId, DLGPROC proc, DWORD controls, int showState) {
  if (controls) {
    INITCOMMONCONTROLSEX classes = {sizeof classes, controls};
    InitCommonControlsEx(&classes);
  }
  HWND window = CreateFormDialog(templateId, proc);
  if (!window) return nullptr;
  ShowAsForm(name, window, showState);
  return window;
}

bool ShowForm(HWND& window, const wchar_t* name, int templateId, DLGPROC proc, DWORD controls, int showState) {
  if (window) {
    BringForward(window);
    return true;
  }
  // The dialog may name itself while it is made; a rehearsal only posts its close.
  HWND opened = OpenForm(name, templateId, proc, controls, showState);
  if (opened) window = opened;
  return opened != nullptr;
}

void BringForward(HWND window) {
  if (IsIconic(window))
    ShowWindow(window, SW_RESTORE);
  else if (!IsWindowVisible(window))
    ShowWindow(window, SW_SHOWNORMAL);
  SetForegroundWindow(window);
}

void CloseForm(HWND window) {
  if (window) DestroyWindow(window);
}

void DropForm(HWND dialog, HWND& window) {
  if (window == dialog) window = nullptr;
  UnregisterForm(dialog);
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
