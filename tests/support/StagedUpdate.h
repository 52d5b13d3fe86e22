#pragma once
// For the program update that waits for the restart: another program's hold on a file, a later
// release of the program, and what the restart does to the program folder, done by the test since
// no test restarts the machine: the moves MoveFileEx recorded for the restart, read where Windows
// keeps them and made as Windows makes them before any program runs.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/Handle.h"
#include "platform/PendingRenames.h"

namespace testsupport {

// The moves recorded for the restart whose source lies below folder, in order.
std::vector<platform::PendingRename> RestartMovesFrom(const std::wstring& folder);

// Makes those moves as the restart does: in order, a target replaced only when the move allows
// it, an empty target deleting the source, a move that fails passed over; then takes them off the
// record and leaves every other move there.
void MakeRestartMovesFrom(const std::wstring& folder);

// Takes them off the record without making them.
void ForgetRestartMovesFrom(const std::wstring& folder);

// The file opened as another program may hold it: read access, others may read too but neither
// write, rename nor delete it. Empty when it could not be opened.
platform::UniqueFileHandle HoldWithoutDeleteSharing(const std::wstring& path);

// A program's bytes with another file and product version in its fixed version information: the
// same program as a later release.
std::string WithFileVersion(std::string program, WORD major, WORD minor, WORD build, WORD revision);

// The names of the files that differ between two listings of FolderFiles: missing from either,
// or with other bytes. Empty when they are the same.
std::vector<std::wstring> ChangedFiles(const std::vector<std::pair<std::wstring, std::string>>& expected,
                                       const std::vector<std::pair<std::wstring, std::string>>& actual);

}  // namespace testsupport
