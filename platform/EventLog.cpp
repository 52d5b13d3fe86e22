#include "platform/EventLog.h"

#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include "platform/Handle.h"
#include "platform/ProcessAccount.h"
#include "platform/ProductName.h"
#include "platform/Registry.h"
#include "platform/SystemFolder.h"

namespace platform {
namespace {

// ---- Journal (Wine) ------------------------------------------------------------------------------
//
// One file per log. Each record:
//   uint32 length (whole record, a multiple of 4), uint32 magic, uint32 record, uint32 time written,
//   uint32 event id, uint16 type, uint16 category, uint16 string count, uint16 user SID length,
//   source and strings as NUL-terminated UTF-16, the user SID's bytes (if any), padding, uint32
//   length again. Records written before entries named an account have a SID length of 0.
// A record counts only when both lengths and the magic agree, so a reader stops cleanly at a tail
// that a writer left half-written, and the next writer cuts such a tail off.

constexpr uint32_t kMagic = 0x56454C49;
constexpr size_t kHeaderBytes = 28;
constexpr size_t kMinRecordBytes = kHeaderBytes + 4 + 4;
constexpr uint64_t kJournalLimitBytes = 4u * 1024 * 1024;  // past this the oldest half is dropped
constexpr DWORD kMutexWaitMs = 10000;
constexpr DWORD kPollMs = 250;  // a waiter looks again this often, in case it missed a pulse
// The session's journal mutex; each log's write event adds "." and the log's name.
constexpr wchar_t kJournalObject[] = ILATCH_PRODUCT_NAME L"EventJournal";

uint32_t Get32(const std::string& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
uint16_t Get16(const std::string& b, size_t at) {
  uint16_t v;
  std::memcpy(&v, b.data() + at, 2);
  return v;
}
void Put32(std::string& b, uint32_t v) { b.append(reinterpret_cast<const char*>(&v), 4); }
void Put16(std::string& b, uint16_t v) { b.append(reinterpret_cast<const char*>(&v), 2); }
void PutText(std::string& b, const std::wstring& text) {
  b.append(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}

// Reads a NUL-terminated UTF-16 text from at, not past end; false when it is not ended in time.
bool GetText(const std::string& b, size_t& at, size_t end, std::wstring& text) {
  text.clear();
  while (at + 2 <= end) {
    wchar_t c = static_cast<wchar_t>(Get16(b, at));
    at += 2;
    if (c == 0) return true;
    text += c;
  }
  return false;
}

// The text form of a SID as an entry holds it; "" for none, or for bytes that are no whole SID.
std::wstring SidText(const void* bytes, size_t length) {
  if (length == 0 || length > SECURITY_MAX_SID_SIZE) return L"";
  std::vector<BYTE> copy(static_cast<const BYTE*>(bytes), static_cast<const BYTE*>(bytes) + length);
  PSID sid = copy.data();
  wchar_t* text = nullptr;
  if (!IsValidSid(sid) || GetLengthSid(sid) != length || !ConvertSidToStringSidW(sid, &text)) return L"";
  UniqueLocal owner(text);
  return text;
}

// The bytes of a SID given as text; empty for "" or for a text that names no SID.
std::vector<BYTE> SidBytes(const std::wstring& text) {
  PSID sid = nullptr;
  if (text.empty() || !ConvertStringSidToSidW(text.c_str(), &sid)) return {};
  UniqueLocal owner(sid);
  const BYTE* bytes = static_cast<const BYTE*>(sid);
  return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

std::wstring ProcessUserSidText() {
  std::vector<BYTE> buffer;
  PSID sid = nullptr;
  return ProcessUserSid(buffer, sid) ? SidText(sid, GetLengthSid(sid)) : L"";
}

// The length of the record at offset at when it is whole and sound, else 0.
size_t RecordLength(const std::string& b, size_t at) {
  if (b.size() - at < kMinRecordBytes) return 0;
  const uint32_t length = Get32(b, at);
  if (length < kMinRecordBytes || length % 4 != 0 || length > b.size() - at) return 0;
  if (Get32(b, at + 4) != kMagic || Get32(b, at + length - 4) != length) return 0;
  return length;
}

// Builds the sound record of that length at offset at, unless wanted declines its header; false
// when it was declined or its texts are not whole.
bool ParseRecord(const std::string& b, size_t at, size_t length, const std::wstring& log,
                 const EventHeaderFilter& wanted, EventEntry& entry) {
  EventEntry e;
  size_t pos = at + kHeaderBytes;
  const size_t end = at + length - 4;
  e.eventId = Get32(b, at + 16);
  if (!GetText(b, pos, end, e.source)) return false;
  if (wanted && !wanted(e.source, e.eventId)) return false;
  e.log = log;
  e.record = Get32(b, at + 8);
  e.timeWritten = Get32(b, at + 12);
  e.type = Get16(b, at + 20);
  e.category = Get16(b, at + 22);
  const uint16_t count = Get16(b, at + 24);
  for (uint16_t i = 0; i < count; ++i) {
    std::wstring s;
    if (!GetText(b, pos, end, s)) return false;
    e.strings.push_back(std::move(s));
  }
  const uint16_t sidLength = Get16(b, at + 26);
  if (sidLength > end - pos) return false;
  e.userSid = SidText(b.data() + pos, sidLength);
  entry = std::move(e);
  return true;
}

std::string BuildRecord(uint32_t record, const std::wstring& source, uint16_t type, uint16_t category,
                        uint32_t eventId, const std::vector<std::wstring>& strings, const std::vector<BYTE>& sid) {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  const uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  const uint32_t seconds = static_cast<uint32_t>((ticks - 116444736000000000ULL) / 10000000ULL);
  std::string b;
  Put32(b, 0);  // length, filled in below
  Put32(b, kMagic);
  Put32(b, record);
  Put32(b, seconds);
  Put32(b, eventId);
  Put16(b, type);
  Put16(b, category);
  Put16(b, static_cast<uint16_t>(strings.size()));
  Put16(b, static_cast<uint16_t>(sid.size()));
  PutText(b, source);
  for (const auto& s : strings) PutText(b, s);
  b.append(sid.begin(), sid.end());
  while ((b.size() + 4) % 4 != 0) b += '\0';
  const uint32_t length = static_cast<uint32_t>(b.size() + 4);
  std::memcpy(b.data(), &length, 4);
  Put32(b, length);
  return b;
}

// Log names become file and object names: letters, digits, blanks and a few marks only.
bool ValidLogName(const std::wstring& log) {
  if (log.empty() || log.size() > 64) return false;
  return std::all_of(log.begin(), log.end(), [](wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L' ' ||
           c == L'-' || c == L'_' || c == L'.';
  }) && log.find(L"..") == std::wstring::npos;
}

std::wstring JournalFolder() {
  wchar_t base[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                              base)))
    return L"";
  // Beside the product's data folder, not in it: like the system's own log, the journal outlives
  // an uninstall, which removes that folder after writing the service's stop notice.
  std::wstring folder = base;
  for (const wchar_t* part : {L"\\" ILATCH_MAKER_NAME, L"\\EventJournal"}) {
    folder += part;
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return L"";
  }
  return folder + L"\\";
}

UniqueKernelHandle NamedObject(bool isMutex, const std::wstring& name) {
  // Global names reach every session; where that is refused, the session's own will do.
  for (const wchar_t* prefix : {L"Global\\", L""}) {
    const std::wstring full = prefix + name;
    HANDLE h = isMutex ? CreateMutexW(nullptr, FALSE, full.c_str()) : CreateEventW(nullptr, TRUE, FALSE, full.c_str());
    if (h) return UniqueKernelHandle(h);
  }
  return UniqueKernelHandle();
}

std::wstring ObjectName(const std::wstring& log) { return std::wstring(kJournalObject) + L"." + log; }

// Holds the journal mutex of the session for the life of the object.
class JournalLock {
 public:
  JournalLock() : mutex_(NamedObject(true, kJournalObject)) {
    if (!mutex_) return;
    // An abandoned mutex is ours all the same; the tail check repairs what its owner left.
    const DWORD r = WaitForSingleObject(mutex_.get(), kMutexWaitMs);
    held_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
  }
  ~JournalLock() {
    if (held_) ReleaseMutex(mutex_.get());
  }
  JournalLock(const JournalLock&) = delete;
  JournalLock& operator=(const JournalLock&) = delete;
  bool Held() const { return held_; }

 private:
  UniqueKernelHandle mutex_;
  bool held_ = false;
};

UniqueFileHandle OpenJournal(const std::wstring& log, bool forWriting) {
  if (!ValidLogName(log)) return UniqueFileHandle();
  const std::wstring folder = JournalFolder();
  if (folder.empty()) return UniqueFileHandle();
  return UniqueFileHandle(CreateFileW((folder + log + L".journal").c_str(),
                                      forWriting ? (GENERIC_READ | GENERIC_WRITE) : GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      forWriting ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadAll(HANDLE file, std::string& bytes) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size) || size.QuadPart > 64 * static_cast<LONGLONG>(kJournalLimitBytes)) return false;
  bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(file, zero, nullptr, FILE_BEGIN)) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    if (!ReadFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got, nullptr) || got == 0)
      break;
    done += got;
  }
  bytes.resize(done);
  return true;
}

