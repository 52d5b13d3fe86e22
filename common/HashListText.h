#pragma once
// The text of a hash list: one hexadecimal digest a line. Lines end in CR LF or LF; a UTF-8
// byte-order mark that opens the file is skipped; each line counts trimmed of blanks and tabs; an
// empty line and a line beginning with ";" are no entry. An entry names a file when it is that
// file's digest, in either letter case, and nothing else. The filter module's text reader and the
// index builder both read a list through here, so that both find the same entries.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace HashListText {

// The whole file behind the handle, into a buffer that is not filled first; a file that grows
// while it is read is read on to its end. ERROR_SUCCESS, or the Windows error.
DWORD ReadWhole(HANDLE file, std::unique_ptr<char[]>& text, size_t& size);

// The text without the byte-order mark that may open it.
std::string_view Body(std::string_view text);

// What one line (without its line feed) holds: the line trimmed, or "" when it is empty or a comment.
std::string_view EntryOf(std::string_view line);

// The line of body that holds the bytes [first, last), without its line feed.
std::string_view LineAround(std::string_view body, size_t first, size_t last);

// Whether the entry is the digest, given as upper-case hexadecimal text.
bool IsEntryFor(std::string_view entry, std::string_view upperDigest);

// Calls visit(entry) for every entry of the text, in order, while it returns true; false when a
// visit stopped the walk.
template <typename Visit>
bool ForEachEntry(std::string_view text, Visit&& visit) {
  std::string_view body = Body(text);
  while (!body.empty()) {
    const size_t end = body.find('\n');
    const std::string_view entry = EntryOf(body.substr(0, end));
    if (!entry.empty() && !visit(entry)) return false;
    if (end == std::string_view::npos) break;
    body.remove_prefix(end + 1);
  }
  return true;
}

// Whether any line of the text is an entry.
bool AnyEntry(std::string_view text);

// The entry as the raw bytes of a digest of size bytes: true only when it is exactly 2 * size
// hexadecimal digits.
bool ToDigest(std::string_view entry, uint8_t* bytes, size_t size);

}  // namespace HashListText
