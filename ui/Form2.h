#pragma once
// The command-line help window: every switch with a line of explanation, and two examples.
class Form2 {
 public:
  // Shows the window modeless; when it is open already, brings that one forward.
  static void Show();
};
