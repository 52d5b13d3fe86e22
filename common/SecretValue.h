#pragma once
// A secret kept in the registry where no standard user can read it: a binary value, protected
// with DPAPI at machine scope, under an HKLM key whose rights are Administrators' and SYSTEM's
// alone, not inherited. A hive exported or backed up does not carry the secret in the clear.
#include <string>

namespace SecretValue {

// The rights the key is given each time a secret is written: owned by Administrators, full
// control for SYSTEM and Administrators, nothing for anyone else, protected from what its parent
// would pass on.
inline constexpr wchar_t kRights[] = L"O:BAD:P(A;OICI;KA;;;SY)(A;OICI;KA;;;BA)";

// Creates the key (64-bit view) or takes it over, gives it kRights, then stores the secret.
// False when any step fails; the rights are set before any byte of the secret is written.
bool Write(const std::wstring& keyPath, const std::wstring& valueName, const std::wstring& secret);

enum class ReadResult { Found, Missing, Unreadable };
// Missing: no key or no value. Unreadable: refused (a standard user), or a value that does not
// decrypt on this machine; secret is then left as it was.
ReadResult Read(const std::wstring& keyPath, const std::wstring& valueName, std::wstring& secret);

}  // namespace SecretValue
