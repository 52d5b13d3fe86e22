#pragma once
// The one road by which the programs show a message box, ask a question or open a window.
//
// Normally it is just MessageBox. When the environment variable ILATCH_PROMPT_LOG names a file,
// nothing is shown: each box is appended to that file as one line and answered from
// ILATCH_PROMPT_ANSWERS (a comma-separated list such as "yes,no,ok", used in order); once the
// list is used up every box gets its harmless answer (No, Cancel or OK). Windows are recorded
// there too and closed again at once. Automated runs can therefore never wait on a box, and
// never restart the machine (see IsRehearsal). A test that drives a live window sets
// ILATCH_KEEP_WINDOWS as well: windows are still recorded but stay open. All three are test
// switches (platform/TestSwitches.h): a program outside the folders listed for test runs shows
// every box for real.
#include <windows.h>

#include <string>
#include <vector>

namespace platform {

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);

// A text-input box: the prompt above an edit box holding defaultText, OK and Cancel. Returns the
// text typed, "" for Cancel. When rehearsing it writes an "input" record (title, prompt, default,
// answer) and takes the next answer of ILATCH_PROMPT_ANSWERS as the typed text, exactly as given;
// an empty answer or a used-up list count as Cancel.
std::wstring ShowInputBox(HWND owner, const std::wstring& prompt, const std::wstring& title,
                          const std::wstring& defaultText);
// The input box's prompt and edit box, for a test that answers the box as a user does.
constexpr WORD kInputBoxPromptId = 100;
constexpr WORD kInputBoxTextId = 101;

// True when boxes are recorded instead of shown.
bool IsRehearsal();

// True when a rehearsal leaves the windows it records open (ILATCH_KEEP_WINDOWS is set).
bool KeepsWindowsOpen();

// Appends one record to the prompt log when rehearsing: the kind, then each field, TAB-separated,
// with backslashes, TABs and line breaks in the fields escaped.
void RecordPrompt(const std::wstring& kind, const std::vector<std::wstring>& fields);

}  // namespace platform
