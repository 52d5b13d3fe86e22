#include "update/frmDownloadAnp.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>

#include "common/CommonModule.h"
#include "platform/Com.h"
#include "platform/Dialogs.h"
#include "platform/Forms.h"
#include "platform/Handle.h"
#include "platform/PromptSeam.h"
#include "platform/TestSwitches.h"
#include "platform/Text.h"
#include "update/AsyncDownload.h"
#include "update/frmDownloadAnpIds.h"

namespace {

HWND g_window = nullptr;
bool g_registered = false;  // shown, and so one of the program's loaded forms
bool g_cancelled = false;

// A transfer that receives nothing this long is given up, and none may take longer in all.
constexpr DWORD kStallSeconds = 60;
constexpr DWORD kLongestSeconds = 60 * 60;
// How long a transfer that was asked to stop may take to hear it before it is left to itself.
constexpr DWORD kStopGraceMs = 5000;

// What the transfer's own thread and the window's thread share. The transfer runs URLMON on a
// thread of its own, so that the window stays live and a transfer that hangs can be left behind.
struct Transfer {
  std::wstring url, file, header;
  std::atomic<int32_t> percent{0}, received{0}, total{0};
  std::atomic<DWORD> lastData{0};
  std::atomic<bool> stop{false}, failed{false};
  std::atomic<uint32_t> httpStatus{0};
};

DWORD WINAPI RunTransfer(void* parameter) {
  std::unique_ptr<std::shared_ptr<Transfer>> holder(static_cast<std::shared_ptr<Transfer>*>(parameter));
  const std::shared_ptr<Transfer> t = *holder;
  const platform::ComApartment com;  // URL monikers need COM on this thread
  try {
    Microsoft::WRL::ComPtr<AsyncDownload> download = AsyncDownload::Create();
    AsyncDownload* self = download.Get();
    download->Progress = [t, self](int32_t percent, int32_t received, int32_t total, uint32_t, const std::wstring&) {
      if (received != t->received) t->lastData = GetTickCount();
      t->percent = percent;
      t->received = received;
      t->total = total;
      if (t->stop) self->AbortDownload();
    };
    download->DownloadAborted = [t](HRESULT status, const std::wstring& text) {
      t->failed = true;
      CommonModule::DPrint(L"frmDownloadAnp\\cDownload_DownloadAborted: ", text, static_cast<uint32_t>(status));
    };
    download->HTTPResponse = [t](uint32_t status, const std::wstring&) { t->httpStatus = status; };
    const AsyncDownload::Result result = download->Download(t->url, t->file, t->header, L"", L"", L"", L"GET", 1);
    if (FAILED(result.error)) CommonModule::DPrint(L"frmDownloadAnp\\StartDownload: ", result.errorText);
  } catch (...) {
    t->failed = true;
  }
  return 0;
}

// The user's close: the question decides whether the download goes on.
void QueryUnload() {
  const int answer = platform::ShowMessageBox(g_window, L"Are you sure you wish to cancel any active downloads and exit?",
                                              CommonModule::AppTitle(), MB_YESNO);
  if (answer != IDYES) return;
  g_cancelled = true;  // the running transfer hears it at its next report
  frmDownloadAnp::Unload();
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      return TRUE;  // Escape does not close it: only the title bar's close does
    case WM_CLOSE:
      QueryUnload();
      return TRUE;
    case WM_DESTROY:
      g_window = nullptr;
      if (g_registered) platform::UnregisterForm(dialog);
      g_registered = false;
      return TRUE;
  }
  return FALSE;
}

void cDownload_Progress(int32_t Percent, int32_t ReceivedBytes, int32_t TotalBytes) {
  if (!g_window) return;
  SetDlgItemTextW(g_window, IDC_FRMDOWNLOADANP_LBLSTATUS,
                  frmDownloadAnp::StatusText(ReceivedBytes, TotalBytes).c_str());
  SetWindowTextW(g_window, frmDownloadAnp::ProgressCaption(Percent).c_str());
  platform::DoEvents();
}

}  // namespace

void frmDownloadAnp::Load() {
  if (g_window) return;
  g_cancelled = false;
  g_window = platform::CreateFormDialog(IDD_FRMDOWNLOADANP, DialogProc);
  if (!g_window) CommonModule::DPrint(L"frmDownloadAnp\\Load: ", L"- Error: ", static_cast<uint32_t>(GetLastError()));
}

