#pragma once
// What the program's windows share besides their base (StaticDialog.h): bringing an open one
// forward, and static controls that act as links.
#include <windows.h>

#include <string>

namespace platform {

// The open window again: shown (restored when minimised, a maximised one stays so), and put in front.
void BringForward(HWND window);

// For WM_CTLCOLORSTATIC of a link: blue text on the dialog's own face.
INT_PTR LinkColors(WPARAM dc);
// For WM_SETCURSOR over a link: the hand.
INT_PTR HandCursor(HWND dialog);

}  // namespace platform
