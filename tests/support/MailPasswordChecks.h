#pragma once
// Where the mail password may be found, as a user would look: the protected value decrypted, the
// rights of its key put to a standard user's token, and every value under the maker's key that
// such a user may read searched for the password in any form given.
#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// The protected value decrypted with DPAPI; false when it is missing or does not decrypt.
bool StoredMailPassword(std::wstring& password);

// The protected key's rights: not inherited, nothing for a standard user, full control for an
// administrator (GoogleTest expectations).
void ExpectPasswordKeyClosedToUsers();

// The bytes a text may be kept as: UTF-16 and UTF-8 (which is also its ANSI form when ASCII).
std::vector<std::string> TextForms(const std::wstring& text);

// No value (its name or data) of any key under the maker's key that a standard user may query
// holds one of the forms (GoogleTest expectations).
void ExpectNoUserReadableValueHolds(const std::vector<std::string>& forms);

}  // namespace testsupport
