#pragma once
// The filter module's Application-log entries, under its own source: the record of each launch,
// and the alerts that the event service mails.
#include <cstdint>
#include <string>

namespace Module3 {

// Type 1 error, 2 warning, 4 information (0 counts as 4). False when the entry was not written.
bool WriteEventLog(const std::wstring& message, int32_t eventType);

// Hands an alert mail to the event service as an alert entry (alerts/AlertEntry.h); the module
// itself reads no mail settings and sends nothing, so a launch never waits for a mail. The file
// the alert is about is the one its body names (on the line after the first blank line). True
// when the entry was written; whether it is mailed is the service's affair.
bool SendAlert(const std::wstring& subject, const std::wstring& body);

}  // namespace Module3
