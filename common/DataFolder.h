#pragma once
// The all-users data folder of the product (ProgramData\Merrowind IT\Ironlatch), which holds the
// hash lists the filter module trusts. Only Administrators and SYSTEM may create or change files
// there; every user may read them. Windows' default rights on ProgramData would let any user
// create the folder first, or plant files in it.
#include <string>

namespace DataFolder {

// The folder, without a trailing backslash, from the system (not from %programdata%, which the
// caller's environment can point anywhere). Empty when Windows does not say.
std::wstring Path();

// The access the folder and its parent are given: owner (and group) Administrators; Administrators and SYSTEM
// full control, Users read and list, inherited by everything created inside; nothing inherited
// from above.
extern const wchar_t kRights[];

// Creates the data folder (Path(), or the one given, which lies where the caller's environment
// puts it) and its parent when missing and sets those rights on both, resetting the files already
// inside to the inherited rights with Administrators as owner. True when the rights of both
// folders were set. Needs an elevated caller.
bool Secure(const std::wstring& folder);

}  // namespace DataFolder
