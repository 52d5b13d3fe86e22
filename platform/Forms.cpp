#include "platform/Forms.h"

#include "platform/PromptSeam.h"

namespace platform {

namespace {

std::vector<std::pair<std::wstring, HWND>>& Registry() {
  static std::vector<std::pair<std::wstring, HWND>> forms;
  return forms;
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[512] = {};
  GetWindowTextW(window, buffer, 512);
  return buffer;
}

}  // namespace

void RegisterForm(const std::wstring& name, HWND window) {
  Registry().emplace_back(name, window);
  if (IsRehearsal()) {
    RecordPrompt(L"window", name + L"\t" + WindowText(window));
    PostMessageW(window, WM_CLOSE, 0, 0);
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
  if (forms.empty()) PostQuitMessage(0);
}

std::vector<std::pair<std::wstring, HWND>> LoadedForms() { return Registry(); }

int RunMessageLoop() {
  if (Registry().empty()) return 0;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(GetAncestor(msg.hwnd, GA_ROOT), &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}

void DoEvents() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the main loop
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace platform
