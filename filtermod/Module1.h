#pragma once
// The filter module: started by Windows for each launch of a hooked file class, it weighs the file
// against folders and hash lists, asks or blocks, starts it when allowed and reports.
#include <windows.h>

#include <string>

#include "common/Product.h"
#include "filtermod/HashLists.h"
#include "filtermod/HeldFile.h"

namespace Module1 {

// Caption of every message box and the mail sender's name; the name-and-version text of mails.
using Product::ProductLabel;
using Product::ProductTitle;

// The four hash lists: in the data folder on Windows Vista and later, beside the program before,
// with the problem of the folder that holds them. A folder a user planted or redirected decides
// nothing: its lists could switch the blocklist off for every user.
HashListPaths FindHashLists();

// How the launch reached us: the mode prefix of the launch command, the file and its arguments.
struct Launch {
  wchar_t mode = 0;  // L'/' EXE/COM, L'*' constant, 0 suspicious
  std::wstring filePath;  // as given: what the user is shown
  std::wstring arguments;
  std::wstring extension;
  std::wstring canonicalPath;  // what every test weighs and what is started
  bool relaunched = false;     // started by our own shell fallback: no second fallback
};
// Parses the argument text (what follows the module's own path and its separating blanks).
Launch ParseLaunch(const std::wstring& commandLine);

void Main();
using Product::BuildProductTitle;
void InitCommonControlsVB();

// Each weighs the launch against the lists read for it first.
void FilterExecutable(const Launch& launch, const HashLists& lists, bool alertAllow);
void FilterRestrictedFile(const Launch& launch, const HashLists& lists, bool silentBlock, bool alertAllow,
                          bool constantMode, bool noAllow);
// Starts the file: a bound one (held) by its bound path, so that what runs is what was hashed;
// otherwise the canonical file. A refused start goes to the shell's verb once, never from a
// relaunch. A bound file that cannot be started as itself is blocked as a failed check (the user
// told unless silent).
void LaunchProgram(const std::wstring& extension, const Launch& launch, const HeldFile& held, bool silent);
bool IsElevated();

}  // namespace Module1
