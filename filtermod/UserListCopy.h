#pragma once
// The list index this user's filter module last used whole, kept per user in a folder of the
// user's local application data that only this user, Administrators and SYSTEM can open. When
// another program holds the shared lists open without sharing, the module uses it at once: a
// holder can then keep no user who launched a file before from the lists they had. A user can
// change their own copy, which touches only their own launches (as their own HKCU file classes
// already could).
#include <string>

#include "common/HashListIndex.h"
#include "common/HashListIndexFile.h"

namespace UserListCopy {

// Where the copy lies; "" when Windows names no local application data folder for this user.
std::wstring Path();

// Makes the copy the index that was checked, from its bytes as mapped (never from its path): a
// copy with the same header is that index already and is left. Failures only cost the copy.
void Refresh(const HashListIndex::View& checked);

// Opens the copy, judged for what it is, its header and size checked. False when there is no
// copy to use: none, or a damaged one.
bool Open(HashListIndex::MappedIndex& copy);

}  // namespace UserListCopy
