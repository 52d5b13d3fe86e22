#pragma once
// A piece of thread or process state changed for one scope: Enter runs when the object is made,
// Leave when the scope ends, on an early return or an exception too.

namespace platform {

template <void (*Enter)(), void (*Leave)()>
class ScopedState {
 public:
  ScopedState() { Enter(); }
  ~ScopedState() { Leave(); }
  ScopedState(const ScopedState&) = delete;
  ScopedState& operator=(const ScopedState&) = delete;
};

}  // namespace platform
