#pragma once
// The logo window: "applogo.bmp" beside the program, shown at its own size above other windows
// while a long step runs or when the configuration builder tests the logo.
class Form5 {
 public:
  // Shows the window without waiting; an open one is brought forward.
  static void Show();
  static void Unload();
};
