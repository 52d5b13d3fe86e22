#pragma once
// The hash lists (definitions and the user's own) and the check of a launched file against them.
#include <string>

#include "filtermod/HashListFile.h"

namespace modEXEScan {

extern HashListFile::Entries ExecFilterMd5Hashes;
extern HashListFile::Entries ExecFilterSha256Hashes;
extern HashListFile::Entries UserExecFilterMd5Hashes;
extern HashListFile::Entries UserExecFilterSha256Hashes;

// Upper-case hex digests; "" when the file cannot be hashed.
std::wstring GetFileMD5(const std::wstring& path);
std::wstring GetFileSHA256(const std::wstring& path);

// Fills the four sets from the list files that exist (a missing list is an empty one).
void LoadHashLists();

// True when the file at path matches a list entry and must not start; the alert names it as
// shownPath. silent: no message box (the alert mail still goes out). No digest is computed when every list is empty; when both kinds of list
// hold entries, both digests come from one read of the file.
bool CheckHashRules(const std::wstring& path, const std::wstring& shownPath, bool silent);

}  // namespace modEXEScan
