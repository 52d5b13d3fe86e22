#pragma once
// A value of variable type, as settings travel through the registry layer: nothing, a text,
// a 32-bit number, a 16-bit number or a truth value.
#include <cstdint>
#include <string>
#include <variant>

class Variant {
 public:
  Variant() = default;
  Variant(const wchar_t* text) : value_(std::wstring(text)) {}
  Variant(std::wstring text) : value_(std::move(text)) {}
  Variant(int32_t number) : value_(number) {}
  Variant(int16_t number) : value_(number) {}
  Variant(bool truth) : value_(truth) {}

  bool IsEmpty() const { return std::holds_alternative<std::monostate>(value_); }
  bool IsText() const { return std::holds_alternative<std::wstring>(value_); }
  bool IsLong() const { return std::holds_alternative<int32_t>(value_); }
  bool IsInteger() const { return std::holds_alternative<int16_t>(value_); }
  bool IsBool() const { return std::holds_alternative<bool>(value_); }

  // The text form: numbers in decimal, truth values as "True" / "False", nothing as "".
  std::wstring Text() const;

  // The value as a 32-bit signed number; false when it is not one (text that is no whole number,
  // or a number outside the 32-bit range). Empty counts as 0, True as -1.
  bool ToLong(int32_t& number) const;

  bool operator==(const Variant& other) const = default;

 private:
  std::variant<std::monostate, std::wstring, int32_t, int16_t, bool> value_;
};
