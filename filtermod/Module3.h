#pragma once
// The filter module's Application-log entries, under its own source.
#include <cstdint>
#include <string>

namespace Module3 {

// Type 1 error, 2 warning, 4 information (0 counts as 4). False when the entry was not written.
bool WriteEventLog(const std::wstring& message, int32_t eventType);

}  // namespace Module3
