#pragma once
// The program's loaded windows ("forms") by name, and the message loop that runs while any is open.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace platform {

// A window class calls these when its window is created and destroyed. In a rehearsal (see
// PromptSeam.h) the window is recorded in the prompt log and closed again at once.
void RegisterForm(const std::wstring& name, HWND window);
void UnregisterForm(HWND window);

std::vector<std::pair<std::wstring, HWND>> LoadedForms();

// Pumps window messages until the last registered form is gone; returns the exit code.
int RunMessageLoop();

// Lets pending window events run (the polling waits call it between sleeps).
void DoEvents();

}  // namespace platform