void frmDownloadAnp::Show(const std::wstring& caption) {
  Load();
  if (!g_window) return;
  SetWindowTextW(g_window, caption.c_str());
  if (g_registered) {
    ShowWindow(g_window, SW_SHOWNORMAL);
  } else {
    g_registered = true;
    platform::ShowAsForm(L"frmDownloadAnp", g_window);
  }
  // Paint now, and let a close that is already waiting be asked before the download starts.
  UpdateWindow(g_window);
  platform::DoEvents();
}

void frmDownloadAnp::Unload() { platform::CloseForm(g_window); }

bool frmDownloadAnp::IsLoaded() { return g_window != nullptr; }

HWND frmDownloadAnp::Handle() { return g_window; }

bool frmDownloadAnp::Cancelled() { return g_cancelled; }

bool frmDownloadAnp::StartDownload(const std::wstring& sURL, const std::wstring& sFile, const std::wstring& sReferrer) {
  try {
    auto transfer = std::make_shared<Transfer>();
    transfer->url = sURL;
    transfer->file = sFile;
    transfer->header = sReferrer.empty() ? L"" : L"Referer: " + sReferrer;
    const DWORD start = GetTickCount();
    transfer->lastData = start;
    auto* holder = new std::shared_ptr<Transfer>(transfer);
    platform::UniqueKernelHandle thread(CreateThread(nullptr, 0, RunTransfer, holder, 0, nullptr));
    if (!thread) {
      delete holder;
      CommonModule::DPrint(L"frmDownloadAnp\\StartDownload: ", L"- No thread for the transfer");
      return false;
    }
    const DWORD stallMs = platform::TestSwitchLimitMs(platform::kSwitchStallSeconds, kStallSeconds);
    const DWORD longestMs = platform::TestSwitchLimitMs(platform::kSwitchDownloadSeconds, kLongestSeconds);
    bool gaveUp = false, leftBehind = false;
    DWORD stopAsked = 0;
    int32_t shown = -1;
    HANDLE waitFor = thread.get();
    for (;;) {
      if (MsgWaitForMultipleObjects(1, &waitFor, FALSE, 100, QS_ALLINPUT) == WAIT_OBJECT_0) break;
      platform::DoEvents();  // repaints, and the close question
      if (transfer->received != shown) {
        shown = transfer->received;
        cDownload_Progress(transfer->percent, transfer->received, transfer->total);
      }
      const DWORD now = GetTickCount();
      if (!transfer->stop) {
        const bool stalled = now - transfer->lastData >= stallMs, tooLong = now - start >= longestMs;
        if (stalled || tooLong) {
          CommonModule::DPrint(L"frmDownloadAnp\\StartDownload: ",
                               stalled ? L"- Nothing received for seconds: " : L"- Still running after seconds: ",
                               (stalled ? stallMs : longestMs) / 1000, sURL);
          gaveUp = true;
        }
        if (gaveUp || g_cancelled) {
          transfer->stop = true;
          stopAsked = now;
        }
      } else if (now - stopAsked >= kStopGraceMs) {
        // It receives nothing, so it never hears the stop: it ends on its own, with the process at the latest.
        CommonModule::DPrint(L"frmDownloadAnp\\StartDownload: ", L"- The transfer does not stop; left behind");
        leftBehind = true;
        break;
      }
    }
    Unload();
    // URLMON can leave an error page or a partial file under the target's name (a connection
    // that ends early may still count as complete): only a whole, successful transfer may stay,
    // since callers judge the download by the file alone.
    const bool partial = transfer->received < transfer->total;
    const uint32_t httpStatus = transfer->httpStatus;
    if (gaveUp || leftBehind || partial || transfer->failed || g_cancelled || httpStatus >= 400) {
      CommonModule::DPrint(L"frmDownloadAnp\\StartDownload: ", L"- Download failed, HTTP status: ", httpStatus);
      DeleteFileW(sFile.c_str());
      return false;
    }
    return true;
  } catch (...) {
    DeleteFileW(sFile.c_str());
    return false;
  }
}

std::wstring frmDownloadAnp::StatusText(int32_t receivedBytes, int32_t totalBytes) {
  // Two decimals, halves rounded away from zero.
  auto kb = [](int32_t bytes) { return std::round(bytes / 1024.0 * 100.0) / 100.0; };
  wchar_t text[96] = {};
  swprintf(text, 96, L"%.2fKb  of  %.2fKb", kb(receivedBytes), kb(totalBytes));
  return text;
}

std::wstring frmDownloadAnp::ProgressCaption(int32_t percent) {
  return L"Download:  " + std::to_wstring(percent) + L" Complete.";
}
