#include "platform/FileDigest.h"

#include <vector>

#include "platform/CryptHandle.h"

namespace platform {

namespace {

constexpr DWORD kSha256Bytes = 32;
constexpr DWORD kPieceBytes = 1 << 16;

}  // namespace

std::wstring Sha256OfFile(const std::wstring& path) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {};
  UniqueCryptProvider provider;
  if (!CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
    return {};
  UniqueCryptHash digest;
  if (!CryptCreateHash(provider.get(), kCryptSha256, 0, 0, digest.put())) return {};
  std::vector<BYTE> piece(kPieceBytes);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), piece.data(), kPieceBytes, &got, nullptr)) return {};
    if (got == 0) break;
    if (!CryptHashData(digest.get(), piece.data(), got, 0)) return {};
  }
  BYTE value[kSha256Bytes] = {};
  DWORD size = kSha256Bytes;
  if (!CryptGetHashParam(digest.get(), HP_HASHVAL, value, &size, 0) || size != kSha256Bytes) return {};
  static const wchar_t kHex[] = L"0123456789abcdef";
  std::wstring text;
  for (BYTE b : value) {
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text;
}

}  // namespace platform
