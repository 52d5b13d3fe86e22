#pragma once
// A program package that waits for the restart. A file another program holds open without delete
// sharing can be neither renamed, nor deleted, nor written until that program lets it go, so the
// swap cannot replace it. The whole package then waits in a folder beside the programs (the same
// volume and the same inherited rights), and Windows moves each of its files over its target at
// the restart, before any program runs: the old release stays whole until then, the new one is
// whole after it.
#include <string>
#include <vector>

namespace StagedSwap {

// Product::kStagedUpdateFolder in the program folder, without a trailing backslash.
std::wstring Folder();

struct Staging {
  bool unpacked = false;
  std::vector<std::wstring> files;  // relative to the staging folder, as to the program folder
  std::vector<std::wstring> held;   // those whose target in the program folder another program holds
};

// Unpacks packageZip into a fresh staging folder (one an earlier update left goes first) and names
// the files whose targets another program holds. Nothing unpacked leaves no staging folder.
Staging Unpack(const std::wstring& packageZip);

// Records each staged file's move over its target for the restart (an elevated caller only). All
// or none: when one cannot be recorded, the staging folder goes, and the moves already recorded
// find nothing to move.
bool RecordMovesForRestart(const Staging& staging);

// Removes the staging folder: the moves recorded for it find nothing to move.
void Discard();

// What start-up finds: no staging folder; files still waiting for the restart (a move the restart
// did not make is recorded again); or a restart that moved every file in (the empty staging
// folder is removed).
enum class State { None, Pending, Completed };
State CheckAtStart();

}  // namespace StagedSwap
