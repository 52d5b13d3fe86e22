#include "filtermod/HeldFile.h"

#include "common/CommonModule.h"
#include "filtermod/FileBinding.h"

namespace {

// Listing access takes part in the sharing checks, so the missing FILE_SHARE_DELETE refuses a rename.
constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY;
constexpr DWORD kFolderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kAnySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Where the folders below the root begin: after "C:\", or after "\\server\share\".
size_t FirstFolderAt(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return 3;
  if (path.rfind(L"\\\\", 0) == 0) {
    const size_t share = path.find(L'\\', 2);
    const size_t below = share == std::wstring::npos ? share : path.find(L'\\', share + 1);
    return below == std::wstring::npos ? path.size() : below + 1;
  }
  return path.size();
}

platform::UniqueFileHandle OpenEntry(const std::wstring& path, DWORD access, DWORD sharing, bool follow) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  return platform::UniqueFileHandle(CreateFileW(path.c_str(), access, sharing, nullptr, OPEN_EXISTING, flags, nullptr));
}

// What the part's own handle shows; the handle is kept in held when given.
FileBinding::Part ReadPart(const std::wstring& path, DWORD access, DWORD sharing, platform::UniqueFileHandle* held) {
  FileBinding::Part part{path};
  platform::UniqueFileHandle handle = OpenEntry(path, access, sharing, false);
  if (!handle || !platform::ReadFileFacts(handle.get(), part.facts)) part.openError = GetLastError();
  if (held) *held = std::move(handle);
  return part;
}

std::wstring SystemError(DWORD error) { return L" (system error " + std::to_wstring(error) + L")"; }

bool OnNetwork(const std::wstring& path) {
  if (path.rfind(L"\\\\", 0) == 0) return true;
  return path.size() >= 3 && path[1] == L':' && GetDriveTypeW(path.substr(0, 3).c_str()) == DRIVE_REMOTE;
}

}  // namespace

DWORD HeldFile::Open(const std::wstring& path) {
  Release();
  const CommonModule::RedirectionOff off;
  file_.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file_) return GetLastError();  // before redirection is switched back, which sets its own
  Bind(path);
  return ERROR_SUCCESS;
}

void HeldFile::Bind(const std::wstring& path) {
  if (!platform::ReadFileFacts(file_.get(), facts_)) {
    problem_ = L"what the file is could not be read" + SystemError(GetLastError());
    return;
  }
  DWORD error = 0;
  const std::wstring resolvedText = platform::FinalPathName(file_.get(), error);
  // Before Vista Windows cannot resolve a path: the given one is walked, and a junction on it refused.
  const FileBinding::Resolved resolved =
      FileBinding::FromResolvedPath(error == ERROR_CALL_NOT_IMPLEMENTED ? path : resolvedText);
  if (resolved.place == FileBinding::Place::Network || (resolved.path.empty() && OnNetwork(path))) {
    // What a server's name holds is the server's to say: held as reached, started by its path.
    HoldFoldersAsReached(path);
    return;
  }
  if (resolved.place != FileBinding::Place::Drive) {
    problem_ = error ? L"the path it leads to could not be read" + SystemError(error)
                     : L"the path it leads to lies on no drive:  " + resolvedText;
    return;
  }

  const std::wstring& bound = resolved.path;
  for (size_t slash = bound.find(L'\\', FirstFolderAt(bound)); slash != std::wstring::npos;
       slash = bound.find(L'\\', slash + 1)) {
    platform::UniqueFileHandle folder;
    problem_ = FileBinding::Judge(ReadPart(bound.substr(0, slash), kFolderAccess, kFolderSharing, &folder), nullptr);
    if (!problem_.empty()) return;
    folders_.push_back(std::move(folder));
  }
  problem_ = FileBinding::Judge(ReadPart(bound, FILE_READ_ATTRIBUTES, kAnySharing, nullptr), &facts_);
  if (problem_.empty()) boundPath_ = bound;
}

void HeldFile::HoldFoldersAsReached(const std::wstring& path) {
  for (size_t slash = path.find(L'\\', FirstFolderAt(path)); slash != std::wstring::npos;
       slash = path.find(L'\\', slash + 1)) {
    platform::UniqueFileHandle folder = OpenEntry(path.substr(0, slash), kFolderAccess, kFolderSharing, true);
    if (folder) folders_.push_back(std::move(folder));
  }
}

bool HeldFile::IsAt(const std::wstring& path, bool follow) const {
  if (!file_) return false;
  const CommonModule::RedirectionOff off;
  const platform::UniqueFileHandle there = OpenEntry(path, FILE_READ_ATTRIBUTES, kAnySharing, follow);
  platform::FileFacts facts;
  return there && platform::ReadFileFacts(there.get(), facts) && !(facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         facts.SameFile(facts_);
}

void HeldFile::Release() {
  file_.reset();
  folders_.clear();
  facts_ = {};
  boundPath_.clear();
  problem_.clear();
}
