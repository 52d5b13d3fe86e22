#pragma once
// The launched file held open from its hash read until the program has started, so that the file
// hashed is the file started. The file is shared for reading only: nobody can write to it, replace
// or delete it. Each folder above it is held too, sharing everything but deletion, so that no
// folder on the way can be renamed away and replaced by one holding another file of that name.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Handle.h"

class HeldFile {
 public:
  // Opens the folders, then the file, with file-system redirection off as for the start itself.
  // 0, or the Windows error that kept the file from being opened (a folder that cannot be opened
  // is left unheld).
  DWORD Open(const std::wstring& path);
  HANDLE File() const { return file_.get(); }
  void Release();

 private:
  std::vector<platform::UniqueFileHandle> folders_;
  platform::UniqueFileHandle file_;
};
