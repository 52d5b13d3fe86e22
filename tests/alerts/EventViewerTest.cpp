// The blocked-events viewer: which Application-log entries it lists and how, in-process, and the
// real window under Xvfb, read from outside the program.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "alerts/Form10.h"
#include "common/CommonModule.h"
#include "platform/EventLog.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "platform/WindowText.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

const wchar_t kPolicySource[] = L"Microsoft-Windows-SoftwareRestrictionPolicies";

std::wstring Token(const wchar_t* what) {
  static int counter = 0;
  return std::wstring(what) + L"-" + std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(GetCurrentProcessId()) +
         L"-" + std::to_wstring(++counter);
}

platform::EventEntry Entry(const std::wstring& source, uint32_t id, uint32_t time, const std::wstring& text) {
  platform::EventEntry e;
  e.log = L"Application";
  e.source = source;
  e.eventId = id;
  e.timeWritten = time;
  e.strings = {text};
  return e;
}

constexpr uint32_t kJune1st2014Noon = 1401624000;  // 2014-06-01 12:00:00 UTC

std::wstring Shown(const wchar_t* wmiTime) { return Form10::ParseWmiDate(wmiTime); }

}  // namespace

TEST(EventViewerList, ListsPolicyBlocksAndOwnEntriesOnly) {
  const std::vector<platform::EventEntry> log = {
      Entry(kFilterModuleEventSource, 10177, kJune1st2014Noon + 50, L"filter"),
      Entry(L"SomeOtherProgram", 10177, kJune1st2014Noon + 40, L"other 10177"),
      Entry(L"Any Source", 866, kJune1st2014Noon + 30, L"policy block"),
      Entry(kEventSource, 10177, kJune1st2014Noon + 20, L"main program"),
      Entry(kPolicySource, 8660, kJune1st2014Noon + 10, L"near code"),
      Entry(L"My " + platform::Upper(kProductName) + L" Tools", 0x400027C1, kJune1st2014Noon,
            L"high bits ignored"),  // code 10177
  };
  const auto rows = Form10::ListEvents(log, false, L"", L"");
  std::vector<std::wstring> messages;
  for (const auto& r : rows) messages.push_back(r.message);
  EXPECT_EQ(messages, (std::vector<std::wstring>{L"filter", L"policy block", L"main program", L"high bits ignored"}));
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0].time, Shown(L"20140601120050.000000+000"));
}

TEST(EventViewerList, LastRebootOnlyStopsAtFirstOlderEntry) {
  const std::vector<platform::EventEntry> log = {
      Entry(kPolicySource, 866, kJune1st2014Noon + 20, L"after"),
      Entry(kPolicySource, 866, kJune1st2014Noon + 10, L"at boot"),
      Entry(kPolicySource, 866, kJune1st2014Noon, L"before"),
      Entry(kPolicySource, 866, kJune1st2014Noon + 30, L"out of order, after the stop"),
  };
  struct Case {
    const char* name;
    bool lastRebootOnly;
    std::wstring boot;
    std::vector<std::wstring> expected;
  } cases[] = {
      {"since boot", true, L"20140601120010.000000+000", {L"after", L"at boot"}},
      {"no start entry lists all", true, L"", {L"after", L"at boot", L"before", L"out of order, after the stop"}},
      {"box unchecked ignores boot", false, L"20140601120010.000000+000",
       {L"after", L"at boot", L"before", L"out of order, after the stop"}},
      {"boot after everything", true, L"20990101000000.000000+000", {}},
  };
  for (const auto& c : cases) {
    std::vector<std::wstring> messages;
    for (const auto& r : Form10::ListEvents(log, c.lastRebootOnly, c.boot, L"")) messages.push_back(r.message);
    EXPECT_EQ(messages, c.expected) << c.name;
  }
}

TEST(EventViewerList, TimeShift) {
  const std::wstring noon = Shown(L"20140601120000.000000+000");
  struct Case {
    const wchar_t* shift;
    std::wstring expected;
  } cases[] = {
      {L"", noon},
      {L"-4", Shown(L"20140601080000.000000+000")},
      {L"--4", Shown(L"20140601080000.000000+000")},
      {L"-13", Shown(L"20140531230000.000000+000")},
      {L"5", Shown(L"20140601170000.000000+000")},  // hours, not sixtieths of a day
      {L"24", Shown(L"20140602120000.000000+000")},
      {L"18", Shown(L"20140602060000.000000+000")},
      {L"abc", noon},
      {L"-99999", noon},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Form10::ListEvents({Entry(kPolicySource, 866, kJune1st2014Noon, L"x")}, false, L"", c.shift).at(0).time,
              c.expected)
        << testing::PrintToString(std::wstring(c.shift));
  EXPECT_EQ(Form10::ApplyUtcAdjustment(L"-4", L""), L"");
  EXPECT_EQ(Form10::ApplyUtcAdjustment(L"-4", L"not a date"), L"not a date");
  EXPECT_EQ(Form10::ParseWmiDate(L"2014"), L"2014");
}

