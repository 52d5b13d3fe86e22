#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <ctime>

#include "alerts/Form10.h"

#include "notify/EventTimeText.h"
#include "common/CommonModule.h"
#include "common/Product.h"
#include "platform/Text.h"

namespace {

constexpr uint32_t kBlockedCode = 866;     // a policy rule blocked a program
constexpr uint32_t kProductCode = 10177;   // the product's own entries
constexpr uint32_t kStartCode = 6009;      // written by Windows at each start

bool ContainsNoCase(const std::wstring& text, const std::wstring& part) {
  return platform::Contains(platform::Lower(text), platform::Lower(part));
}

uint32_t EventCode(const platform::EventEntry& e) { return e.eventId & 0xFFFF; }

bool IsListed(const platform::EventEntry& e) {
  return EventCode(e) == kBlockedCode || (EventCode(e) == kProductCode && ContainsNoCase(e.source, Product::kName));
}

// One step of the walk over the log, newest first: false once the entries are older than the start.
class RowWalk {
 public:
  RowWalk(bool lastRebootOnly, const std::wstring& bootTime, const std::wstring& timeShift)
      : lastRebootOnly_(lastRebootOnly), bootTime_(bootTime), timeShift_(timeShift) {}

  bool Take(const platform::EventEntry& e) {
    const std::wstring generated = Form10::WmiTimeText(e.timeWritten);
    if (lastRebootOnly_ && !(bootTime_ <= generated)) return false;
    if (IsListed(e))
      rows.push_back({Form10::ApplyUtcAdjustment(timeShift_, Form10::ParseWmiDate(generated)),
                      EventTimeText::MessageText(e, formatter_)});
    return true;
  }

  std::vector<Form10::ListedEvent> rows;

 private:
  bool lastRebootOnly_;
  std::wstring bootTime_, timeShift_;
  platform::EventMessageFormatter formatter_;
};

}  // namespace

std::vector<Form10::ListedEvent> Form10::ListEvents(const std::vector<platform::EventEntry>& newestFirst,
                                                    bool lastRebootOnly, const std::wstring& bootTime,
                                                    const std::wstring& timeShift) {
  RowWalk walk(lastRebootOnly, bootTime, timeShift);
  for (const auto& e : newestFirst)
    if (!walk.Take(e)) break;
  return std::move(walk.rows);
}

std::vector<Form10::ListedEvent> Form10::ScanRows(bool lastRebootOnly, const std::wstring& timeShift) {
  RowWalk walk(lastRebootOnly, lastRebootOnly ? GetLastBootTime() : L"", timeShift);
  platform::VisitEventsNewestFirst(L"Application", [&](const platform::EventEntry& e) { return walk.Take(e); });
  return std::move(walk.rows);
}

std::wstring Form10::DescriptionText(const std::wstring& message) {
  const bool test = ContainsNoCase(message, L"helloworld.exe") || ContainsNoCase(message, L"helloworld2.exe");
  return std::wstring(test ? L"TEST EVENT" : L"SUSPICIOUS APPLICATION BLOCKED") + L"\r\n\r\n" + message;
}

std::wstring Form10::ParseWmiDate(const std::wstring& wmiTime) { return EventTimeText::ParseWmiDate(wmiTime); }

std::wstring Form10::ApplyUtcAdjustment(const std::wstring& timeShift, const std::wstring& dateText) {
  return EventTimeText::ApplyTimeShift(timeShift, dateText);
}

std::wstring Form10::WmiTimeText(uint32_t secondsSince1970) { return EventTimeText::WmiTimeText(secondsSince1970); }

std::wstring Form10::GetLastBootTime() {
  std::wstring boot;
  platform::VisitEventsNewestFirst(L"System", [&](const platform::EventEntry& e) {
    if (EventCode(e) != kStartCode) return true;
    boot = WmiTimeText(e.timeWritten);
    return false;
  });
  return boot;
}
