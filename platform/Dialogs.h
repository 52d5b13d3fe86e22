#pragma once
// What the program's windows share besides their base (StaticDialog.h): bringing an open one
// forward, static controls that act as links, and the screen's scale for their fonts.
#include <windows.h>

#include <string>

namespace platform {

// The open window again: shown (restored when minimised, a maximised one stays so), and put in front.
void BringForward(HWND window);

// For WM_CTLCOLORSTATIC of a link: blue text on the dialog's own face.
INT_PTR LinkColors(WPARAM dc);
// For WM_SETCURSOR over a link: the hand.
INT_PTR HandCursor(HWND dialog);

// The screen's pixels per logical inch, which turn a font's points into pixels; 96 when the
// screen cannot be asked.
int ScreenPixelsPerInch();

}  // namespace platform
