#include "filtermod/Module3.h"

#include "alerts/modWriteEvent.h"
#include "common/CommonModule.h"
#include "common/Variant.h"
#include "common/modRegistry.h"

namespace Module3 {

bool WriteEventLog(const std::wstring& message, int32_t eventType) {
  if (eventType == 0) eventType = 4;
  const std::wstring source = CommonModule::AppTitle();
  const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\" + source;
  modRegistry::fWriteValue(L"HKLM", key, L"TypesSupported", L"D", Variant(int32_t{7}));
  // Without the message file registered the entry would be unreadable: write none.
  if (modRegistry::fWriteValue(L"HKLM", key, L"EventMessageFile", L"S",
                               Variant(CommonModule::AppPath() + L"MerrowindEventLogMsgHelper.dll")) != 0)
    return false;
  return modWriteEvent::WriteEventAs(source, message, eventType);
}

}  // namespace Module3
