#include "filtermod/Module3.h"

#include "notify/AlertEntry.h"
#include "notify/modWriteEvent.h"
#include "common/CommonModule.h"
#include "filtermod/LaunchPath.h"
#include "platform/EventLog.h"

namespace Module3 {

namespace {

// Every alert body is a sentence, a blank line, the file's path and, for a hash match, a blank
// line and the digest.
std::wstring ProgramNamedIn(const std::wstring& body) {
  const size_t from = body.find(L"\r\n\r\n");
  if (from == std::wstring::npos) return body;
  const std::wstring rest = body.substr(from + 4);
  return rest.substr(0, rest.find(L"\r\n"));
}

}  // namespace

bool WriteEventLog(const std::wstring& message, int32_t eventType) {
  if (eventType == 0) eventType = platform::kEventInformation;
  // The source is registered by the main program when it installs or applies protection: the
  // module runs with the launching user's rights, which cannot write that key. Windows takes an
  // entry under a source it does not know all the same, and the wide call keeps every file name.
  platform::EventSource log(CommonModule::AppTitle());
  if (!log.Ok()) return false;
  return log.Report(static_cast<uint16_t>(eventType), 0, modWriteEvent::ProductEventId, {message});
}

bool SendAlert(const std::wstring& subject, const std::wstring& body) {
  return AlertEntry::Write(CommonModule::AppTitle(), {subject, LaunchPath::Canonical(ProgramNamedIn(body)), body});
}

}  // namespace Module3
