#pragma once
// The text form of one part of a debug line: texts as they are, numbers in decimal,
// truth values as "True" / "False".
#include <concepts>
#include <string>

#include "common/Variant.h"

inline std::wstring DebugText(const std::wstring& text) { return text; }
inline std::wstring DebugText(const wchar_t* text) { return text ? std::wstring(text) : std::wstring(); }
inline std::wstring DebugText(bool truth) { return truth ? L"True" : L"False"; }
inline std::wstring DebugText(const Variant& value) { return value.Text(); }
template <std::integral Number>
  requires(!std::same_as<Number, bool> && !std::same_as<Number, wchar_t>)
std::wstring DebugText(Number number) {
  return std::to_wstring(number);
}
inline std::wstring DebugText(double number) {
  std::wstring text = std::to_wstring(number);
  if (text.find(L'.') != std::wstring::npos) {
    while (!text.empty() && text.back() == L'0') text.pop_back();
    if (!text.empty() && text.back() == L'.') text.pop_back();
  }
  return text;
}
