#include "tests/support/UpdateSigning.h"

#include <windows.h>
#include <wincrypt.h>

#include "tests/support/TestSupport.h"

namespace testsupport {

std::string Signature(const std::string& bytes, Signer signer) {
  const std::string blob =
      ReadFileBytes(TestsDir() + (signer == Signer::ForeignKey ? L"signing\\foreign.blob" : L"signing\\maker.blob"));
  if (blob.empty()) return {};
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return {};
  std::string signature;
  HCRYPTKEY key = 0;
  HCRYPTHASH hash = 0;
  if (CryptImportKey(provider, reinterpret_cast<const BYTE*>(blob.data()), static_cast<DWORD>(blob.size()), 0, 0,
                     &key) &&
      CryptCreateHash(provider, signer == Signer::MakerSha1 ? CALG_SHA1 : (ALG_CLASS_HASH | ALG_TYPE_ANY | 12), 0, 0, &hash) &&
      CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0)) {
    // The imported pair is the context's exchange key.
    for (DWORD keySpec : {AT_KEYEXCHANGE, AT_SIGNATURE}) {
      DWORD size = 0;
      if (!CryptSignHashW(hash, keySpec, nullptr, 0, nullptr, &size)) continue;
      std::string little(size, '\0');
      if (!CryptSignHashW(hash, keySpec, nullptr, 0, reinterpret_cast<BYTE*>(little.data()), &size)) continue;
      signature.assign(little.rbegin(), little.rend());
      break;
    }
  }
  if (hash) CryptDestroyHash(hash);
  if (key) CryptDestroyKey(key);
  CryptReleaseContext(provider, 0);
  return signature;
}

bool SignFile(const std::wstring& path, Signer signer) {
  const std::string signature = Signature(ReadFileBytes(path), signer);
  return !signature.empty() && WriteTextFile(path + L".sig", signature);
}

}  // namespace testsupport
