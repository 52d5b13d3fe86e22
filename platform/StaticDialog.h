#pragma once
// The one base of the program's dialogs. It owns the window handle while the window is
// open, its close and destroy handling, the loaded-form registration and the bring-forward; a
// form derives from it and answers only its own messages.
#include <windows.h>

namespace platform {

class StaticDialog {
 public:
  // `name` is the loaded-form name (see Forms.h); `controls` are common-control classes (ICC_...)
  // to load before the dialog is made, when it uses any.
  StaticDialog(const wchar_t* name, int templateId, DWORD controls = 0);
  // A dialog laid out in memory rather than in the program's resources (a library's own window);
  // `layout` must outlive the form.
  StaticDialog(const wchar_t* name, const DLGTEMPLATE* layout);
  virtual ~StaticDialog();
  StaticDialog(const StaticDialog&) = delete;
  StaticDialog& operator=(const StaticDialog&) = delete;

  // The one Show of a window that exists once: an open window is brought forward; otherwise the
  // dialog is made, shown and registered as a loaded form. False when it could not be made.
  bool Show(int showState = SW_SHOWNORMAL);
  // Makes the dialog without showing or registering it (a caller that shows it later, or one that
  // only reads what its load fills in). True when it is open afterwards.
  bool Create();
  // Shows a window made by Create, registering it as a loaded form the first time.
  void ShowCreated(int showState = SW_SHOWNORMAL);
  // Runs the dialog modal, registered as a loaded form while it is open; the caller waits until
  // it ends. An open window is brought forward instead.
  void ShowModal();
  // Ends the open window, if there is one (a modal one returns to its caller).
  void Close();

  HWND Window() const { return window_; }
  bool IsOpen() const { return window_ != nullptr; }

 protected:
  // The form's own messages; FALSE for those it leaves to the dialog manager. WM_INITDIALOG comes
  // here with Window() already set.
  virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
  // WM_CLOSE (the close box, Alt+F4, a rehearsal's close): ends the window unless the form
  // refuses, say while an action of its own still runs.
  virtual bool MayClose() { return true; }
  // WM_DESTROY: the form's own clean-up while its controls still exist.
  virtual void OnDestroy() {}
  // WM_NCDESTROY: the last message; the handle is already gone from Window().
  virtual void OnDestroyed() {}

 private:
  static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

  const wchar_t* name_;
  int templateId_ = 0;
  const DLGTEMPLATE* layout_ = nullptr;
  DWORD controls_ = 0;
  HWND window_ = nullptr;
  bool modal_ = false;
  bool registered_ = false;  // one of the program's loaded forms (Forms.h)
};

}  // namespace platform
