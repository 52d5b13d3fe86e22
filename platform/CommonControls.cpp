#include "platform/CommonControls.h"

#include <windows.h>
#include <commctrl.h>

namespace platform {

UniqueModule InitCommonControlsVB() {
  UniqueModule shell32(LoadLibraryW(L"shell32.dll"));
  InitCommonControls();
  return shell32;
}

}  // namespace platform
