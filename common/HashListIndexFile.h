#pragma once
// The list index on disk: which generation is current, where each lies, and one opened through a
// handle that follows no reparse point, judged, checked and mapped, for the filter module and for
// the writers that build the next generation from it.
#include <windows.h>

#include <cstdint>
#include <string>

#include "common/HashListIndex.h"
#include "platform/Handle.h"

namespace HashListIndex {

// The current generation, from the pointer under the settings key (64-bit view); 0 when there is
// none.
uint32_t CurrentGeneration();

// A file in the folder that holds the lists (with or without its trailing backslash).
std::wstring PathIn(const std::wstring& folder, const std::wstring& name);
std::wstring GenerationName(uint32_t generation);

enum class Opened {
  Usable,      // judged, its header and size checked, mapped
  Missing,     // not there
  Held,        // another program holds it open without sharing (ERROR_SHARING_VIOLATION)
  Unreadable,  // cannot be opened otherwise
  Foreign,     // a reparse point, a folder, another link, or (for the system's index) another owner
  Damaged,     // no index of this format, or not of the size its header gives
};

// Whose file an index must be: the data folder's is the system's (Administrators, SYSTEM or the
// tests' owner, as DataFolder::Judge decides); a user's own copy is that user's.
enum class Owner { System, Anyone };

// An index file mapped for reading. Others may read it and an administrator may delete it (a new
// generation's writer deletes the older ones) while it is mapped; nobody may write it.
class MappedIndex {
 public:
  Opened Open(const std::wstring& path, Owner owner);
  void Close();
  const View& Index() const { return view_; }
  DWORD Error() const { return error_; }               // of Held and Unreadable
  const std::wstring& Reason() const { return reason_; }  // of Foreign and Damaged

 private:
  platform::UniqueFileHandle file_;
  platform::UniqueKernelHandle mapping_;
  platform::UniqueMappedView bytes_;
  View view_;
  DWORD error_ = 0;
  std::wstring reason_;
};

}  // namespace HashListIndex
