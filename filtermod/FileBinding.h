#pragma once
// The decisions that bind a hashed file to the path it is started by, made on what was read of
// each part of that path through a handle that follows no reparse point. Kept apart from the
// reading, so that what Wine cannot make (a junction, a mount point) is tested on its facts.
#include <windows.h>

#include <string>

#include "platform/FileIdentity.h"

namespace FileBinding {

// Where the path that Windows resolved a file to lies, and that path as a start names it.
enum class Place { Drive, Network, Unknown };
struct Resolved {
  Place place = Place::Unknown;
  std::wstring path;  // "C:\..." or "\\server\share\..."; "" when Unknown
};
// From the resolved path's text, with or without its "\\?\" prefix: "\\?\C:\x" is C:\x on a drive,
// "\\?\UNC\srv\share\x" and "\\srv\share\x" are \\srv\share\x on the network. Anything else (a
// volume without a drive letter, Wine's "\\?\unix\") is no place a start could name.
Resolved FromResolvedPath(const std::wstring& text);

// What was read of one part of the resolved path: a folder below the drive's root, or the file.
struct Part {
  std::wstring path;
  DWORD openError = 0;  // 0: opened, and facts read through its handle
  platform::FileFacts facts;
};
// "" when the part binds: a folder held open that is no reparse point (junction, symbolic link,
// mount point); for the file (hashed not null), the very file that was opened and hashed and no
// reparse point either. Otherwise the cause, as the event-log entry gives it.
std::wstring Judge(const Part& part, const platform::FileFacts* hashed);

}  // namespace FileBinding
