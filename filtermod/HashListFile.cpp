#include "filtermod/HashListFile.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "common/HashListText.h"
#include "platform/Handle.h"

namespace HashListFile {

namespace {

// Other readers, and a replacement by rename, are let in. A writer is not: a list read while it is
// rewritten in place could lack the very line that names a file, and a writer waits the few
// milliseconds of a read far better than a listed program may start.
HANDLE OpenShared(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

ReadResult Entries::Read(const std::wstring& path, bool waitForHolder) {
  Clear();
  platform::UniqueFileHandle file(OpenShared(path));
  for (int retry = 0; waitForHolder && !file && GetLastError() == ERROR_SHARING_VIOLATION && retry < kSharingRetries;
       ++retry) {
    Sleep(kSharingRetryMs);
    file.reset(OpenShared(path));
  }
  if (!file) {
    lastError_ = GetLastError();
    if (lastError_ == ERROR_FILE_NOT_FOUND || lastError_ == ERROR_PATH_NOT_FOUND) return ReadResult::Missing;
    return lastError_ == ERROR_SHARING_VIOLATION ? ReadResult::Held : ReadResult::Unreadable;
  }
  std::unique_ptr<char[]> text;
  size_t size = 0;
  lastError_ = HashListText::ReadWhole(file.get(), text, size);
  if (lastError_ != ERROR_SUCCESS) return ReadResult::Unreadable;
  text_ = std::move(text);
  size_ = size;
  hasEntries_ = HashListText::AnyEntry(std::string_view(text_.get(), size_));
  return ReadResult::Read;
}

void Entries::UseIndex(const HashListIndex::Digests& digests, bool hasEntries) {
  Clear();
  indexed_ = digests;
  fromIndex_ = true;
  hasEntries_ = hasEntries;
}

void Entries::Clear() {
  text_.reset();
  size_ = 0;
  indexed_ = {};
  fromIndex_ = false;
  hasEntries_ = false;
  lastError_ = 0;
}

bool Entries::Holds(std::string_view digest) const {
  if (digest.empty() || !hasEntries_) return false;
  if (!fromIndex_) return TextHolds(digest);
  // A digest text of another kind, or no digest at all, names no entry.
  uint8_t bytes[32];
  if (indexed_.width > sizeof bytes || !HashListText::ToDigest(digest, bytes, indexed_.width)) return false;
  return indexed_.Holds(bytes);
}

bool Entries::TextHolds(std::string_view digest) const {
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
  const std::string_view body = HashListText::Body(std::string_view(text_.get(), size_));
  for (size_t at = 0; at + m <= body.size(); at += shift[static_cast<unsigned char>(body[at + m - 1])]) {
    if (Upper(body[at + m - 1]) != digest[m - 1]) continue;
    size_t i = 0;
    while (i + 1 < m && Upper(body[at + i]) == digest[i]) ++i;
    if (i + 1 == m && HashListText::IsEntryFor(HashListText::EntryOf(HashListText::LineAround(body, at, at + m)), digest))
      return true;
  }
  return false;
}

}  // namespace HashListFile
