#pragma once
// Owners for CryptoAPI handles, in the manner of Handle.h.
#include <windows.h>
#include <wincrypt.h>

#include "platform/Handle.h"

namespace platform {

struct CryptProviderTraits {
  static HCRYPTPROV Invalid() { return 0; }
  static bool IsValid(HCRYPTPROV p) { return p != 0; }
  static void Close(HCRYPTPROV p) { CryptReleaseContext(p, 0); }
};
struct CryptKeyTraits {
  static HCRYPTKEY Invalid() { return 0; }
  static bool IsValid(HCRYPTKEY k) { return k != 0; }
  static void Close(HCRYPTKEY k) { CryptDestroyKey(k); }
};
struct CryptHashTraits {
  static HCRYPTHASH Invalid() { return 0; }
  static bool IsValid(HCRYPTHASH h) { return h != 0; }
  static void Close(HCRYPTHASH h) { CryptDestroyHash(h); }
};
using UniqueCryptProvider = UniqueHandle<HCRYPTPROV, CryptProviderTraits>;
using UniqueCryptKey = UniqueHandle<HCRYPTKEY, CryptKeyTraits>;
using UniqueCryptHash = UniqueHandle<HCRYPTHASH, CryptHashTraits>;

// CALG_SHA_256, which the headers show only to builds for newer Windows.
inline constexpr ALG_ID kCryptSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;

}  // namespace platform
