#pragma once
// What the program's modeless dialog windows share: opening one as a loaded form, bringing an open
// one forward, its end, and static controls that act as links.
#include <windows.h>

namespace platform {

// The dialog from the program's own resources, created but not yet shown; null when it fails.
HWND CreateFormDialog(int templateId, DLGPROC proc);

// Creates the dialog, shows it and registers it as the loaded form `name`; null when it could not
// be made. `controls` are common-control classes (ICC_...) to load first, when the dialog uses any.
HWND OpenForm(const wchar_t* name, int templateId, DLGPROC proc, DWORD controls = 0);

// The open window again: shown normally, and put in front.
void BringForward(HWND window);
// The open window again: restored only when minimised, and put in front.
void RestoreForward(HWND window);

// For WM_DESTROY: the window leaves the loaded forms, and `window` no longer names it.
void DropForm(HWND dialog, HWND& window);

// For WM_CTLCOLORSTATIC of a link: blue text on the dialog's own face.
INT_PTR LinkColors(WPARAM dc);
// For WM_SETCURSOR over a link: the hand.
INT_PTR HandCursor(HWND dialog);

}  // namespace platform
