#pragma once
// A folder held open with every folder above it, so that none of them can be renamed, moved away
// or replaced (by a junction, say) while a program writes into it and starts what it wrote. Each
// is opened without following a reparse point and shares everything but deletion; a folder on the
// way that is a reparse point (junction, symbolic link, mount point) or no folder is not held.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Handle.h"

namespace platform {

class HeldFolders {
 public:
  // Holds every folder from the first below the drive ("C:\") or share ("\\server\share\") down to
  // folder, a full path. False, with nothing held and the reason in refusal, when one cannot be.
  bool Hold(const std::wstring& folder, std::wstring& refusal);
  void Release() { folders_.clear(); }

 private:
  std::vector<UniqueFileHandle> folders_;
};

}  // namespace platform
