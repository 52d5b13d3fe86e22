#include "filtermod/HashListFile.h"

#include <algorithm>
#include <functional>

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

// Readers share with everybody, so that no reader can keep the definitions update, the list
// editor or another filter module from a list.
HANDLE OpenShared(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

DWORD ReadWhole(HANDLE file, std::string& text) {
  LARGE_INTEGER size = {};
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0) text.reserve(static_cast<size_t>(size.QuadPart));
  for (;;) {
    const size_t at = text.size();
    text.resize(at + kReadChunk);
    DWORD got = 0;
    if (!ReadFile(file, text.data() + at, kReadChunk, &got, nullptr)) return GetLastError();
    text.resize(at + got);
    if (got == 0) return ERROR_SUCCESS;
  }
}

void ToUpper(std::string& text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

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
  std::string text;
  lastError_ = ReadWhole(file.get(), text);
  if (lastError_ != ERROR_SUCCESS) return ReadResult::Unreadable;
  ToUpper(text);
  hasEntries_ = AnyEntry(text);
  text_ = std::move(text);
  return ReadResult::Read;
}

void Entries::Clear() {
  text_.clear();
  hasEntries_ = false;
  lastError_ = 0;
}

bool Entries::Holds(std::string_view digest) const {
  if (digest.empty() || !hasEntries_) return false;
  const std::string_view text = text_;
  const std::boyer_moore_horspool_searcher searcher(digest.begin(), digest.end());
  for (auto at = text.begin();;) {
    const auto hit = std::search(at, text.end(), searcher);
    if (hit == text.end()) return false;
    const size_t first = static_cast<size_t>(hit - text.begin());
    if (IsWholeLine(text, first, first + digest.size())) return true;
    at = hit + 1;
  }
}

}  // namespace HashListFile
