#pragma once
// The e-mail alert set-up dialog.
class Form9 {
 public:
  // Modeless from the menu; when it is open already, brings that one forward.
  static void Show();
  static void ShowModal();
};
