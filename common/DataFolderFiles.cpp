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

// One file on its way in: the new content beside its target, and the old one under a second name
// from which a failed step restores it.
struct Step {
  std::wstring staged, backup;
  // The staged file, open for reading and shared for nothing but its rename: nobody else can
  // hold it open and keep it from its place.
  platform::UniqueFileHandle hold;
  bool kept = false;    // the old content has the backup name
  bool left = false;    // held by another program: left as it is
  bool placed = false;  // the new content has the target's name
};

// A name beside the target that is free to be used: the usual one, or when something keeps that
// one from being deleted (a program holding what an earlier placement left), a numbered one.
std::wstring FreeName(const std::wstring& base) {
  for (int n = 0; n < 10; ++n) {
    const std::wstring name = n == 0 ? base : base + L"." + std::to_wstring(n);
    if (DeleteFileW(name.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return name;
  }
  return base;
}

// Moves the source in beside its target and gives it the file rights there, checked. A move keeps
// a file's own rights, so they are always set after it.
bool Stage(const Placement& file, Step& step) {
  step.staged = FreeName(file.second + kStagedSuffix);
  if (!MoveFileExW(file.first.c_str(), step.staged.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
    Fail(L"- Cannot move in ", step.staged);
    return false;
  }
  // Until the rights are given it keeps those of the source (a private folder's): nobody can open
  // it before this handle does.
  step.hold.reset(CreateFileW(step.staged.c_str(),
                              GENERIC_READ | READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  Facts facts;
  if (!step.hold || !ReadFacts(step.hold.get(), facts) ||
      (facts.attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
      !GiveRights(step.hold.get(), file.second, kFileRights, true)) {
    Fail(L"- No rights on ", step.staged);
    return false;
  }
  return true;
}

// Whether another program holds the file open without sharing its deletion, which keeps it from
// being replaced.
bool HeldByAnother(const std::wstring& target) {
  platform::UniqueFileHandle probe(CreateFileW(target.c_str(), DELETE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                               nullptr));
  return !probe && GetLastError() == ERROR_SHARING_VIOLATION;
}

// A held target is found before anything changes: it fails the placement, or, when held targets
// are left as they are, it is marked so. The old content of every other one gets a second name.
bool KeepOld(const std::wstring& target, HeldTarget held, Step& step) {
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  // Windows refuses to replace a read-only file, Wine does not: refused here on both.
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    Fail(L"- Read-only: ", target);
    return false;
  }
  if (HeldByAnother(target)) {
    Fail(L"- In use: ", target);
    step.left = held == HeldTarget::LeftAsItIs;
    return step.left;
  }
  step.backup = FreeName(target + kBackupSuffix);
  if (!CreateHardLinkW(step.backup.c_str(), target.c_str(), nullptr) &&
      !CopyFileW(target.c_str(), step.backup.c_str(), FALSE)) {
    Fail(L"- Cannot keep ", target);
    return false;
  }
  step.kept = true;
  return true;
}

// Puts the new content in the target's place. A target that another program took hold of since
// it was checked (through its backup's name, say) is left as it is when that is allowed.
bool Replace(const std::wstring& target, HeldTarget held, Step& step) {
  if (MoveFileExW(step.staged.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    step.placed = true;
    step.hold.reset();
    return true;
  }
  Fail(L"- Cannot place ", target);
  if (held == HeldTarget::LeftAsItIs && HeldByAnother(target)) {
    step.left = true;
    return true;
  }
  return false;
}

}  // namespace

bool PlaceFiles(const std::vector<Placement>& files, HeldTarget held, const BeforeLettingGo& beforeLettingGo) {
  std::vector<Step> steps(files.size());
  bool ok = true;
  for (size_t i = 0; ok && i < files.size(); ++i) ok = Stage(files[i], steps[i]);
  for (size_t i = 0; ok && i < files.size(); ++i) ok = KeepOld(files[i].second, held, steps[i]);
  for (size_t i = 0; ok && i < files.size(); ++i)
    if (!steps[i].left) ok = Replace(files[i].second, held, steps[i]);
  if (ok && beforeLettingGo) {
    std::vector<bool> left;
    for (const Step& step : steps) left.push_back(step.left);
    ok = beforeLettingGo(left);
  }
  if (!ok) {
    // Every target back as it was.
    for (size_t i = 0; i < files.size(); ++i) {
      if (!steps[i].placed) continue;
      const std::wstring& target = files[i].second;
      if (steps[i].kept ? !MoveFileExW(steps[i].backup.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)
                        : !DeleteFileW(target.c_str()))
        Fail(L"- Cannot restore ", target);
    }
  }
  // A staged file is deleted while still held, so that nobody can take hold of it in between.
  for (Step& step : steps) {
    if (!step.staged.empty()) DeleteFileW(step.staged.c_str());
    step.hold.reset();
    if (!step.backup.empty()) DeleteFileW(step.backup.c_str());
  }
  return ok;
}

}  // namespace DataFolder
