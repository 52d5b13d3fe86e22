#include "notify/modWriteEvent.h"

#include "common/CommonModule.h"
#include "common/Variant.h"
#include "common/modRegistry.h"
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

namespace {

const wchar_t kApplicationSources[] = L"SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application";
constexpr int32_t kTypesSupported = 7;  // error, warning, information

}  // namespace

bool RegisterEventSources() {
  bool ok = true;
  for (const wchar_t* source : kEventSources) {
    const std::wstring key = std::wstring(kApplicationSources) + L"\\" + source;
    ok &= modRegistry::fWriteValue(L"HKLM", key, L"TypesSupported", L"D", Variant(kTypesSupported)) == 0;
    ok &= modRegistry::fWriteValue(L"HKLM", key, L"EventMessageFile", L"S",
                                   Variant(CommonModule::AppPath() + kMessageDll)) == 0;
  }
  return ok;
}

void UnregisterEventSources() {
  for (const wchar_t* source : kEventSources) {
    bool notFound = false;
    modRegistry::fDeleteKey(L"HKLM", kApplicationSources, source, notFound);
  }
}

bool WriteEvent(const std::wstring& message, int32_t eventType) {
  return WriteEventAs(CommonModule::AppTitle(), message, eventType);
}

}  // namespace modWriteEvent
