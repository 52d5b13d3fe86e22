// HTTP downloads against the local server of the httpserver fixture (tests/support/http_server.py):
// the download call, the URL-moniker component's events and requests, and the progress window,
// in-process, rehearsed in a probe program, and as a real window under the test display.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/Text.h"
#include "tests/support/TestSupport.h"
#include "update/AsyncDownload.h"
#include "update/frmDownloadAnp.h"
#include "update/frmDownloadAnpIds.h"
#include "update/modDownloadA.h"

using namespace testsupport;

namespace {

const std::wstring kServer = L"http://127.0.0.1:47131/";
const std::wstring kNoServer = L"http://127.0.0.1:47139/";  // nothing listens there

std::wstring ServerRoot() { return TestsDir() + L"httpserver\\root\\"; }

std::wstring Token(const wchar_t* what) {
  static int counter = 0;
  return std::wstring(what) + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount()) +
         L"_" + std::to_wstring(++counter);
}

std::string Bytes(size_t count, unsigned seed) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((i * 31 + seed * 7 + (i >> 8)) & 0xFF);
  return bytes;
}

// A file on the server with content of its own; returns its name.
std::wstring Served(const wchar_t* what, const std::string& bytes) {
  const std::wstring name = Token(what) + L".bin";
  EXPECT_TRUE(WriteTextFile(ServerRoot() + name, bytes));
  return name;
}

// Everything one AsyncDownload raised, in order.
struct EventLog {
  std::vector<std::wstring> events;
  std::vector<int32_t> percents;
  int32_t lastReceived = -1, lastTotal = -1;
  uint32_t httpStatus = 0;
  std::wstring abortText;

  void Attach(AsyncDownload& d) {
    d.StartingDownload = [this] { events.push_back(L"start"); };
    d.Progress = [this](int32_t percent, int32_t received, int32_t total, uint32_t, const std::wstring&) {
      percents.push_back(percent);
      lastReceived = received;
      lastTotal = total;
    };
    d.HTTPResponse = [this](uint32_t status, const std::wstring&) {
      events.push_back(L"response");
      httpStatus = status;
    };
    d.DownloadComplete = [this](HRESULT status) { events.push_back(L"complete " + std::to_wstring(status)); };
    d.DownloadAborted = [this](HRESULT, const std::wstring& text) {
      events.push_back(L"aborted");
      abortText = text;
    };
  }
};

class AsyncDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override { CoInitialize(nullptr); }
  void TearDown() override { CoUninitialize(); }
  ScratchDir dir_;
};

}  // namespace

// ---- The download call --------------------------------------------------------------------------

TEST(DownloadFile, HiddenDownloadLandsInAFolderItCreates) {
  ScratchDir dir;
  const std::string bytes = Bytes(300000, 1);
  const std::wstring name = Served(L"hidden", bytes);
  const std::wstring target = dir / L"new\\deeper\\file.bin";
  EXPECT_TRUE(modDownloadA::DownloadFile(kServer + name, target, true));
  EXPECT_EQ(ReadFileBytes(target), bytes);
  EXPECT_FALSE(frmDownloadAnp::IsLoaded());

  // Again over the file that is there now: a fresh copy replaces it.
  const std::string second = Bytes(1000, 2);
  ASSERT_TRUE(WriteTextFile(ServerRoot() + name, second));
  EXPECT_TRUE(modDownloadA::DownloadFile(kServer + name, target, true));
  EXPECT_EQ(ReadFileBytes(target), second);
}

TEST(DownloadFile, FailuresLeaveNoFileAndReportFalse) {
  const std::wstring whole = Served(L"cut", Bytes(200000, 3));
  const std::vector<std::pair<const char*, std::wstring>> cases = {
      {"missing file (404)", kServer + Token(L"missing") + L".zip"},
      {"server error (500)", kServer + L"status/500"},
      {"connection cut short", kServer + L"cut/" + whole},
      {"no server", kNoServer + L"file.zip"},
  };
  for (const auto& [what, url] : cases) {
    SCOPED_TRACE(what);
    ScratchDir dir;
    const std::wstring target = dir / L"target.zip";
    ASSERT_TRUE(WriteTextFile(target, "stale copy from before"));
    EXPECT_FALSE(modDownloadA::DownloadFile(url, target, true));
    EXPECT_FALSE(FileExists(target));
  }
}

