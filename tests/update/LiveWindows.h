#pragma once
// Drives the real main program's windows from outside, as a user would: its dialogs, the message
// boxes it shows (read and answered), its input box and the open-file dialog. The program runs
// without a prompt log, so every box and window is real.
#include <windows.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Handle.h"
#include "tests/support/TestSupport.h"

namespace live {

// Asked of the window itself: GetWindowText does not ask another process's controls.
inline std::wstring Text(HWND window) {
  std::wstring text(static_cast<size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
  text.resize(static_cast<size_t>(SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

// A visible top-level dialog of the process that the test accepts, waited for.
inline HWND WaitForDialog(DWORD processId, const std::function<bool(HWND)>& wanted, DWORD timeoutMs = 20000) {
  struct Search {
    DWORD processId;
    const std::function<bool(HWND)>* wanted;
    HWND found;
  } search = {processId, &wanted, nullptr};
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    search.found = nullptr;
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
          auto* s = reinterpret_cast<Search*>(param);
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          if (owner != s->processId || !IsWindowVisible(window)) return TRUE;
          wchar_t className[32] = {};
          GetClassNameW(window, className, 32);
          if (wcscmp(className, L"#32770") != 0 || !(*s->wanted)(window)) return TRUE;
          s->found = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    Sleep(50);
  }
  return nullptr;
}

inline bool HasItem(HWND dialog, int id) { return GetDlgItem(dialog, id) != nullptr; }

inline bool IsFileDialog(HWND dialog) { return HasItem(dialog, cmb13) || HasItem(dialog, edt1); }

// A message box: a dialog with a standard answer button and none of the program's own controls.
inline bool IsMessageBox(HWND dialog, const std::vector<int>& foreignIds) {
  if (IsFileDialog(dialog)) return false;
  for (int id : foreignIds)
    if (HasItem(dialog, id)) return false;
  return HasItem(dialog, IDOK) || HasItem(dialog, IDYES) || HasItem(dialog, IDNO);
}

struct Box {
  HWND window = nullptr;
  std::wstring caption, text;
  bool yesNo = false, cancel = false;
};

inline Box ReadBox(HWND window) {
  Box box;
  box.window = window;
  box.caption = Text(window);
  box.yesNo = HasItem(window, IDYES) && HasItem(window, IDNO);
  box.cancel = HasItem(window, IDCANCEL);
  // The message is the one static that holds text (the icon's static holds none).
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t className[16] = {};
    GetClassNameW(child, className, 16);
    if (_wcsicmp(className, L"Static") == 0) {
      std::wstring text = Text(child);
      if (!text.empty()) box.text = text;
    }
  }
  return box;
}

inline void Press(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

inline bool WaitGone(HWND window, DWORD timeoutMs = 20000) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    if (!IsWindow(window) || !IsWindowVisible(window)) return true;
    Sleep(50);
  }
  return false;
}

// The real main program, started with a command line in its own scratch folder.
class Program {
 public:
  // Ids of the program's own dialogs, so that they are never taken for message boxes.
  explicit Program(std::vector<int> ownIds) : ownIds_(std::move(ownIds)) {}
  ~Program() {
    if (process_ && WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) TerminateProcess(process_.get(), 1);
  }
  const std::wstring& Folder() const { return program_.Folder(); }
  std::wstring operator/(const std::wstring& name) const { return program_.Folder() + name; }

  bool Start(const std::wstring& arguments) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::wstring line = L"\"" + program_.ExePath() + L"\" " + arguments;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
      return false;
    process_.reset(info.hProcess);
    platform::UniqueKernelHandle thread(info.hThread);
    id_ = info.dwProcessId;
    return true;
  }
  DWORD Id() const { return id_; }
  HANDLE Process() const { return process_.get(); }

  // The next message box, or an empty record after the time-out.
  Box NextBox(DWORD timeoutMs = 20000) {
    HWND window = WaitForDialog(id_, [this](HWND w) { return IsMessageBox(w, ownIds_); }, timeoutMs);
    return window ? ReadBox(window) : Box{};
  }
  // Waits for a box, answers it and waits until it is gone; the box as it was shown.
  Box Answer(int button, DWORD timeoutMs = 20000) {
    Box box = NextBox(timeoutMs);
    if (box.window) {
      Press(box.window, button);
      WaitGone(box.window);
    }
    return box;
  }
  // Types a full path into the open-file dialog and opens it; the dialog's title.
  std::wstring PickFile(const std::wstring& path) {
    HWND dialog = WaitForDialog(id_, IsFileDialog);
    if (!dialog) return L"<no file dialog>";
    const std::wstring title = Text(dialog);
    HWND name = GetDlgItem(dialog, cmb13) ? GetDlgItem(dialog, cmb13) : GetDlgItem(dialog, edt1);
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    Press(dialog, IDOK);
    WaitGone(dialog);
    return title;
  }
  bool Ended(DWORD timeoutMs) const { return WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0; }

 private:
  testsupport::InstalledProgram program_;
  std::vector<int> ownIds_;
  platform::UniqueKernelHandle process_;
  DWORD id_ = 0;
};

}  // namespace live
