#include "notify/modBase85.h"

namespace modBase85 {

// The first padded character is always "a": with a first key digit of 0-3, 8 or 9 the stored text can
// never start with "<", which the decoder would take for a broken "<~" opening.
const std::wstring kScrambleKey = L"2718281";

namespace {

std::string ToBytes(const std::wstring& text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (wchar_t c : text) bytes += static_cast<char>(c <= 0xFF ? c : L'?');
  return bytes;
}

std::wstring FromBytes(const std::string& bytes) {
  std::wstring text;
  text.reserve(bytes.size());
  for (char c : bytes) text += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return text;
}

// A character beyond 8 bits cannot stand for a digit: it makes the decode fail, as code 127 up does.
std::string ToDigitBytes(const std::wstring& text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (wchar_t c : text) bytes += static_cast<char>(c <= 0xFF ? c : 0xFF);
  return bytes;
}

// Character i (from 1) meets key character ((i - 1) mod key length) + 1.
void XorWithKey(std::string& bytes, const std::wstring& key) {
  if (key.empty()) return;
  const std::string k = ToBytes(key);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(bytes[i] ^ k[i % k.size()]);
}

}  // namespace

std::wstring ScrambleString(const std::wstring& text, const std::wstring& key) {
  std::string bytes = ToBytes(L"a" + text + L"a");
  XorWithKey(bytes, key);
  return FromBytes(Ascii85Encode(bytes));
}

bool UnscrambleString(const std::wstring& stored, const std::wstring& key, std::wstring& password) {
  std::string bytes;
  if (!Ascii85Decode(ToDigitBytes(stored), bytes)) bytes.clear();
  if (bytes.size() < 2) return false;
  XorWithKey(bytes, key);
  password = FromBytes(bytes.substr(1, bytes.size() - 2));
  return true;
}

void Ascii85EncodeGroup(uint32_t n, std::string& out) {
  char digits[5];
  for (int i = 4; i >= 0; --i) {
    digits[i] = static_cast<char>(n % 85 + 33);
    n /= 85;
  }
  out.append(digits, 5);
}

std::string Ascii85Encode(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() / 4 * 5 + 7);
  size_t i = 0;
  for (; i + 4 <= bytes.size(); i += 4) {
    uint32_t n = 0;
    for (size_t j = 0; j < 4; ++j) n = (n << 8) | static_cast<unsigned char>(bytes[i + j]);
    if (n == 0) out += 'z';
    else Ascii85EncodeGroup(n, out);
  }
  if (const size_t k = bytes.size() - i; k > 0) {
    uint32_t n = 0;
    for (size_t j = 0; j < 4; ++j) n = (n << 8) | (j < k ? static_cast<unsigned char>(bytes[i + j]) : 0u);
    std::string group;
    Ascii85EncodeGroup(n, group);
    out.append(group, 0, k + 1);
  }
  return out + "~>";
}

bool Ascii85Decode(const std::string& text, std::string& bytes) {
  bytes.clear();
  size_t start = 0;
  if (!text.empty() && text[0] == '<') {
    if (text.size() < 2 || text[1] != '~') return false;
    start = 2;
  }
  // First pass: check the text and count the digits up to the closing.
  size_t digits = 0, end = std::string::npos;
  for (size_t i = start; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= '!' && c <= 'u') {
      ++digits;
    } else if (c == 'z') {
      if (digits % 5 != 0) return false;
      digits += 5;
    } else if (c == '~') {
      if (i + 1 >= text.size() || text[i + 1] != '>') return false;
      end = i;
      break;
    } else if (c > 'u') {
      return false;
    }
  }
  if (end == std::string::npos) return false;

  // Second pass: convert.
  const size_t rest = digits % 5;
  std::string out;
  out.reserve(digits / 5 * 4 + 3);
  uint64_t n = 0;
  size_t inGroup = 0;
  auto flush = [&](size_t keep) {
    const uint32_t v = static_cast<uint32_t>(n);  // modulo 2^32, as overlong groups wrap
    const char group[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    out.append(group, keep);
    n = 0;
    inGroup = 0;
  };
  for (size_t i = start; i < end; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == 'z') {
      out.append(4, '\0');
    } else if (c >= '!' && c <= 'u') {
      n = n * 85 + (c - 33);
      if (++inGroup == 5) flush(4);
    }
  }
  if (rest >= 2) {
    while (inGroup < 5) n = n * 85 + 84, ++inGroup;
    flush(rest - 1);
  }
  bytes = std::move(out);
  return true;
}

std::wstring Ascii85EncodeString(const std::wstring& text) { return FromBytes(Ascii85Encode(ToBytes(text))); }

bool Ascii85DecodeString(const std::wstring& text, std::wstring& decoded) {
  std::string bytes;
  const bool ok = Ascii85Decode(ToDigitBytes(text), bytes);
  decoded = FromBytes(bytes);
  return ok;
}

}  // namespace modBase85