bool WriteAt(HANDLE file, uint64_t offset, const std::string& bytes) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  DWORD written = 0;
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
         WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool TruncateAt(HANDLE file, uint64_t offset) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

// Walks the sound records from the start: the end of the last one and its record number.
void ScanJournal(const std::string& bytes, size_t& validEnd, uint32_t& lastRecord) {
  validEnd = 0;
  lastRecord = 0;
  for (size_t length; (length = RecordLength(bytes, validEnd)) != 0; validEnd += length)
    lastRecord = Get32(bytes, validEnd + 8);
}

// The entries from firstRecord on that wanted takes; older records are only stepped over, so that a
// watcher asking for the newest few does not build every entry of the journal each time. lastRead:
// the number of the last record from firstRecord on, taken or not (left alone when there is none).
std::vector<EventEntry> ParseJournal(const std::string& bytes, const std::wstring& log, uint32_t firstRecord,
                                     const EventHeaderFilter& wanted, uint32_t& lastRead) {
  std::vector<EventEntry> entries;
  for (size_t at = 0, length; (length = RecordLength(bytes, at)) != 0; at += length) {
    const uint32_t record = Get32(bytes, at + 8);
    if (record < firstRecord) continue;
    lastRead = record;
    EventEntry e;
    if (ParseRecord(bytes, at, length, log, wanted, e)) entries.push_back(std::move(e));
  }
  return entries;
}

