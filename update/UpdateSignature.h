#pragma once
// The check every update download passes before anything of it is used: a detached RSA signature
// (PKCS #1 v1.5 over SHA-256, as "openssl dgst -sha256 -sign" writes it) published beside the file
// under the file's name and ".sig", made with the maker's private key. The maker's public key is
// built into the program (see README, "Signed updates"); a key shorter than 3072 bits is refused.
#include <string>

namespace UpdateSignature {

// The name of a file's signature: the file's URL, FTP name or path with ".sig".
std::wstring SignatureName(const std::wstring& name);

// True when signature is the maker's signature of data.
bool Verify(const std::string& data, const std::string& signature);

// True when signatureFile holds the maker's signature of file. The file is hashed in chunks, held
// open with writers shut out meanwhile; the caller keeps both where no user can write.
bool VerifyFile(const std::wstring& file, const std::wstring& signatureFile);

}  // namespace UpdateSignature
