// The event log across processes: entries written by one process read by another, a waiter in one
// process woken by a writer in another, concurrent writers, and the product's entry layout.
// Other tests write to the same log at the same time: every case picks out its own entries by a
// source or message of its own.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "notify/modWriteEvent.h"
#include "common/CommonModule.h"
#include "platform/EventLog.h"
#include "platform/Handle.h"
#include "platform/ProcessAccount.h"
#include "platform/Text.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

namespace {

using platform::EventEntry;
using testsupport::RunProcess;
using testsupport::ScratchDir;

std::wstring Unique(const std::wstring& stem) {
  static unsigned counter = 0;
  return stem + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount()) + L"-" +
         std::to_wstring(counter++);
}

std::wstring Probe() { return L"\"" + testsupport::TestsDir() + L"eventprobe.exe\""; }

std::vector<EventEntry> FromSource(const std::vector<EventEntry>& entries, const std::wstring& source) {
  std::vector<EventEntry> mine;
  std::copy_if(entries.begin(), entries.end(), std::back_inserter(mine),
               [&](const EventEntry& e) { return e.source == source; });
  return mine;
}

std::vector<EventEntry> WithMessage(const std::vector<EventEntry>& entries, const std::wstring& message) {
  std::vector<EventEntry> mine;
  std::copy_if(entries.begin(), entries.end(), std::back_inserter(mine),
               [&](const EventEntry& e) { return e.strings.size() == 1 && e.strings[0] == message; });
  return mine;
}

TEST(EventLogTest, EntriesFromAnotherProcessReadBackNewestFirst) {
  const std::wstring source = Unique(L"ILProbe");
  const uint32_t before = platform::NewestEventRecord(L"Application");
  const auto run = RunProcess(Probe() + L" write " + source + L" 2 3 \"hello there\"", {});
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.exitCode, 0u);

  const auto mine = FromSource(platform::ReadEventsNewestFirst(L"Application"), source);
  ASSERT_EQ(mine.size(), 3u);
  const uint32_t now = static_cast<uint32_t>(time(nullptr));
  for (size_t i = 0; i < mine.size(); ++i) {
    EXPECT_EQ(mine[i].strings, std::vector<std::wstring>{L"hello there #" + std::to_wstring(2 - i)});
    EXPECT_EQ(mine[i].eventId, 10177u);
    EXPECT_EQ(mine[i].type, platform::kEventWarning);
    EXPECT_EQ(mine[i].category, 0);
    EXPECT_EQ(mine[i].log, L"Application");
    EXPECT_GT(mine[i].record, before);
    EXPECT_LE(mine[i].timeWritten, now + 5);
    EXPECT_GE(mine[i].timeWritten + 120, now);
    if (i > 0) {
      EXPECT_LT(mine[i].record, mine[i - 1].record);
    }
  }

  // From a record number on: oldest first, nothing older.
  const auto from = FromSource(platform::ReadEventsFrom(L"Application", mine[1].record), source);
  ASSERT_EQ(from.size(), 2u);
  EXPECT_EQ(from[0].record, mine[1].record);
  EXPECT_EQ(from[1].record, mine[0].record);
  EXPECT_GE(platform::NewestEventRecord(L"Application"), mine[0].record);
  EXPECT_EQ(platform::ReadEventsNewestFirst(L"Application", 2).size(), 2u);
}

// The main program's writer, run as a program of the main program's name: the layout the viewer and the
// service read.
TEST(EventLogTest, WriteEventRecordLayout) {
  ScratchDir dir;
  ASSERT_TRUE(CopyFileW((testsupport::TestsDir() + L"eventprobe.exe").c_str(),
                        (dir / testsupport::kMainProgram).c_str(), FALSE));
  struct Case {
    int type;
    uint16_t written;
  } cases[] = {{0, platform::kEventInformation}, {1, platform::kEventError}, {2, platform::kEventWarning},
               {4, platform::kEventInformation}};
  for (const auto& c : cases) {
    const std::wstring marker = Unique(L"layout");
    const auto run =
        RunProcess(L"\"" + (dir / testsupport::kMainProgram) + L"\" writeevent " + std::to_wstring(c.type) +
                       std::wstring(L" \"") + testsupport::kProductName + L" - " + marker + L"\\r\\n\\r\\nline two\"",
                   {});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u) << c.type;
    const auto mine = WithMessage(platform::ReadEventsNewestFirst(L"Application"),
                                  std::wstring(testsupport::kProductName) + L" - " + marker + L"\r\n\r\nline two");
    ASSERT_EQ(mine.size(), 1u) << c.type;
    EXPECT_EQ(mine[0].source, testsupport::kEventSource);
    EXPECT_EQ(mine[0].eventId, modWriteEvent::ProductEventId);
    EXPECT_EQ(mine[0].eventId & 0xFFFF, 10177u);
    EXPECT_EQ(mine[0].type, c.written) << c.type;
    EXPECT_EQ(mine[0].category, 0);
  }
}

