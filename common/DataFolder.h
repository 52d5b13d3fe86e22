#pragma once
// The product's all-users data folder (Product::DataFolder()), which holds the hash lists the
// filter module trusts, and the files placed in it. Only Administrators and SYSTEM may create or
// change files there; every user may read them. Windows' default rights on ProgramData let any
// user create the folder first, as a folder of their own or as a junction to somewhere else: such
// a folder is never used, only set aside.
#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Handle.h"

namespace DataFolder {

// The access the folder and its parent are given: owner (and group) Administrators; Administrators and SYSTEM
// full control, Users read and list, inherited by everything created inside; nothing inherited
// from above.
extern const wchar_t kRights[];
// What a file inside inherits from those: the rights every placed file ends with.
extern const wchar_t kFileRights[];

// ---- The check of one part of the path -----------------------------------------------------------

// What the check reads of a file or folder, through a handle that does not follow reparse points.
struct Facts {
  DWORD attributes = 0;
  std::wstring ownerSid;  // "" when the owner could not be read
};

enum class Verdict { Proper, Foreign };

// A folder (or, with folder false, a file) is used only when it is no reparse point (junction,
// symbolic link, mount point), is of the kind wanted, and is owned by Administrators or SYSTEM.
// reason receives why a foreign one is not used.
Verdict Judge(const Facts& facts, bool folder, std::wstring& reason);

// Opens a path without following a reparse point at its end (FILE_FLAG_OPEN_REPARSE_POINT |
// FILE_FLAG_BACKUP_SEMANTICS), for reading and changing its rights.
platform::UniqueFileHandle OpenUnfollowed(const std::wstring& path, DWORD share);
bool ReadFacts(HANDLE handle, Facts& facts);

// For a reader of the lists (the filter module, run as any user): whether the folder at path is
// there and is the system's, read through a handle that follows no reparse point and asks for no
// more than reading its owner. Anything that cannot be opened for that, other than nothing there
// at all, counts as foreign; reason receives why.
enum class Presence { Missing, Proper, Foreign };
Presence CheckForReader(const std::wstring& path, std::wstring& reason);

// Renames a path aside in its folder, under its name with the date and time; logged.
bool SetAside(const std::wstring& path, const std::wstring& reason);

// Gives the object behind the handle these rights (SDDL text) and, for a file, reads them back:
// true only when a file now lets Users read and nobody but Administrators and SYSTEM change it.
bool GiveRights(HANDLE handle, const std::wstring& path, const wchar_t* rights, bool file);

// ---- The folder and its files ----------------------------------------------------------------------

// Makes the data folder (Product::DataFolder()) and its parent the system's: each is checked
// through its handle, a foreign one renamed aside and made afresh with these rights given at
// creation, and the rights of one that stays are set through the checked handle. The files already
// inside get the inherited rights with Administrators as owner. True when both folders are secured.
// Needs an elevated caller.
bool Secure(const std::wstring& folder);

// Places files into one folder, all or nothing: each source (any path) is moved in under a
// temporary name and given kFileRights there, then every target is replaced; when any step fails,
// every target keeps what it held and false is returned. Targets are full paths in the folder, in
// the order they are to arrive. A target another program holds open without sharing its deletion
// cannot be replaced: it fails the placement, or with HeldTarget::LeftAsItIs it keeps its old
// content while the rest are placed. beforeLettingGo, when given, is called once every target is
// replaced or left (left tells which were), while the old contents can still be put back: false
// from it puts every target back.
using Placement = std::pair<std::wstring, std::wstring>;  // source, target
enum class HeldTarget { FailsAll, LeftAsItIs };
using BeforeLettingGo = std::function<bool(const std::vector<bool>& left)>;
bool PlaceFiles(const std::vector<Placement>& files, HeldTarget held = HeldTarget::FailsAll,
                const BeforeLettingGo& beforeLettingGo = {});

}  // namespace DataFolder
