#pragma once
// The configuration and installer builder: the deployment settings INI, the whitelist beside it,
// branding files and a custom installer built from the program folder.
#include <windows.h>

#include <string>

class Form4 {
 public:
  // Opens the window, or brings the open one forward.
  static void Show();

  // Writes the window's choices to the settings INI and the whitelist file.
  static void SaveConfig();
  // Appends text to the whitelist unless it is empty or already listed (compared in lower case).
  static void AddIfNotInListBox(const std::wstring& text);
  // A random whole number from 1 to 58, from a generator seeded by the clock.
  static int RandomMinute();
  // The hour and day that random numbers of 1 to 58 stand for in the schedule boxes.
  static std::wstring HourFromRandom(int number);
  static std::wstring DayFromRandom(int number);
  // A path picked under %appdata% as a whitelist entry: lower case, the leading application-data
  // folder taken off; false for a path outside them.
  static bool WhitelistEntryFromPath(const std::wstring& path, std::wstring& entry);

  // "Save && Create Custom Installer".
  static void Command3_Click();
  // The installer compiler's path, or "" when it is not installed.
  static std::wstring FindInnoCompiler();
  // Downloads the compiler's installer into a private folder and runs it silently, only when its
  // SHA-256 is the one pinned in the build; true once it ran and the compiler is there. Without a
  // pin nothing is fetched; then, as when the download fails or brings another file, the user is
  // told and sent to the tool maker's download page (update/Form4Installer.cpp).
  static bool EnsureInnoSetup();
  static void Menu_GetInno_Click();
  // Appends one line to the installer script in the program folder.
  static void AppendSetupLine(const std::wstring& line);
};
