#pragma once
// A fresh folder that only administrators and SYSTEM can touch: the place for files that an
// elevated program hands to another program (a .reg file for reg.exe, say), where no user can
// swap them in between.
#include <string>

namespace platform {

class PrivateFolder {
 public:
  PrivateFolder();   // in the Windows folder's Temp, with a new unique name
  ~PrivateFolder();  // removes the folder with everything in it
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;

  bool Ok() const { return !path_.empty(); }
  const std::wstring& Path() const { return path_; }  // no trailing backslash; empty when it failed

 private:
  std::wstring path_;
};

}  // namespace platform
