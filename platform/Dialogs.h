#pragma once
// What the program's modeless windows share: opening one as a loaded form, bringing an open one
// forward, its end, and static controls that act as links.
#include <windows.h>

#include <string>

namespace platform {

// The dialog from the program's own resources, created but not yet shown; null when it fails.
HWND CreateFormDialog(int templateId, DLGPROC proc);

// Shows a window made elsewhere and registers it as the loaded form `name` (see Forms.h: in a
// rehearsal this is where it is recorded and closed again).
void ShowAsForm(const wchar_t* name, HWND window, int showState = SW_SHOWNORMAL);

// Creates the dialog, shows it and registers it as the loaded form `name`; null when it could not
// be made. `controls` are common-control classes (ICC_...) to load first, when the dialog uses any.
HWND OpenForm(const wchar_t* name, int templateId, DLGPROC proc, DWORD controls = 0,
              int showState = SW_SHOWNORMAL);

// The one Show of a window that exists once: the open `window` is brought forward; otherwise the
// dialog is opened (as OpenForm) and `window` names it. False when it could not be made.
bool ShowForm(HWND& window, const wchar_t* name, int templateId, DLGPROC proc, DWORD controls = 0,
              int showState = SW_SHOWNORMAL);

// The open window again: shown (restored when minimised, a maximised one stays so), and put in front.
void BringForward(HWND window);

// Ends the open window, if there is one.
void CloseForm(HWND window);

// For WM_DESTROY: the window leaves the loaded forms, and `window` no longer names it.
void DropForm(HWND dialog, HWND& window);

// For WM_CTLCOLORSTATIC of a link: blue text on the dialog's own face.
INT_PTR LinkColors(WPARAM dc);
// For WM_SETCURSOR over a link: the hand.
INT_PTR HandCursor(HWND dialog);

}  // namespace platform
