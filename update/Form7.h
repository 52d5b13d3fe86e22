#pragma once
// The update-schedule dialog.
#include <string>

class Form7 {
 public:
  // Modeless; when it is open already, brings that one forward.
  static void Show();
  // Creates the update tasks for the hour and days given (a random choice when empty) and stores
  // "ScheduleEnabled"; shows a message only when asked.
  static void ScheduleIt(bool showMessage, const std::wstring& hour, const std::wstring& day);
};
