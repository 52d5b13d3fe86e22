// The restart helper that the main program writes beside itself and starts after a program update
// on Windows XP: it asks whether to restart now, so that the new protection takes hold.
#include <windows.h>

#include "common/ShutDownMod.h"
#include "platform/PromptSeam.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const int answer = platform::ShowMessageBox(
      nullptr, L"Ironlatch was updated.  Restart the PC now so that the updated protection takes effect?", L"Ironlatch",
      MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND);
  if (answer == IDYES) ShutDownMod::RebootSystem(false);
  return 0;
}