TEST(EventLogTest, WriteEventInProcessUsesOwnTitle) {
  const std::wstring message = Unique(std::wstring(testsupport::kProductName) + L" - stopping event service...");
  ASSERT_TRUE(modWriteEvent::WriteEvent(message, 0));
  const auto mine = WithMessage(platform::ReadEventsNewestFirst(L"Application"), message);
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0].source, L"alerts_eventlog_tests");
  EXPECT_EQ(mine[0].type, platform::kEventInformation);
  EXPECT_FALSE(modWriteEvent::WriteEventAs(L"", message, 4));  // no source, no entry
}

TEST(EventLogTest, WaiterInAnotherProcessIsWokenByWriter) {
  ScratchDir dir;
  const std::wstring source = Unique(L"ILWake");
  STARTUPINFOW si{sizeof(si)};
  PROCESS_INFORMATION pi{};
  std::wstring command = Probe() + L" wait " + source + L" 20000 \"" + (dir / L"ready") + L"\" \"" +
                         (dir / L"out") + L"\"";
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  platform::UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
  for (int i = 0; i < 200 && !testsupport::FileExists(dir / L"ready"); ++i) Sleep(50);
  ASSERT_TRUE(testsupport::FileExists(dir / L"ready"));

  Sleep(300);  // the waiter is blocked by now
  const DWORD written = GetTickCount();
  ASSERT_TRUE(modWriteEvent::WriteEventAs(source, L"wake up", 4));
  ASSERT_EQ(WaitForSingleObject(process.get(), 5000), WAIT_OBJECT_0);
  const DWORD wokenAfter = GetTickCount() - written;
  DWORD exitCode = 99;
  GetExitCodeProcess(process.get(), &exitCode);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_LT(wokenAfter, 3000u);
  const auto out = testsupport::Lines(testsupport::ReadTextFile(dir / L"out"));
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out[0], L"wake up");
}

TEST(EventLogTest, WatchHereSeesWriterElsewhereAndTimesOut) {
  platform::NewEventWatch watch;
  ASSERT_TRUE(watch.Ok());
  const std::wstring source = Unique(L"ILWatch");
  ASSERT_EQ(RunProcess(Probe() + L" write " + source + L" 4 2 seen", {}).exitCode, 0u);
  std::vector<EventEntry> mine;
  const DWORD start = GetTickCount();
  while (mine.size() < 2 && GetTickCount() - start < 10000) {
    for (auto& e : watch.Next(1000))
      if (e.source == source) mine.push_back(e);
  }
  ASSERT_EQ(mine.size(), 2u);
  EXPECT_EQ(mine[0].strings[0], L"seen #0");  // oldest first, each once
  EXPECT_EQ(mine[1].strings[0], L"seen #1");

  // A quiet log: Next gives up after its time (other tests may write meanwhile, so only the time is checked).
  const DWORD t0 = GetTickCount();
  for (auto& e : watch.Next(400)) EXPECT_NE(e.source, source);
  EXPECT_LT(GetTickCount() - t0, 3000u);
}

// A watch with a filter hands out only the entries it takes, decided on source and ID; the others
// are passed over for good, not handed out by a later call.
TEST(EventLogTest, WatchWithAFilterPassesOverTheEntriesItDeclines) {
  platform::NewEventWatch watch;
  ASSERT_TRUE(watch.Ok());
  const std::wstring wanted = Unique(L"ILWanted"), other = Unique(L"ILDeclined");
  struct Entry {
    const std::wstring* source;
    uint32_t id;
    const wchar_t* text;
  };
  for (const Entry e : {Entry{&other, 866, L"other-866"}, Entry{&wanted, 10177, L"wanted-10177"},
                        Entry{&wanted, 866, L"first"}, Entry{&other, 866, L"other-again"},
                        Entry{&wanted, 866, L"second"}}) {
    platform::EventSource s(*e.source);
    ASSERT_TRUE(s.Ok() && s.Report(platform::kEventWarning, 0, e.id, {e.text}));
  }
  const auto takes = [&](const std::wstring& source, uint32_t id) { return source == wanted && id == 866; };
  std::vector<std::wstring> seen;
  for (const DWORD start = GetTickCount(); seen.size() < 2 && GetTickCount() - start < 10000;)
    for (const auto& e : watch.Next(1000, takes)) {
      EXPECT_TRUE(takes(e.source, e.eventId)) << platform::ToUtf8(e.source) << " " << e.eventId;
      if (e.source == wanted) seen.push_back(e.strings.at(0));
    }
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"first", L"second"}));
  for (const auto& e : watch.Next(300))
    EXPECT_TRUE(e.source != wanted && e.source != other) << "handed out later: " << platform::ToUtf8(e.strings.at(0));
}

