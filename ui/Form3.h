#pragma once
// The About window.
class Form3 {
 public:
  // Shows the window modeless; when it is open already, brings that one forward.
  static void Show();
};