// Every wait is bounded: a server that stops sending mid-transfer, and one that sends too slowly to
// finish in time, are given up and leave no file. The test switches shorten the limits (60 s of
// silence, an hour in all) so that the cases run in seconds.
TEST(DownloadFile, AStalledOrEndlessTransferIsGivenUp) {
  struct Case {
    const char* what;
    const wchar_t* kind;  // the server's road for the file
    size_t size;
    const wchar_t* limitSwitch;
  };
  const Case cases[] = {
      {"nothing more after half the file", L"stall/", 200000, L"ILATCH_STALL_SECONDS"},
      {"slower than the overall limit", L"slow/", 3000000, L"ILATCH_DOWNLOAD_SECONDS"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring name = Served(L"bounded", Bytes(c.size, 5));
    ScratchDir dir;
    SetEnvironmentVariableW(c.limitSwitch, L"3");
    const DWORD start = GetTickCount();
    const bool landed = modDownloadA::DownloadFile(kServer + c.kind + name, dir / L"file.bin", true);
    const DWORD took = GetTickCount() - start;
    SetEnvironmentVariableW(c.limitSwitch, nullptr);
    EXPECT_FALSE(landed);
    EXPECT_FALSE(FileExists(dir / L"file.bin"));
    // The server holds the stalled connection for 90 s and needs 18 s for the slow file.
    EXPECT_LT(took, 15000u);
  }
}

// ---- The URL-moniker component ------------------------------------------------------------------

TEST_F(AsyncDownloadTest, DownloadToFileRaisesItsEventsInOrder) {
  const std::string bytes = Bytes(150000, 4);
  const std::wstring name = Served(L"events", bytes);
  auto download = AsyncDownload::Create();
  EventLog log;
  log.Attach(*download.Get());
  const auto result = download->Download(kServer + name, dir_ / L"out.bin", L"", L"", L"", L"", L"get", 1);
  EXPECT_EQ(result.error, S_OK);
  EXPECT_EQ(ReadFileBytes(dir_ / L"out.bin"), bytes);
  ASSERT_FALSE(log.events.empty());
  EXPECT_EQ(log.events.front(), L"start");
  EXPECT_EQ(log.events.back(), L"complete 0");
  EXPECT_EQ(log.httpStatus, 200u);
  ASSERT_FALSE(log.percents.empty());
  EXPECT_EQ(log.percents.back(), 100);
  EXPECT_EQ(log.lastReceived, 150000);
  EXPECT_EQ(log.lastTotal, 150000);
  EXPECT_FALSE(download->Downloading());
}

TEST_F(AsyncDownloadTest, A404IsSeenAsAnHttpErrorStatus) {
  auto download = AsyncDownload::Create();
  EventLog log;
  log.Attach(*download.Get());
  download->Download(kServer + Token(L"absent"), dir_ / L"out.bin", L"", L"", L"", L"", L"GET", 1);
  EXPECT_EQ(log.httpStatus, 404u);
}

TEST_F(AsyncDownloadTest, ASecondDownloadWhileOneRunsIsRefused) {
  const std::wstring name = Served(L"busy", Bytes(100000, 5));
  auto download = AsyncDownload::Create();
  AsyncDownload::Result inner;
  bool tried = false;
  download->Progress = [&](int32_t, int32_t, int32_t, uint32_t, const std::wstring&) {
    if (tried || !download->Downloading()) return;
    tried = true;
    inner = download->Download(kServer + name, dir_ / L"second.bin", L"", L"", L"", L"", L"GET", 1);
  };
  download->Download(kServer + name, dir_ / L"first.bin", L"", L"", L"", L"", L"GET", 1);
  ASSERT_TRUE(tried);
  EXPECT_EQ(inner.error, AsyncDownload::kErrStillRunning);
  EXPECT_EQ(inner.errorSource, L"AsyncDownload");
  EXPECT_EQ(inner.errorText, L"A download operation is still running. Cannot start a new one.");
  EXPECT_FALSE(FileExists(dir_ / L"second.bin"));
  EXPECT_TRUE(FileExists(dir_ / L"first.bin"));
}

TEST_F(AsyncDownloadTest, TheReferrerTravelsAsTheOnlyExtraHeader) {
  const std::vector<std::pair<std::wstring, std::string>> cases = {
      {L"http://referrer.example/page", "Referer: http://referrer.example/page\r\n"},
      {L"", ""},
  };
  for (const auto& [referrer, expected] : cases) {
    const std::wstring target = dir_ / (Token(L"echo") + L".txt");
    frmDownloadAnp::StartDownload(kServer + L"echo/" + Token(L"page"), target, referrer);
    const std::string request = ReadFileBytes(target);
    EXPECT_EQ(request.rfind("GET /echo/", 0), 0u) << request;
    if (expected.empty())
      EXPECT_EQ(request.find("Referer:"), std::string::npos) << request;
    else
      EXPECT_NE(request.find(expected), std::string::npos) << request;
  }
}

// The request parts that Download prepares, read back through the interfaces URLMON calls. A
// download type without a URLMON call prepares them without sending anything.
TEST_F(AsyncDownloadTest, RequestHeadersVerbAndBodyAreComposedAsUrlmonAsksForThem) {
  struct Case {
    const wchar_t* headers;
    const wchar_t* post;
    const wchar_t* method;
    const wchar_t* sentHeaders;
    const wchar_t* sentVerb;
  };
  const Case cases[] = {
      {L"", L"", L"", L"\r\n", L"GET"},
      {L"Referer: x", L"", L"post", L"Referer: x\r\n", L"POST"},
      {L"X-A: 1\r\n", L"a=1&b=\u00e9", L"Post",
       L"Content-Type: application/x-www-form-urlencoded\r\nX-A: 1\r\n", L"POST"},
      {L"content-TYPE: text/plain", L"body", L"PUT", L"content-TYPE: text/plain\r\n", L"PUT"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(std::wstring(c.headers) + L" | " + c.post + L" | " + c.method));
    auto download = AsyncDownload::Create();
    download->Download(L"http://127.0.0.1:47139/", L"", c.headers, c.post, L"u", L"p", c.method, 99);
    LPWSTR extra = nullptr;
    ASSERT_EQ(download->BeginningTransaction(L"http://x/", L"", 0, &extra), S_OK);
    EXPECT_EQ(std::wstring(extra ? extra : L""), c.sentHeaders);
    CoTaskMemFree(extra);

    DWORD flags = 0;
    BINDINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_EQ(download->GetBindInfo(&flags, &info), S_OK);
    EXPECT_EQ(flags, 0x211u);
    EXPECT_EQ(info.dwBindVerb, static_cast<DWORD>(BINDVERB_CUSTOM));
    EXPECT_EQ(std::wstring(info.szCustomVerb ? info.szCustomVerb : L""), c.sentVerb);
    const std::string body = platform::ToAnsi(c.post);
    EXPECT_EQ(info.cbstgmedData, body.size());
    if (!body.empty()) {
      ASSERT_EQ(info.stgmedData.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
      const char* bytes = static_cast<const char*>(GlobalLock(info.stgmedData.hGlobal));
      EXPECT_EQ(std::string(bytes, body.size()), body);
      GlobalUnlock(info.stgmedData.hGlobal);
    }
    ReleaseBindInfo(&info);

    // The credentials were emptied when Download returned.
    LPWSTR user = nullptr, password = nullptr;
    HWND window = nullptr;
    download->Authenticate(&window, &user, &password);
    EXPECT_EQ(user, nullptr);
    EXPECT_EQ(password, nullptr);
  }
}

TEST_F(AsyncDownloadTest, ProgressPercentRoundsHalvesToEven) {
  struct Case {
    ULONG progress, max;
    int32_t percent;
  };
  const Case cases[] = {
      {0, 0, 0},     {5000, 0, 0},   {1, 2, 50},   {1, 8, 12},  // 12.5 -> 12
      {3, 8, 38},    {1, 3, 33},     {2, 3, 67},   {12800, 102400, 12},
      {0x80000000u, 0x80000000u, 100},  // counts are signed: both -2147483648
  };
  auto download = AsyncDownload::Create();
  int32_t seen = -1;
  int32_t received = 0, total = 0;
  download->Progress = [&](int32_t percent, int32_t r, int32_t t, uint32_t, const std::wstring&) {
    seen = percent;
    received = r;
    total = t;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.progress) + "/" + std::to_string(c.max));
    download->OnProgress(c.progress, c.max, BINDSTATUS_DOWNLOADINGDATA, L"x");
    EXPECT_EQ(seen, c.percent);
    EXPECT_EQ(received, static_cast<int32_t>(c.progress));
    EXPECT_EQ(total, static_cast<int32_t>(c.max));
  }
}

