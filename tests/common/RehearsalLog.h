#pragma once
// Makes the including test program rehearse: boxes, windows, dialogs and restarts are recorded in
// a prompt log, never shown or done. The variable is set while the program starts, before the
// first prompt could be asked for.
#include <windows.h>

#include <vector>

#include "tests/support/TestSupport.h"

namespace rehearsal {

inline testsupport::ScratchDir& LogFolder() {
  static testsupport::ScratchDir folder;
  return folder;
}
inline std::wstring LogPath() { return LogFolder() / L"prompts.log"; }

inline const bool kRehearsing = SetEnvironmentVariableW(L"ILATCH_PROMPT_LOG", LogPath().c_str()) != 0;

// The records so far; the log starts empty again.
inline std::vector<testsupport::PromptRecord> TakePrompts() {
  auto records = testsupport::ReadPromptLog(LogPath());
  DeleteFileW(LogPath().c_str());
  return records;
}

}  // namespace rehearsal
