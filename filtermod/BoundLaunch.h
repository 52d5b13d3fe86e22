#pragma once
// Starting a bound file (HeldFile) so that what runs is what was hashed: a program by its bound
// path, suspended until its program file is seen to be the held file; a control-panel file by a
// host that the module starts itself, the file held until the host has loaded it.
#include <windows.h>

#include <string>

#include "filtermod/HeldFile.h"

namespace BoundLaunch {

struct Outcome {
  DWORD startError = 0;  // Windows refused the start: nothing was started (the shell may try)
  std::wstring problem;  // what started was not the held file, or could not be seen to be: ended; why
};

// Starts the held file by its bound path with the arguments ("path" args), suspended, and lets it
// run only once its program file is the held file; otherwise it is ended before it ran.
Outcome StartProgram(const HeldFile& held, const std::wstring& arguments);

// How long the control-panel host may take to load the applet.
constexpr DWORD kAppletLoadMs = 30000;

// Starts the control-panel host (rundll32 shell32.dll,Control_RunDLL, of the applet's own
// bitness) on the held file's bound path and waits until the host has it loaded. A host that loads
// another file there, or has not loaded it within kAppletLoadMs, is ended. A host that ends before
// it loaded the file has loaded nothing.
Outcome StartApplet(const HeldFile& held);

}  // namespace BoundLaunch
