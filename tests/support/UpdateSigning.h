#pragma once
// Signing update files as the maker does (scripts/sign-update.sh), with the build's own key pair,
// a second key the programs do not know, or the right key over the wrong digest.
#include <string>

namespace testsupport {

enum class Signer {
  Maker,        // the build's key pair, SHA-256: what the programs accept
  ForeignKey,   // another 3072-bit key, SHA-256
  MakerSha1,    // the build's key pair over SHA-1
};

// The signature of bytes in the order openssl writes it; "" when signing failed.
std::string Signature(const std::string& bytes, Signer signer = Signer::Maker);
// Writes path & ".sig", the signature of the file as it stands.
bool SignFile(const std::wstring& path, Signer signer = Signer::Maker);

}  // namespace testsupport
