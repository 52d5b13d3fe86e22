#include "tests/ui/LiveWindow.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

namespace livewindow {

LiveProgram::LiveProgram(const std::wstring& commandLine) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return;
  process_.reset(info.hProcess);
  thread_.reset(info.hThread);
  processId_ = info.dwProcessId;
  threadId_ = info.dwThreadId;
}

LiveProgram::~LiveProgram() {
  // A failed assertion must not leave a window behind.
  if (process_ && WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) {
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), 5000);
  }
}

bool LiveProgram::WaitForExit(DWORD timeoutMs) const {
  return process_ && WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
}

namespace {

struct Search {
  std::wstring caption;
  DWORD processId;
  std::wstring className;  // empty: any
  std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != s->processId || !IsWindowVisible(window)) return TRUE;
  if (!s->className.empty()) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (s->className != name) return TRUE;
  }
  if (Text(window).rfind(s->caption, 0) == 0) s->found.push_back(window);
  return TRUE;
}

std::vector<HWND> Find(const std::wstring& caption, DWORD processId, const std::wstring& className) {
  Search search{caption, processId, className, {}};
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

std::vector<HWND> WindowsOf(const std::wstring& captionStart, DWORD processId) {
  return Find(captionStart, processId, L"");
}

HWND WaitForWindow(const std::wstring& captionStart, DWORD processId, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
    auto found = WindowsOf(captionStart, processId);
    if (!found.empty()) return found.front();
    Sleep(100);
  }
  return nullptr;
}

std::wstring Text(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return L"<no answer>";
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                      &got);
  text.resize(std::min<size_t>(static_cast<size_t>(got), text.size()));
  return text;
}

void SetText(HWND control, const std::wstring& text) {
  SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Type(HWND edit, const std::wstring& text) {
  SendMessageW(edit, EM_SETSEL, 0, -1);
  SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
}

namespace {

// Another dialog of the process than the given one: a message box or a file dialog.
bool OtherDialogOpen(HWND dialog) {
  DWORD processId = 0;
  GetWindowThreadProcessId(dialog, &processId);
  for (HWND window : Find(L"", processId, L"#32770"))
    if (window != dialog) return true;
  return false;
}

// Sends the messages from a thread of their own and returns once the window has handled them
// or, while handling them, has opened another dialog (which waits for the user).
void SendAndWait(HWND target, std::vector<std::pair<UINT, LPARAM>> messages) {
  HWND dialog = GetAncestor(target, GA_ROOT);
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread sender([target, messages, done] {
    for (const auto& [message, lParam] : messages)
      SendMessageW(target, message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, lParam);
    *done = true;
  });
  sender.detach();
  for (int i = 0; i < 400 && !*done && !OtherDialogOpen(dialog); ++i) Sleep(50);
}

}  // namespace

void Click(HWND dialog, int buttonId) { SendAndWait(GetDlgItem(dialog, buttonId), {{BM_CLICK, 0}}); }

void ClickLabel(HWND label) {
  SendAndWait(label, {{WM_LBUTTONDOWN, MAKELPARAM(2, 2)}, {WM_LBUTTONUP, MAKELPARAM(2, 2)}});
}

bool IsChecked(HWND dialog, int buttonId) {
  return SendMessageW(GetDlgItem(dialog, buttonId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::vector<HWND> Children(HWND window) {
  std::vector<HWND> children;
  EnumChildWindows(window, [](HWND child, LPARAM p) -> BOOL {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(child);
    return TRUE;
  }, reinterpret_cast<LPARAM>(&children));
  return children;
}

std::vector<std::wstring> ChildTexts(HWND window) {
  std::vector<std::wstring> texts;
  for (HWND child : Children(window)) texts.push_back(Text(child));
  return texts;
}

std::vector<std::wstring> ListItems(HWND list) {
  std::vector<std::wstring> items;
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
    std::wstring text(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
    const LRESULT got = SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    text.resize(got < 0 ? 0 : static_cast<size_t>(got));
    items.push_back(text);
  }
  return items;
}

std::vector<std::wstring> SelectedItems(HWND list) {
  std::vector<std::wstring> selected;
  const auto items = ListItems(list);
  for (size_t i = 0; i < items.size(); ++i)
    if (SendMessageW(list, LB_GETSEL, i, 0) > 0) selected.push_back(items[i]);
  return selected;
}

void SelectItem(HWND list, const std::wstring& text) {
  const auto items = ListItems(list);
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i] == text) SendMessageW(list, LB_SETSEL, TRUE, static_cast<LPARAM>(i));
}

MessageBoxSeen WaitForMessageBox(DWORD processId, DWORD timeoutMs) {
  MessageBoxSeen seen;
  for (DWORD waited = 0; waited < timeoutMs && !seen.window; waited += 100) {
    for (HWND window : Find(L"", processId, L"#32770")) {
      // A message box: a dialog whose text sits in the static of ID 0xFFFF, with no file name field.
      HWND text = GetDlgItem(window, 0xFFFF);
      if (!text) continue;
      seen.window = window;
      seen.caption = Text(window);
      seen.text = Text(text);
      for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO})
        if (GetDlgItem(window, id)) seen.buttons.push_back(id);
      break;
    }
    if (!seen.window) Sleep(100);
  }
  return seen;
}

void Answer(const MessageBoxSeen& box, int buttonId) {
  PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box.window, buttonId)));
  for (int i = 0; i < 100 && IsWindow(box.window); ++i) Sleep(50);
  Sleep(100);  // let the code after the box run
}

RECT ClientRect(HWND window) {
  RECT r = {};
  GetClientRect(window, &r);
  return r;
}

RECT ChildRect(HWND window, HWND child) {
  RECT r = {};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace livewindow
