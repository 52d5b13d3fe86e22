#pragma once
// The SHA-256 digest of a file, read in pieces through CryptoAPI.
#include <string>

namespace platform {

// The digest in lower-case hexadecimal (64 characters); "" when the file cannot be read or hashed.
std::wstring Sha256OfFile(const std::wstring& path);

}  // namespace platform
