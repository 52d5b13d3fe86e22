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
  std::wstring ownerSid;   // "" when the owner could not be read
  std::wstring rights;     // the DACL in SDDL ("D:..."); "" when it could not be read
  DWORD links = 1;         // the names a file has: more than one means hard links
  bool elsewhere = false;  // the handle leads to another place than its path names: a link the
                           // system followed all the same (Wine's Unix symbolic links)
};

// Proper: used as it is. Loose: the system's own, but its rights let another account create or
// change something in it (a folder) or change it (a file). Foreign: never used.
enum class Verdict { Proper, Loose, Foreign };

// A folder (or, with folder false, a file) is proper only when it is no reparse point (junction,
// symbolic link, mount point) and leads nowhere else, is of the kind wanted (a file with one
// name), is owned by Administrators or SYSTEM, and its rights let no other account change it
// (entries that only pass to what is made inside do not count). reason receives why another is
// not proper.
Verdict Judge(const Facts& facts, bool folder, std::wstring& reason);

// Opens a path without following a reparse point at its end (FILE_FLAG_OPEN_REPARSE_POINT |
// FILE_FLAG_BACKUP_SEMANTICS), for reading and changing its rights.
platform::UniqueFileHandle OpenUnfollowed(const std::wstring& path, DWORD share);
// Reads the facts through the handle; with the path it was opened by, also whether it leads elsewhere.
bool ReadFacts(HANDLE handle, Facts& facts, const std::wstring& path = L"");

// For a reader of the lists (the filter module, run as any user): whether the folder at path is
// there and is the system's (Judge's Proper), read through a handle that follows no reparse point
// and asks for no more than reading its owner and rights. Anything that cannot be opened for that,
// other than nothing there at all, counts as foreign; reason receives why.
enum class Presence { Missing, Proper, Foreign };
Presence CheckForReader(const std::wstring& path, std::wstring& reason);

// Renames a path aside in its folder, under its name with the date and time; logged. aside, when
// given, receives the new path.
bool SetAside(const std::wstring& path, const std::wstring& reason, std::wstring* aside = nullptr);
// Whether a name is one SetAside gave: such an entry is never used again.
bool IsSetAsideName(const std::wstring& name);

// Gives the object behind the handle these rights (SDDL text) and, for a file, reads them back:
// true only when a file now lets Users read and nobody but Administrators and SYSTEM change it.
bool GiveRights(HANDLE handle, const std::wstring& path, const wchar_t* rights, bool file);

// ---- The folder and its files ----------------------------------------------------------------------

// Makes the data folder (Product::DataFolder()) and its parent the system's: each is checked
// through its handle, a foreign one renamed aside and made afresh with these rights given at
// creation, and the rights of one that stays are set through the checked handle. A maker's folder
// whose rights were loose keeps its place (the other folders of the maker's programs lie in it) and
// gets these rights; a data folder whose rights were loose goes aside whole, since anyone could
// have planted anything in it: the definitions come again with the next update, and the
// administrator's own lists that pass the file check are carried over into the new folder. Of
// the entries inside, a file that is proper keeps its place and gets the inherited rights through
// the handle that checked it; anything else is set aside within the folder, never given rights;
// something that cannot be set aside by itself takes the whole folder aside. True when both
// folders are secured. Needs an elevated caller.
bool Secure(const std::wstring& folder);

// How the uninstall removes what it reaches, from the facts read through its handle. Keep: not
// the system's, or a link the system follows: nothing is deleted in it or through it. Link: a
// reparse point, removed as itself, never followed. Tree: a folder: everything inside first, then
// itself. Name: a file: this name goes (the content stays for a hard link's other names).
enum class Removal { Keep, Link, Tree, Name };
// dataFolder: the data folder itself, which is entered only when Judge does not find it foreign
// (loose rights do not keep it); otherwise an entry inside it, which goes whoever owns it.
Removal HowToRemove(const Facts& facts, bool dataFolder);

// The uninstall's removal of the data folder: nothing happens when Judge finds the maker's folder
// foreign; the data folder and everything inside is then opened without following reparse points
// and removed as HowToRemove says. Every step is logged. True when the folder is gone (or was
// never there). Needs an elevated caller.
bool Remove(const std::wstring& folder);

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
