#pragma once
// The blocked-events viewer: the policy's "program blocked" entries (866) and the product's own
// entries (10177) from the Application log, newest first, with the full text of the selected one.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/EventLog.h"

class Form10 {
 public:
  // Shows the window modeless; when it is open already, brings that one forward.
  static void Show();

  struct ListedEvent {
    std::wstring time;     // the row's text
    std::wstring message;  // shown below the list when the row is selected
  };

  // The rows for Application-log entries given newest first. With lastRebootOnly the walk stops at
  // the first entry older than bootTime (provider date-time texts, compared as text).
  static std::vector<ListedEvent> ListEvents(const std::vector<platform::EventEntry>& newestFirst,
                                             bool lastRebootOnly, const std::wstring& bootTime,
                                             const std::wstring& timeShift);
  // The rows of the Application log, read newest first and no further than needed: with
  // lastRebootOnly the walk ends at the first entry older than the last start. Runs on any thread.
  static std::vector<ListedEvent> ScanRows(bool lastRebootOnly, const std::wstring& timeShift);
  // The description pane's text for a row's message.
  static std::wstring DescriptionText(const std::wstring& message);
  // yyyymmddHHMMSS... -> the date and the time in the platform's default forms, joined by a blank;
  // the text unchanged when it is no such time.
  static std::wstring ParseWmiDate(const std::wstring& wmiTime);
  // timeShift "-h" moves the date text h hours earlier, any other number n moves it n hours
  // later; an empty shift or text, or a text that is no date, comes back unchanged.
  static std::wstring ApplyUtcAdjustment(const std::wstring& timeShift, const std::wstring& dateText);
  // An entry's time as the provider's date-time text, in UTC.
  static std::wstring WmiTimeText(uint32_t secondsSince1970);
  // The provider's date-time text of the newest start of Windows in the System log, "" when none.
  static std::wstring GetLastBootTime();
};
