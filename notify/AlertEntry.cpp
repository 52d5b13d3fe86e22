#include "notify/AlertEntry.h"

#include <cwctype>

#include "notify/modWriteEvent.h"
#include "platform/EventLog.h"
#include "platform/Text.h"

namespace AlertEntry {
namespace {

const wchar_t kCrLf[] = L"\r\n";
const wchar_t kSubjectLabel[] = L"Subject: ";
const wchar_t kProgramLabel[] = L"Program: ";
// An insertion string of the event log holds at most 31,839 characters; a path at most 32,767.
constexpr size_t kLongestSubject = 200;
constexpr size_t kLongestProgram = 32767;
constexpr size_t kLongestText = 31839;
constexpr size_t kLongestExtension = 16;

std::wstring OneLine(const std::wstring& text) {
  std::wstring line = text;
  for (wchar_t& c : line)
    if (c < L' ' || c == 0x7F) c = L' ';
  return line;
}

bool IsOneLine(const std::wstring& text) { return OneLine(text) == text; }

// Takes "<label><text>\r\n" from the front of rest; the text, or nothing.
std::optional<std::wstring> TakeLine(std::wstring& rest, const wchar_t* label) {
  if (!platform::StartsWith(rest, label)) return std::nullopt;
  const size_t end = rest.find(kCrLf);
  if (end == std::wstring::npos) return std::nullopt;
  const size_t from = std::wstring(label).size();
  std::wstring text = rest.substr(from, end - from);
  rest.erase(0, end + 2);
  return text;
}

bool IsExtension(const std::wstring& text) {
  if (text.empty() || text.size() > kLongestExtension) return false;
  for (const wchar_t c : text)
    if (!(c < 0x80 && std::iswalnum(c))) return false;
  return true;
}

}  // namespace

std::wstring Format(const Alert& alert) {
  return std::wstring(kMarking) + kCrLf + kSubjectLabel + OneLine(alert.subject) + kCrLf + kProgramLabel +
         OneLine(alert.program) + kCrLf + kCrLf + alert.body;
}

std::optional<Alert> Parse(const std::wstring& text) {
  if (text.size() > kLongestText) return std::nullopt;
  const std::wstring head = std::wstring(kMarking) + kCrLf;
  if (!platform::StartsWith(text, head)) return std::nullopt;
  std::wstring rest = text.substr(head.size());
  Alert alert;
  const auto subject = TakeLine(rest, kSubjectLabel);
  const auto program = subject ? TakeLine(rest, kProgramLabel) : std::nullopt;
  if (!subject || !program || !platform::StartsWith(rest, kCrLf)) return std::nullopt;
  alert.subject = *subject;
  alert.program = *program;
  alert.body = rest.substr(2);
  if (alert.subject.empty() || alert.subject.size() > kLongestSubject || !IsOneLine(alert.subject)) return std::nullopt;
  if (alert.program.empty() || alert.program.size() > kLongestProgram || !IsOneLine(alert.program)) return std::nullopt;
  if (alert.body.empty()) return std::nullopt;
  return alert;
}

bool IsFilterModuleSubject(const std::wstring& subject) {
  for (const wchar_t* whole : {L"Restricted program blocked!", L"Restricted program allowed!",
                               L"Restricted program blocked by HASH rule!"})
    if (subject == whole) return true;
  const std::wstring lead = L"Restricted .";
  if (!platform::StartsWith(subject, lead)) return false;
  for (const wchar_t* tail : {L" program blocked!", L" program allowed!"}) {
    if (!platform::EndsWith(subject, tail) || subject.size() < lead.size() + std::wstring(tail).size()) continue;
    if (IsExtension(subject.substr(lead.size(), subject.size() - lead.size() - std::wstring(tail).size()))) return true;
  }
  return false;
}

bool Write(const std::wstring& source, const Alert& alert) {
  platform::EventSource log(source);
  return log.Ok() && log.Report(platform::kEventWarning, 0, modWriteEvent::ProductEventId, {Format(alert)});
}

}  // namespace AlertEntry
