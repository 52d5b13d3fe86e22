#include "common/frmStatusWin.h"

#include "common/CommonModule.h"
#include "platform/Dialogs.h"
#include "platform/WindowText.h"

namespace {

const wchar_t kClassName[] = L"IronlatchStatusWin";
constexpr int kLabel1Id = 1001;
constexpr int kWidth = 360;
constexpr int kHeight = 110;

HWND g_window = nullptr;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      RECT client = {};
      GetClientRect(window, &client);
      HWND label = CreateWindowW(L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX, 12, 20,
                                 client.right - 24, client.bottom - 32, window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLabel1Id)), nullptr, nullptr);
      SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
      return 0;
    }
    case WM_DESTROY:
      platform::DropForm(window, g_window);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterWindowClass() {
  static const bool registered = [] {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_WAIT);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    return RegisterClassW(&wc) != 0;
  }();
  return registered;
}

}  // namespace

void frmStatusWin::Show(const std::wstring& caption) {
  if (!g_window) {
    if (!RegisterWindowClass()) return;
    // No close box: the operation it reports on ends it.
    HWND window = CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, CommonModule::AppTitle().c_str(),
                                  WS_POPUP | WS_CAPTION, (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2,
                                  (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2, kWidth, kHeight, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (!window) return;
    g_window = window;
    SetLabel1(caption);
    platform::ShowAsForm(L"frmStatusWin", window);
  } else {
    SetLabel1(caption);
    ShowWindow(g_window, SW_SHOWNORMAL);
  }
  // The caller goes on working at once: paint now.
  if (g_window) UpdateWindow(g_window);
}

void frmStatusWin::SetLabel1(const std::wstring& caption) {
  if (!g_window) return;
  SetDlgItemTextW(g_window, kLabel1Id, caption.c_str());
  UpdateWindow(g_window);
}

std::wstring frmStatusWin::Label1() {
  if (!g_window) return {};
  return platform::ItemText(g_window, kLabel1Id);
}

HWND frmStatusWin::Handle() { return g_window; }

void frmStatusWin::Unload() { platform::CloseForm(g_window); }