TEST(EventViewerList, MessageAndDescription) {
  platform::EventEntry e = Entry(kPolicySource, 866, kJune1st2014Noon, L"first");
  e.strings.push_back(std::wstring(L"sec\0ond", 7));
  EXPECT_EQ(Form10::ListEvents({e}, false, L"", L"").at(0).message, L"first second");
  EXPECT_EQ(Form10::DescriptionText(L"C:\\x\\HelloWorld2.EXE blocked"), L"TEST EVENT\r\n\r\nC:\\x\\HelloWorld2.EXE blocked");
  EXPECT_EQ(Form10::DescriptionText(L"c:\\helloworld.exe"), L"TEST EVENT\r\n\r\nc:\\helloworld.exe");
  EXPECT_EQ(Form10::DescriptionText(L"c:\\evil.exe\r\n"), L"SUSPICIOUS APPLICATION BLOCKED\r\n\r\nc:\\evil.exe\r\n");
}

namespace {

HWND WaitForWindow(const wchar_t* captionStart, DWORD processId, DWORD timeoutMs) {
  struct Search {
    const wchar_t* caption;
    DWORD processId;
    HWND found;
  } search = {captionStart, processId, nullptr};
  for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
          auto* s = reinterpret_cast<Search*>(param);
          wchar_t text[256] = {};
          GetWindowTextW(window, text, 256);
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          if (owner == s->processId && IsWindowVisible(window) && std::wstring(text).rfind(s->caption, 0) == 0) {
            s->found = window;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    Sleep(100);
  }
  return nullptr;
}

// A list view of another process, read and driven through memory of that process.
class RemoteListView {
 public:
  RemoteListView(HWND list, HANDLE process) : list_(list), process_(process) {
    memory_ = VirtualAllocEx(process_, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteListView() {
    if (memory_) VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
  }
  int Count() const { return static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)); }
  std::wstring Text(int row) const {
    LVITEMW item = {};
    item.iSubItem = 0;
    item.cchTextMax = 512;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(memory_) + 1024);
    if (!WriteProcessMemory(process_, memory_, &item, sizeof item, nullptr)) return L"<unwritable>";
    const LRESULT length = SendMessageW(list_, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(memory_));
    wchar_t text[513] = {};
    if (!ReadProcessMemory(process_, item.pszText, text, 512 * sizeof(wchar_t), nullptr)) return L"<unreadable>";
    return std::wstring(text, std::min<LRESULT>(length, 512));
  }
  void Select(int row) const {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    WriteProcessMemory(process_, memory_, &item, sizeof item, nullptr);
    SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(memory_));
  }
  bool Ok() const { return memory_ != nullptr; }

 private:
  HWND list_;
  HANDLE process_;
  void* memory_ = nullptr;
};

// Asked of the window itself: GetWindowText does not ask another process's edit boxes.
std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
  text.resize(static_cast<size_t>(
      SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

// The log is read off the window's thread: the scan is done when the button reads "Rescan" again
// and takes clicks.
bool WaitForScan(HWND window, DWORD timeoutMs = 30000) {
  HWND button = GetDlgItem(window, 4116);
  for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
    if (WindowText(button) == L"Rescan" && IsWindowEnabled(button)) return true;
    Sleep(100);
  }
  return false;
}

}  // namespace

