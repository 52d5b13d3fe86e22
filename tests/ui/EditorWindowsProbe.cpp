// Hosts the About window or the user hash-list editor as the main program shows them, for the
// tests that drive them from outside: "editorwindowsprobe form3" or "editorwindowsprobe form11".
// A thread message WM_APP asks for the window again, as a second click on its menu would.
#include <windows.h>

#include <string>

#include "common/Product.h"
#include "platform/Forms.h"
#include "ui/Form11.h"
#include "ui/Form3.h"

int wmain(int argc, wchar_t** argv) {
  Product::ProductLabel = Product::kName;
  const std::wstring which = argc > 1 ? argv[1] : L"";
  auto show = [&] {
    if (which == L"form3") Form3::Show();
    else if (which == L"form11") Form11::Show();
  };
  show();
  MSG msg = {};
  while (!platform::LoadedForms().empty() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!msg.hwnd && msg.message == WM_APP) {
      show();
    } else if (!msg.hwnd || !IsDialogMessageW(GetAncestor(msg.hwnd, GA_ROOT), &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return 0;
}
