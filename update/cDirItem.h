#pragma once
// One entry of a remote folder listing.
#include <windows.h>
#include <wtypes.h>  // DATE

#include <string>

struct cDirItem {
  bool ReadOnly = false;
  bool Hidden = false;
  bool System = false;
  bool Directory = false;
  bool Archive = false;
  bool Normal = false;
  bool Temporary = false;
  bool Compressed = false;
  bool Offline = false;
  DATE CreationTime = 0;  // local time, days since 30 December 1899
  DATE LastAccessTime = 0;
  DATE LastWriteTime = 0;
  LONG FileSize = 0;  // low 32 bits of the size
  std::wstring Filename;

  // Sets the nine flags from a file-attribute word.
  void SetAttributes(DWORD attributes);
};
