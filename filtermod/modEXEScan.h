#pragma once
// The hash lists (definitions and the user's own) and the check of a launched file against them.
#include <string>

#include "filtermod/HashListFile.h"
#include "filtermod/HeldFile.h"

namespace modEXEScan {

extern HashListFile::Entries ExecFilterMd5Hashes;
extern HashListFile::Entries ExecFilterSha256Hashes;
extern HashListFile::Entries UserExecFilterMd5Hashes;
extern HashListFile::Entries UserExecFilterSha256Hashes;

// Upper-case hex digests; "" when the file cannot be hashed.
std::wstring GetFileMD5(const std::wstring& path);
std::wstring GetFileSHA256(const std::wstring& path);

// Fills the four sets: from the list index's current generation when it stands for the text
// lists as they are (each list's stamp is the one it recorded), else from the list files, where a
// missing list is an empty one. When another program holds the index or a list open without
// sharing, this user's copy of the index last used is taken at once (and an entry says so); with
// none, the held file is waited for a while. "" when the lists were read, else why they could not
// be (a list nobody can read checks nothing, so the caller must not go on as if it were empty).
std::wstring LoadHashLists();

// True when the file must not start: it matches a list entry, or the check could not be made (a
// list that exists but cannot be read, a file that cannot be opened or hashed, no CryptoAPI).
// Either way the user is told unless silent (the file named as shownPath), and a failed check
// is logged with its cause. No digest is computed when every list is empty; when both kinds of
// list hold entries, both digests come from one read of the file.
// When the file was hashed it is left open in held: nobody can change, replace or delete it, or
// move its folders, while held lives, so keep it until the program has started.
// The file is bound to the path it is started by (HeldFile); one that cannot be bound is a check
// that could not be made.
bool CheckHashRules(const std::wstring& path, const std::wstring& shownPath, bool silent, HeldFile& held);

// Blocks a file whose check could not be made, or cannot be held to what would start: the box
// (unless silent or under SYSTEM) names the file as shown, the entry and the debug log the cause.
void ReportFailedCheck(const std::wstring& path, const std::wstring& shownPath, bool silent, const std::wstring& cause);

}  // namespace modEXEScan
