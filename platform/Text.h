#pragma once
// Text conversions and the few text rules the programs share (VB-style: case-insensitive
// comparison by upper-casing, trimming of blanks only, decimal numbers without blanks).
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

std::string ToAnsi(const std::wstring& text);       // system ANSI code page
std::wstring FromAnsi(const std::string& text);
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

std::wstring Lower(std::wstring text);
std::wstring Upper(std::wstring text);

// Removes blanks (character 32 only) at both ends, at the start or at the end.
std::wstring Trim(const std::wstring& text);
std::wstring TrimLeft(const std::wstring& text);
std::wstring TrimRight(const std::wstring& text);

std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& delimiter);
bool StartsWith(const std::wstring& text, const std::wstring& prefix);
bool EndsWith(const std::wstring& text, const std::wstring& suffix);
bool Contains(const std::wstring& text, const std::wstring& part);
// Every occurrence of what replaced by with (case-sensitive).
std::wstring ReplaceAll(const std::wstring& text, const std::wstring& what, const std::wstring& with);
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);

// Parses a whole decimal number (optional sign, blanks around allowed); false when the text is not one.
bool ParseInt64(const std::wstring& text, int64_t& value);

// The value of an environment variable, empty when unset.
std::wstring GetEnv(const std::wstring& name);

// Text of a Windows error code, without the trailing line break.
std::wstring ErrorText(unsigned long code);

}  // namespace platform
