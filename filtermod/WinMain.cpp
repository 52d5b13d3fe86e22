// Entry of IronlatchFilterMod.exe: one launch weighed per process, no window of its own.
#include <windows.h>

#include "filtermod/Module1.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  Module1::Main();
  return 0;
}
