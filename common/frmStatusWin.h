#pragma once
// The shared status window: a small modeless window with one label, Label1, that a long operation
// sets, shows and unloads when done. It is a loaded form named "frmStatusWin" while it is open.
#include <windows.h>

#include <string>

class frmStatusWin {
 public:
  // Loads the window when needed, sets Label1 to caption and shows it without making it modal.
  static void Show(const std::wstring& caption);
  static void SetLabel1(const std::wstring& caption);
  static std::wstring Label1();  // empty when not loaded
  static HWND Handle();          // null when not loaded
  static void Unload();
};
