#include "filtermod/HashListFile.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/Handle.h"

namespace HashListFile {

namespace {

constexpr DWORD kReadChunk = 1 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

void Add(const char* begin, const char* end, Entries& entries) {
  while (begin < end && IsBlank(*begin)) ++begin;
  while (end > begin && IsBlank(end[-1])) --end;
  if (begin == end || *begin == ';') return;
  std::string entry(begin, end);
  for (char& c : entry)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  entries.insert(std::move(entry));
}

bool StartsWithBom(const char* at, DWORD size) {
  return size >= 3 && static_cast<unsigned char>(at[0]) == 0xEF && static_cast<unsigned char>(at[1]) == 0xBB &&
         static_cast<unsigned char>(at[2]) == 0xBF;
}

}  // namespace

bool Read(const std::wstring& path, Entries& entries) {
  platform::UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  Entries read;
  LARGE_INTEGER size = {};
  if (GetFileSizeEx(file.get(), &size) && size.QuadPart > 0) read.reserve(static_cast<size_t>(size.QuadPart / 34));
  // Lines end at LF; what follows the last LF of a chunk waits for the next chunk.
  std::string pending;
  std::vector<char> chunk(kReadChunk);
  bool first = true;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), chunk.data(), kReadChunk, &got, nullptr)) return false;
    if (got == 0) break;
    const char* at = chunk.data();
    const char* const end = at + got;
    if (first && StartsWithBom(at, got)) at += 3;
    first = false;
    for (const char* lf; (lf = static_cast<const char*>(std::memchr(at, '\n', end - at))) != nullptr; at = lf + 1) {
      if (pending.empty()) {
        Add(at, lf, read);
      } else {
        pending.append(at, lf);
        Add(pending.data(), pending.data() + pending.size(), read);
        pending.clear();
      }
    }
    pending.append(at, end);
  }
  Add(pending.data(), pending.data() + pending.size(), read);
  entries = std::move(read);
  return true;
}

}  // namespace HashListFile
