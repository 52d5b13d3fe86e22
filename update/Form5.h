#pragma once
// The logo window shown while the configuration is applied.
class Form5 {
 public:
  static void Show();
  static void Unload();
};
