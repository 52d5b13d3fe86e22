#pragma once
// The stored form of the SMTP password: the text padded with an "a" at each end, XORed with a
// repeating key and written out in Ascii85 digits (no "<~" opening, closed by "~>").
// Texts go to bytes one character each: codes 0-255 stand for themselves, others become "?".
#include <cstdint>
#include <string>

namespace modBase85 {

// The key every program of the system scrambles with; passwords stored by one are read by all.
extern const std::wstring kScrambleKey;

std::wstring ScrambleString(const std::wstring& text, const std::wstring& key);
// False (and password untouched) when the stored text does not decode to at least the two padding
// characters: the caller then keeps whatever it had before.
bool UnscrambleString(const std::wstring& stored, const std::wstring& key, std::wstring& password);

// Five digits of one group N, most significant first, appended to out.
void Ascii85EncodeGroup(uint32_t n, std::string& out);
std::string Ascii85Encode(const std::string& bytes);
// False, with no bytes, when the text is not Ascii85 with its closing "~>".
bool Ascii85Decode(const std::string& text, std::string& bytes);
std::wstring Ascii85EncodeString(const std::wstring& text);
bool Ascii85DecodeString(const std::wstring& text, std::wstring& decoded);

}  // namespace modBase85