// Each entry names the account its writer gives: by default the writer's own (its token's user),
// else the one it names, or none; a text that is no SID writes nothing.
TEST(EventLogTest, EntriesNameTheAccountTheirWriterGives) {
  std::vector<BYTE> buffer;
  PSID sid = nullptr;
  wchar_t* text = nullptr;
  ASSERT_TRUE(platform::ProcessUserSid(buffer, sid) && ConvertSidToStringSidW(sid, &text));
  const std::wstring own = text;
  LocalFree(text);

  const std::wstring source = Unique(L"ILAccount");
  ASSERT_EQ(RunProcess(Probe() + L" write " + source + L" 4 1 own", {}).exitCode, 0u);
  platform::EventSource s(source);
  ASSERT_TRUE(s.Ok());
  ASSERT_TRUE(s.ReportNaming(L"S-1-5-21-1111-2222-3333-1001", platform::kEventWarning, 0, 866, {L"named"}));
  ASSERT_TRUE(s.ReportNaming(L"", platform::kEventWarning, 0, 866, {L"none"}));
  EXPECT_FALSE(s.ReportNaming(L"S-1-5-21-x", platform::kEventWarning, 0, 866, {L"not a SID"}));

  std::map<std::wstring, std::wstring> named;
  for (const auto& e : FromSource(platform::ReadEventsNewestFirst(L"Application"), source))
    named[e.strings.at(0)] = e.userSid;
  EXPECT_EQ(named, (std::map<std::wstring, std::wstring>{
                       {L"own #0", own}, {L"named", L"S-1-5-21-1111-2222-3333-1001"}, {L"none", L""}}));
}

TEST(EventLogTest, ConcurrentWritersKeepEveryEntry) {
  constexpr int kWriters = 4, kEach = 40;
  const std::wstring source = Unique(L"ILConcurrent");
  std::vector<platform::UniqueKernelHandle> processes;
  for (int w = 0; w < kWriters; ++w) {
    STARTUPINFOW si{sizeof(si)};
    PROCESS_INFORMATION pi{};
    std::wstring command = Probe() + L" write " + source + L" 4 " + std::to_wstring(kEach) + L" w" + std::to_wstring(w);
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    processes.emplace_back(pi.hProcess);
  }
  for (auto& p : processes) {
    ASSERT_EQ(WaitForSingleObject(p.get(), 60000), WAIT_OBJECT_0);
    DWORD exitCode = 99;
    GetExitCodeProcess(p.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
  }
  const auto all = platform::ReadEventsNewestFirst(L"Application");
  const auto mine = FromSource(all, source);
  ASSERT_EQ(mine.size(), static_cast<size_t>(kWriters * kEach));
  std::set<std::wstring> texts;
  for (const auto& e : mine) texts.insert(e.strings.at(0));
  EXPECT_EQ(texts.size(), mine.size());
  for (size_t i = 1; i < all.size(); ++i) {
    EXPECT_LT(all[i].record, all[i - 1].record);
  }
}

// Under Wine the journal stands in: a writer that died half-way leaves a broken tail, which readers
// pass over and the next writer cuts off.
TEST(EventLogTest, JournalToleratesBrokenTail) {
  if (!platform::EventLogIsJournal()) GTEST_SKIP() << "the real event log is in use";
  const std::wstring source = Unique(L"ILTail");
  ASSERT_EQ(RunProcess(Probe() + L" write " + source + L" 4 1 before", {}).exitCode, 0u);

  wchar_t base[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base)));
  const std::wstring journal = std::wstring(base) + testsupport::kMakerFolder + L"\\EventJournal\\Application.journal";
  {
    // What a writer stopped mid-record leaves: a length and a few bytes. Taken under the writers' lock.
    platform::UniqueKernelHandle mutex(CreateMutexW(nullptr, FALSE, testsupport::kEventJournalMutex));
    ASSERT_TRUE(mutex);
    ASSERT_EQ(WaitForSingleObject(mutex.get(), 10000), WAIT_OBJECT_0);
    platform::UniqueFileHandle file(CreateFileW(journal.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, OPEN_EXISTING, 0, nullptr));
    const char partial[] = "\x40\x00\x00\x00ILEV\x01\x02";
    DWORD written = 0;
    const bool ok = file && WriteFile(file.get(), partial, sizeof(partial) - 1, &written, nullptr);
    file.reset();
    ReleaseMutex(mutex.get());
    ASSERT_TRUE(ok);
  }
  EXPECT_EQ(FromSource(platform::ReadEventsNewestFirst(L"Application"), source).size(), 1u);
  EXPECT_GT(platform::NewestEventRecord(L"Application"), 0u);

  ASSERT_EQ(RunProcess(Probe() + L" write " + source + L" 4 1 after", {}).exitCode, 0u);
  const auto mine = FromSource(platform::ReadEventsNewestFirst(L"Application"), source);
  ASSERT_EQ(mine.size(), 2u);
  EXPECT_EQ(mine[0].strings[0], L"after #0");
  EXPECT_GT(mine[0].record, mine[1].record);
}

}  // namespace

