#include "tests/support/LiveWindow.h"

#include <dlgs.h>

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

HWND LiveProgram::Window(const std::wstring& caption, bool prefix, DWORD timeoutMs) const {
  for (DWORD waited = 0;; waited += 100) {
    for (HWND window : WindowsOf(caption, processId_))
      if (prefix || Text(window) == caption) return window;
    if (waited >= timeoutMs) return nullptr;
    Sleep(100);
  }
}

std::wstring LiveProgram::Answer(const std::wstring& caption, int button, DWORD timeoutMs) const {
  HWND box = Window(caption, false, timeoutMs);
  if (!box) return L"<no box>";
  const std::wstring text = Text(GetDlgItem(box, 0xFFFF));
  livewindow::Answer(MessageBoxSeen{box, caption, text, {}}, button);
  return text;
}

HWND WaitForDialog(DWORD processId, const std::function<bool(HWND)>& wanted, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    for (HWND window : Find(L"", processId, L"#32770"))
      if (wanted(window)) return window;
    Sleep(50);
  }
  return nullptr;
}

bool WaitGone(HWND window, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    if (!IsWindow(window) || !IsWindowVisible(window)) return true;
    Sleep(50);
  }
  return false;
}

bool HasItem(HWND dialog, int id) { return GetDlgItem(dialog, id) != nullptr; }

bool IsFileDialog(HWND dialog) { return HasItem(dialog, cmb13) || HasItem(dialog, edt1); }

// Synchronous, not SendMessageTimeout: Wine's reports a reply of 0 (an empty text) as a failure.
std::wstring Text(HWND window) {
  std::wstring text(static_cast<size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
  const LRESULT got = SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(std::min<size_t>(got < 0 ? 0 : static_cast<size_t>(got), text.size()));
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

void Press(HWND dialog, int buttonId) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, buttonId)));
}

void ClickLabel(HWND label) {
  SendAndWait(label, {{WM_LBUTTONDOWN, MAKELPARAM(2, 2)}, {WM_LBUTTONUP, MAKELPARAM(2, 2)}});
}

bool IsChecked(HWND dialog, int buttonId) {
  return SendMessageW(GetDlgItem(dialog, buttonId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool IsVisible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }

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

std::wstring ComboItem(HWND list, int index) {
  const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, index, 0);
  if (length < 0) return L"<none>";
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

bool MessageBoxSeen::Has(int buttonId) const {
  return std::find(buttons.begin(), buttons.end(), buttonId) != buttons.end();
}

MessageBoxSeen WaitForMessageBox(DWORD processId, DWORD timeoutMs, const std::vector<int>& foreignIds) {
  MessageBoxSeen seen;
  for (DWORD waited = 0; waited < timeoutMs && !seen.window; waited += 100) {
    for (HWND window : Find(L"", processId, L"#32770")) {
      // A message box: a dialog whose text sits in the static of ID 0xFFFF, with no file name field.
      HWND text = GetDlgItem(window, 0xFFFF);
      if (!text || IsFileDialog(window)) continue;
      if (std::any_of(foreignIds.begin(), foreignIds.end(), [window](int id) { return HasItem(window, id); })) continue;
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
  // Until it is destroyed, not just hidden: the code after the box runs only then.
  for (int i = 0; i < 400 && IsWindow(box.window); ++i) Sleep(50);
  Sleep(100);
}

bool ScratchProgram::Start(const std::wstring& arguments) {
  live_ = std::make_unique<LiveProgram>(L"\"" + program_.ExePath() + L"\" " + arguments);
  return live_->Started();
}

MessageBoxSeen ScratchProgram::NextBox(DWORD timeoutMs) const { return WaitForMessageBox(Id(), timeoutMs, ownIds_); }

MessageBoxSeen ScratchProgram::Answer(int button, DWORD timeoutMs) const {
  MessageBoxSeen box = NextBox(timeoutMs);
  if (box.window) livewindow::Answer(box, button);
  return box;
}

std::wstring ScratchProgram::PickFile(const std::wstring& path) const {
  HWND dialog = WaitForDialog(Id(), IsFileDialog);
  if (!dialog) return L"<no file dialog>";
  const std::wstring title = Text(dialog);
  HWND name = GetDlgItem(dialog, cmb13) ? GetDlgItem(dialog, cmb13) : GetDlgItem(dialog, edt1);
  SetText(name, path);
  Press(dialog, IDOK);
  WaitGone(dialog);
  return title;
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
