#pragma once
// A hash list: a plain text file, one hexadecimal digest a line. Lines end in CR LF or LF; a
// UTF-8 byte-order mark is skipped; each line counts trimmed of blanks and tabs and upper-cased;
// empty lines and lines beginning with ";" are left out. Order has no meaning.
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace HashListFile {

// How a list's file was found. A list that is not there is an empty list; one that is there but
// cannot be read decides nothing, and the caller must not take it for empty.
enum class ReadResult { Read, Missing, Unreadable };

// One list's text read whole. Lines are not split up front: a digest is searched, without regard
// to case, in the whole text, and each place it is found counts only when its line, trimmed, is the
// digest and nothing else. A list of 100,000 lines costs a read and one search.
class Entries {
 public:
  // Reads the whole file in one pass. A file held open by another program without sharing is
  // tried again for a short while. On Missing and Unreadable the entries are empty and
  // LastError() tells the Windows error.
  ReadResult Read(const std::wstring& path);
  void Clear();
  // True when no line is an entry (every line empty or a comment).
  bool Empty() const { return !hasEntries_; }
  DWORD LastError() const { return lastError_; }
  // Whether an entry equals the upper-case digest text.
  bool Holds(std::string_view digest) const;

 private:
  std::unique_ptr<char[]> text_;
  size_t size_ = 0;
  bool hasEntries_ = false;
  DWORD lastError_ = 0;
};

}  // namespace HashListFile
