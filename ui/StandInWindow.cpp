#include "ui/StandInWindow.h"

#include <windows.h>

#include "platform/Forms.h"

namespace ui {

namespace {

const wchar_t kClassName[] = L"IronlatchStandInWindow";

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      CreateWindowW(L"STATIC", L"This window is not available in this version yet.", WS_CHILD | WS_VISIBLE, 16, 16,
                    360, 24, window, nullptr, nullptr, nullptr);
      return 0;
    case WM_DESTROY:
      platform::UnregisterForm(window);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void ShowStandInWindow(const std::wstring& formName, const std::wstring& caption) {
  static bool registered = [] {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    return RegisterClassW(&wc) != 0;
  }();
  if (!registered) return;
  HWND window = CreateWindowW(kClassName, caption.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 420, 120,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!window) return;
  ShowWindow(window, SW_SHOWNORMAL);
  platform::RegisterForm(formName, window);
}

}  // namespace ui
