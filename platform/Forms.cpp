#include "platform/Forms.h"

#include "platform/PromptSeam.h"
#include "platform/WindowText.h"

namespace platform {

namespace {

std::vector<std::pair<std::wstring, HWND>>& Registry() {
  static std::vector<std::pair<std::wstring, HWND>> forms;
  return forms;
}

}  // namespace

void RegisterForm(const std::wstring& name, HWND window) {
  Registry().emplace_back(name, window);
  if (IsRehearsal()) {
    RecordPrompt(L"window", {name, WindowText(window)});
    if (!KeepsWindowsOpen()) PostMessageW(window, WM_CLOSE, 0, 0);
  }
}

void UnregisterForm(HWND window) {
  auto& forms = Registry();
  for (auto it = forms.begin(); it != forms.end(); ++it) {
    if (it->second == window) {
      forms.erase(it);
      break;
    }
  }
  // Wake the message loop so that it sees whether any form is left; a quit message here would
  // also end a loop that starts later, after a short-lived window such as the status window.
  if (forms.empty()) PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

std::vector<std::pair<std::wstring, HWND>> LoadedForms() { return Registry(); }

int RunMessageLoop() {
  MSG msg = {};
  while (!Registry().empty() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!msg.hwnd || !IsDialogMessageW(GetAncestor(msg.hwnd, GA_ROOT), &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return msg.message == WM_QUIT ? static_cast<int>(msg.wParam) : 0;
}

void DoEvents() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the message loop
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace platform
