#include "update/frmDownloadAnp.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>

#include "common/CommonModule.h"
#include "platform/Com.h"
#include "platform/Forms.h"
#include "platform/Handle.h"
#include "platform/PromptSeam.h"
#include "platform/StaticDialog.h"
#include "platform/TestSwitches.h"
#include "platform/Text.h"
#include "update/AsyncDownload.h"
#include "update/TransferBounds.h"
#include "update/frmDownloadAnpIds.h"

namespace {

bool g_cancelled = false;

class DownloadWindow final : public platform::StaticDialog {
 public:
  DownloadWindow() : StaticDialog(L"frmDownloadAnp", IDD_FRMDOWNLOADANP) {}

 private:
  INT_PTR OnMessage(UINT message, WPARAM, LPARAM) override {
    // Escape does not close it: only the title bar's close does.
    return message == WM_INITDIALOG || message == WM_COMMAND;
  }
  // The user's close: the question decides whether the download goes on.
  bool MayClose() override {
    const int answer = platform::ShowMessageBox(Window(), L"Are you sure you wish to cancel any active downloads and exit?",
                                                CommonModule::AppTitle(), MB_YESNO);
    if (answer != IDYES) return false;
    g_cancelled = true;  // the running transfer hears it at its next report
    return true;
  }
};

DownloadWindow& Dialog() {
  static DownloadWindow dialog;
  return dialog;
}

// Null while the window is not loaded.
HWND Window() { return Dialog().Window(); }

// How long a transfer that was asked to stop may take to hear it before it is left to itself.
constexpr DWORD kStopGraceMs = 5000;

// What the transfer's own thread and the window's thread share. The transfer runs URLMON on a
// thread of its own, so that the window stays live and a transfer that hangs can be left behind.
struct Transfer {
  std::wstring url, file, header;
  uint64_t cap = 0;
  std::atomic<int32_t> percent{0}, received{0}, total{0};
  std::atomic<bool> stop{false}, failed{false}, tooLarge{false};
  std::atomic<uint32_t> httpStatus{0};
};

DWORD WINAPI RunTransfer(void* parameter) {
  std::unique_ptr<std::shared_ptr<Transfer>> holder(static_cast<std::shared_ptr<Transfer>*>(parameter));
  const std::shared_ptr<Transfer> t = *holder;
  const platform::ComApartment com;  // URL monikers need COM on this thread
  try {
    Microsoft::WRL::ComPtr<AsyncDownload> download = AsyncDownload::Create();
    // Always from the server (through any proxy), and no copy written to the URL cache.
    download->Flags |= BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE;
    AsyncDownload* self = download.Get();
    download->Progress = [t, self](int32_t percent, int32_t received, int32_t total, uint32_t, const std::wstring&) {
      t->percent = percent;
      t->received = received;
      t->total = total;
      // The cap is kept here, as the bytes arrive, not only when the window's thread next looks.
      if (static_cast<uint32_t>(received) > t->cap || static_cast<uint32_t>(total) > t->cap) t->tooLarge = true;
      if (t->stop || t->tooLarge) self->AbortDownload();
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

void cDownload_Progress(int32_t Percent, int32_t ReceivedBytes, int32_t TotalBytes) {
  if (!Window()) return;
  SetDlgItemTextW(Window(), IDC_FRMDOWNLOADANP_LBLSTATUS,
                  frmDownloadAnp::StatusText(ReceivedBytes, TotalBytes).c_str());
  SetWindowTextW(Window(), frmDownloadAnp::ProgressCaption(Percent).c_str());
  platform::DoEvents();
}

}  // namespace

void frmDownloadAnp::Load() {
  if (Dialog().IsOpen()) return;
  g_cancelled = false;
  if (!Dialog().Create()) CommonModule::DPrint(L"frmDownloadAnp\\Load: ", L"- Error: ", static_cast<uint32_t>(GetLastError()));
}

void frmDownloadAnp::Show(const std::wstring& caption) {
  Load();
  if (!Dialog().IsOpen()) return;
  SetWindowTextW(Window(), caption.c_str());
  Dialog().ShowCreated();
  // Paint now, and let a close that is already waiting be asked before the download starts.
  UpdateWindow(Window());
  platform::DoEvents();
}

void frmDownloadAnp::Unload() { Dialog().Close(); }

bool frmDownloadAnp::IsLoaded() { return Dialog().IsOpen(); }

HWND frmDownloadAnp::Handle() { return Window(); }

bool frmDownloadAnp::Cancelled() { return g_cancelled; }

bool frmDownloadAnp::StartDownload(const std::wstring& sURL, const std::wstring& sFile, const std::wstring& sReferrer,
                                   TransferBounds::Kind kind) {
  try {
    TransferBounds::Guard guard(kind);
    auto transfer = std::make_shared<Transfer>();
    transfer->url = sURL;
    transfer->file = sFile;
    transfer->header = sReferrer.empty() ? L"" : L"Referer: " + sReferrer;
    transfer->cap = guard.Cap();
    auto* holder = new std::shared_ptr<Transfer>(transfer);
    platform::UniqueKernelHandle thread(CreateThread(nullptr, 0, RunTransfer, holder, 0, nullptr));
    if (!thread) {
      delete holder;
      CommonModule::DPrint(L"frmDownloadAnp\\StartDownload: ", L"- No thread for the transfer");
      return false;
    }
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
        const TransferBounds::Verdict verdict =
            transfer->tooLarge ? TransferBounds::Verdict::TooLarge
                               : guard.Check(static_cast<uint32_t>(transfer->received.load()),
                                             static_cast<uint32_t>(transfer->total.load()));
        if (verdict != TransferBounds::Verdict::Go) {
          CommonModule::DPrint(L"frmDownloadAnp\\StartDownload: ", TransferBounds::Describe(verdict), sURL);
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
    // The cap may have ended the transfer before this loop looked.
    if (transfer->tooLarge && !gaveUp)
      CommonModule::DPrint(L"frmDownloadAnp\\StartDownload: ", TransferBounds::Describe(TransferBounds::Verdict::TooLarge),
                           sURL);
    // URLMON can leave an error page or a partial file under the target's name (a connection
    // that ends early may still count as complete): only a whole, successful transfer may stay,
    // since callers judge the download by the file alone.
    const bool partial = transfer->received < transfer->total;
    const uint32_t httpStatus = transfer->httpStatus;
    if (gaveUp || leftBehind || partial || transfer->failed || transfer->tooLarge || g_cancelled || httpStatus >= 400) {
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
