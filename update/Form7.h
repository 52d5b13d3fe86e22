#pragma once
// The update-schedule dialog.
#include <string>

class Form7 {
 public:
  // Modeless; when it is open already, brings that one forward.
  static void Show();
  // Creates the update tasks for the hour and days given (when empty: the open dialog's lists, or
  // without the dialog the stored schedule or a random pick, as the lists would be preset) and
  // stores "ScheduleEnabled"; shows a message only when asked, and closes an open dialog.
  static void ScheduleIt(bool showMessage, const std::wstring& hour, const std::wstring& day);
};
