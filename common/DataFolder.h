#pragma once
// The rights of the product's all-users data folder (Product::DataFolder()), which holds the
// hash lists the filter module trusts. Only Administrators and SYSTEM may create or change files
// there; every user may read them. Windows' default rights on ProgramData would let any user
// create the folder first, or plant files in it.
#include <string>

namespace DataFolder {

// The access the folder and its parent are given: owner (and group) Administrators; Administrators and SYSTEM
// full control, Users read and list, inherited by everything created inside; nothing inherited
// from above.
extern const wchar_t kRights[];

// Creates the data folder (Product::DataFolder()) and its parent when missing and sets those rights on both, resetting the files already
// inside to the inherited rights with Administrators as owner. True when the rights of both
// folders were set. Needs an elevated caller.
bool Secure(const std::wstring& folder);

}  // namespace DataFolder
