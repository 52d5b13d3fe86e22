#pragma once
// The launched file held open from its hash read until the program has started, and bound to the
// path it is started by, so that the file hashed is the file started. The file is shared for
// reading only: nobody can write to it, replace or delete it. The path Windows resolves it to,
// with every junction, symbolic link and mount point on the way followed, is walked from the drive
// down without following any: each folder on it is held, sharing everything but deletion, so that
// none can be renamed away and replaced, and none may be a reparse point; the file at its end must
// be the file opened. The program is then started by that path, through held folders only.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/FileIdentity.h"
#include "platform/Handle.h"

class HeldFile {
 public:
  // Opens the file as a start by this path would reach it, then binds it; with file-system
  // redirection off as for the start itself. 0, or the Windows error that kept the file from
  // being opened. A file on the network is held, with the folders of the given path, but not bound.
  DWORD Open(const std::wstring& path);
  HANDLE File() const { return file_.get(); }
  // Why the file opened cannot be bound; "" when it is bound or lies on the network.
  const std::wstring& Problem() const { return problem_; }
  // The path of a bound file through held folders only, which names no other file while it is
  // held; "" when the file is not bound.
  const std::wstring& BoundPath() const { return boundPath_; }
  // True when path leads to the held file: followed as a start would follow it, or with follow
  // false, the entry at path itself (a link there is no match).
  bool IsAt(const std::wstring& path, bool follow) const;
  void Release();

 private:
  void Bind(const std::wstring& path);
  void HoldFoldersAsReached(const std::wstring& path);

  std::vector<platform::UniqueFileHandle> folders_;
  platform::UniqueFileHandle file_;
  platform::FileFacts facts_;
  std::wstring boundPath_;
  std::wstring problem_;
};
