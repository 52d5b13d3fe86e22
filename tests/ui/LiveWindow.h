#pragma once
// Driving a window of another process as a user would: find it, read its controls, click, type,
// and answer its message boxes.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Handle.h"

namespace livewindow {

// A program started with its window live (no prompt log), ended when the object goes.
class LiveProgram {
 public:
  explicit LiveProgram(const std::wstring& commandLine);
  ~LiveProgram();
  LiveProgram(const LiveProgram&) = delete;
  LiveProgram& operator=(const LiveProgram&) = delete;
  bool Started() const { return static_cast<bool>(process_); }
  DWORD ProcessId() const { return processId_; }
  DWORD ThreadId() const { return threadId_; }
  HANDLE Process() const { return process_.get(); }
  bool WaitForExit(DWORD timeoutMs) const;

 private:
  platform::UniqueKernelHandle process_, thread_;
  DWORD processId_ = 0, threadId_ = 0;
};

// The visible top-level window of the process whose caption starts with captionStart.
HWND WaitForWindow(const std::wstring& captionStart, DWORD processId, DWORD timeoutMs = 30000);
// Every visible top-level window of the process whose caption starts with captionStart.
std::vector<HWND> WindowsOf(const std::wstring& captionStart, DWORD processId);

// Text of a window or control, asked of the window itself (works across processes).
std::wstring Text(HWND window);
void SetText(HWND control, const std::wstring& text);
// Replaces an edit box's text as typing does (a multi-line box tells no change of WM_SETTEXT).
void Type(HWND edit, const std::wstring& text);
// Presses a button and waits until the window has handled it (the handler may open a message
// box, which PostMessage does not wait for).
void Click(HWND dialog, int buttonId);
// A mouse click on a label, as the user gives it.
void ClickLabel(HWND label);
bool IsChecked(HWND dialog, int buttonId);
// The window's controls, and their texts.
std::vector<HWND> Children(HWND window);
std::vector<std::wstring> ChildTexts(HWND window);

// List boxes.
std::vector<std::wstring> ListItems(HWND list);
std::vector<std::wstring> SelectedItems(HWND list);
void SelectItem(HWND list, const std::wstring& text);

// A message box of the process: its caption, text and buttons.
struct MessageBoxSeen {
  HWND window = nullptr;
  std::wstring caption;
  std::wstring text;
  std::vector<int> buttons;  // IDOK, IDCANCEL, IDYES, IDNO ... present
};
MessageBoxSeen WaitForMessageBox(DWORD processId, DWORD timeoutMs = 15000);
// Answers a message box with one of its buttons and waits until it is gone.
void Answer(const MessageBoxSeen& box, int buttonId);

// The window's client rectangle and each child's rectangle in client coordinates.
RECT ClientRect(HWND window);
RECT ChildRect(HWND window, HWND child);

}  // namespace livewindow
