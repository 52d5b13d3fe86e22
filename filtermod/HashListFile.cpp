#include "filtermod/HashListFile.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "platform/Handle.h"

namespace HashListFile {

namespace {

constexpr DWORD kReadChunk = 1 << 20;
// A list held without sharing (an editor saving it, a copy in progress, or somebody shutting the
// check off) is tried again for about a second in all before the check is given up.
constexpr int kSharingRetries = 20;
constexpr DWORD kSharingRetryMs = 50;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Other readers, and a replacement by rename, are let in. A writer is not: a list read while it is
// rewritten in place could lack the very line that names a file, and a writer waits the few
// milliseconds of a read far better than a listed program may start.
HANDLE OpenShared(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// The whole file into a buffer that is not filled first; a file that grows while it is read is
// read on to its end.
DWORD ReadWhole(HANDLE file, std::unique_ptr<char[]>& text, size_t& size) {
  LARGE_INTEGER fileSize = {};
  if (!GetFileSizeEx(file, &fileSize)) return GetLastError();
  size_t capacity = static_cast<size_t>(fileSize.QuadPart) + 1;
  text.reset(new char[capacity]);
  size = 0;
  for (;;) {
    if (size == capacity) {
      std::unique_ptr<char[]> grown(new char[capacity + kReadChunk]);
      std::copy(text.get(), text.get() + size, grown.get());
      text = std::move(grown);
      capacity += kReadChunk;
    }
    const DWORD want = static_cast<DWORD>(std::min<size_t>(capacity - size, kReadChunk));
    DWORD got = 0;
    if (!ReadFile(file, text.get() + size, want, &got, nullptr)) return GetLastError();
    if (got == 0) return ERROR_SUCCESS;
    size += got;
  }
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The line around [first, last) trimmed is exactly that range: only blanks before it back to the
// line's start (or the byte-order mark that opens the file), only blanks after it to the line's end.
bool IsWholeLine(std::string_view text, size_t first, size_t last) {
  size_t start = first;
  while (start > 0 && text[start - 1] != '\n' && IsBlank(text[start - 1])) --start;
  const bool atLineStart = start == 0 || text[start - 1] == '\n' ||
                           (start == kByteOrderMark.size() && text.substr(0, start) == kByteOrderMark);
  if (!atLineStart) return false;
  size_t end = last;
  while (end < text.size() && text[end] != '\n' && IsBlank(text[end])) ++end;
  return end == text.size() || text[end] == '\n';
}

// Whether any line, trimmed, is neither empty nor a comment.
bool AnyEntry(std::string_view text) {
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
  bool lineStart = true;
  for (const char c : text) {
    if (c == '\n') {
      lineStart = true;
    } else if (lineStart && !IsBlank(c)) {
      if (c != ';') return true;
      lineStart = false;
    }
  }
  return false;
}

}  // namespace

ReadResult Entries::Read(const std::wstring& path) {
  Clear();
  platform::UniqueFileHandle file(OpenShared(path));
  for (int retry = 0; !file && GetLastError() == ERROR_SHARING_VIOLATION && retry < kSharingRetries; ++retry) {
    Sleep(kSharingRetryMs);
    file.reset(OpenShared(path));
  }
  if (!file) {
    lastError_ = GetLastError();
    return lastError_ == ERROR_FILE_NOT_FOUND || lastError_ == ERROR_PATH_NOT_FOUND ? ReadResult::Missing
                                                                                     : ReadResult::Unreadable;
  }
  std::unique_ptr<char[]> text;
  size_t size = 0;
  lastError_ = ReadWhole(file.get(), text, size);
  if (lastError_ != ERROR_SUCCESS) return ReadResult::Unreadable;
  text_ = std::move(text);
  size_ = size;
  hasEntries_ = AnyEntry(std::string_view(text_.get(), size_));
  return ReadResult::Read;
}

void Entries::Clear() {
  text_.reset();
  size_ = 0;
  hasEntries_ = false;
  lastError_ = 0;
}

bool Entries::Holds(std::string_view digest) const {
  if (digest.empty() || !hasEntries_) return false;
  // Boyer-Moore-Horspool over the text as it lies, each byte compared upper-cased: no copy and no
  // pass over the text before the search.
  const size_t m = digest.size();
  size_t shift[256];
  std::fill(std::begin(shift), std::end(shift), m);
  for (size_t i = 0; i + 1 < m; ++i) {
    const auto c = static_cast<unsigned char>(digest[i]);
    shift[c] = m - 1 - i;
    if (c >= 'A' && c <= 'Z') shift[c - 'A' + 'a'] = m - 1 - i;
  }
  const std::string_view text(text_.get(), size_);
  for (size_t at = 0; at + m <= text.size(); at += shift[static_cast<unsigned char>(text[at + m - 1])]) {
    if (Upper(text[at + m - 1]) != digest[m - 1]) continue;
    size_t i = 0;
    while (i + 1 < m && Upper(text[at + i]) == digest[i]) ++i;
    if (i + 1 == m && IsWholeLine(text, at, at + m)) return true;
  }
  return false;
}

}  // namespace HashListFile