bool JournalAppend(const std::wstring& log, const std::wstring& source, uint16_t type, uint16_t category,
                   uint32_t eventId, const std::vector<std::wstring>& strings, const std::vector<BYTE>& sid) {
  bool written = false;
  {
    JournalLock lock;
    if (!lock.Held()) return false;
    UniqueFileHandle file = OpenJournal(log, true);
    if (!file) return false;
    std::string bytes;
    if (!ReadAll(file.get(), bytes)) return false;
    size_t validEnd = 0;
    uint32_t lastRecord = 0;
    ScanJournal(bytes, validEnd, lastRecord);
    if (validEnd + kMinRecordBytes > kJournalLimitBytes) {
      // Keep the newer half; record numbers go on rising, as the event log's do when it wraps.
      size_t keepFrom = 0;
      while (validEnd - keepFrom > kJournalLimitBytes / 2) keepFrom += Get32(bytes, keepFrom);
      bytes = bytes.substr(keepFrom, validEnd - keepFrom);
      if (!WriteAt(file.get(), 0, bytes)) return false;
      validEnd = bytes.size();
    }
    const std::string record = BuildRecord(lastRecord + 1, source, type, category, eventId, strings, sid);
    written = WriteAt(file.get(), validEnd, record) && TruncateAt(file.get(), validEnd + record.size());
  }
  if (written) {
    UniqueKernelHandle changed = NamedObject(false, ObjectName(log));
    if (changed) PulseEvent(changed.get());
  }
  return written;
}

std::vector<EventEntry> JournalRead(const std::wstring& log, uint32_t firstRecord, const EventHeaderFilter& wanted,
                                    uint32_t& lastRead) {
  JournalLock lock;
  if (!lock.Held()) return {};
  UniqueFileHandle file = OpenJournal(log, false);
  std::string bytes;
  if (!file || !ReadAll(file.get(), bytes)) return {};
  return ParseJournal(bytes, log, firstRecord, wanted, lastRead);
}

