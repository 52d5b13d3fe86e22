#include "filtermod/clsHash.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "common/CommonModule.h"
#include "platform/CryptHandle.h"
#include "platform/Handle.h"

namespace {

// One reused buffer: memory stays the same whatever the file's size. Large enough that handing a
// block to the second thread costs nothing beside hashing it.
constexpr DWORD kBlockSize = 1 << 20;

std::wstring SystemError() { return std::to_wstring(GetLastError()); }

// Hashes each block it is handed on a thread of its own, while the caller hashes the same block
// with another digest. The call gives back the Windows error of a failed hash, 0 when it went well.
class BlockWorker {
 public:
  using HashCall = std::function<DWORD(const BYTE*, DWORD)>;
  explicit BlockWorker(HashCall hash) : hash_(std::move(hash)), thread_([this] { Run(); }) {}
  ~BlockWorker() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  BlockWorker(const BlockWorker&) = delete;
  BlockWorker& operator=(const BlockWorker&) = delete;

  void Start(const BYTE* data, DWORD size) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      data_ = data;
      size_ = size;
      pending_ = true;
    }
    changed_.notify_all();
  }
  // Waits until the block handed over is hashed; its error, 0 when none.
  DWORD Finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !pending_; });
    return error_;
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return pending_ || stop_; });
      if (!pending_) return;
      const BYTE* data = data_;
      const DWORD size = size_;
      lock.unlock();
      const DWORD error = hash_(data, size);
      lock.lock();
      error_ = error;
      pending_ = false;
      changed_.notify_all();
    }
  }

  HashCall hash_;
  std::mutex mutex_;
  std::condition_variable changed_;
  const BYTE* data_ = nullptr;
  DWORD size_ = 0;
  bool pending_ = false;
  bool stop_ = false;
  DWORD error_ = 0;
  std::thread thread_;  // last: it starts once everything above is set up
};

DWORD HashData(HCRYPTHASH hash, const BYTE* data, DWORD size) {
  return CryptHashData(hash, data, size, 0) ? 0 : GetLastError();
}

}  // namespace

clsHash::clsHash() {
  if (!CryptAcquireContextW(provider_.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    provider_.release();  // whatever a failed call left there, no provider is taken for one
    Fail(kErrAcquire, L"clsHash.Class_Initialize", L"Failed to obtain access to CryptoAPI, system error " + SystemError());
  }
}

void clsHash::Fail(uint32_t number, const std::wstring& source, const std::wstring& description) {
  error_ = {number, source, description};
  CommonModule::DPrint(L"clsHash: error", source, description);
}

bool clsHash::CreateHash(ALG_ID algorithm) {
  platform::UniqueCryptHash hash;
  if (!CryptCreateHash(provider_.get(), algorithm, 0, 0, hash.put())) {
    Fail(kErrCreate, L"clsHash", L"Failed to create CryptoAPI Hash object, system error " + SystemError());
    return false;
  }
  hashes_.push_back(std::move(hash));
  return true;
}

bool clsHash::HashBlock(HCRYPTHASH hash, const BYTE* data, DWORD size) {
  const DWORD error = HashData(hash, data, size);
  if (error) Fail(kErrHashData, L"clsHash", L"Failed to hash data block, system error " + std::to_wstring(error));
  return error == 0;
}

bool clsHash::HashBlocks(HANDLE file) {
  // The first digest on this thread, the others on the worker, over the same block; while the
  // worker is still at a block, this thread reads the next one into the other buffer.
  std::optional<BlockWorker> worker;
  if (hashes_.size() > 1)
    worker.emplace([this](const BYTE* data, DWORD size) {
      for (size_t i = 1; i < hashes_.size(); ++i)
        if (const DWORD error = HashData(hashes_[i].get(), data, size)) return error;
      return DWORD{0};
    });
  const auto readFailed = [this](DWORD error) {
    Fail(kErrHashData, L"clsHash", L"Failed to hash data block, system error " + std::to_wstring(error));
    return false;
  };
  std::vector<BYTE> buffers[2] = {std::vector<BYTE>(kBlockSize), std::vector<BYTE>(kBlockSize)};
  size_t current = 0;
  DWORD read = 0;
  if (!ReadFile(file, buffers[current].data(), kBlockSize, &read, nullptr)) return readFailed(GetLastError());
  while (read > 0) {
    const BYTE* block = buffers[current].data();
    if (worker) worker->Start(block, read);
    const bool mine = HashBlock(hashes_[0].get(), block, read);
    DWORD next = 0;
    const bool readOk = ReadFile(file, buffers[1 - current].data(), kBlockSize, &next, nullptr) != FALSE;
    const DWORD readError = readOk ? 0 : GetLastError();
    const DWORD theirs = worker ? worker->Finish() : 0;
    if (!mine) return false;
    if (!readOk) return readFailed(readError);
    if (theirs) return readFailed(theirs);
    current = 1 - current;
    read = next;
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
  return HashOpenFile(file.get(), algorithms);
}

std::vector<std::wstring> clsHash::HashOpenFile(HANDLE file, const std::vector<ALG_ID>& algorithms) {
  if (!provider_) return {};  // the constructor recorded why
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
    Fail(kErrHashData, L"clsHash", L"Failed to hash data block, system error " + SystemError());
    return {};
  }
  hashes_.clear();
  for (const ALG_ID algorithm : algorithms)
    if (!CreateHash(algorithm)) return {};
  if (hashes_.empty() || !HashBlocks(file)) {
    hashes_.clear();
    return {};
  }
  std::vector<std::wstring> digests;
  for (const platform::UniqueCryptHash& hash : hashes_) {
    digests.push_back(GetHashValue(hash.get()));
    if (digests.back().empty()) {
      digests.clear();
      break;
    }
  }
  hashes_.clear();
  return digests;
}
