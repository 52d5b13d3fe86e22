#include "platform/StaticDialog.h"

#include <commctrl.h>

#include "platform/Dialogs.h"
#include "platform/Forms.h"

namespace platform {

namespace {

void LoadControls(DWORD controls) {
  if (!controls) return;
  INITCOMMONCONTROLSEX classes = {sizeof classes, controls};
  InitCommonControlsEx(&classes);
}

}  // namespace

StaticDialog::StaticDialog(const wchar_t* name, int templateId, DWORD controls)
    : name_(name), templateId_(templateId), controls_(controls) {}

StaticDialog::StaticDialog(const wchar_t* name, const DLGTEMPLATE* layout) : name_(name), layout_(layout) {}

// A window still open when its form goes (only at the program's end) must not call into a
// half-destroyed object: it is cut loose from it first.
StaticDialog::~StaticDialog() {
  if (window_) SetWindowLongPtrW(window_, DWLP_USER, 0);
}

bool StaticDialog::Show(int showState) {
  if (window_) {
    BringForward(window_);
    return true;
  }
  if (!Create()) return false;
  ShowCreated(showState);
  return true;
}

bool StaticDialog::Create() {
  if (window_) return true;
  LoadControls(controls_);
  // The handle is taken in WM_INITDIALOG, so that the form's load already has it; a load that
  // ends the window leaves it null again.
  const LPARAM self = reinterpret_cast<LPARAM>(this);
  if (layout_)
    CreateDialogIndirectParamW(GetModuleHandleW(nullptr), layout_, nullptr, Procedure, self);
  else
    CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), nullptr, Procedure, self);
  return window_ != nullptr;
}

void StaticDialog::ShowCreated(int showState) {
  if (!window_) return;
  if (registered_) {
    ShowWindow(window_, showState);
    return;
  }
  registered_ = true;
  ShowWindow(window_, showState);
  // A rehearsal closes the window as it is registered (Forms.h).
  RegisterForm(name_, window_);
}

void StaticDialog::ShowModal() {
  if (window_) {
    BringForward(window_);
    return;
  }
  LoadControls(controls_);
  modal_ = true;
  const LPARAM self = reinterpret_cast<LPARAM>(this);
  if (layout_)
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), layout_, nullptr, Procedure, self);
  else
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), nullptr, Procedure, self);
  modal_ = false;
}

void StaticDialog::Close() {
  if (!window_) return;
  if (modal_)
    EndDialog(window_, 0);
  else
    DestroyWindow(window_);
}

INT_PTR CALLBACK StaticDialog::Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    reinterpret_cast<StaticDialog*>(lParam)->window_ = dialog;
  }
  auto* self = reinterpret_cast<StaticDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (!self) return FALSE;  // the messages before WM_INITDIALOG, or after the form is gone
  // No exception leaves a window procedure: what a form did not finish is dropped here.
  try {
    return self->Dispatch(dialog, message, wParam, lParam);
  } catch (...) {
    return FALSE;
  }
}

INT_PTR StaticDialog::Dispatch(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const INT_PTR focus = OnMessage(message, wParam, lParam);
      // A modeless window is registered when it is shown; a modal one here, as it opens.
      if (modal_ && window_) {
        registered_ = true;
        RegisterForm(name_, window_);
      }
      return focus;
    }
    case WM_CLOSE:
      if (MayClose()) Close();
      return TRUE;
    case WM_DESTROY: {
      OnDestroy();
      window_ = nullptr;
      if (registered_) UnregisterForm(dialog);
      registered_ = false;
      return TRUE;
    }
    case WM_NCDESTROY:
      SetWindowLongPtrW(dialog, DWLP_USER, 0);
      OnDestroyed();
      return FALSE;
  }
  return OnMessage(message, wParam, lParam);
}

}  // namespace platform