std::vector<EventEntry> JournalRead(const std::wstring& log) {
  uint32_t lastRead = 0;
  return JournalRead(log, 0, nullptr, lastRead);
}

// Waiters ask this often: the last record alone is read when the tail is sound.
uint32_t JournalNewest(const std::wstring& log) {
  JournalLock lock;
  if (!lock.Held()) return 0;
  UniqueFileHandle file = OpenJournal(log, false);
  LARGE_INTEGER size;
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < static_cast<LONGLONG>(kMinRecordBytes)) return 0;
  const uint64_t total = static_cast<uint64_t>(size.QuadPart);
  std::string tail(4, '\0');
  LARGE_INTEGER at;
  at.QuadPart = size.QuadPart - 4;
  DWORD got = 0;
  if (SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) && ReadFile(file.get(), tail.data(), 4, &got, nullptr) &&
      got == 4) {
    const uint32_t length = Get32(tail, 0);
    if (length >= kMinRecordBytes && length <= total && length <= kJournalLimitBytes) {
      std::string record(length, '\0');
      at.QuadPart = size.QuadPart - length;
      if (SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) &&
          ReadFile(file.get(), record.data(), length, &got, nullptr) && got == length &&
          RecordLength(record, 0) == length)
        return Get32(record, 8);
    }
  }
  std::string bytes;
  if (!ReadAll(file.get(), bytes)) return 0;
  size_t validEnd = 0;
  uint32_t lastRecord = 0;
  ScanJournal(bytes, validEnd, lastRecord);
  return lastRecord;
}

// ---- Event-log API (Windows) ---------------------------------------------------------------------

using UniqueEventLog = UniqueHandle<HANDLE, EventLogTraits>;

// The source name that follows the record's fixed part.
std::wstring RecordSource(const EVENTLOGRECORD& r) {
  const BYTE* base = reinterpret_cast<const BYTE*>(&r);
  const wchar_t* source = reinterpret_cast<const wchar_t*>(base + sizeof(EVENTLOGRECORD));
  const wchar_t* end = reinterpret_cast<const wchar_t*>(base + r.Length);
  return std::wstring(source, std::find(source, end, L'\0'));
}

EventEntry FromRecord(const EVENTLOGRECORD& r, const std::wstring& log) {
  EventEntry e;
  e.log = log;
  e.record = r.RecordNumber;
  e.timeWritten = r.TimeWritten;
  e.eventId = r.EventID;
  e.type = r.EventType;
  e.category = r.EventCategory;
  e.source = RecordSource(r);
  const BYTE* base = reinterpret_cast<const BYTE*>(&r);
  const wchar_t* end = reinterpret_cast<const wchar_t*>(base + r.Length);
  if (r.UserSidLength > 0 && r.UserSidOffset <= r.Length && r.UserSidLength <= r.Length - r.UserSidOffset)
    e.userSid = SidText(base + r.UserSidOffset, r.UserSidLength);
  if (r.StringOffset < r.Length) {
    const wchar_t* s = reinterpret_cast<const wchar_t*>(base + r.StringOffset);
    for (WORD i = 0; i < r.NumStrings && s < end; ++i) {
      const wchar_t* stop = std::find(s, end, L'\0');
      e.strings.emplace_back(s, stop);
      s = stop + 1;
    }
  }
  return e;
}

// Reads records with the given flags until keep says stop or the log ends; keep takes each
// EVENTLOGRECORD as read, so that it builds only the entries it wants.
template <typename Keep>
void ApiRead(const std::wstring& log, DWORD flags, DWORD offset, Keep keep) {
  UniqueEventLog handle(OpenEventLogW(nullptr, log.c_str()));
  if (!handle) return;
  std::vector<BYTE> buffer(64 * 1024);
  for (;;) {
    DWORD got = 0, needed = 0;
    if (!ReadEventLogW(handle.get(), flags, offset, buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                       &needed)) {
      if (GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed > buffer.size()) {
        buffer.resize(needed);
        continue;
      }
      return;
    }
    for (DWORD at = 0; at + sizeof(EVENTLOGRECORD) <= got;) {
      const auto* r = reinterpret_cast<const EVENTLOGRECORD*>(buffer.data() + at);
      if (r->Length < sizeof(EVENTLOGRECORD) || at + r->Length > got) return;
      if (!keep(*r)) return;
      at += r->Length;
    }
    flags = (flags & ~EVENTLOG_SEEK_READ) | EVENTLOG_SEQUENTIAL_READ;
  }
}

