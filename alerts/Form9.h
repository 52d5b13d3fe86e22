#pragma once
// The e-mail alert set-up dialog.
class Form9 {
 public:
  static void ShowModal();
};
