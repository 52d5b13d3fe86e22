// Entry of Ironlatch.exe: everything starts in Module1::Main; the process then lives as long as a
// window that Main opened.
#include <windows.h>

#include "app/Module1App.h"
#include "platform/Forms.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  Module1::Main();
  return platform::RunMessageLoop();
}
