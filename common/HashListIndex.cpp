#include "common/HashListIndex.h"

#include <algorithm>
#include <cstring>

#include "common/HashListText.h"
#include "common/Product.h"

namespace HashListIndex {

namespace {

constexpr char kMagic[8] = {'H', 'L', 'I', 'N', 'D', 'E', 'X', '\x1A'};
constexpr uint32_t kFormat = 1;
constexpr int64_t kNoVersion = -1;

#pragma pack(push, 1)
struct ListHeader {
  uint64_t size;
  uint64_t lastWrite;
  uint32_t present;
  uint32_t hasEntries;
  uint32_t count;
  uint32_t reserved;
};
struct IndexHeader {
  char magic[8];
  uint32_t format;
  uint32_t headerSize;
  uint64_t generation;
  uint64_t builtAt;
  int64_t definitionsVersion;
  ListHeader lists[kListCount];
  // The version file's stamp: while another program holds that file, the version above stands
  // for it only as long as the file is the one recorded.
  uint64_t versionFileSize;
  uint64_t versionFileLastWrite;
  uint32_t versionFilePresent;
  uint32_t reserved;
};
#pragma pack(pop)
static_assert(sizeof(IndexHeader) == 192, "the header's layout is the file's");

const IndexHeader& HeaderOf(const uint8_t* bytes) { return *reinterpret_cast<const IndexHeader*>(bytes); }

}  // namespace

const wchar_t* FileName(List list) {
  switch (list) {
    case List::DefinitionsMd5: return Product::kDefinitionsMd5List;
    case List::DefinitionsSha256: return Product::kDefinitionsSha256List;
    case List::UserMd5: return Product::kUserMd5List;
    case List::UserSha256: return Product::kUserSha256List;
  }
  return L"";
}

uint32_t DigestBytes(List list) { return list == List::DefinitionsMd5 || list == List::UserMd5 ? 16 : 32; }

bool ReadStamp(const std::wstring& path, Stamp& stamp) {
  stamp = Stamp{};
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  stamp.present = true;
  stamp.size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  stamp.lastWrite = static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
  return true;
}

bool Digests::Holds(const uint8_t* digest) const {
  size_t low = 0, high = count;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    const int order = std::memcmp(data + middle * width, digest, width);
    if (order == 0) return true;
    if (order < 0)
      low = middle + 1;
    else
      high = middle;
  }
  return false;
}

namespace {

// Sorts fixed-width records and drops repeats.
void SortUnique(std::vector<uint8_t>& bytes, uint32_t width) {
  const size_t count = bytes.size() / width;
  std::vector<uint32_t> order(count);
  for (uint32_t i = 0; i < count; ++i) order[i] = i;
  const auto at = [&](uint32_t i) { return bytes.data() + static_cast<size_t>(i) * width; };
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return std::memcmp(at(a), at(b), width) < 0; });
  std::vector<uint8_t> sorted;
  sorted.reserve(bytes.size());
  for (size_t i = 0; i < count; ++i) {
    if (i > 0 && std::memcmp(at(order[i]), at(order[i - 1]), width) == 0) continue;
    sorted.insert(sorted.end(), at(order[i]), at(order[i]) + width);
  }
  bytes = std::move(sorted);
}

}  // namespace

ListContent ParseText(std::string_view text, List list) {
  ListContent content;
  const uint32_t width = DigestBytes(list);
  uint8_t digest[32];
  HashListText::ForEachEntry(text, [&](std::string_view entry) {
    content.hasEntries = true;
    if (HashListText::ToDigest(entry, digest, width)) content.digests.insert(content.digests.end(), digest, digest + width);
    return true;
  });
  SortUnique(content.digests, width);
  return content;
}

ListContent FromDigests(const Digests& digests, bool hasEntries) {
  ListContent content;
  content.hasEntries = hasEntries;
  content.digests.assign(digests.data, digests.data + static_cast<size_t>(digests.count) * digests.width);
  return content;
}

