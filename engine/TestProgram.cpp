#include "engine/TestProgram.h"

#include <algorithm>
#include <vector>

namespace {

std::wstring WithError(const std::wstring& text) { return text + L" (error " + std::to_wstring(GetLastError()) + L")"; }

// The whole file, read through the handle: exactly size bytes equal to bytes.
bool HoldsExactly(HANDLE file, const BYTE* bytes, DWORD size) {
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  std::vector<BYTE> read(size + 1);
  DWORD got = 0;
  return ReadFile(file, read.data(), size + 1, &got, nullptr) && got == size &&
         std::equal(read.begin(), read.begin() + size, bytes);
}

}  // namespace

bool TestProgram::Write(const std::wstring& folder, const std::wstring& fileName, const BYTE* bytes, DWORD size,
                        std::wstring& refusal) {
  Remove();
  if (!folders_.Hold(folder, refusal)) return false;
  path_ = folder + L"\\" + fileName;
  SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!DeleteFileW(path_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
    return Refuse(refusal, WithError(L"cannot delete the older " + path_), false);

  // CREATE_NEW: a file that appeared since the delete is someone else's and is not used.
  platform::UniqueFileHandle writer(
      CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!writer) return Refuse(refusal, WithError(L"cannot create " + path_), false);
  DWORD written = 0;
  if (!WriteFile(writer.get(), bytes, size, &written, nullptr) || written != size)
    return Refuse(refusal, WithError(L"cannot write " + path_), true);
  // The writer's access would keep Windows from starting the file, so the file passes to a handle
  // that only reads and lets others only read. The bridge between them shares no deletion, so the
  // file cannot be swapped while the one hands over to the other.
  platform::UniqueFileHandle bridge(
      CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!bridge) return Refuse(refusal, WithError(L"cannot reopen " + path_), true);
  writer.reset();
  file_.reset(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  bridge.reset();
  // Another writer that got in before the hold keeps it from being taken, or left other bytes.
  if (!file_) return Refuse(refusal, WithError(L"cannot hold " + path_), true);
  if (!HoldsExactly(file_.get(), bytes, size))
    return Refuse(refusal, path_ + L" does not hold what was written", true);
  return true;
}

bool TestProgram::Refuse(std::wstring& refusal, const std::wstring& reason, bool created) {
  refusal = reason;
  if (created) {
    file_.reset();
    DeleteFileW(path_.c_str());  // the folders are still held: it is the file just made
  }
  file_.reset();
  folders_.Release();
  path_.clear();
  return false;
}

bool TestProgram::Remove() {
  if (path_.empty()) return true;
  file_.reset();
  bool removed = false;
  for (int attempt = 0; attempt < 20 && !removed; ++attempt) {
    removed = DeleteFileW(path_.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    if (!removed) Sleep(100);
  }
  folders_.Release();
  path_.clear();
  return removed;
}
