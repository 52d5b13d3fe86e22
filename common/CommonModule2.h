#pragma once
// User profiles and the SYSTEM account.
#include <string>

namespace CommonModule2 {

// True when the program runs as SYSTEM or in a preinstallation environment.
bool IsSystemAccount(bool showMessage);

// The text cut before its first NUL character.
std::wstring TrimNull(const std::wstring& text);

}  // namespace CommonModule2
