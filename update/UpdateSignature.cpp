#include "update/UpdateSignature.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdint>

#include "common/CommonModule.h"
#include "platform/Handle.h"
#include "update/MakerPublicKey.h"

namespace UpdateSignature {

namespace {

constexpr DWORD kShortestKeyBits = 3072;
// CALG_SHA_256, which the headers show only to builds for newer Windows.
constexpr ALG_ID kSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;
constexpr size_t kLargestSignedFile = 1u << 30;

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
using UniqueProvider = platform::UniqueHandle<HCRYPTPROV, CryptProviderTraits>;
using UniqueKey = platform::UniqueHandle<HCRYPTKEY, CryptKeyTraits>;
using UniqueHash = platform::UniqueHandle<HCRYPTHASH, CryptHashTraits>;

void Log(const wchar_t* what) { CommonModule::DPrint(L"UpdateSignature\\Verify: ", what, static_cast<uint32_t>(GetLastError())); }

// The maker's key from its SubjectPublicKeyInfo; 0 when it cannot be imported or is too short.
bool ImportMakerKey(HCRYPTPROV provider, UniqueKey& key) {
  CERT_PUBLIC_KEY_INFO* info = nullptr;
  DWORD infoSize = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, MakerPublicKey::kBytes,
                           static_cast<DWORD>(MakerPublicKey::kSize), CRYPT_DECODE_ALLOC_FLAG, nullptr, &info,
                           &infoSize)) {
    Log(L"- The built-in key cannot be read, error ");
    return false;
  }
  platform::UniqueLocal owner(info);
  if (!CryptImportPublicKeyInfo(provider, X509_ASN_ENCODING, info, key.put())) {
    Log(L"- The built-in key cannot be imported, error ");
    return false;
  }
  DWORD bits = 0, size = sizeof bits;
  if (!CryptGetKeyParam(key.get(), KP_KEYLEN, reinterpret_cast<BYTE*>(&bits), &size, 0) || bits < kShortestKeyBits) {
    CommonModule::DPrint(L"UpdateSignature\\Verify: ", L"- The built-in key is too short: ", bits);
    return false;
  }
  return true;
}

bool ReadWhole(const std::wstring& path, std::string& bytes) {
  platform::UniqueFileHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (!file || !GetFileSizeEx(file.get(), &size) || static_cast<ULONGLONG>(size.QuadPart) > kLargestSignedFile)
    return false;
  bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
  for (size_t done = 0; done < bytes.size();) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 16u << 20));
    if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr) || got == 0) return false;
    done += got;
  }
  return true;
}

}  // namespace

std::wstring SignatureName(const std::wstring& name) { return name + L".sig"; }

bool Verify(const std::string& data, const std::string& signature) {
  UniqueProvider provider;
  if (!CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
    Log(L"- No RSA provider, error ");
    return false;
  }
  UniqueKey key;
  if (!ImportMakerKey(provider.get(), key)) return false;
  DWORD bits = 0, size = sizeof bits;
  CryptGetKeyParam(key.get(), KP_KEYLEN, reinterpret_cast<BYTE*>(&bits), &size, 0);
  // A signature is exactly as long as the key: a short or padded one is no signature.
  if (signature.size() != bits / 8) {
    CommonModule::DPrint(L"UpdateSignature\\Verify: ", L"- A signature of the wrong length: ",
                         static_cast<uint32_t>(signature.size()));
    return false;
  }
  UniqueHash hash;
  if (!CryptCreateHash(provider.get(), kSha256, 0, 0, hash.put())) {
    Log(L"- No SHA-256, error ");
    return false;
  }
  for (size_t done = 0; done < data.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 16u << 20));
    if (!CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(data.data() + done), chunk, 0)) {
      Log(L"- Hashing failed, error ");
      return false;
    }
    done += chunk;
  }
  // CryptoAPI takes the signature's bytes least significant first.
  std::string reversed(signature.rbegin(), signature.rend());
  if (!CryptVerifySignatureW(hash.get(), reinterpret_cast<const BYTE*>(reversed.data()),
                             static_cast<DWORD>(reversed.size()), key.get(), nullptr, 0)) {
    Log(L"- The signature does not match, error ");
    return false;
  }
  return true;
}

bool VerifyFile(const std::wstring& file, const std::wstring& signatureFile) {
  std::string data, signature;
  if (!ReadWhole(file, data) || !ReadWhole(signatureFile, signature)) {
    CommonModule::DPrint(L"UpdateSignature\\VerifyFile: ", L"- Cannot read ", file, signatureFile);
    return false;
  }
  const bool valid = Verify(data, signature);
  CommonModule::DPrint(L"UpdateSignature\\VerifyFile: ", file, valid ? L"- signed by the maker" : L"- NOT signed by the maker");
  return valid;
}

}  // namespace UpdateSignature
