#pragma once
// The editor of the user's own hash lists (UserExecFilter.md5 and UserExecFilter.sha256 in the
// data folder), which the filter module reads beside the definitions lists: one list at a time
// in a text box, saved as typed.
class Form11 {
 public:
  // Shows the window modeless; when it is open already, brings that one forward.
  static void Show();
};
