#include "filtermod/clsHash.h"

#include <vector>

#include "common/CommonModule.h"
#include "platform/Handle.h"

namespace {

constexpr DWORD kBlockSize = 16384;

std::wstring SystemError() { return std::to_wstring(GetLastError()); }

}  // namespace

clsHash::clsHash() {
  if (!CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    provider_ = 0;
    Fail(kErrAcquire, L"clsHash.Class_Initialize", L"Failed to obtain access to CryptoAPI, system error " + SystemError());
  }
}

clsHash::~clsHash() {
  DestroyHash();
  if (provider_) CryptReleaseContext(provider_, 0);
}

void clsHash::Fail(uint32_t number, const std::wstring& source, const std::wstring& description) {
  error_ = {number, source, description};
  CommonModule::DPrint(L"clsHash: error", source, description);
}

void clsHash::DestroyHash() {
  for (const HCRYPTHASH hash : hashes_) CryptDestroyHash(hash);
  hashes_.clear();
}

bool clsHash::CreateHash(ALG_ID algorithm) {
  HCRYPTHASH hash = 0;
  if (!CryptCreateHash(provider_, algorithm, 0, 0, &hash)) {
    Fail(kErrCreate, L"clsHash", L"Failed to create CryptoAPI Hash object, system error " + SystemError());
    return false;
  }
  hashes_.push_back(hash);
  return true;
}

bool clsHash::HashBlock(const BYTE* data, DWORD size) {
  for (const HCRYPTHASH hash : hashes_) {
    if (!CryptHashData(hash, data, size, 0)) {
      Fail(kErrHashData, L"clsHash", L"Failed to hash data block, system error " + SystemError());
      return false;
    }
  }
  return true;
}

std::wstring clsHash::GetHashValue(HCRYPTHASH hash) {
  DWORD size = 0, sizeLength = sizeof size;
  if (!CryptGetHashParam(hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &sizeLength, 0)) {
    Fail(kErrHashSize, L"clsHash", L"Failed to obtain hash value length, system error " + SystemError());
    return L"";
  }
  std::vector<BYTE> value(size);
  if (!CryptGetHashParam(hash, HP_HASHVAL, value.data(), &size, 0)) {
    Fail(kErrHashValue, L"clsHash", L"Failed to obtain hash value, system error " + SystemError());
    return L"";
  }
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring text;
  for (DWORD i = 0; i < size; ++i) {
    text += kHex[value[i] >> 4];
    text += kHex[value[i] & 15];
  }
  return text;
}

std::wstring clsHash::HashFile(const std::wstring& Filename, ALG_ID eHash) {
  const std::vector<std::wstring> digests = HashFileAll(Filename, {eHash});
  return digests.empty() ? L"" : digests[0];
}

std::vector<std::wstring> clsHash::HashFileAll(const std::wstring& Filename, const std::vector<ALG_ID>& algorithms) {
  if (GetFileAttributesW(Filename.c_str()) == INVALID_FILE_ATTRIBUTES) {
    Fail(kErrNoFile, L"clsHash.HashFile", L"File doesn't exist");
    return {};
  }
  if (!provider_) return {};  // the constructor recorded why

  platform::UniqueFileHandle file(CreateFileW(Filename.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    Fail(kErrHashData, L"clsHash", L"Failed to hash data block, system error " + SystemError());
    return {};
  }
  DestroyHash();
  for (const ALG_ID algorithm : algorithms)
    if (!CreateHash(algorithm)) return {};

  // One reused buffer: memory stays the same whatever the file's size.
  std::vector<BYTE> buffer(kBlockSize);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer.data(), kBlockSize, &read, nullptr)) {
      Fail(kErrHashData, L"clsHash", L"Failed to hash data block, system error " + SystemError());
      return {};
    }
    if (read == 0) break;
    if (!HashBlock(buffer.data(), read)) return {};
  }
  file.reset();
  std::vector<std::wstring> digests;
  for (const HCRYPTHASH hash : hashes_) {
    digests.push_back(GetHashValue(hash));
    if (digests.back().empty()) {
      digests.clear();
      break;
    }
  }
  DestroyHash();
  return digests;
}
