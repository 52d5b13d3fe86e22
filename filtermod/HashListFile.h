#pragma once
// A hash list: a plain text file, one hexadecimal digest a line. Lines end in CR LF or LF; a
// UTF-8 byte-order mark is skipped; each line counts trimmed of blanks and tabs and upper-cased;
// empty lines and lines beginning with ";" are left out. Order has no meaning.
#include <string>
#include <string_view>
#include <vector>

namespace HashListFile {

// The entries of one list, as views into its text read whole: no allocation per line, so a
// list of 100,000 lines is ready in a few milliseconds.
class Entries {
 public:
  // Reads the whole file in one pass. False, with the entries left as they were, when it cannot be read.
  bool Read(const std::wstring& path);
  void Clear();
  bool Empty() const { return entries_.empty(); }
  size_t Size() const { return entries_.size(); }
  // Whether an entry equals the upper-case digest text.
  bool Holds(std::string_view digest) const;

 private:
  std::vector<char> text_;
  std::vector<std::string_view> entries_;
};

}  // namespace HashListFile
