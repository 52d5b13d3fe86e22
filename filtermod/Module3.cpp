#include "filtermod/Module3.h"

#include "alerts/modWriteEvent.h"
#include "common/CommonModule.h"
#include "platform/EventLog.h"

namespace Module3 {

bool WriteEventLog(const std::wstring& message, int32_t eventType) {
  if (eventType == 0) eventType = platform::kEventInformation;
  // The source is registered by the main program when it installs or applies protection: the
  // module runs with the launching user's rights, which cannot write that key. Windows takes an
  // entry under a source it does not know all the same, and the wide call keeps every file name.
  platform::EventSource log(CommonModule::AppTitle());
  if (!log.Ok()) return false;
  return log.Report(static_cast<uint16_t>(eventType), 0, modWriteEvent::ProductEventId, {message});
}

}  // namespace Module3
