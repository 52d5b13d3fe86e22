#include "filtermod/frmInvisible.h"

#include "common/CommonModule.h"
#include "platform/ProductName.h"

namespace frmInvisible {

namespace {

const wchar_t kClassName[] = ILATCH_PRODUCT_NAME L"FilterInvisible";
HWND g_window = nullptr;

void Form_Load(HWND window) { CommonModule::SetWindowAlpha(window, 0); }

bool RegisterClassOnce() {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClassName;
  registered = RegisterClassW(&wc) != 0;
  return registered;
}

}  // namespace

HWND Show() {
  if (!g_window && RegisterClassOnce()) {
    // A tool window keeps it off the taskbar; transparency keeps it from being seen.
    g_window = CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (g_window) Form_Load(g_window);
  }
  if (g_window) {
    ShowWindow(g_window, SW_SHOWNOACTIVATE);
    SetForegroundWindow(g_window);
  }
  return g_window;
}

void Unload() {
  if (g_window) DestroyWindow(g_window);
  g_window = nullptr;
}

}  // namespace frmInvisible
