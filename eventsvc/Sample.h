#pragma once
// The service program's start-up: one instance, the hand-over with the dispatcher thread, the event
// loop over new Application-log entries and the stop sequence.
#include <windows.h>

#include <cstdint>

namespace Sample {

// How long the event loop waits for new entries before it looks at a stop request again.
inline constexpr DWORD kEventPollMs = 500;

// The process exit code: non-zero when the service ended because it could not watch the log.
int Main();
bool IsNTPlatform();

// Waits for any of the handles while letting window messages run. intervalMs: -1 for no limit.
// The index of the signalled handle, or WAIT_TIMEOUT (258).
int32_t WaitWithMessages(int32_t& intervalMs, const HANDLE* handles, DWORD count);

}  // namespace Sample
