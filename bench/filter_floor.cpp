// The floor under the filter module's launch: a GUI program that does nothing, importing the same
// system libraries as the module (each through one of its functions), so that the bench shows what
// the module costs beyond Windows starting a program of its kind.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <oleauto.h>
#include <shellapi.h>
#include <wincrypt.h>
#define SECURITY_WIN32
#include <security.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Taken, never called: each keeps its library in the import table.
  static const void* const volatile kImports[] = {
      reinterpret_cast<const void*>(&RegCloseKey),      reinterpret_cast<const void*>(&InitCommonControls),
      reinterpret_cast<const void*>(&CertCloseStore),   reinterpret_cast<const void*>(&CoUninitialize),
      reinterpret_cast<const void*>(&SysFreeString),    reinterpret_cast<const void*>(&GetUserNameExW),
      reinterpret_cast<const void*>(&ShellExecuteW),    reinterpret_cast<const void*>(&MessageBeep),
      reinterpret_cast<const void*>(&GetFileVersionInfoSizeW), reinterpret_cast<const void*>(&WSACleanup),
  };
  return kImports[0] ? 0 : 1;
}