std::string Build(const Contents& contents) {
  IndexHeader header = {};
  std::memcpy(header.magic, kMagic, sizeof kMagic);
  header.format = kFormat;
  header.headerSize = sizeof(IndexHeader);
  header.generation = contents.generation;
  FILETIME now = {};
  GetSystemTimeAsFileTime(&now);
  header.builtAt = static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
  header.definitionsVersion = contents.definitionsVersion ? *contents.definitionsVersion : kNoVersion;
  header.versionFileSize = contents.versionFile.size;
  header.versionFileLastWrite = contents.versionFile.lastWrite;
  header.versionFilePresent = contents.versionFile.present ? 1 : 0;
  size_t total = sizeof(IndexHeader);
  for (const List list : kLists) {
    const int i = IndexOf(list);
    ListHeader& entry = header.lists[i];
    entry.size = contents.stamps[i].size;
    entry.lastWrite = contents.stamps[i].lastWrite;
    entry.present = contents.stamps[i].present ? 1 : 0;
    entry.hasEntries = contents.lists[i].hasEntries || !contents.lists[i].digests.empty() ? 1 : 0;
    entry.count = static_cast<uint32_t>(contents.lists[i].digests.size() / DigestBytes(list));
    total += contents.lists[i].digests.size();
  }
  std::string bytes;
  bytes.reserve(total);
  bytes.append(reinterpret_cast<const char*>(&header), sizeof header);
  for (const ListContent& content : contents.lists)
    bytes.append(reinterpret_cast<const char*>(content.digests.data()), content.digests.size());
  return bytes;
}

bool View::Attach(const void* bytes, uint64_t size) {
  bytes_ = nullptr;
  size_ = 0;
  if (!bytes || size < sizeof(IndexHeader)) return false;
  const auto* raw = static_cast<const uint8_t*>(bytes);
  const IndexHeader& header = HeaderOf(raw);
  if (std::memcmp(header.magic, kMagic, sizeof kMagic) != 0 || header.format != kFormat ||
      header.headerSize != sizeof(IndexHeader) || header.definitionsVersion < kNoVersion ||
      header.versionFilePresent > 1)
    return false;
  uint64_t total = sizeof(IndexHeader);
  for (const List list : kLists) {
    const ListHeader& entry = header.lists[IndexOf(list)];
    if (entry.present > 1 || entry.hasEntries > 1 || (entry.count > 0 && !entry.hasEntries)) return false;
    total += static_cast<uint64_t>(entry.count) * DigestBytes(list);  // at most 2^32 * 32: no overflow
  }
  if (total != size) return false;
  bytes_ = raw;
  size_ = size;
  return true;
}

uint64_t View::Generation() const { return HeaderOf(bytes_).generation; }

std::optional<int64_t> View::DefinitionsVersion() const {
  const int64_t version = HeaderOf(bytes_).definitionsVersion;
  return version == kNoVersion ? std::nullopt : std::optional<int64_t>(version);
}

Stamp View::StampOf(List list) const {
  const ListHeader& entry = HeaderOf(bytes_).lists[IndexOf(list)];
  Stamp stamp;
  stamp.present = entry.present != 0;
  stamp.size = entry.size;
  stamp.lastWrite = entry.lastWrite;
  return stamp;
}

Stamp View::VersionFileStamp() const {
  const IndexHeader& header = HeaderOf(bytes_);
  Stamp stamp;
  stamp.present = header.versionFilePresent != 0;
  stamp.size = header.versionFileSize;
  stamp.lastWrite = header.versionFileLastWrite;
  return stamp;
}

bool View::HasEntries(List list) const { return HeaderOf(bytes_).lists[IndexOf(list)].hasEntries != 0; }

Digests View::DigestsOf(List list) const {
  const IndexHeader& header = HeaderOf(bytes_);
  size_t offset = sizeof(IndexHeader);
  for (int i = 0; i < IndexOf(list); ++i) offset += static_cast<size_t>(header.lists[i].count) * DigestBytes(kLists[i]);
  return {bytes_ + offset, header.lists[IndexOf(list)].count, DigestBytes(list)};
}

std::string_view View::Header() const { return {reinterpret_cast<const char*>(bytes_), sizeof(IndexHeader)}; }

std::string_view View::Bytes() const { return {reinterpret_cast<const char*>(bytes_), static_cast<size_t>(size_)}; }

}  // namespace HashListIndex
