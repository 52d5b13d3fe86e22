#pragma once
// The blocked-events viewer.
class Form10 {
 public:
  static void Show();
};