TEST_F(AsyncDownloadTest, StopStatusesBecomeCompleteOrAbortedWithTheirTexts) {
  const std::vector<std::pair<HRESULT, std::wstring>> cases = {
      {S_OK, L"complete 0"},
      {S_FALSE, L"complete 1"},
      {static_cast<HRESULT>(0x800C0002), L"Invalid URL."},
      {static_cast<HRESULT>(0x800C0004), L"Cannot Connect"},
      {static_cast<HRESULT>(0x800C0005), L"Resource Not Found."},
      {static_cast<HRESULT>(0x800C0008), L"Download Failure."},
      {static_cast<HRESULT>(0x800C0011), L"Default Action."},
      {static_cast<HRESULT>(0x800C0012), L"Unknown Error."},
      {static_cast<HRESULT>(0x800C0016), L"Cannot Lock Request."},
      {static_cast<HRESULT>(0x800C0300), L"Cannot Replace SFP File."},
      {E_ABORT, L"Unknown Error."},
  };
  for (const auto& [status, expected] : cases) {
    auto download = AsyncDownload::Create();
    EventLog log;
    log.Attach(*download.Get());
    download->OnStopBinding(status, nullptr);
    ASSERT_EQ(log.events.size(), 1u);
    EXPECT_EQ(log.events[0] == L"aborted" ? log.abortText : log.events[0], expected);
  }
  auto download = AsyncDownload::Create();
  LONG priority = 0;
  EXPECT_EQ(download->GetPriority(&priority), E_NOTIMPL);
  EXPECT_EQ(download->OnLowResource(0), E_NOTIMPL);
  HWND window = nullptr;
  EXPECT_EQ(download->GetWindow(IID_IHttpSecurity, &window), S_OK);
  EXPECT_EQ(window, GetDesktopWindow());
}

