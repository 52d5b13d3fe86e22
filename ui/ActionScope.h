#pragma once
// One action of a window at a time. An action (Apply, a scan, a save, a file dialog) may wait and
// let window events run meanwhile; while it does, no window of the program starts another action
// and none is closed, so that no handler finds its window, or the state it owns, gone when it
// resumes. Each window's event handler asks Busy() first and opens a scope around its action.
namespace ui {

class ActionScope {
 public:
  ActionScope() { ++depth_; }
  ~ActionScope() { --depth_; }
  ActionScope(const ActionScope&) = delete;
  ActionScope& operator=(const ActionScope&) = delete;

  static bool Busy() { return depth_ > 0; }

 private:
  static inline int depth_ = 0;
};

}  // namespace ui
