#pragma once
// The main window: the protection boxes, the filter-module options, Apply, Undo and Test, and the
// menus. Its parts lie in Form1.cpp (window and boxes), Form1Load.cpp (saved choices and the box
// handlers), Form1Apply.cpp (the three buttons) and Form1Menus.cpp.
#include <windows.h>

#include <string>

class Form1 {
 public:
  // Creates, loads and shows the window (modeless); when it is open already, brings it forward.
  static void Show();

  // ---- Load and box handlers ----
  static void Form_Load();
  static void chkSilentBlock_Click();
  static void chkNoAllow_Click();
  static void chkSuspicious_Click(int index);
  static void chkConstant_Click(int index);
  static void Label10_Click();  // "All /"
  static void Label9_Click();   // "None"
  static void Label11_Click();  // "Read Me!"

  // ---- Buttons ----
  static void Command1_Click();  // Apply
  static void Command2_Click();  // Undo
  static void Command3_Click();  // Test

  // ---- Menus ----
  static void Menu_About_Click();
  static void Menu_HelpForums_Click();
  static void Menu_TechnicalInfo_Click();
  static void Menu_CmdLine_Click();
  static void Menu_Log1_Click();
  static void Menu_Default_Click();
  static void Menu_GPUpdateNow_Click();
  static void Menu_ApplyGPUpdate_Click();
  static void Menu_DisplayWhitelists_Click();
  static void Menu_BlockBCDEdit_Click();
  static void Menu_Block_Click();
  static void Menu_UserDefs_Click();
  static void Menu_EXEFilter_Click();
  static void Menu_EmailAlerts_Click();
  static void Menu_Install_Click(int index);
  static void Menu_UpdateCheckDefs_Click();
  static void Menu_UpdateCheck_Click();
  static void Menu_Reg_Click();
  // The EXE/COM filter's check as the engine last stored it (Apply and Undo turn the filter off).
  static void ShowStoredExeComFilter();

  // ---- The window's controls, for the handlers ----
  static HWND Window();
  // A box's value: 0 unticked, 1 ticked, 2 greyed.
  static int BoxValue(int id);
  // Sets a box; when the value changes, the box's click handler runs as for a user's click.
  // A value other than 0, 1 and 2 leaves the box as it is.
  static void SetBoxValue(int id, int value);
  static bool Ticked(int id) { return BoxValue(id) == 1; }
  static bool MenuChecked(int id);
  static void SetMenuChecked(int id, bool checked);
  static void SetMenuEnabled(int id, bool enabled);
  static void HideMenuItem(int id);
  // Removes a whole top-level menu by its position.
  static void HideTopMenu(int position);
  static void SetMenuCaption(int id, const std::wstring& caption);
  // Asks through the prompt seam with ProductLabel as caption.
  static int Ask(const std::wstring& text, UINT type, const std::wstring& title = L"");

 private:
  static void OnBoxClicked(int id);
  class MainDialog;  // the window itself (Form1.cpp)
  static MainDialog& Dialog();
  static INT_PTR OnMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  static void Unload();
  static void OnCommand(int id, int code);
  static void SetDesignState();
  static void AddToolTips();

  static bool BrandedMode;
};
