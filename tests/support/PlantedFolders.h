#pragma once
// What a standard user can offer the elevated program in place of the folders of its own: the
// environment it is started with (HKCU\Environment), with APPDATA, LOCALAPPDATA, USERPROFILE and
// PROGRAMDATA all naming one folder of recording stand-ins. A stand-in that is started records its
// start into a second folder (FAKEPROG_HOME) as well as beside itself.
#include <map>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace testsupport {

class PlantedFolders {
 public:
  // The planted folder, without a trailing backslash.
  std::wstring Folder() const { return folder_.Path().substr(0, folder_.Path().size() - 1); }
  // A recording stand-in (tests/fakes/fakeprog.exe) at a path relative to the folder, with the
  // folders on the way.
  bool PlantProgram(const std::wstring& relative) const;
  // The environment entries ("NAME=value") that plant the folder, and FAKEPROG_HOME.
  std::vector<std::wstring> Environment() const;
  // The stand-ins that recorded a start, by file name.
  std::vector<std::wstring> StartsRecorded() const;

 private:
  ScratchDir folder_, records_;
};

// Every file and folder below folder, by path relative to it, with each file's size and a digest
// of its bytes (a folder's entry is "<folder>"): what a comparison before and after a run looks at.
std::map<std::wstring, std::string> FolderContents(const std::wstring& folder);

// The folder of this process's user as the shell keeps it (a CSIDL_ number), without a trailing
// backslash: the tests run as the same user as the programs they start.
std::wstring OwnFolder(int csidl);

}  // namespace testsupport
