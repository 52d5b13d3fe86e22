#include "update/frmDownloadAnp.h"

#include <cmath>
#include <cstdio>

#include "common/CommonModule.h"
#include "platform/Com.h"
#include "platform/Dialogs.h"
#include "platform/Forms.h"
#include "platform/PromptSeam.h"
#include "update/AsyncDownload.h"
#include "update/frmDownloadAnpIds.h"

namespace {

HWND g_window = nullptr;
bool g_registered = false;  // shown, and so one of the program's loaded forms
bool g_cancelled = false;
Microsoft::WRL::ComPtr<AsyncDownload> g_cDownload;

// The user's close: the question decides whether the download goes on.
void QueryUnload() {
  const int answer = platform::ShowMessageBox(g_window, L"Are you sure you wish to cancel any active downloads and exit?",
                                              CommonModule::AppTitle(), MB_YESNO);
  if (answer != IDYES) return;
  g_cancelled = true;
  if (g_cDownload) g_cDownload->AbortDownload();
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
  ShowWindow(g_window, SW_SHOWNORMAL);
  SetWindowTextW(g_window, caption.c_str());
  if (!g_registered) {
    g_registered = true;
    platform::RegisterForm(L"frmDownloadAnp", g_window);
  }
  // Paint now, and let a close that is already waiting be asked before the download starts.
  UpdateWindow(g_window);
  platform::DoEvents();
}

void frmDownloadAnp::Unload() {
  if (g_window) DestroyWindow(g_window);
}

bool frmDownloadAnp::IsLoaded() { return g_window != nullptr; }

HWND frmDownloadAnp::Handle() { return g_window; }

bool frmDownloadAnp::Cancelled() { return g_cancelled; }

void frmDownloadAnp::StartDownload(const std::wstring& sURL, const std::wstring& sFile, const std::wstring& sReferrer) {
  const platform::ComApartment com;  // URL monikers need COM on this thread
  try {
    const std::wstring header = sReferrer.empty() ? L"" : L"Referer: " + sReferrer;
    bool failed = false;
    uint32_t httpStatus = 0;
    g_cDownload = AsyncDownload::Create();
    int64_t lastReceived = 0, lastTotal = 0;
    g_cDownload->Progress = [&](int32_t percent, int32_t received, int32_t total, uint32_t, const std::wstring&) {
      lastReceived = static_cast<uint32_t>(received);
      lastTotal = static_cast<uint32_t>(total);
      cDownload_Progress(percent, received, total);
    };
    g_cDownload->DownloadComplete = [](HRESULT) { frmDownloadAnp::Unload(); };
    g_cDownload->DownloadAborted = [&failed](HRESULT status, const std::wstring& text) {
      failed = true;
      CommonModule::DPrint(L"frmDownloadAnp\\cDownload_DownloadAborted: ", text, static_cast<uint32_t>(status));
      frmDownloadAnp::Unload();
    };
    g_cDownload->HTTPResponse = [&httpStatus](uint32_t status, const std::wstring&) { httpStatus = status; };
    const AsyncDownload::Result result = g_cDownload->Download(sURL, sFile, header, L"", L"", L"", L"GET", 1);
    if (FAILED(result.error)) CommonModule::DPrint(L"frmDownloadAnp\\StartDownload: ", result.errorText);
    g_cDownload.Reset();
    // URLMON can leave an error page or a partial file under the target's name (a connection
    // that ends early may still count as complete): only a whole, successful transfer may stay,
    // since callers judge the download by the file alone.
    if (lastReceived < lastTotal) failed = true;
    if (failed || g_cancelled || httpStatus >= 400) {
      CommonModule::DPrint(L"frmDownloadAnp\\StartDownload: ", L"- Download failed, HTTP status: ", httpStatus);
      DeleteFileW(sFile.c_str());
    }
  } catch (...) {
    g_cDownload.Reset();
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
