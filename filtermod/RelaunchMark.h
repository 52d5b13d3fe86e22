#pragma once
// Keeps the shell fallback from relaunching the module in a loop. A refused start is handed to the
// shell's verb, and for a hooked class that verb is the module itself. Before it hands a file on,
// the module opens a named event for that file; an instance that finds the event is a relaunch:
// it weighs the file as always and sets the event, but hands nothing to the shell again. Anybody
// in the session could create such an event: all it can do is take that fallback away.
#include <windows.h>

#include <string>

#include "platform/Handle.h"

namespace RelaunchMark {

// Held by the instance that hands a file to the shell, until the relaunch has seen it.
class Mark {
 public:
  explicit Mark(const std::wstring& canonicalPath);
  // Waits, at most timeoutMs, until a relaunch has claimed the mark or the started process ended.
  void WaitUntilSeen(HANDLE startedProcess, DWORD timeoutMs) const;

 private:
  platform::UniqueKernelHandle event_;
};

// True when an instance handing this file to the shell is waiting: this instance is its relaunch.
bool ClaimRelaunch(const std::wstring& canonicalPath);

}  // namespace RelaunchMark
