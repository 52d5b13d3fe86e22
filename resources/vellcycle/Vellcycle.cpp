// The restart helper that the main program writes beside itself and starts after a program update
// on Windows XP: it asks whether to restart now, so that the new protection takes hold.
#include <windows.h>

#include <string>

#include "common/Product.h"
#include "common/ShutDownMod.h"
#include "platform/PromptSeam.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring question =
      std::wstring(Product::kName) + L" was updated.  Restart the PC now so that the updated protection takes effect?";
  const int answer =
      platform::ShowMessageBox(nullptr, question, Product::kName, MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND);
  if (answer == IDYES) ShutDownMod::RebootSystem(false);
  return 0;
}
