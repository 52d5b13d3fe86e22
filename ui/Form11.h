#pragma once
// The editor of the user's own hash lists.
class Form11 {
 public:
  // Shows the window modeless; when it is open already, brings that one forward.
  static void Show();
};
