#pragma once
// The list index: the four hash lists in one binary file, so that the filter module finds a digest
// with a binary search over a mapped view instead of reading and walking megabytes of text at
// every launch. The elevated writers make it whenever they place lists; the text lists stay what
// an administrator reads and writes, and the index stands for them only while each list's stamp
// (present or not, size, last write) is the one it recorded.
//
// Layout, little-endian: a header (magic, format, header size, generation, time of building, the
// definitions version, per list its stamp, whether it has entries at all and its digest count, and
// the version file's stamp), then each list's digests as raw bytes, sorted and without repeats, in
// the order of List.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace HashListIndex {

// The four lists, in the order the module weighs them within each kind.
enum class List : int { DefinitionsMd5, DefinitionsSha256, UserMd5, UserSha256 };
inline constexpr int kListCount = 4;
inline constexpr List kLists[kListCount] = {List::DefinitionsMd5, List::DefinitionsSha256, List::UserMd5,
                                            List::UserSha256};
constexpr int IndexOf(List list) { return static_cast<int>(list); }

// The list's text file name (in the folder that holds the lists) and the bytes of one digest.
const wchar_t* FileName(List list);
uint32_t DigestBytes(List list);

// What the index records of a text list, read without opening it: a holder's share mode does not
// hide it.
struct Stamp {
  bool present = false;
  uint64_t size = 0;
  uint64_t lastWrite = 0;  // FILETIME
  bool operator==(const Stamp& other) const {
    return present == other.present && size == other.size && lastWrite == other.lastWrite;
  }
  bool operator!=(const Stamp& other) const { return !(*this == other); }
};
// False when the file's facts cannot be read (a missing file is a stamp, not a failure).
bool ReadStamp(const std::wstring& path, Stamp& stamp);

// One list's digests, sorted raw bytes of width bytes each.
struct Digests {
  const uint8_t* data = nullptr;
  uint32_t count = 0;
  uint32_t width = 0;
  bool Holds(const uint8_t* digest) const;
};

// One list as the builder takes it in: its digest entries and whether any line was an entry.
// Entries that are no digest of the list's kind can name no file and are left out, but they
// still count for hasEntries: a list that has them is no empty list.
struct ListContent {
  bool hasEntries = false;
  std::vector<uint8_t> digests;  // sorted, no repeats, DigestBytes each
};
ListContent ParseText(std::string_view text, List list);
ListContent FromDigests(const Digests& digests, bool hasEntries);

struct Contents {
  uint64_t generation = 0;
  std::optional<int64_t> definitionsVersion;
  Stamp versionFile;  // of the version file the version stands for
  Stamp stamps[kListCount];
  ListContent lists[kListCount];
};
// The index file's bytes.
std::string Build(const Contents& contents);

// A checked view of an index's bytes, which it does not own.
class View {
 public:
  // False when the bytes are no index of this format: magic, format, header size and the size
  // the counts give must all agree.
  bool Attach(const void* bytes, uint64_t size);
  uint64_t Generation() const;
  std::optional<int64_t> DefinitionsVersion() const;
  Stamp StampOf(List list) const;
  Stamp VersionFileStamp() const;
  bool HasEntries(List list) const;
  Digests DigestsOf(List list) const;
  // The header bytes: two indexes with the same header are the same index.
  std::string_view Header() const;
  std::string_view Bytes() const;

 private:
  const uint8_t* bytes_ = nullptr;
  uint64_t size_ = 0;
};

}  // namespace HashListIndex
