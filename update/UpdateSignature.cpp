#include "update/UpdateSignature.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "common/CommonModule.h"
#include "platform/CryptHandle.h"
#include "update/MakerPublicKey.h"

namespace UpdateSignature {

namespace {

constexpr DWORD kShortestKeyBits = 3072;
// Longer than the signature of any key in use.
constexpr LONGLONG kLongestSignature = 4096;
constexpr size_t kChunk = 64 * 1024;

using platform::kCryptSha256;
using UniqueProvider = platform::UniqueCryptProvider;
using UniqueKey = platform::UniqueCryptKey;
using UniqueHash = platform::UniqueCryptHash;

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

// A signature is small: read whole, refused when longer than any key's.
bool ReadSignature(const std::wstring& path, std::string& bytes) {
  platform::UniqueFileHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart > kLongestSignature) return false;
  bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  return ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) && got == bytes.size();
}

bool HashBytes(HCRYPTHASH hash, const char* bytes, size_t count) {
  for (size_t done = 0; done < count;) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - done, kChunk));
    if (!CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes + done), chunk, 0)) {
      Log(L"- Hashing failed, error ");
      return false;
    }
    done += chunk;
  }
  return true;
}

// The one check behind both entries: feed puts the signed bytes into the hash.
bool VerifyHashed(const std::string& signature, const std::function<bool(HCRYPTHASH)>& feed) {
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
  if (!CryptCreateHash(provider.get(), kCryptSha256, 0, 0, hash.put())) {
    Log(L"- No SHA-256, error ");
    return false;
  }
  if (!feed(hash.get())) return false;
  // CryptoAPI takes the signature's bytes least significant first.
  std::string reversed(signature.rbegin(), signature.rend());
  if (!CryptVerifySignatureW(hash.get(), reinterpret_cast<const BYTE*>(reversed.data()),
                             static_cast<DWORD>(reversed.size()), key.get(), nullptr, 0)) {
    Log(L"- The signature does not match, error ");
    return false;
  }
  return true;
}

}  // namespace

std::wstring SignatureName(const std::wstring& name) { return name + L".sig"; }

bool Verify(const std::string& data, const std::string& signature) {
  return VerifyHashed(signature, [&](HCRYPTHASH hash) { return HashBytes(hash, data.data(), data.size()); });
}

bool VerifyFile(const std::wstring& file, const std::wstring& signatureFile) {
  std::string signature;
  // Opened once and held with writers shut out, so that the bytes hashed are the file as it stands.
  platform::UniqueFileHandle data(
      CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!data || !ReadSignature(signatureFile, signature)) {
    CommonModule::DPrint(L"UpdateSignature\\VerifyFile: ", L"- Cannot read ", file, signatureFile);
    return false;
  }
  // In chunks: a package is never held in memory whole.
  const bool valid = VerifyHashed(signature, [&](HCRYPTHASH hash) {
    std::vector<char> buffer(kChunk);
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(data.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
        Log(L"- Cannot read the file, error ");
        return false;
      }
      if (got == 0) return true;
      if (!HashBytes(hash, buffer.data(), got)) return false;
    }
  });
  CommonModule::DPrint(L"UpdateSignature\\VerifyFile: ", file, valid ? L"- signed by the maker" : L"- NOT signed by the maker");
  return valid;
}

}  // namespace UpdateSignature
