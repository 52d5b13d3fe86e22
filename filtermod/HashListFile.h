#pragma once
// A hash list: a plain text file, one hexadecimal digest a line. Lines end in CR LF or LF; a
// UTF-8 byte-order mark is skipped; each line counts trimmed of blanks and tabs and upper-cased;
// empty lines and lines beginning with ";" are left out. Order has no meaning.
#include <string>
#include <unordered_set>

namespace HashListFile {

using Entries = std::unordered_set<std::string>;

// Reads the whole file in one pass. False, with entries untouched, when it cannot be read.
bool Read(const std::wstring& path, Entries& entries);

}  // namespace HashListFile
