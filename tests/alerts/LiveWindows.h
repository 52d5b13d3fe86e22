#pragma once
// A program started with its real windows (no prompt log), and a user's hand on them from this
// process: find a window by caption, read and set its controls, answer its message boxes.
#include <windows.h>

#include <string>

#include "platform/Handle.h"

namespace livewindows {

// Asked of the window itself: GetWindowText does not ask another process's controls.
inline std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
  text.resize(static_cast<size_t>(SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

class LiveProgram {
 public:
  explicit LiveProgram(std::wstring commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
      process_.reset(info.hProcess);
      CloseHandle(info.hThread);
      id_ = info.dwProcessId;
    }
  }
  // A failed check must not leave the program waiting on a window.
  ~LiveProgram() {
    if (process_ && WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) TerminateProcess(process_.get(), 1);
  }
  LiveProgram(const LiveProgram&) = delete;
  LiveProgram& operator=(const LiveProgram&) = delete;

  bool Started() const { return static_cast<bool>(process_); }
  bool Ended(DWORD timeoutMs) const { return process_ && WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0; }

  // A visible top-level window of the program whose caption is exactly caption, or begins with it
  // when prefix is set.
  HWND Window(const std::wstring& caption, bool prefix, DWORD timeoutMs = 20000) const {
    struct Search {
      const std::wstring& caption;
      bool prefix;
      DWORD id;
      HWND found;
    } search{caption, prefix, id_, nullptr};
    for (DWORD waited = 0;; waited += 100) {
      EnumWindows(
          [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner != s->id || !IsWindowVisible(window)) return TRUE;
            const std::wstring text = TextOf(window);
            if (s->prefix ? text.rfind(s->caption, 0) == 0 : text == s->caption) {
              s->found = window;
              return FALSE;
            }
            return TRUE;
          },
          reinterpret_cast<LPARAM>(&search));
      if (search.found || waited >= timeoutMs) return search.found;
      Sleep(100);
    }
  }

  // Answers the message box with that caption by its button (IDYES, IDNO, IDOK); returns the box's
  // text, or "<no box>" when none came.
  std::wstring Answer(const std::wstring& caption, int button, DWORD timeoutMs = 20000) const {
    HWND box = Window(caption, false, timeoutMs);
    if (!box) return L"<no box>";
    const std::wstring text = TextOf(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
    return text;
  }

 private:
  platform::UniqueKernelHandle process_;
  DWORD id_ = 0;
};

// A user's click on a button of a dialog in another process, without waiting for what it opens.
inline void Click(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
inline bool Checked(HWND dialog, int id) {
  return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}
inline bool Visible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }
inline void Type(HWND dialog, int id, const std::wstring& text) {
  SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
inline std::wstring ListItem(HWND list, int index) {
  const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, index, 0);
  if (length < 0) return L"<none>";
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace livewindows
