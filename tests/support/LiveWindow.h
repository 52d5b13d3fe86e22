#pragma once
// Driving a window of another process as a user would: find it, read its controls, click, type,
// and answer its message boxes and its open-file dialog. The program runs without a prompt log, so
// every box and window is real.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Handle.h"
#include "tests/support/TestSupport.h"

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
  // A visible top-level window of the program whose caption is exactly caption, or begins with it
  // when prefix is set.
  HWND Window(const std::wstring& caption, bool prefix, DWORD timeoutMs = 20000) const;
  // Answers the message box with that caption by its button (IDYES, IDNO, IDOK); returns the box's
  // text, or "<no box>" when none came.
  std::wstring Answer(const std::wstring& caption, int button, DWORD timeoutMs = 20000) const;

 private:
  platform::UniqueKernelHandle process_, thread_;
  DWORD processId_ = 0, threadId_ = 0;
};

// The visible top-level window of the process whose caption starts with captionStart.
HWND WaitForWindow(const std::wstring& captionStart, DWORD processId, DWORD timeoutMs = 30000);
// Every visible top-level window of the process whose caption starts with captionStart.
std::vector<HWND> WindowsOf(const std::wstring& captionStart, DWORD processId);

// A visible top-level dialog of the process that the test accepts, waited for.
HWND WaitForDialog(DWORD processId, const std::function<bool(HWND)>& wanted, DWORD timeoutMs = 20000);
// Until the window is gone or hidden; false after the time-out.
bool WaitGone(HWND window, DWORD timeoutMs = 20000);
bool HasItem(HWND dialog, int id);
bool IsFileDialog(HWND dialog);

// Text of a window or control, asked of the window itself (GetWindowText does not ask another
// process's controls).
std::wstring Text(HWND window);
void SetText(HWND control, const std::wstring& text);
// Replaces an edit box's text as typing does (a multi-line box tells no change of WM_SETTEXT).
void Type(HWND edit, const std::wstring& text);
// Presses a button and waits until the window has handled it (the handler may open a message
// box, which PostMessage does not wait for).
void Click(HWND dialog, int buttonId);
// A button's click posted to the dialog, without waiting for what it opens.
void Press(HWND dialog, int buttonId);
// A mouse click on a label, as the user gives it.
void ClickLabel(HWND label);
bool IsChecked(HWND dialog, int buttonId);
bool IsVisible(HWND dialog, int id);
// The window's controls, and their texts.
std::vector<HWND> Children(HWND window);
std::vector<std::wstring> ChildTexts(HWND window);

// List boxes.
std::vector<std::wstring> ListItems(HWND list);
std::vector<std::wstring> SelectedItems(HWND list);
void SelectItem(HWND list, const std::wstring& text);
// A combo box's item, or "<none>".
std::wstring ComboItem(HWND list, int index);

// A message box of the process: its caption, text and buttons.
struct MessageBoxSeen {
  HWND window = nullptr;
  std::wstring caption;
  std::wstring text;
  std::vector<int> buttons;  // IDOK, IDCANCEL, IDYES, IDNO ... present
  bool Has(int buttonId) const;
  bool YesNo() const { return Has(IDYES) && Has(IDNO); }
};
// foreignIds: controls of the program's own dialogs, which are never taken for a message box (their
// unnamed labels carry the message box's text ID too).
MessageBoxSeen WaitForMessageBox(DWORD processId, DWORD timeoutMs = 15000, const std::vector<int>& foreignIds = {});
// Answers a message box with one of its buttons and waits until it is gone.
void Answer(const MessageBoxSeen& box, int buttonId);

// The real main program in a scratch folder of its own, started with a command line.
class ScratchProgram {
 public:
  // Ids of the program's own dialogs, so that they are never taken for message boxes.
  explicit ScratchProgram(std::vector<int> ownIds) : ownIds_(std::move(ownIds)) {}
  const std::wstring& Folder() const { return program_.Folder(); }
  std::wstring operator/(const std::wstring& name) const { return program_.Folder() + name; }

  bool Start(const std::wstring& arguments);
  DWORD Id() const { return live_ ? live_->ProcessId() : 0; }
  HANDLE Process() const { return live_ ? live_->Process() : nullptr; }
  bool Ended(DWORD timeoutMs) const { return live_ && live_->WaitForExit(timeoutMs); }

  // The next message box, or an empty record after the time-out.
  MessageBoxSeen NextBox(DWORD timeoutMs = 20000) const;
  // Waits for a box, answers it and waits until it is gone; the box as it was shown.
  MessageBoxSeen Answer(int button, DWORD timeoutMs = 20000) const;
  // Types a full path into the open-file dialog and opens it; the dialog's title.
  std::wstring PickFile(const std::wstring& path) const;

 private:
  testsupport::InstalledProgram program_;
  std::vector<int> ownIds_;
  std::unique_ptr<LiveProgram> live_;
};

// The window's client rectangle and each child's rectangle in client coordinates.
RECT ClientRect(HWND window);
RECT ChildRect(HWND window, HWND child);

}  // namespace livewindow
