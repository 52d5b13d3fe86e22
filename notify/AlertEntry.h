#pragma once
// An alert that asks the event service to send mail: the filter module runs as whoever launched a
// file and holds no mail settings, so it writes the alert as an Application-log entry and the
// service, which alone reads those settings, mails it.
//
// The entry is one of the product's own (ProductEventId, so the blocked-events viewer lists it)
// with one insertion string that reads well there and parses back exactly:
//   [Alert mail]
//   Subject: <subject>
//   Program: <program>
//   (blank line)
//   <body>
// Every user may write to the Application log under any source, so the service trusts none of
// this beyond what it can check: the source, the marking and the shape, and a subject of the
// filter module's own kinds.
#include <optional>
#include <string>

namespace AlertEntry {

// The first line of every alert entry.
inline constexpr wchar_t kMarking[] = L"[Alert mail]";

struct Alert {
  std::wstring subject;
  std::wstring program;  // the file the alert is about: alerts of one kind for one file are mailed once a minute
  std::wstring body;
};

// The entry's insertion string. Line breaks and other control characters in the subject and the
// program become blanks, so that neither can start a line of its own.
std::wstring Format(const Alert& alert);
// The alert, when the text is one that Format wrote and within the sizes a mail may take.
std::optional<Alert> Parse(const std::wstring& text);

// True when the subject is one of the filter module's alert subjects, where "X" stands for a
// short run of letters and digits (the file's extension):
// "Restricted program blocked!", "Restricted program allowed!", "Restricted program blocked by
// HASH rule!", "Restricted .X program blocked!", "Restricted .X program allowed!".
bool IsFilterModuleSubject(const std::wstring& subject);

// Writes the alert as a warning entry under the source. True when it was written.
bool Write(const std::wstring& source, const Alert& alert);

}  // namespace AlertEntry
