#include "update/StagedSwap.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "platform/FileTree.h"
#include "platform/Handle.h"
#include "platform/PendingRenames.h"
#include "platform/Text.h"
#include "zip/modZip.h"

namespace StagedSwap {

namespace {

const wchar_t kLog[] = L"StagedSwap: ";

std::wstring StagedPath(const std::wstring& relative) { return Folder() + L"\\" + relative; }
std::wstring TargetPath(const std::wstring& relative) { return CommonModule::AppPath() + relative; }

// Opened elsewhere without delete sharing: the one hold that keeps a file from being renamed.
bool HeldByAnotherProgram(const std::wstring& path) {
  const CommonModule::RedirectionOff off;
  const DWORD everyone = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  platform::UniqueFileHandle file(
      CreateFileW(path.c_str(), DELETE, everyone, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) return false;
  const DWORD error = GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// The target's folder must be there when Windows moves the file in.
bool RecordMove(const std::wstring& relative) {
  const std::wstring target = TargetPath(relative);
  const std::wstring folder = target.substr(0, target.find_last_of(L'\\'));
  if (!CommonModule::DoesDirExist(folder) && !CommonModule::MakeFolder(folder)) return false;
  const CommonModule::RedirectionOff off;
  const DWORD atRestart = MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING;
  if (MoveFileExW(StagedPath(relative).c_str(), target.c_str(), atRestart)) return true;
  CommonModule::DPrint(kLog, L"- Cannot record the move at the restart of ", target, L"- Error: ",
                       static_cast<uint32_t>(GetLastError()));
  return false;
}

// A folder, and no link whose removal would reach into what it points at.
bool IsPlainFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool RecordMoves(const std::vector<std::wstring>& files) {
  for (const std::wstring& relative : files) {
    if (!RecordMove(relative)) return false;
  }
  return true;
}

}  // namespace

std::wstring Folder() { return CommonModule::AppPath() + Product::kStagedUpdateFolder; }

Staging Unpack(const std::wstring& packageZip) {
  Staging staging;
  Discard();
  // Made here and now, so that nothing another program put in its place is used.
  if (!CreateDirectoryW(Folder().c_str(), nullptr)) {
    CommonModule::DPrint(kLog, L"- Cannot make ", Folder(), L"- Error: ", static_cast<uint32_t>(GetLastError()));
    return staging;
  }
  std::wstring destination = Folder();
  bool silent = true;
  if (!modZip::UnzipFile(packageZip, destination, silent)) {
    Discard();
    return staging;
  }
  staging.unpacked = true;
  staging.files = platform::FilesInTree(Folder());
  for (const std::wstring& relative : staging.files) {
    if (HeldByAnotherProgram(TargetPath(relative))) staging.held.push_back(relative);
  }
  return staging;
}

bool RecordMovesForRestart(const Staging& staging) {
  if (staging.unpacked && !staging.files.empty() && RecordMoves(staging.files)) return true;
  Discard();
  return false;
}

void Discard() {
  const DWORD attributes = GetFileAttributesW(Folder().c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (IsPlainFolder(attributes)) platform::RemoveFolderTree(Folder());
  else if (attributes & FILE_ATTRIBUTE_DIRECTORY) RemoveDirectoryW(Folder().c_str());  // only the link goes
  else DeleteFileW(Folder().c_str());
}

State CheckAtStart() {
  const DWORD attributes = GetFileAttributesW(Folder().c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return State::None;
  // Only a folder this program made holds an update.
  if (!IsPlainFolder(attributes)) {
    Discard();
    return State::None;
  }
  const std::vector<std::wstring> waiting = platform::FilesInTree(Folder());
  if (waiting.empty()) {
    platform::RemoveFolderTree(Folder());
    return State::Completed;
  }
  // A restart that did not move a file leaves it without its recorded move: it gets one again.
  const std::vector<platform::PendingRename> recorded = platform::PendingRenames();
  std::vector<std::wstring> unrecorded;
  for (const std::wstring& relative : waiting) {
    const std::wstring staged = StagedPath(relative);
    const bool found = std::any_of(recorded.begin(), recorded.end(), [&](const platform::PendingRename& rename) {
      return platform::EqualsNoCase(rename.from, staged) && platform::EqualsNoCase(rename.to, TargetPath(relative));
    });
    if (!found) unrecorded.push_back(relative);
  }
  if (!unrecorded.empty()) {
    CommonModule::DPrint(kLog, L"- Moves the restart did not make, recorded again: ",
                         static_cast<uint32_t>(unrecorded.size()));
    RecordMoves(unrecorded);
  }
  return State::Pending;
}

}  // namespace StagedSwap
