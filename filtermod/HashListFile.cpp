#include "filtermod/HashListFile.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/Handle.h"

namespace HashListFile {

namespace {

constexpr DWORD kReadChunk = 1 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

bool ReadWhole(const std::wstring& path, std::vector<char>& text) {
  platform::UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  LARGE_INTEGER size = {};
  if (GetFileSizeEx(file.get(), &size) && size.QuadPart > 0) text.reserve(static_cast<size_t>(size.QuadPart));
  for (;;) {
    const size_t at = text.size();
    text.resize(at + kReadChunk);
    DWORD got = 0;
    if (!ReadFile(file.get(), text.data() + at, kReadChunk, &got, nullptr)) return false;
    text.resize(at + got);
    if (got == 0) return true;
  }
}

}  // namespace

bool Entries::Read(const std::wstring& path) {
  std::vector<char> text;
  if (!ReadWhole(path, text)) return false;
  std::vector<std::string_view> entries;
  char* at = text.data();
  char* const end = at + text.size();
  if (text.size() >= 3 && std::memcmp(at, "\xEF\xBB\xBF", 3) == 0) at += 3;
  while (at < end) {
    char* lineEnd = static_cast<char*>(std::memchr(at, '\n', end - at));
    if (!lineEnd) lineEnd = end;
    char* first = at;
    char* last = lineEnd;
    at = lineEnd + 1;
    while (first < last && IsBlank(*first)) ++first;
    while (last > first && IsBlank(last[-1])) --last;
    if (first == last || *first == ';') continue;
    for (char* c = first; c < last; ++c)
      if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
    entries.emplace_back(first, static_cast<size_t>(last - first));
  }
  // The views point into the text; a moved vector keeps its buffer.
  text_ = std::move(text);
  entries_ = std::move(entries);
  return true;
}

void Entries::Clear() {
  entries_.clear();
  text_.clear();
}

bool Entries::Holds(std::string_view digest) const {
  return !digest.empty() && std::find(entries_.begin(), entries_.end(), digest) != entries_.end();
}

}  // namespace HashListFile
