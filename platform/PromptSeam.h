#pragma once
// The one road by which the programs show a message box, ask a question or open a window.
//
// Normally it is just MessageBox. When the environment variable ILATCH_PROMPT_LOG names a file,
// nothing is shown: each box is appended to that file as one line and answered from
// ILATCH_PROMPT_ANSWERS (a comma-separated list such as "yes,no,ok", used in order); once the
// list is used up every box gets its harmless answer (No, Cancel or OK). Windows are recorded
// there too and closed again at once. Automated runs can therefore never wait on a box, and
// never restart the machine (see IsRehearsal).
#include <windows.h>

#include <string>
#include <vector>

namespace platform {

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);

// True when boxes are recorded instead of shown.
bool IsRehearsal();

// Appends one record to the prompt log when rehearsing: the kind, then each field, TAB-separated,
// with backslashes, TABs and line breaks in the fields escaped.
void RecordPrompt(const std::wstring& kind, const std::vector<std::wstring>& fields);

}  // namespace platform
