#pragma once
// Owners for CryptoAPI handles and certificates, in the manner of Handle.h.
#include <windows.h>
#include <wincrypt.h>

#include "platform/Handle.h"

namespace platform {

struct CryptProviderTraits {
  static HCRYPTPROV Invalid() { return 0; }
  static bool IsValid(HCRYPTPROV p) { return p != 0; }
  static BOOL Close(HCRYPTPROV p) { return CryptReleaseContext(p, 0); }
};
struct CryptKeyTraits {
  static HCRYPTKEY Invalid() { return 0; }
  static bool IsValid(HCRYPTKEY k) { return k != 0; }
  static BOOL Close(HCRYPTKEY k) { return CryptDestroyKey(k); }
};
struct CryptHashTraits {
  static HCRYPTHASH Invalid() { return 0; }
  static bool IsValid(HCRYPTHASH h) { return h != 0; }
  static BOOL Close(HCRYPTHASH h) { return CryptDestroyHash(h); }
};
struct CertContextTraits {
  static PCCERT_CONTEXT Invalid() { return nullptr; }
  static bool IsValid(PCCERT_CONTEXT c) { return c != nullptr; }
  static BOOL Close(PCCERT_CONTEXT c) { return CertFreeCertificateContext(c); }
};
struct CertChainTraits {
  static PCCERT_CHAIN_CONTEXT Invalid() { return nullptr; }
  static bool IsValid(PCCERT_CHAIN_CONTEXT c) { return c != nullptr; }
  static void Close(PCCERT_CHAIN_CONTEXT c) { CertFreeCertificateChain(c); }
};
struct CertStoreTraits {  // closed without force: a context taken from the store stays usable
  static HCERTSTORE Invalid() { return nullptr; }
  static bool IsValid(HCERTSTORE s) { return s != nullptr; }
  static BOOL Close(HCERTSTORE s) { return CertCloseStore(s, 0); }
};
using UniqueCryptProvider = UniqueHandle<HCRYPTPROV, CryptProviderTraits>;
using UniqueCryptKey = UniqueHandle<HCRYPTKEY, CryptKeyTraits>;
using UniqueCryptHash = UniqueHandle<HCRYPTHASH, CryptHashTraits>;
using UniqueCertContext = UniqueHandle<PCCERT_CONTEXT, CertContextTraits>;
using UniqueCertChain = UniqueHandle<PCCERT_CHAIN_CONTEXT, CertChainTraits>;
using UniqueCertStore = UniqueHandle<HCERTSTORE, CertStoreTraits>;

// A blob that CryptProtectData or CryptUnprotectData hands out: wiped, for it may hold a clear
// text, and freed with LocalFree, exactly once. The call fills it through put().
class WipedDataBlob {
 public:
  WipedDataBlob() = default;
  ~WipedDataBlob() { reset(); }
  WipedDataBlob(const WipedDataBlob&) = delete;
  WipedDataBlob& operator=(const WipedDataBlob&) = delete;
  DATA_BLOB* put() {
    reset();
    return &blob_;
  }
  const BYTE* data() const { return blob_.pbData; }
  DWORD size() const { return blob_.cbData; }

 private:
  void reset() {
    if (!blob_.pbData) return;
    SecureZeroMemory(blob_.pbData, blob_.cbData);
    LocalMemTraits::Close(blob_.pbData);
    blob_ = {};
  }
  DATA_BLOB blob_{};
};

// CALG_SHA_256, which the headers show only to builds for newer Windows.
inline constexpr ALG_ID kCryptSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;

}  // namespace platform
