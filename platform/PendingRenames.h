#pragma once
// The moves and deletions Windows makes at the next restart, before any program runs: what
// MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT records (an elevated caller only).
#include <string>
#include <vector>

namespace platform {

// Where Windows keeps them: pairs of NT paths ("\??\C:\..."), the target empty for a deletion and
// led by "!" when it may be replaced.
inline constexpr wchar_t kPendingRenamesKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
inline constexpr wchar_t kPendingRenamesValue[] = L"PendingFileRenameOperations";

struct PendingRename {
  std::wstring from;     // a Win32 path
  std::wstring to;       // a Win32 path; empty: the file is deleted
  bool replace = false;  // an existing target is replaced
};

// The recorded moves, in the order Windows makes them; none when nothing is recorded.
std::vector<PendingRename> PendingRenames();

}  // namespace platform
