#include "common/Variant.h"

#include "platform/Text.h"

std::wstring Variant::Text() const {
  if (auto text = std::get_if<std::wstring>(&value_)) return *text;
  if (auto number = std::get_if<int32_t>(&value_)) return std::to_wstring(*number);
  if (auto number = std::get_if<int16_t>(&value_)) return std::to_wstring(*number);
  if (auto truth = std::get_if<bool>(&value_)) return *truth ? L"True" : L"False";
  return {};
}

bool Variant::ToLong(int32_t& number) const {
  if (auto n = std::get_if<int32_t>(&value_)) { number = *n; return true; }
  if (auto n = std::get_if<int16_t>(&value_)) { number = *n; return true; }
  if (auto truth = std::get_if<bool>(&value_)) { number = *truth ? -1 : 0; return true; }
  if (IsEmpty()) { number = 0; return true; }
  int64_t parsed = 0;
  if (!platform::ParseInt64(std::get<std::wstring>(value_), parsed)) return false;
  if (parsed < INT32_MIN || parsed > INT32_MAX) return false;
  number = static_cast<int32_t>(parsed);
  return true;
}