TEST(EventViewerWindow, ListsBlockedEntriesAndShowsTheirText) {
  const std::wstring blocked = L"C:\\Users\\someone\\AppData\\Roaming\\" + Token(L"blocked") + L"\\dropper.exe";
  const std::wstring own = L"Blocked: C:\\Temp\\" + Token(L"own") + L"\\helloworld2.exe\r\nRule: appdata";
  const std::wstring unrelated = Token(L"unrelated");
  for (const auto& [source, id, text] : {std::tuple{std::wstring(kPolicySource), 866u, blocked},
                                         std::tuple{std::wstring(kFilterModuleEventSource), 10177u, own},
                                         std::tuple{std::wstring(L"SomeOtherProgram"), 10177u, unrelated}}) {
    platform::EventSource s(source);
    ASSERT_TRUE(s.Ok() && s.Report(platform::kEventWarning, 0, id, {text}));
  }
  // The rows the window should show for these entries, as the log holds them.
  std::vector<platform::EventEntry> mine;
  for (const auto& e : platform::ReadEventsNewestFirst(L"Application", 200))
    if (!e.strings.empty() && (e.strings[0] == blocked || e.strings[0] == own)) mine.push_back(e);
  ASSERT_EQ(mine.size(), 2u);

  InstalledProgram program;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  std::wstring line = L"\"" + program.ExePath() + L"\" /eventlog";
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
  platform::UniqueKernelHandle process(info.hProcess), thread(info.hThread);
  // A failed assertion must not leave the window open.
  struct EndOnExit {
    HANDLE process;
    ~EndOnExit() {
      if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) TerminateProcess(process, 1);
    }
  } endOnExit{process.get()};

  HWND window = WaitForWindow(L"Blocked Events Log - v", info.dwProcessId, 30000);
  ASSERT_NE(window, nullptr) << "the viewer did not appear";
  ASSERT_TRUE(WaitForScan(window)) << "the first scan did not end";
  const std::wstring caption = WindowText(window);
  EXPECT_NE(caption, L"Blocked Events Log - v");
  EXPECT_EQ(caption.find(L' ', 0 + wcslen(L"Blocked Events Log - v")), std::wstring::npos) << caption;
  const std::wstring label = WindowText(GetDlgItem(window, 4111));
  EXPECT_TRUE(label == L"Blocked Events:" || label == L"Blocked Events:  (UTC Time)") << label;
  EXPECT_EQ(WindowText(GetDlgItem(window, 4113)), L"Event Description:");
  EXPECT_EQ(WindowText(GetDlgItem(window, 4115)), L"Show events since last reboot only.");
  EXPECT_EQ(WindowText(GetDlgItem(window, 4116)), L"Rescan");

  HWND list = GetDlgItem(window, 4112);
  HWND description = GetDlgItem(window, 4114);
  platform::UniqueKernelHandle target(
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, info.dwProcessId));
  ASSERT_TRUE(target.get());
  RemoteListView rows(list, target.get());
  ASSERT_TRUE(rows.Ok());

  auto findRows = [&]() {
    // Entries written by other tests may come first; ours are among the newest.
    std::vector<std::pair<std::wstring, std::wstring>> found;  // time, description
    const int count = rows.Count();
    for (int i = 0; i < std::min(count, 100); ++i) {
      rows.Select(i);
      const std::wstring text = WindowText(description);
      if (text.find(blocked) != std::wstring::npos || text.find(own) != std::wstring::npos ||
          text.find(unrelated) != std::wstring::npos)
        found.emplace_back(rows.Text(i), text);
    }
    return found;
  };
  const bool shifted = label == L"Blocked Events:";
  const std::vector<std::pair<std::wstring, std::wstring>> expected = {
      {Form10::ParseWmiDate(Form10::WmiTimeText(mine[0].timeWritten)), L"TEST EVENT\r\n\r\n" + own},
      {Form10::ParseWmiDate(Form10::WmiTimeText(mine[1].timeWritten)), L"SUSPICIOUS APPLICATION BLOCKED\r\n\r\n" + blocked},
  };
  for (int scan = 0; scan < 2; ++scan) {
    auto found = findRows();
    ASSERT_EQ(found.size(), 2u) << "scan " << scan << ", rows " << rows.Count() << ", first row "
                                << testing::PrintToString(rows.Text(0)) << ", description "
                                << testing::PrintToString(WindowText(description));
    for (size_t i = 0; i < found.size(); ++i) {
      EXPECT_EQ(found[i].second, expected[i].second) << "scan " << scan;
      // With a shift set elsewhere in this prefix, only the unshifted times can be predicted.
      if (!shifted) {
        EXPECT_EQ(found[i].first, expected[i].first) << "scan " << scan;
      }
    }
    SendMessageW(GetDlgItem(window, 4116), BM_CLICK, 0, 0);
    EXPECT_EQ(WindowText(description), L"") << "a rescan empties the description";
    ASSERT_TRUE(WaitForScan(window)) << "the rescan did not end";
  }

  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0) << "closing the window ends the program";
}