TEST(DownloadWindowText, LabelAndCaptionOfAProgressReport) {
  EXPECT_EQ(frmDownloadAnp::StatusText(12800, 102400), L"12.50Kb  of  100.00Kb");
  EXPECT_EQ(frmDownloadAnp::StatusText(0, 0), L"0.00Kb  of  0.00Kb");
  EXPECT_EQ(frmDownloadAnp::StatusText(1536, 0), L"1.50Kb  of  0.00Kb");
  EXPECT_EQ(frmDownloadAnp::StatusText(400000, 400000), L"390.63Kb  of  390.63Kb");  // 390.625
  EXPECT_EQ(frmDownloadAnp::ProgressCaption(13), L"Download:  13 Complete.");
  EXPECT_EQ(frmDownloadAnp::ProgressCaption(0), L"Download:  0 Complete.");
}

// ---- The window, rehearsed: recorded and closed at once, which is the user's close ---------------

namespace {

struct ProbeRun {
  DWORD exitCode = 99;
  std::vector<PromptRecord> prompts;
};

ProbeRun RunProbe(const std::wstring& url, const std::wstring& target, bool hidden, const std::wstring& answers) {
  ScratchDir logs;
  const std::wstring log = logs / L"prompts.log";
  std::wstring command = L"\"" + TestsDir() + L"downloadprobe.exe\" \"" + url + L"\" \"" + target + L"\"";
  if (hidden) command += L" hidden";
  const RunResult run = RunProcess(command, {L"ILATCH_PROMPT_LOG=" + log, L"ILATCH_PROMPT_ANSWERS=" + answers});
  ProbeRun result;
  EXPECT_TRUE(run.finished);
  result.exitCode = run.exitCode;
  result.prompts = ReadPromptLog(log);
  return result;
}

}  // namespace

TEST(DownloadWindowRehearsed, ShownWindowIsRecordedAndItsCloseQuestionDecides) {
  const std::string bytes = Bytes(120000, 6);
  const std::wstring name = Served(L"rehearsed", bytes);
  struct Case {
    const wchar_t* answers;
    bool lands;
  };
  for (const Case& c : {Case{L"", true}, Case{L"no", true}, Case{L"yes", false}}) {
    SCOPED_TRACE(platform::ToUtf8(c.answers));
    ScratchDir dir;
    const ProbeRun run = RunProbe(kServer + name, dir / L"file.bin", false, c.answers);
    EXPECT_EQ(run.exitCode, c.lands ? 0u : 1u);
    EXPECT_EQ(FileExists(dir / L"file.bin"), c.lands);
    ASSERT_EQ(run.prompts.size(), 2u);
    EXPECT_EQ(run.prompts[0].kind, L"window");
    EXPECT_EQ(run.prompts[0].fields, (std::vector<std::wstring>{L"frmDownloadAnp", L"File Download:  "}));
    EXPECT_EQ(run.prompts[1].kind, L"box");
    ASSERT_EQ(run.prompts[1].fields.size(), 4u);
    EXPECT_EQ(run.prompts[1].fields[0], L"downloadprobe");
    EXPECT_EQ(run.prompts[1].fields[1], L"0x4");  // Yes and No, no icon
    EXPECT_EQ(run.prompts[1].fields[2], L"Are you sure you wish to cancel any active downloads and exit?");
  }
}

