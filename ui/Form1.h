#pragma once
// The main window.
class Form1 {
 public:
  static void Show();
};
