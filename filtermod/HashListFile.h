#pragma once
// One hash list as the filter module weighs a digest against it: read from its text file
// (common/HashListText.h gives the rule), or taken from the list index's sorted digests.
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "common/HashListIndex.h"

namespace HashListFile {

// How a list's file was found. A list that is not there is an empty list; one that is there but
// cannot be read decides nothing, and the caller must not take it for empty. Held: another
// program holds it open without sharing.
enum class ReadResult { Read, Missing, Held, Unreadable };

// A list held without sharing (an editor saving it, a copy in progress, or somebody shutting the
// check off) is tried again for about a second in all before the check is given up.
inline constexpr int kSharingRetries = 20;
inline constexpr DWORD kSharingRetryMs = 50;

// One list's entries. From text, lines are not split up front: a digest is searched, without
// regard to case, in the whole text, and each place it is found counts only when its line holds
// the digest as its one entry. From the index, a binary search over digests that stay where the
// index lies (the index must outlive the entries).
class Entries {
 public:
  // Reads the whole file in one pass; on anything but Read the entries are empty and LastError()
  // tells the Windows error. With waitForHolder, a file held without sharing is tried again for a
  // short while first.
  ReadResult Read(const std::wstring& path, bool waitForHolder);
  void UseIndex(const HashListIndex::Digests& digests, bool hasEntries);
  void Clear();
  // True when no line is an entry (every line empty or a comment).
  bool Empty() const { return !hasEntries_; }
  DWORD LastError() const { return lastError_; }
  // Whether an entry equals the upper-case digest text.
  bool Holds(std::string_view digest) const;

 private:
  bool TextHolds(std::string_view digest) const;

  std::unique_ptr<char[]> text_;
  size_t size_ = 0;
  HashListIndex::Digests indexed_;
  bool fromIndex_ = false;
  bool hasEntries_ = false;
  DWORD lastError_ = 0;
};

}  // namespace HashListFile