namespace {

const wchar_t kSourcesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\";

// A source of this test registered with a message file; removed again when the object goes.
class RegisteredSource {
 public:
  RegisteredSource(const std::wstring& name, const std::wstring& messageFile) : name_(name) {
    ok_ = testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kSourcesKey + name, L"EventMessageFile", messageFile);
  }
  ~RegisteredSource() { testsupport::RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kSourcesKey + name_); }
  bool Ok() const { return ok_; }

 private:
  std::wstring name_;
  bool ok_ = false;
};

std::wstring NewestTextOf(const std::wstring& source) {
  for (const auto& e : platform::ReadEventsNewestFirst(L"Application", 200))
    if (e.source == source) return platform::EventMessageFormatter().Format(e);
  return L"<none>";
}

}  // namespace

// The message DLL beside the programs turns the product's entries into their text, whether the
// entries live in the event log or the journal; where a source has no message file (or the file
// lacks the entry's message), the insertion strings stand joined.
TEST(EventLogTest, EntriesReadThroughTheSourcesMessageFile) {
  const std::wstring dll = testsupport::ProgramsDir() + modWriteEvent::kMessageDll;
  ASSERT_NE(GetFileAttributesW(dll.c_str()), INVALID_FILE_ATTRIBUTES) << "the message DLL was not built";
  const std::wstring tag = std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount());
  const std::wstring withFile = L"IlMsgTest" + tag, withoutFile = L"IlNoMsgTest" + tag;
  RegisteredSource registered(withFile, dll);
  ASSERT_TRUE(registered.Ok());

  struct Case {
    const char* name;
    const std::wstring* source;
    uint32_t id;
    std::vector<std::wstring> strings;
    std::wstring expected;
  };
  const Case cases[] = {
      // The message is the first insertion alone, line breaks kept; a second one is no part of it.
      {"message", &withFile, modWriteEvent::ProductEventId, {L"Blocked: C:\\x.exe\r\n\r\nRule: appdata", L"extra"},
       L"Blocked: C:\\x.exe\r\n\r\nRule: appdata"},
      {"no-such-message", &withFile, 4242, {L"first", L"second"}, L"first second"},
      {"no-message-file", &withoutFile, modWriteEvent::ProductEventId, {L"first", L"second"}, L"first second"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::EventSource s(*c.source);
    ASSERT_TRUE(s.Ok() && s.Report(platform::kEventInformation, 0, c.id, c.strings));
    EXPECT_EQ(NewestTextOf(*c.source), c.expected);
  }
}

// Installing and applying register both sources with the DLL of the program's folder; the
// uninstaller removes them again.
TEST(EventLogTest, SourcesRegisteredByTheProgramPointAtItsMessageDll) {
  for (const wchar_t* source : modWriteEvent::kEventSources)
    testsupport::RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kSourcesKey + std::wstring(source));
  modWriteEvent::RegisterEventSources();
  for (const wchar_t* source : modWriteEvent::kEventSources) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(source)));
    std::wstring file;
    DWORD types = 0;
    EXPECT_TRUE(testsupport::RegRead(HKEY_LOCAL_MACHINE, kSourcesKey + std::wstring(source), L"EventMessageFile", file));
    EXPECT_EQ(file, CommonModule::AppPath() + modWriteEvent::kMessageDll);
    EXPECT_TRUE(testsupport::RegReadDword(HKEY_LOCAL_MACHINE, kSourcesKey + std::wstring(source), L"TypesSupported", types));
    EXPECT_EQ(types, 7u);
  }
  modWriteEvent::UnregisterEventSources();
  for (const wchar_t* source : modWriteEvent::kEventSources)
    EXPECT_FALSE(testsupport::RegKeyExists(HKEY_LOCAL_MACHINE, kSourcesKey + std::wstring(source)));
}