uint32_t ApiNewestRecord(const std::wstring& log) {
  UniqueEventLog handle(OpenEventLogW(nullptr, log.c_str()));
  DWORD oldest = 0, count = 0;
  if (!handle || !GetOldestEventLogRecord(handle.get(), &oldest) ||
      !GetNumberOfEventLogRecords(handle.get(), &count) || count == 0)
    return 0;
  return oldest + count - 1;
}

}  // namespace

bool EventLogIsJournal() {
  static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

EventSource::EventSource(const std::wstring& source) : source_(source) {
  if (EventLogIsJournal()) {
    ok_ = !source.empty();
    return;
  }
  handle_.reset(RegisterEventSourceW(nullptr, source.c_str()));
  ok_ = static_cast<bool>(handle_);
}

bool EventSource::Report(uint16_t type, uint16_t category, uint32_t eventId,
                         const std::vector<std::wstring>& strings) {
  return ReportNaming(ProcessUserSidText(), type, category, eventId, strings);
}

bool EventSource::ReportNaming(const std::wstring& userSid, uint16_t type, uint16_t category, uint32_t eventId,
                               const std::vector<std::wstring>& strings) {
  if (!ok_ || strings.size() > 0xFFFF) return false;
  std::vector<BYTE> sid = SidBytes(userSid);
  if (!userSid.empty() && sid.empty()) return false;  // no SID of that text
  if (EventLogIsJournal()) return JournalAppend(L"Application", source_, type, category, eventId, strings, sid);
  std::vector<LPCWSTR> pointers;
  for (const auto& s : strings) pointers.push_back(s.c_str());
  return ReportEventW(handle_.get(), type, category, eventId, sid.empty() ? nullptr : sid.data(),
                      static_cast<WORD>(pointers.size()), 0, pointers.empty() ? nullptr : pointers.data(),
                      nullptr) != FALSE;
}

std::vector<EventEntry> ReadEventsNewestFirst(const std::wstring& log, size_t maxCount) {
  std::vector<EventEntry> entries;
  if (maxCount == 0) return entries;
  if (EventLogIsJournal()) {
    entries = JournalRead(log);
    std::reverse(entries.begin(), entries.end());
    if (entries.size() > maxCount) entries.resize(maxCount);
    return entries;
  }
  ApiRead(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, [&](const EVENTLOGRECORD& r) {
    entries.push_back(FromRecord(r, log));
    return entries.size() < maxCount;
  });
  return entries;
}

void VisitEventsNewestFirst(const std::wstring& log, const std::function<bool(const EventEntry&)>& visit) {
  if (EventLogIsJournal()) {
    const std::vector<EventEntry> entries = JournalRead(log);
    for (auto e = entries.rbegin(); e != entries.rend(); ++e)
      if (!visit(*e)) return;
    return;
  }
  ApiRead(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0,
          [&](const EVENTLOGRECORD& r) { return visit(FromRecord(r, log)); });
}

const std::vector<UniqueModule>& EventMessageFormatter::FilesOf(const std::wstring& log, const std::wstring& source) {
  const std::wstring name = log + L"\\" + source;
  auto found = files_.find(name);
  if (found != files_.end()) return found->second;
  std::vector<UniqueModule>& modules = files_[name];
  if (!ValidLogName(log) || source.empty() || source.find(L'\\') != std::wstring::npos) return modules;
  const std::wstring value = ReadRegistryText(
      HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\" + name, L"EventMessageFile", RegistryView::Own);
  if (value.empty()) return modules;
  // The Windows folder as Windows reports it: the environment's %SystemRoot% is whoever started us.
  std::wstring list;
  if (!ExpandSystemPath(value, list)) return modules;
  // One file or several, separated by ";".
  for (size_t start = 0; start <= list.size();) {
    size_t end = list.find(L';', start);
    if (end == std::wstring::npos) end = list.size();
    const std::wstring file = list.substr(start, end - start);
    UniqueModule loaded(file.empty() ? nullptr : LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (loaded) modules.push_back(std::move(loaded));
    start = end + 1;
  }
  return modules;
}

std::wstring EventMessageFormatter::Format(const EventEntry& entry) {
  // A message may name more insertions than the entry has: those stand empty.
  constexpr size_t kInsertions = 99;
  std::vector<DWORD_PTR> arguments(kInsertions, reinterpret_cast<DWORD_PTR>(L""));
  for (size_t i = 0; i < entry.strings.size() && i < kInsertions; ++i)
    arguments[i] = reinterpret_cast<DWORD_PTR>(entry.strings[i].c_str());
  for (const UniqueModule& m : FilesOf(entry.log, entry.source)) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY, m.get(),
        entry.eventId, 0, reinterpret_cast<wchar_t*>(&text), 0, reinterpret_cast<va_list*>(arguments.data()));
    const UniqueLocal owned(text);
    if (length > 0 && text) return std::wstring(text, length);
  }
  std::wstring joined;
  for (const auto& s : entry.strings) {
    if (!joined.empty()) joined += L' ';
    joined += s;
  }
  return joined;
}

namespace {

// The entries from firstRecord on that wanted takes, oldest first. lastRead: the number of the
// last record from firstRecord on, taken or not (left alone when there is none).
std::vector<EventEntry> ReadFrom(const std::wstring& log, uint32_t firstRecord, const EventHeaderFilter& wanted,
                                 uint32_t& lastRead) {
  if (EventLogIsJournal()) return JournalRead(log, firstRecord, wanted, lastRead);
  std::vector<EventEntry> entries;
  bool any = false;
  auto keep = [&](const EVENTLOGRECORD& r) {
    if (r.RecordNumber < firstRecord) return true;
    any = true;
    lastRead = r.RecordNumber;
    if (!wanted || wanted(RecordSource(r), r.EventID)) entries.push_back(FromRecord(r, log));
    return true;
  };
  UniqueEventLog handle(OpenEventLogW(nullptr, log.c_str()));
  DWORD oldest = 0;
  if (handle && GetOldestEventLogRecord(handle.get(), &oldest) && firstRecord > oldest) {
    ApiRead(log, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, firstRecord, keep);
    if (any) return entries;
  }
  // Seeking is refused by some systems; reading from the start always works.
  ApiRead(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, keep);
  return entries;
}

}  // namespace

std::vector<EventEntry> ReadEventsFrom(const std::wstring& log, uint32_t firstRecord) {
  uint32_t lastRead = 0;
  return ReadFrom(log, firstRecord, nullptr, lastRead);
}

uint32_t NewestEventRecord(const std::wstring& log) {
  if (!EventLogIsJournal()) return ApiNewestRecord(log);
  return JournalNewest(log);
}

NewEventWatch::NewEventWatch(const std::wstring& log) : log_(log) {
  if (EventLogIsJournal()) {
    if (!ValidLogName(log)) return;
    changed_ = NamedObject(false, ObjectName(log));
  } else {
    logHandle_.reset(OpenEventLogW(nullptr, log.c_str()));
    changed_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!logHandle_ || !changed_ || !NotifyChangeEventLog(logHandle_.get(), changed_.get())) return;
  }
  lastSeen_ = NewestEventRecord(log);
  ok_ = static_cast<bool>(changed_);
}

std::vector<EventEntry> NewEventWatch::Next(DWORD timeoutMs, const EventHeaderFilter& wanted) {
  if (!ok_) return {};
  const DWORD start = GetTickCount();
  for (;;) {
    const uint32_t newest = NewestEventRecord(log_);
    if (newest < lastSeen_) lastSeen_ = 0;  // the log was cleared or replaced
    if (newest > lastSeen_) {
      auto entries = ReadFrom(log_, lastSeen_ + 1, wanted, lastSeen_);
      if (!entries.empty()) return entries;
    }
    const DWORD elapsed = GetTickCount() - start;
    if (timeoutMs != INFINITE && elapsed >= timeoutMs) return {};
    const DWORD left = timeoutMs == INFINITE ? kPollMs : timeoutMs - elapsed;
    WaitForSingleObject(changed_.get(), std::min(left, kPollMs));
  }
}

}  // namespace platform
