// Placing files into the data folder (or, before Vista, the program folder), all or nothing and
// each with the folder's inherited rights.
#include <windows.h>

#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "common/DataFolder.h"
#include "platform/Handle.h"

namespace DataFolder {

namespace {

const wchar_t kStagedSuffix[] = L".new";
const wchar_t kBackupSuffix[] = L".old";

void Fail(const std::wstring& what, const std::wstring& path) {
  CommonModule::DPrint(L"DataFolder\\PlaceFiles: ", what + path, static_cast<uint32_t>(GetLastError()));
}

// Moves the source in beside its target and gives it the file rights there, checked. A move keeps
// a file's own rights, so they are always set after it.
bool Stage(const Placement& file) {
  const std::wstring staged = file.second + kStagedSuffix;
  DeleteFileW(staged.c_str());
  if (!MoveFileExW(file.first.c_str(), staged.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
    Fail(L"- Cannot move in ", staged);
    return false;
  }
  platform::UniqueFileHandle handle = OpenUnfollowed(staged, FILE_SHARE_READ);
  Facts facts;
  if (!handle || !ReadFacts(handle.get(), facts) ||
      (facts.attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
      !GiveRights(handle.get(), file.second, kFileRights, true)) {
    Fail(L"- No rights on ", staged);
    return false;
  }
  return true;
}

// A target another program holds without sharing its deletion cannot be replaced: found before
// anything changes. The old content gets a second name, from which a failed step restores it.
bool KeepOld(const std::wstring& target, bool& kept) {
  kept = false;
  const std::wstring backup = target + kBackupSuffix;
  DeleteFileW(backup.c_str());
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  // Windows refuses to replace a read-only file, Wine does not: refused here on both.
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    Fail(L"- Read-only: ", target);
    return false;
  }
  platform::UniqueFileHandle probe(CreateFileW(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                               nullptr));
  if (!probe) {
    Fail(L"- In use: ", target);
    return false;
  }
  probe.reset();
  if (!CreateHardLinkW(backup.c_str(), target.c_str(), nullptr) &&
      !CopyFileW(target.c_str(), backup.c_str(), FALSE)) {
    Fail(L"- Cannot keep ", target);
    return false;
  }
  kept = true;
  return true;
}

}  // namespace

bool PlaceFiles(const std::vector<Placement>& files) {
  std::vector<bool> kept(files.size(), false);
  size_t placed = 0;
  bool ok = true;
  for (size_t i = 0; ok && i < files.size(); ++i) ok = Stage(files[i]);
  for (size_t i = 0; ok && i < files.size(); ++i) {
    bool k = false;
    ok = KeepOld(files[i].second, k);
    kept[i] = k;
  }
  for (; ok && placed < files.size(); ++placed) {
    const std::wstring& target = files[placed].second;
    if (!MoveFileExW((target + kStagedSuffix).c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      Fail(L"- Cannot place ", target);
      ok = false;
      break;
    }
  }
  if (!ok) {
    // Every target back as it was.
    for (size_t i = 0; i < placed; ++i) {
      const std::wstring& target = files[i].second;
      if (kept[i] ? !MoveFileExW((target + kBackupSuffix).c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)
                  : !DeleteFileW(target.c_str()))
        Fail(L"- Cannot restore ", target);
    }
  }
  for (const Placement& file : files) {
    DeleteFileW((file.second + kStagedSuffix).c_str());
    DeleteFileW((file.second + kBackupSuffix).c_str());
  }
  return ok;
}

}  // namespace DataFolder
