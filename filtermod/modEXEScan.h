#pragma once
// The hash lists (definitions and the user's own) and the check of a launched file against them.
#include <string>

#include "filtermod/HashLists.h"
#include "filtermod/HeldFile.h"

namespace modEXEScan {

// Upper-case hex digests; "" when the file cannot be hashed.
std::wstring GetFileMD5(const std::wstring& path);
std::wstring GetFileSHA256(const std::wstring& path);

// Reads the four lists at paths into lists: from the list index's current generation when it
// stands for the text lists as they are (each list's stamp is the one it recorded), else from the
// list files, where a missing list is an empty one. When another program holds the index or a
// list open without sharing, this user's copy of the index last used is taken at once (and an
// entry says so); with none, the held file is waited for a while. lists.failure tells why they
// could not be read (a list nobody can read checks nothing: it is not taken for an empty one).
void LoadHashLists(const HashListPaths& paths, HashLists& lists);

// True when the file must not start: it matches an entry of lists, or the check could not be made
// (the lists could not be read, the file cannot be opened or hashed, no CryptoAPI).
// Either way the user is told unless silent (the file named as shownPath), and a failed check
// is logged with its cause. No digest is computed when every list is empty; when both kinds of
// list hold entries, both digests come from one read of the file.
// When the file was hashed it is left open in held: nobody can change, replace or delete it, or
// move its folders, while held lives, so keep it until the program has started.
// The file is bound to the path it is started by (HeldFile); one that cannot be bound is a check
// that could not be made.
bool CheckHashRules(const HashLists& lists, const std::wstring& path, const std::wstring& shownPath, bool silent,
                    HeldFile& held);

// Blocks a file whose check could not be made, or cannot be held to what would start: the box
// (unless silent or under SYSTEM) names the file as shown, the entry and the debug log the cause.
void ReportFailedCheck(const std::wstring& path, const std::wstring& shownPath, bool silent, const std::wstring& cause);

}  // namespace modEXEScan
