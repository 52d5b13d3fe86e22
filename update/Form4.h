#pragma once
// The configuration and installer builder.
class Form4 {
 public:
  static void Show();
};
