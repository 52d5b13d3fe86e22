#include "platform/Text.h"

#include <windows.h>

#include <cwctype>

#include "platform/Handle.h"

namespace platform {

namespace {

std::string Narrow(const std::wstring& text, UINT codePage) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring Widen(const std::string& text, UINT codePage) {
  if (text.empty()) return {};
  int size = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

}  // namespace

std::string ToAnsi(const std::wstring& text) { return Narrow(text, CP_ACP); }
std::wstring FromAnsi(const std::string& text) { return Widen(text, CP_ACP); }
std::string ToUtf8(const std::wstring& text) { return Narrow(text, CP_UTF8); }
std::wstring FromUtf8(const std::string& text) { return Widen(text, CP_UTF8); }

std::wstring Lower(std::wstring text) {
  if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

std::wstring Upper(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

std::wstring TrimLeft(const std::wstring& text) {
  size_t first = text.find_first_not_of(L' ');
  return first == std::wstring::npos ? std::wstring() : text.substr(first);
}

std::wstring TrimRight(const std::wstring& text) {
  size_t last = text.find_last_not_of(L' ');
  return last == std::wstring::npos ? std::wstring() : text.substr(0, last + 1);
}

std::wstring Trim(const std::wstring& text) { return TrimLeft(TrimRight(text)); }

std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& delimiter) {
  std::vector<std::wstring> parts;
  if (delimiter.empty()) {
    parts.push_back(text);
    return parts;
  }
  size_t start = 0;
  for (;;) {
    size_t at = text.find(delimiter, start);
    if (at == std::wstring::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, at - start));
    start = at + delimiter.size();
  }
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::wstring& text, const std::wstring& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

std::wstring ReplaceAll(const std::wstring& text, const std::wstring& what, const std::wstring& with) {
  if (what.empty()) return text;
  std::wstring out;
  size_t start = 0;
  for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, start)) {
    out.append(text, start, at - start);
    out += with;
    start = at + what.size();
  }
  out.append(text, start, std::wstring::npos);
  return out;
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) { return Upper(a) == Upper(b); }

bool ParseInt64(const std::wstring& text, int64_t& value) {
  std::wstring t = Trim(text);
  if (t.empty()) return false;
  size_t i = 0;
  bool negative = false;
  if (t[0] == L'-' || t[0] == L'+') {
    negative = t[0] == L'-';
    i = 1;
  }
  if (i >= t.size()) return false;
  uint64_t magnitude = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < L'0' || t[i] > L'9') return false;
    magnitude = magnitude * 10 + static_cast<unsigned>(t[i] - L'0');
    if (magnitude > (1ULL << 63)) return false;
  }
  if (!negative && magnitude > static_cast<uint64_t>(INT64_MAX)) return false;
  value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

std::wstring GetEnv(const std::wstring& name) {
  DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  DWORD got = GetEnvironmentVariableW(name.c_str(), value.data(), size);
  value.resize(got < size ? got : 0);
  return value;
}

std::wstring ErrorText(unsigned long code) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const UniqueLocal owned(buffer);
  std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
  return text;
}

}  // namespace platform
