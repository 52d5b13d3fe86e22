#pragma once
// The event log as the three programs use it: write an entry under a source, read entries back,
// wait for new ones. On Windows this is the event-log API. Wine accepts those calls and stores
// nothing, so under Wine (detected at run time) entries go to a journal file per log under the
// all-users data folder instead, shared by every process of the session: appended under a named
// mutex, one length-checked record each, and a named event pulsed on each write.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/Handle.h"

namespace platform {

struct EventSourceTraits {
  static HANDLE Invalid() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr; }
  static void Close(HANDLE h) { DeregisterEventSource(h); }
};
struct EventLogTraits {
  static HANDLE Invalid() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr; }
  static void Close(HANDLE h) { CloseEventLog(h); }
};

// Entry types as the event log numbers them.
constexpr uint16_t kEventError = 1;
constexpr uint16_t kEventWarning = 2;
constexpr uint16_t kEventInformation = 4;

struct EventEntry {
  uint32_t record = 0;       // record number within its log, rising with each write
  uint32_t timeWritten = 0;  // seconds since 1970-01-01 UTC
  std::wstring log;          // "Application", ...
  std::wstring source;
  uint32_t eventId = 0;      // the identifier as written; the event code shown is its low 16 bits
  uint16_t type = 0;
  uint16_t category = 0;
  std::vector<std::wstring> strings;  // insertion strings
  // The account the entry names ("S-1-5-21-..."), "" when it names none. Whoever writes an entry
  // names it, in the event log as in the journal: it tells entries apart, it proves nothing.
  std::wstring userSid;
};

// Decides on an entry's header alone (its source and event ID) whether the entry is read at all:
// one it declines is stepped over without its texts being built.
using EventHeaderFilter = std::function<bool(const std::wstring& source, uint32_t eventId)>;

// True when running under Wine, where the journal stands in for the event log.
bool EventLogIsJournal();

// A source opened for writing to the Application log of this computer.
class EventSource {
 public:
  explicit EventSource(const std::wstring& source);

  bool Ok() const { return ok_; }
  // Writes one entry that names this process's account (its token user).
  bool Report(uint16_t type, uint16_t category, uint32_t eventId, const std::vector<std::wstring>& strings);
  // Writes one entry that names the account given ("" none), as any writer may.
  bool ReportNaming(const std::wstring& userSid, uint16_t type, uint16_t category, uint32_t eventId,
                    const std::vector<std::wstring>& strings);

 private:
  std::wstring source_;
  UniqueHandle<HANDLE, EventSourceTraits> handle_;  // Windows only
  bool ok_ = false;
};

// Entries of a log, newest first, at most maxCount of them.
std::vector<EventEntry> ReadEventsNewestFirst(const std::wstring& log, size_t maxCount = SIZE_MAX);
// Hands the entries of a log to visit, newest first, until visit returns false or the log ends;
// on Windows the log is read only as far as the walk goes.
void VisitEventsNewestFirst(const std::wstring& log, const std::function<bool(const EventEntry&)>& visit);

// An entry's text as Event Viewer shows it: the message of its event ID in the message file that
// its source registered (HKLM "SYSTEM\CurrentControlSet\Services\EventLog\<log>\<source>",
// "EventMessageFile"), with the insertion strings put in. Without such a file or message, the
// insertion strings joined by a blank. The message files opened stay open for the formatter's life.
class EventMessageFormatter {
 public:
  std::wstring Format(const EventEntry& entry);

 private:
  const std::vector<UniqueModule>& FilesOf(const std::wstring& log, const std::wstring& source);
  std::map<std::wstring, std::vector<UniqueModule>> files_;
};
// Entries of a log whose record number is firstRecord or later, oldest first.
std::vector<EventEntry> ReadEventsFrom(const std::wstring& log, uint32_t firstRecord);
// The record number of the newest entry, 0 when the log is empty or cannot be read.
uint32_t NewestEventRecord(const std::wstring& log);

// Watches one log for entries written after the watch began.
class NewEventWatch {
 public:
  explicit NewEventWatch(const std::wstring& log = L"Application");

  bool Ok() const { return ok_; }
  // The entries written since the watch began or since the last call, oldest first; when there are
  // none yet, waits up to timeoutMs (INFINITE allowed) for one. Empty after the time is up. With a
  // filter, the entries it declines are passed over, unbuilt, and never handed out.
  std::vector<EventEntry> Next(DWORD timeoutMs, const EventHeaderFilter& wanted = nullptr);

 private:
  std::wstring log_;
  uint32_t lastSeen_ = 0;
  UniqueHandle<HANDLE, EventLogTraits> logHandle_;  // Windows only
  UniqueKernelHandle changed_;  // signalled (or pulsed) when the log may have grown
  bool ok_ = false;
};

}  // namespace platform
