#pragma once
// File digests over the CryptoAPI: one object per digest. Failures come back as numbered errors
// (number, source, description) instead of being thrown.
#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/CryptHandle.h"

struct HashError {
  uint32_t number = 0;  // 0: no error
  std::wstring source;
  std::wstring description;
};

class clsHash {
 public:
  static constexpr uint32_t kErrAcquire = 0x8004C352;
  static constexpr uint32_t kErrCreate = 0x8004C332;
  static constexpr uint32_t kErrHashData = 0x8004C312;
  static constexpr uint32_t kErrHashSize = 0x8004C322;
  static constexpr uint32_t kErrHashValue = 0x8004C324;
  static constexpr uint32_t kErrNoFile = 0x8004C342;

  clsHash();  // acquires the provider; a failure is kept in Error()
  clsHash(const clsHash&) = delete;
  clsHash& operator=(const clsHash&) = delete;

  // The digest of the whole file as upper-case hex; "" with Error() set on failure.
  std::wstring HashFile(const std::wstring& Filename, ALG_ID eHash);
  // Several digests from one read of the file, in the order of the algorithms; empty on failure.
  std::vector<std::wstring> HashFileAll(const std::wstring& Filename, const std::vector<ALG_ID>& algorithms);
  // The same for a file the caller holds open for reading, read from its start; the handle stays
  // the caller's. Two or more digests are computed side by side, one thread each, over the same
  // blocks of one read.
  std::vector<std::wstring> HashOpenFile(HANDLE file, const std::vector<ALG_ID>& algorithms);
  const HashError& Error() const { return error_; }

 private:
  bool CreateHash(ALG_ID algorithm);
  bool HashBlock(HCRYPTHASH hash, const BYTE* data, DWORD size);
  bool HashBlocks(HANDLE file);
  std::wstring GetHashValue(HCRYPTHASH hash);
  void Fail(uint32_t number, const std::wstring& source, const std::wstring& description);

  platform::UniqueCryptProvider provider_;
  std::vector<platform::UniqueCryptHash> hashes_;  // one per algorithm of the file being read
  HashError error_;
};
