#pragma once
// The policy editor.
class Form6 {
 public:
  static void Show();
};
