#pragma once
// The maker's public key for update signatures: the DER bytes of its SubjectPublicKeyInfo,
// written into the build by cmake/UpdateSigning.cmake.
#include <cstddef>

namespace MakerPublicKey {
extern const unsigned char kBytes[];
extern const size_t kSize;
}  // namespace MakerPublicKey
