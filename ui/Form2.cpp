#include "ui/Form2.h"

#include <windows.h>

#include "platform/StaticDialog.h"
#include "ui/Form2Ids.h"

namespace {

class HelpDialog final : public platform::StaticDialog {
 public:
  HelpDialog() : StaticDialog(L"Form2", IDD_FORM2) {}

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM) override {
    switch (message) {
      case WM_INITDIALOG:
        return TRUE;
      case WM_COMMAND:
        if (LOWORD(wParam) == IDC_FORM2_COMMAND1 || LOWORD(wParam) == IDCANCEL) Close();
        return TRUE;
    }
    return FALSE;
  }
};

HelpDialog& Dialog() {
  static HelpDialog dialog;
  return dialog;
}

}  // namespace

void Form2::Show() { Dialog().Show(); }
