#pragma once
// The About window: the product logo, acknowledgements and links to web pages, each opened only
// after the user agrees.
class Form3 {
 public:
  // Shows the window modeless; when it is open already, brings that one forward.
  static void Show();
};
