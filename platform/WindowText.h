#pragma once
// The text of a window or of a dialog's control, read whole.
#include <windows.h>

#include <string>

namespace platform {

// The whole text of a window or control; "" for none.
std::wstring WindowText(HWND window);
// The whole text of a dialog's control.
std::wstring ItemText(HWND dialog, int id);

}  // namespace platform
