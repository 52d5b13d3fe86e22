#include "common/HashListText.h"

#include <algorithm>

namespace HashListText {

namespace {

constexpr DWORD kReadChunk = 1 << 20;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

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

std::string_view Body(std::string_view text) {
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
  return text;
}

std::string_view EntryOf(std::string_view line) {
  size_t first = 0, last = line.size();
  while (first < last && IsBlank(line[first])) ++first;
  while (last > first && IsBlank(line[last - 1])) --last;
  const std::string_view entry = line.substr(first, last - first);
  return !entry.empty() && entry[0] == ';' ? std::string_view() : entry;
}

std::string_view LineAround(std::string_view body, size_t first, size_t last) {
  const size_t before = first == 0 ? std::string_view::npos : body.rfind('\n', first - 1);
  const size_t start = before == std::string_view::npos ? 0 : before + 1;
  const size_t end = body.find('\n', last);
  return body.substr(start, (end == std::string_view::npos ? body.size() : end) - start);
}

bool IsEntryFor(std::string_view entry, std::string_view upperDigest) {
  if (upperDigest.empty() || entry.size() != upperDigest.size()) return false;
  for (size_t i = 0; i < entry.size(); ++i)
    if (Upper(entry[i]) != upperDigest[i]) return false;
  return true;
}

bool AnyEntry(std::string_view text) {
  return !ForEachEntry(text, [](std::string_view) { return false; });
}

bool ToDigest(std::string_view entry, uint8_t* bytes, size_t size) {
  if (entry.size() != 2 * size) return false;
  for (size_t i = 0; i < size; ++i) {
    const int high = HexValue(entry[2 * i]), low = HexValue(entry[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

}  // namespace HashListText
