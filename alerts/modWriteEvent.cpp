#include "alerts/modWriteEvent.h"

#include "common/CommonModule.h"
#include "platform/EventLog.h"
#include "platform/Text.h"

namespace modWriteEvent {

bool WriteEventAs(const std::wstring& source, const std::wstring& message, int32_t eventType) {
  if (eventType == 0) eventType = platform::kEventInformation;
  platform::EventSource log(source);
  if (!log.Ok()) return false;
  // The entry carries the message as the ANSI code page has it.
  return log.Report(static_cast<uint16_t>(eventType), 0, ProductEventId, {platform::FromAnsi(platform::ToAnsi(message))});
}

bool WriteEvent(const std::wstring& message, int32_t eventType) {
  return WriteEventAs(CommonModule::AppTitle(), message, eventType);
}

}  // namespace modWriteEvent
