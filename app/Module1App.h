#pragma once
// The main program's start-up and set-up roads, on the top floor: they may call every floor, and
// nothing below calls them. They apply the protection through the engine's face, engine/Protection.h.
#include <string>

namespace Module1 {

// ---- Start-up and command line (app/Module1Start.cpp) ----
void Main();
bool CleanupAfterUpdate();
void RemoveDataFolder();

// ---- Set-up roads: the INI road and the first-run wizard (app/Module1Setup.cpp) ----
void PromptApplyNow(bool silent, bool reboot);
void ApplyIniSettings(const std::wstring& iniPath);
// The first-run wizard: the default protection set, the saved choices it stands for, the e-mail
// question, the restart question (true when the restart was asked for; else the main window opens).
void RunFirstRunWizard();
void ApplyDefaultProtections(bool schedule, bool askSidebar);
// The default set as the main window reads it; "Sidebar" as the Sidebar policy now stands.
void SaveApplyChoices(bool sidebarDisabled);
void PromptEmailAlerts();
bool PromptRestartAfterApply();

}  // namespace Module1
