#pragma once
// A fully transparent top-level window that owns the shell's run-as prompt, so the prompt has a
// foreground-capable parent while the filter module shows nothing of its own.
#include <windows.h>

namespace frmInvisible {

// Creates the window when needed and shows it; returns its handle (null when it could not be made).
HWND Show();
void Unload();

}  // namespace frmInvisible