TEST(DownloadWindowRehearsed, HiddenDownloadShowsNothing) {
  const std::wstring name = Served(L"quiet", Bytes(5000, 7));
  ScratchDir dir;
  const ProbeRun run = RunProbe(kServer + name, dir / L"file.bin", true, L"yes");
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(FileExists(dir / L"file.bin"));
  EXPECT_TRUE(run.prompts.empty());
}

// ---- The real window under the test display -----------------------------------------------------

namespace {

std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &ignored);
  return text;
}

// Watches the download window from a second thread: records its captions and labels, and when
// asked closes it once and answers the question.
class WindowWatcher {
 public:
  WindowWatcher(DWORD uiThread, int answerToClose) : uiThread_(uiThread), answer_(answerToClose) {
    thread_ = std::thread([this] { Watch(); });
  }
  ~WindowWatcher() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::vector<std::wstring> captions, labels;
  bool questionSeen = false;

 private:
  struct Found {
    HWND download = nullptr, box = nullptr;
  };
  static BOOL CALLBACK Each(HWND window, LPARAM param) {
    auto* found = reinterpret_cast<Found*>(param);
    if (!IsWindowVisible(window)) return TRUE;
    if (GetDlgItem(window, IDC_FRMDOWNLOADANP_LBLSTATUS))
      found->download = window;
    else
      found->box = window;
    return TRUE;
  }
  void Watch() {
    bool closed = false;
    while (!stop_) {
      Found found;
      EnumThreadWindows(uiThread_, Each, reinterpret_cast<LPARAM>(&found));
      if (found.download) {
        const std::wstring caption = TextOf(found.download);
        const std::wstring label = TextOf(GetDlgItem(found.download, IDC_FRMDOWNLOADANP_LBLSTATUS));
        if (captions.empty() || captions.back() != caption) captions.push_back(caption);
        if (!label.empty() && (labels.empty() || labels.back() != label)) labels.push_back(label);
        if (answer_ && !closed && !label.empty()) {
          closed = true;
          PostMessageW(found.download, WM_CLOSE, 0, 0);
        }
      }
      if (found.box && closed && !questionSeen) {
        questionSeen = true;
        Sleep(200);
        PostMessageW(found.box, WM_COMMAND, answer_, 0);
      }
      Sleep(20);
    }
  }
  DWORD uiThread_;
  int answer_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

bool HaveDisplay() {
  frmDownloadAnp::Load();
  const bool loaded = frmDownloadAnp::IsLoaded();
  frmDownloadAnp::Unload();
  return loaded;
}

}  // namespace

TEST(DownloadWindowLive, ShowsProgressInCaptionAndLabel) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  const std::string bytes = Bytes(400000, 8);
  const std::wstring name = Served(L"live", bytes);
  ScratchDir dir;
  WindowWatcher watcher(GetCurrentThreadId(), 0);
  EXPECT_TRUE(modDownloadA::DownloadFile(kServer + L"slow/" + name, dir / L"file.bin", false));
  watcher.Stop();
  EXPECT_EQ(ReadFileBytes(dir / L"file.bin"), bytes);
  EXPECT_FALSE(frmDownloadAnp::IsLoaded());
  ASSERT_FALSE(watcher.captions.empty());
  bool percentShown = false;
  for (const auto& caption : watcher.captions)
    if (platform::StartsWith(caption, L"Download:  ") && platform::EndsWith(caption, L" Complete.")) percentShown = true;
  EXPECT_TRUE(percentShown);
  bool sizeShown = false;
  for (const auto& label : watcher.labels)
    if (platform::EndsWith(label, L"Kb  of  390.63Kb")) sizeShown = true;
  EXPECT_TRUE(sizeShown) << (watcher.labels.empty() ? "" : platform::ToUtf8(watcher.labels.back()));
}

TEST(DownloadWindowLive, ClosingDuringTheDownloadAsksAndYesCancels) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  const std::string bytes = Bytes(600000, 9);
  const std::wstring name = Served(L"cancel", bytes);
  for (int answer : {IDNO, IDYES}) {
    SCOPED_TRACE(answer == IDYES ? "yes" : "no");
    ScratchDir dir;
    WindowWatcher watcher(GetCurrentThreadId(), answer);
    const bool landed = modDownloadA::DownloadFile(kServer + L"slow/" + name, dir / L"file.bin", false);
    watcher.Stop();
    EXPECT_TRUE(watcher.questionSeen);
    EXPECT_EQ(landed, answer == IDNO);
    EXPECT_EQ(FileExists(dir / L"file.bin"), answer == IDNO);
    EXPECT_FALSE(frmDownloadAnp::IsLoaded());
  }
}
