#include "common/clsFSO.h"

#include <oleauto.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cmath>
#include <memory>

#include "common/CommonModule.h"
#include "common/ErrorReport.h"
#include "common/SavedSecurity.h"
#include "common/SetOwnerFS.h"
#include "common/modTakeOwn.h"
#include "platform/Com.h"
#include "platform/FileTree.h"
#include "platform/Forms.h"
#include "platform/Handle.h"
#include "platform/Procedure.h"
#include "platform/PromptSeam.h"
#include "platform/Text.h"

using CommonModule::DPrint;

namespace {

const wchar_t kLongPrefix[] = L"\\\\?\\";
const wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";
const wchar_t kCrLf[] = L"\r\n";

// ---- Paths --------------------------------------------------------------------------------------

bool IsSlash(wchar_t c) { return c == L'\\' || c == L'/'; }

// The full path of a name, without the \\?\ prefix; the name itself when the system cannot make one.
std::wstring FullPath(const std::wstring& path) {
  if (platform::StartsWith(path, kLongUncPrefix)) return L"\\\\" + path.substr(8);
  if (platform::StartsWith(path, kLongPrefix)) return path.substr(4);
  DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return path;
  full.resize(length);
  return full;
}

// The \\?\ form that the file functions take beyond MAX_PATH.
std::wstring LongForm(const std::wstring& path) {
  if (platform::StartsWith(path, kLongPrefix)) return path;
  std::wstring full = FullPath(path);
  return platform::StartsWith(full, L"\\\\") ? kLongUncPrefix + full.substr(2) : kLongPrefix + full;
}

// The path as the file functions take it: unchanged while short enough.
std::wstring Api(const std::wstring& path) { return path.size() < MAX_PATH - 12 ? path : LongForm(path); }

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return !folder.empty() && IsSlash(folder.back()) ? folder + name : folder + L"\\" + name;
}

// "C:\..." or "\\server\share\...": the only forms the tree deletes act on.
bool IsFullPath(const std::wstring& path) {
  if (path.size() >= 3 && iswalpha(path[0]) && path[1] == L':' && IsSlash(path[2])) return true;
  return path.size() > 2 && IsSlash(path[0]) && IsSlash(path[1]);
}

// The length of the part of a full path that names the drive or the share ("C:", "\\srv\share").
size_t RootLength(const std::wstring& full) {
  if (full.size() >= 2 && full[1] == L':') return 2;
  if (full.size() < 2 || !IsSlash(full[0]) || !IsSlash(full[1])) return 0;
  size_t server = full.find_first_of(L"\\/", 2);
  if (server == std::wstring::npos) return full.size();
  size_t share = full.find_first_of(L"\\/", server + 1);
  return share == std::wstring::npos ? full.size() : share;
}

// A drive or share root: deleting "it" would mean deleting a whole volume.
bool IsRootFolder(const std::wstring& path) {
  std::wstring full = FullPath(path);
  while (!full.empty() && IsSlash(full.back())) full.pop_back();
  return full.size() <= RootLength(full);
}

// The scripting runtime's path splitting: trailing separators do not count.
std::wstring ParentFolderName(const std::wstring& path) {
  int i = static_cast<int>(path.size()) - 1;
  while (i >= 0 && IsSlash(path[i])) --i;
  while (i >= 0 && !IsSlash(path[i])) --i;
  while (i >= 0 && IsSlash(path[i])) --i;
  if (i < 0) return {};
  if (i == 1 && path[i] == L':') ++i;
  return path.substr(0, i + 1);
}

std::wstring FileName(const std::wstring& path) {
  int end = static_cast<int>(path.size()) - 1;
  while (end >= 0 && IsSlash(path[end])) --end;
  int start = end;
  while (start >= 0 && !IsSlash(path[start])) --start;
  ++start;
  if (start > end || (start == 0 && end == 1 && path[1] == L':')) return {};
  return path.substr(start, end - start + 1);
}

std::wstring ExtensionName(const std::wstring& path) {
  std::wstring name = FileName(path);
  size_t dot = name.rfind(L'.');
  return dot == std::wstring::npos ? std::wstring() : name.substr(dot + 1);
}

std::wstring BaseName(const std::wstring& path) {
  std::wstring name = FileName(path);
  size_t dot = name.rfind(L'.');
  return dot == std::wstring::npos || dot == 0 ? name : name.substr(0, dot);
}

// The folder a listing walks: full, without a trailing "\" unless it is a root.
std::wstring ListingBase(const std::wstring& folder) {
  std::wstring full = FullPath(folder);
  while (full.size() > 3 && IsSlash(full.back())) full.pop_back();
  return full;
}

// ---- Errors in the runtime's numbers, so the log reads as it always has -----------------------

struct RuntimeError {
  long number;
  std::wstring text;
};

RuntimeError FromWindows(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND: return {53, L"File not found"};
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY: return {76, L"Path not found"};
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return {70, L"Permission denied"};
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return {58, L"File already exists"};
    case ERROR_NOT_READY: return {71, L"Disk not ready"};
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return {61, L"Disk full"};
    case ERROR_NOT_SAME_DEVICE: return {74, L"Can't rename with different drive"};
    default: return {static_cast<long>(code), platform::ErrorText(code)};
  }
}

void ErrorLine(const std::wstring& member, const RuntimeError& error) {
  ReportTrappedError(L"clsFSO\\" + member + L" -", error.number, error.text);
}

void ErrorLine(const std::wstring& member, DWORD code) { ErrorLine(member, FromWindows(code)); }

// ---- File system ----------------------------------------------------------------------------

// Redirection off for one block (never nested: nothing inside switches it itself).
using CommonModule::RedirectionOff;

DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(Api(path).c_str()); }

// Takes down what a fallback may change on the item, so that it can be put back.
bool TakeDown(SavedSecurity::FileStates& states, const std::wstring& path) {
  RedirectionOff off;
  return states.Add(Api(path));
}
void PutBack(const SavedSecurity::FileStates& states) {
  RedirectionOff off;
  states.PutBack();
}

bool IsFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
bool IsFile(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Nothing answers to the path any more. A path that cannot be looked at (no access, a wildcard,
// a share that does not answer) does not count as gone.
bool IsGone(const std::wstring& path) {
  if (GetFileAttributesW(Api(path).c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool IsLinkedFolder(const WIN32_FIND_DATAW& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// One folder's entries in the file system's order, without "." and "..". False (and the error)
// when the folder cannot be read.
bool ReadFolder(const std::wstring& folder, std::vector<WIN32_FIND_DATAW>& entries, DWORD& error) {
  entries.clear();
  WIN32_FIND_DATAW data;
  platform::UniqueFindHandle find(FindFirstFileW(Api(Join(folder, L"*")).c_str(), &data));
  if (!find) {
    error = GetLastError();
    // A readable folder always holds "."; only a root can be truly empty.
    return error == ERROR_FILE_NOT_FOUND && IsFolder(Attributes(folder));
  }
  do {
    std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") entries.push_back(data);
  } while (FindNextFileW(find.get(), &data));
  return true;
}

// Whether anything left of a tree that would not go refuses us by its rights, rather than
// because another program holds it open. Redirection must be off.
bool TreeRefusesRights(const std::wstring& path) {
  platform::UniqueFileHandle probe(CreateFileW(Api(path).c_str(), DELETE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                               nullptr));
  if (!probe && SavedSecurity::IsRefusalOfRights(GetLastError())) return true;
  probe.reset();
  const DWORD attributes = Attributes(path);
  if (!IsFolder(attributes) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  std::vector<WIN32_FIND_DATAW> entries;
  DWORD error = 0;
  if (!ReadFolder(path, entries, error)) return SavedSecurity::IsRefusalOfRights(error);
  for (const auto& entry : entries) {
    if (TreeRefusesRights(Join(path, entry.cFileName))) return true;
  }
  return false;
}

// Takes down every item of a tree, the folder first. Redirection must be off.
void TakeDownTree(SavedSecurity::FileStates& states, const std::wstring& path) {
  states.Add(Api(path));
  const DWORD attributes = Attributes(path);
  if (!IsFolder(attributes) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return;
  std::vector<WIN32_FIND_DATAW> entries;
  DWORD error = 0;
  if (!ReadFolder(path, entries, error)) return;
  for (const auto& entry : entries) TakeDownTree(states, Join(path, entry.cFileName));
}

std::wstring RemoveSlashes(const std::wstring& path) {
  std::wstring trimmed = path;
  while (trimmed.size() > 3 && IsSlash(trimmed.back())) trimmed.pop_back();
  return trimmed;
}

bool RefusesRights(const std::wstring& path) {
  RedirectionOff off;
  return TreeRefusesRights(RemoveSlashes(path));
}

// ReadFolder for a listing: a folder that cannot be read is logged with the path the caller gave.
bool ReadListedFolder(const std::wstring& member, const std::wstring& given, const std::wstring& folder,
                      std::vector<WIN32_FIND_DATAW>& entries) {
  DWORD error = 0;
  if (ReadFolder(folder, entries, error)) return true;
  ErrorLine(member, error);
  DPrint(L"clsFSO\\" + member + L" -      DIR: " + given);
  return false;
}

bool IsSubfolder(const WIN32_FIND_DATAW& entry) { return entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY; }

double SizeOf(const WIN32_FIND_DATAW& entry) {
  return static_cast<double>((static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow);
}

// Sets attributes back, as far as the item allows; the outcome does not matter to callers.
void PutAttributes(const std::wstring& path, DWORD attributes) {
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(Api(path).c_str(), attributes);
}

void RemoveQuietly(const std::wstring& path) {
  SetFileAttributesW(Api(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(Api(path).c_str());
}

// Copies source to a fresh name in the folder of target; the new path, or "" (and the error).
std::wstring CopyBeside(const std::wstring& source, const std::wstring& target, DWORD& error) {
  const std::wstring folder = ParentFolderName(FullPath(target));
  static unsigned sequence = 0;
  for (int attempt = 0; attempt < 20; ++attempt) {
    wchar_t name[40];
    wsprintfW(name, L"~ilc%04X%04X.tmp", GetCurrentProcessId() & 0xFFFF, (GetTickCount() + ++sequence) & 0xFFFF);
    const std::wstring temporary = Join(folder, name);
    if (CopyFileW(Api(source).c_str(), Api(temporary).c_str(), TRUE)) return temporary;
    error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      RemoveQuietly(temporary);  // a copy that broke off half way
      return {};
    }
  }
  return {};
}

// Puts the source in the place of the target in one step: the target is either the old file or
// the new one, never missing. Windows error code, 0 on success.
DWORD ReplaceByCopy(const std::wstring& source, const std::wstring& target) {
  DWORD error = 0;
  const std::wstring temporary = CopyBeside(source, target, error);
  if (temporary.empty()) return error ? error : ERROR_FILE_EXISTS;
  if (MoveFileExW(Api(temporary).c_str(), Api(target).c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
  error = GetLastError();
  RemoveQuietly(temporary);
  return error;
}

DWORD ReplaceByMove(const std::wstring& source, const std::wstring& target) {
  if (MoveFileExW(Api(source).c_str(), Api(target).c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
  DWORD error = GetLastError();
  if (error != ERROR_NOT_SAME_DEVICE) return error;
  // Another volume: the copy takes the target's place first, then the source goes.
  error = ReplaceByCopy(source, target);
  if (error) return error;
  SetFileAttributesW(Api(source).c_str(), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(Api(source).c_str()) ? 0 : GetLastError();
}

// ---- Dates and numbers as the runtime writes them --------------------------------------------

std::wstring DateText(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME time;
  DATE date = 0;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &time) ||
      !SystemTimeToVariantTime(&time, &date))
    return {};
  platform::Bstr text;
  if (FAILED(VarBstrFromDate(date, LOCALE_USER_DEFAULT, 0, text.put()))) return {};
  return text.Text();
}

bool TextToDate(const std::wstring& text, DATE& date) {
  if (platform::Trim(text).empty()) return false;
  std::wstring copy = text;  // the declaration asks for a writable text
  return SUCCEEDED(VarDateFromStr(copy.data(), LOCALE_USER_DEFAULT, 0, &date));
}

std::wstring WholeNumberText(double number) {
  if (std::fabs(number) < 1e15 && number == std::floor(number)) return std::to_wstring(static_cast<long long>(number));
  return DebugText(number);
}

std::wstring GroupedNumber(const std::wstring& digits) {
  wchar_t separator[8] = L",";
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator, 8);
  std::wstring grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += separator;
    grouped += digits[i];
  }
  return grouped.empty() ? L"0" : grouped;
}

std::wstring SystemTempFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return L"C:\\";
  std::wstring folder(buffer, length);
  return IsSlash(folder.back()) ? folder : folder + L"\\";
}

std::vector<std::wstring> NonEmptyParts(const std::wstring& list) {
  std::vector<std::wstring> parts;
  for (auto& part : platform::Split(list, L";")) {
    if (!part.empty()) parts.push_back(std::move(part));
  }
  return parts;
}

// Lines of a text, ended by CR LF, LF or CR; a final line end starts no further line.
std::vector<std::wstring> SplitLines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + (text[end] == L'\r' && end + 1 < text.size() && text[end + 1] == L'\n' ? 2 : 1);
  }
  return lines;
}

// Reads the whole file as bytes; false (and the error) when it cannot be opened or read.
bool ReadBytes(const std::wstring& path, std::string& content, DWORD& error) {
  platform::UniqueFileHandle file(CreateFileW(Api(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    error = GetLastError();
    return false;
  }
  content.clear();
  char buffer[16384];
  DWORD got = 0;
  for (;;) {
    if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
      error = GetLastError();
      return false;
    }
    if (got == 0) return true;
    content.append(buffer, got);
  }
}

DWORD WriteProbeLine(const std::wstring& path, const std::string& line, bool append) {
  platform::UniqueFileHandle file(CreateFileW(Api(path).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, 0, nullptr,
                                              append ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return GetLastError();
  DWORD written = 0;
  if (!WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) return GetLastError();
  return written == line.size() ? 0 : ERROR_WRITE_FAULT;
}

}  // namespace

// ---- Object state -------------------------------------------------------------------------------

clsFSO::clsFSO() {
  LARGE_INTEGER now = {};
  QueryPerformanceCounter(&now);
  random_.seed(static_cast<uint32_t>(now.QuadPart) ^ (GetCurrentProcessId() << 16) ^
               static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this)));
}

void clsFSO::Count(double dblData) { counter_ = dblData; }
double clsFSO::Count() const { return counter_; }
void clsFSO::AccessErrNum(int32_t ErrNum) { accessErrNum_ = ErrNum; }
int32_t clsFSO::AccessErrNum() const { return accessErrNum_; }

// ---- Single paths -------------------------------------------------------------------------------

void clsFSO::Get_FileProperties(const std::wstring& FullPathAndNameOfFile) {
  if (platform::IsRehearsal()) {
    platform::RecordPrompt(L"window", {L"Properties", FullPathAndNameOfFile});
    return;
  }
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_INVOKEIDLIST;
  info.lpVerb = L"properties";
  info.lpFile = FullPathAndNameOfFile.c_str();
  info.nShow = SW_SHOW;
  RedirectionOff off;
  ShellExecuteExW(&info);
}

bool clsFSO::KillFile(const std::wstring& strFile) {
  bool result = false;
  SavedSecurity::FileStates before;
  for (int attempt = 1;; ++attempt) {
    DWORD error = ERROR_SUCCESS;
    {
      RedirectionOff off;
      if (!DeleteFileW(Api(strFile).c_str())) error = GetLastError();
      result = IsGone(strFile);
    }
    if (result) break;
    // Only a refusal of rights is worth taking ownership for: a file another program holds open
    // would stay all the same, with its owner, rights and attributes changed.
    const bool refusedRights = SavedSecurity::IsRefusalOfRights(error);
    if (attempt == 1 && refusedRights && TakeDown(before, strFile)) {
      ResetAttributes(strFile);
      continue;
    }
    if (!refusedRights)
      DPrint(L"clsFSO\\KillFile - Refused (error " + std::to_wstring(error) + L"), rights left alone:  " + strFile);
    DPrint(L"clsFSO\\KillFile - Unable to delete:  " + strFile);
    break;
  }
  if (!result) PutBack(before);
  DPrint(L"clsFSO\\KillFile: ");
  DPrint(L"\t- passed: " + strFile);
  DPrint(L"\t- returned: " + DebugText(result));
  return result;
}

bool clsFSO::KillDir(const std::wstring& strPath, bool RecreatePath) {
  auto summary = [&](bool result) {
    DPrint(L"clsFSO\\KillDir: ");
    DPrint(L"\t- passed: " + strPath);
    DPrint(L"\t- returned: " + DebugText(result));
    return result;
  };
  auto recreate = [&] {
    if (!RecreatePath || CommonModule::MakeFolder(strPath)) return true;
    DPrint(L"clsFSO\\KillDir - Error recreating:  " + strPath);
    return false;
  };
  if (!IsFullPath(strPath) || IsRootFolder(strPath)) {
    DPrint(L"clsFSO\\KillDir - Refused: not a folder below a drive or share:  " + strPath);
    return summary(false);
  }
  if (!CommonModule::DoesDirExist(strPath)) return summary(recreate());
  SavedSecurity::FileStates before;
  for (int attempt = 1; attempt <= 2; ++attempt) {
    if (DelTree32(strPath)) return recreate();
    if (attempt == 1 && RefusesRights(strPath)) {
      // What the fallback changes on the tree that is left is taken down first.
      {
        RedirectionOff off;
        TakeDownTree(before, RemoveSlashes(strPath));
      }
      ResetAttributes(strPath);
    }
  }
  // The tree resists as a whole: take away what will go, one item at a time.
  for (const auto& file : NonEmptyParts(Get_FileList(strPath, true, L"*.*"))) KillFile(file);
  for (const auto& folder : NonEmptyParts(Get_DirList(strPath, false))) DelTree32(folder);
  PutBack(before);
  return summary(false);
}

std::wstring clsFSO::StripDrive(const std::wstring& strPath) {
  if (platform::StartsWith(strPath, L"{") && platform::EndsWith(strPath, L"}")) {
    DPrint(L"clsFSO\\StripDrive: Error: It appears a CLSID was passed.  Exiting Function.");
    DPrint(L"\t- strPath=" + strPath);
    return strPath;
  }
  if (strPath.size() >= 2 && strPath[1] == L':') return strPath.substr(2);
  DPrint(L"clsFSO\\StripDrive: Error: It appears no drive letter was passed.  Exiting Function.");
  DPrint(L"\t- strPath=" + strPath);
  return strPath;
}

bool clsFSO::IsDriveReady(const std::wstring& strDrive) {
  bool result = false;
  std::wstring tested = strDrive.empty() ? std::wstring() : platform::Upper(strDrive.substr(0, 1));
  if (!tested.empty() && tested[0] >= L'A' && tested[0] <= L'Z') {
    tested += L":";
    const std::wstring root = tested + L"\\";
    if (GetDriveTypeW(root.c_str()) <= DRIVE_NO_ROOT_DIR) {
      ErrorLine(L"IsDriveReady", {68, L"Device unavailable"});
    } else {
      UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
      result = GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0) != FALSE;
      SetErrorMode(oldMode);
    }
  }
  DPrint(L"clsFSO\\IsDriveReady: " + DebugText(result) + L"  strDrive=" + tested);
  return result;
}

bool clsFSO::Create_Dir_Struct(const std::wstring& strPath) {
  RedirectionOff off;
  if (platform::Trim(strPath).empty()) return false;
  const std::wstring path = Add_Trailing_Slash(strPath);
  const size_t root = RootLength(path);
  for (size_t at = path.find(L'\\'); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
    const std::wstring part = path.substr(0, at);
    if (part.size() <= root || IsSlash(part.back())) continue;  // the drive or share itself
    if (IsFolder(Attributes(part))) continue;
    if (!CreateDirectoryW(Api(part).c_str(), nullptr)) {
      ErrorLine(L"Create_Dir_Struct", GetLastError());
      DPrint(L"\tAn error occured while trying to create:  ");
      DPrint(L"\t" + strPath);
      return false;
    }
  }
  return true;
}

std::wstring clsFSO::Get_Extension(const std::wstring& strFileName) { return ExtensionName(strFileName); }
std::wstring clsFSO::Get_FileNoExtension(const std::wstring& strFileName) { return BaseName(strFileName); }
std::wstring clsFSO::Get_Filename(const std::wstring& strFileName) { return FileName(strFileName); }
std::wstring clsFSO::Get_Path(const std::wstring& strFileName) { return ParentFolderName(strFileName); }

std::wstring clsFSO::Get_Version(const std::wstring& strFileName) {
  bool fourParts = true;
  return CommonModule::FileVersionNo(strFileName, fourParts);
}

std::wstring clsFSO::Get_VB_Version(const std::wstring& strFileName) {
  const std::wstring version = Get_Version(strFileName);
  return version.empty() ? version : version.substr(0, 4) + version.back();
}

bool clsFSO::Drive_Exist(const std::wstring& strSearchData, int32_t& lngDriveType) {
  lngDriveType = 0;
  if (strSearchData.size() < 2 || strSearchData[1] != L':') return false;
  const std::wstring drive = strSearchData.substr(0, 2);
  const wchar_t letter = towupper(drive[0]);
  bool result = false;
  const bool exists = letter >= L'A' && letter <= L'Z' && (GetLogicalDrives() & (1u << (letter - L'A')));
  if (exists && IsDriveReady(drive)) {
    const std::wstring root = std::wstring(1, letter) + L":\\";
    DriveDetailsRecord details;
    details.DriveLetter = std::wstring(1, letter);
    details.Path = std::wstring(1, letter) + L":";
    details.RootFolder = root;
    wchar_t volume[MAX_PATH + 1] = {}, fileSystem[MAX_PATH + 1] = {};
    DWORD serial = 0;
    GetVolumeInformationW(root.c_str(), volume, MAX_PATH + 1, &serial, nullptr, nullptr, fileSystem, MAX_PATH + 1);
    wchar_t serialText[16];
    wsprintfW(serialText, L"%04X-%04X", HIWORD(serial), LOWORD(serial));
    details.SerialNumber = serialText;
    details.VolumeName = volume;
    details.FileSystem = fileSystem;
    ULARGE_INTEGER available = {}, total = {}, free = {};
    if (GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free)) {
      details.TotalSize = std::to_wstring(total.QuadPart);
      details.AvailableSpace = std::to_wstring(available.QuadPart);
      details.FreeSpace = std::to_wstring(free.QuadPart);
    }
    static const int32_t kTypes[] = {0, 0, 1, 2, 3, 4, 5};  // by GetDriveType's answer
    const UINT type = GetDriveTypeW(root.c_str());
    const int32_t driveType = type < 7 ? kTypes[type] : 0;
    details.DriveType = std::to_wstring(driveType);
    if (type == DRIVE_REMOTE) {
      // The share behind a mapped letter, from the network library when it is there.
      using GetConnectionFn = DWORD(WINAPI*)(LPCWSTR, LPWSTR, LPDWORD);
      platform::UniqueModule mpr(LoadLibraryW(L"mpr.dll"));
      auto getConnection = platform::GetProcedure<GetConnectionFn>(mpr.get(), "WNetGetConnectionW");
      wchar_t share[MAX_PATH + 1] = {};
      DWORD size = MAX_PATH + 1;
      if (getConnection && getConnection(details.Path.c_str(), share, &size) == NO_ERROR) details.ShareName = share;
    }
    details.IsReady = L"1";
    driveDetails_ = details;
    lngDriveType = driveType;
    result = true;
  }
  DPrint(L"clsFSO\\Drive_Exist: " + DebugText(result) + L" strDrive=" + drive);
  return result;
}

bool clsFSO::File_Exist(const std::wstring& strSearchItem) {
  if (platform::Trim(strSearchItem).empty()) return false;
  int32_t driveType = 0;
  if (!Drive_Exist(strSearchItem.substr(0, 2), driveType) || driveType == 0) return false;
  if (strSearchItem.size() > 3 && !Folder_Exist(ParentFolderName(strSearchItem))) return false;
  const bool result = IsFile(Attributes(strSearchItem));
  DPrint(L"clsFSO\\File_Exist: " + DebugText(result));
  DPrint(L"\t- strSearchItem=" + strSearchItem);
  return result;
}

bool clsFSO::Folder_Exist(const std::wstring& strFolder) {
  const std::wstring folder = Remove_Trailing_Slash(strFolder);
  const bool result = !folder.empty() && IsFolder(Attributes(folder));
  DPrint(L"clsFSO\\Folder_Exist: " + DebugText(result));
  DPrint(L"\t- strFolder=" + folder);
  return result;
}

std::vector<std::wstring> clsFSO::Available_Drives() {
  wchar_t buffer[261] = {};
  DWORD length = GetLogicalDriveStringsW(260, buffer);
  if (length == 0 || length > 260) {
    ErrorLine(L"Available_Drives", length ? ERROR_INSUFFICIENT_BUFFER : GetLastError());
    return {};
  }
  std::vector<std::wstring> drives;
  for (const wchar_t* p = buffer; *p; p += wcslen(p) + 1) drives.emplace_back(p);
  return drives;
}

bool clsFSO::IsThisRestricted(const std::wstring& strPath) {
  const std::wstring folder = platform::Trim(strPath);
  if (folder.empty()) return true;
  const std::wstring probe = Add_Trailing_Slash(folder) + L"_Test.$$$";
  if (WriteProbeLine(probe, "X\r\n", false) != 0) return true;
  if (WriteProbeLine(probe, "ABC\r\n", true) != 0) return true;
  return !DeleteFileW(Api(probe).c_str());
}

bool clsFSO::ReadFileDetails(const std::wstring& fileName) {
  if (platform::Trim(fileName).empty()) return false;
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(Api(fileName).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  FileDetailsRecord details;
  details.Path = FullPath(fileName);
  details.Drive = details.Path.substr(0, RootLength(details.Path));
  details.ParentFolder = ParentFolderName(details.Path);
  details.Size =
      std::to_wstring((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | static_cast<uint64_t>(data.nFileSizeLow));
  SHFILEINFOW shellInfo = {};
  if (SHGetFileInfoW(FileName(details.Path).c_str(), FILE_ATTRIBUTE_NORMAL, &shellInfo, sizeof shellInfo,
                     SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES))
    details.Type = shellInfo.szTypeName;
  details.Extension = ExtensionName(details.Path);
  details.DateLastAccessed = DateText(data.ftLastAccessTime);
  details.DateLastModified = DateText(data.ftLastWriteTime);
  details.DateCreated = DateText(data.ftCreationTime);
  // The bits the runtime reports: no "normal", "temporary" or indexing bits.
  const DWORD reported = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                         FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT |
                         FILE_ATTRIBUTE_COMPRESSED;
  details.Attributes = Attribute_String(static_cast<int32_t>(data.dwFileAttributes & reported));
  fileDetails_ = details;
  return true;
}

bool clsFSO::Get_FileInfo(const std::wstring& strFileName) { return ReadFileDetails(strFileName); }

bool clsFSO::IsFileHidden(const std::wstring& strFileName) {
  if (!ReadFileDetails(strFileName)) return false;
  const bool hidden = platform::Contains(fileDetails_.Attributes, L"H");
  platform::ShowMessageBox(nullptr, fileDetails_.Attributes, CommonModule::AppTitle(), MB_OK);
  return hidden;
}

std::wstring clsFSO::Attribute_String(int32_t lngValue) {
  // Only these combinations have a text.
  static const int32_t kListed[] = {1,  2,  3,  4,  5,  6,  7,  8,  16, 17, 18, 19, 20, 23,
                                    32, 33, 34, 35, 36, 48, 49, 50, 51, 52, 53, 54, 55, 64};
  bool listed = false;
  for (int32_t value : kListed) listed = listed || value == lngValue;
  if (!listed) return {};
  if (lngValue == 8) return L"V";
  if (lngValue == 64) return L"Alias";
  std::wstring letters;
  if (lngValue & 16) letters += L"D";
  if (lngValue & 1) letters += L"R";
  if (lngValue & 2) letters += L"H";
  if (lngValue & 4) letters += L"S";
  if (lngValue & 32) letters += L"A";
  return letters;
}

void clsFSO::Move_Dir(const std::wstring& sSource, const std::wstring& sDestination) {
  std::wstring destination = sDestination;
  if (!destination.empty() && IsSlash(destination.back())) destination += FileName(sSource);
  MoveFileExW(Api(sSource).c_str(), Api(destination).c_str(), 0);
}

bool clsFSO::Move_File(const std::wstring& strSource, const std::wstring& strTarget, bool boolOverwrite) {
  return MoveOrCopy(strSource, strTarget, boolOverwrite, true);
}

bool clsFSO::Copy_File(const std::wstring& strSource, const std::wstring& strTarget, bool boolOverwrite) {
  return MoveOrCopy(strSource, strTarget, boolOverwrite, false);
}

bool clsFSO::MoveOrCopy(const std::wstring& source, const std::wstring& target, bool overwrite, bool move) {
  const std::wstring member = move ? L"Move_File" : L"Copy_File";
  if (!CommonModule::DoesFileExist(source)) {
    DPrint(L"clsFSO\\" + member + L" - Source file does not exist, aborting routine.");
    if (!move) DPrint(L"\tFile:  " + source);
    return false;
  }
  // A target ending in "\" is the folder that receives the file under its own name.
  const std::wstring destination = !target.empty() && IsSlash(target.back()) ? target + FileName(source) : target;
  const DWORD targetAttributes = Attributes(destination);
  DWORD error = IsFolder(targetAttributes) ? ERROR_ALREADY_EXISTS : 0;
  const bool replacing = IsFile(targetAttributes);
  if (replacing && !overwrite) {
    // The question shows the file that would be lost.
    ReadFileDetails(destination);
    const std::wstring question = L"File already exist at" + std::wstring(kCrLf) + destination + kCrLf +
                                  fileDetails_.DateLastModified + kCrLf + fileDetails_.Size + kCrLf + kCrLf +
                                  L"Do you want to replace it?";
    if (platform::ShowMessageBox(nullptr, question, L"Replace File?", MB_YESNO | MB_ICONQUESTION) != IDYES)
      return false;
  }
  const DWORD sourceAttributes = Attributes(source);
  if (!error) {
    // A read-only or hidden target would refuse to be replaced.
    if (replacing) SetFileAttributesW(Api(destination).c_str(), FILE_ATTRIBUTE_NORMAL);
    error = move ? ReplaceByMove(source, destination) : ReplaceByCopy(source, destination);
    if (error && replacing) PutAttributes(destination, targetAttributes);
  }
  if (error) {
    ErrorLine(member, error);
    DPrint(move ? L"\tError while moving a file:" : L"\tError while copying a file:");
    DPrint(L"\tFROM: " + source);
    DPrint(L"\tTO:   " + target);
    DPrint(L"\tNote TO: path may need a trailing backslash!");
    return false;
  }
  PutAttributes(destination, sourceAttributes);
  return true;
}

bool clsFSO::DelTree32(const std::wstring& strPath) {
  DWORD error = 0;
  {
    RedirectionOff off;
    std::wstring folder = LongForm(strPath);
    while (folder.size() > 4 && IsSlash(folder.back())) folder.pop_back();
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (!IsFullPath(strPath) || IsRootFolder(strPath)) {
      error = ERROR_ACCESS_DENIED;
    } else if (!IsFolder(attributes)) {
      error = ERROR_PATH_NOT_FOUND;
    } else {
      if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // A link: it goes, what it points at stays.
        SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryW(folder.c_str());
      } else {
        platform::RemoveFolderTree(folder);
      }
      if (!IsGone(folder)) error = ERROR_ACCESS_DENIED;
    }
  }
  if (!error) return true;
  ErrorLine(L"DelTree32", error);
  DPrint(L"\t- Error deleting path:  " + strPath);
  return false;
}

std::wstring clsFSO::Add_Trailing_Slash(const std::wstring& strPath) {
  const std::wstring path = platform::Trim(strPath);
  return platform::EndsWith(path, L"\\") ? path : path + L"\\";
}

std::wstring clsFSO::Remove_Trailing_Slash(const std::wstring& strPath) {
  const std::wstring path = platform::Trim(strPath);
  return platform::EndsWith(path, L"\\") ? path.substr(0, path.size() - 1) : path;
}

// ---- Many items, names, disk --------------------------------------------------------------------

std::vector<std::wstring> clsFSO::TextSearch(const std::wstring& strPath, const std::wstring& strText) {
  std::vector<std::wstring> hits;
  const std::wstring folder = ListingBase(strPath);
  std::vector<WIN32_FIND_DATAW> entries;
  DWORD error = 0;
  if (!ReadFolder(folder, entries, error)) ErrorLine(L"TextSearch", error);
  const std::wstring wanted = platform::Upper(strText);
  for (const auto& entry : entries) {
    if (IsSubfolder(entry)) continue;
    const std::wstring path = Join(folder, entry.cFileName);
    std::string content;
    if (!ReadBytes(path, content, error)) {
      ErrorLine(L"TextSearch", error);
      continue;
    }
    if (!content.empty() && platform::Upper(platform::FromAnsi(content)).find(wanted) != std::wstring::npos)
      hits.push_back(path);
  }
  if (hits.empty()) return {L"N/A", L""};
  return hits;
}

std::wstring clsFSO::Get_Totals(const std::wstring& strPath, int16_t intDataType, const std::wstring& strPattern,
                                bool blnSearchSubfolders) {
  double total = 0;
  if (intDataType < 1 || intDataType > 4 || platform::Trim(strPath).empty()) return L"0";
  DATE since = 0;
  if (intDataType > 1 && !TextToDate(strPattern, since)) {
    platform::ShowMessageBox(nullptr, L"An invalid date was passed.", L"Invalid date format",
                             MB_OK | MB_ICONINFORMATION);
    return L"0";
  }
  std::wstring list = Get_FileList(strPath, blnSearchSubfolders, strPattern);
  if (platform::EndsWith(list, L";")) list.pop_back();
  for (const auto& entry : platform::Split(list, L";")) {
    if (platform::Trim(entry).empty()) break;
    if (!Get_FileInfo(entry)) continue;
    if (intDataType == 1) {
      total += _wtof(fileDetails_.Size.c_str());
    } else {
      const std::wstring& stamp = intDataType == 2   ? fileDetails_.DateLastAccessed
                                  : intDataType == 3 ? fileDetails_.DateLastModified
                                                     : fileDetails_.DateCreated;
      DATE day = 0;
      if (!TextToDate(stamp.substr(0, stamp.find(L' ')), day)) {
        const std::wstring message = L"Error: 13  Type mismatch" + std::wstring(kCrLf) + kCrLf + L"File: " + entry +
                                     kCrLf + L"Size: " + GroupedNumber(fileDetails_.Size) + kCrLf + L"Created:  " +
                                     fileDetails_.DateCreated + kCrLf + L"Modified: " + fileDetails_.DateLastModified +
                                     kCrLf + L"Accessed: " + fileDetails_.DateLastAccessed;
        platform::ShowMessageBox(nullptr, message, L"Errors detected", MB_OK | MB_ICONINFORMATION);
        return L"0";
      }
      if (day < since) continue;
      total += 1;
    }
    if (CountTotals) CountTotals(total, entry);
  }
  return WholeNumberText(total);
}

std::wstring clsFSO::Get_FileList(const std::wstring& strPath, bool blnSearchSubfolders,
                                  const std::wstring& strPattern) {
  if (strPath.empty()) {
    DPrint(L"cFSO\\Get_FileList - Passed no string, aborting!");
    return {};
  }
  platform::DoEvents();
  if (CancelProcessing) return {};
  std::wstring result;
  const std::wstring folder = ListingBase(strPath);
  std::vector<WIN32_FIND_DATAW> entries;
  if (!ReadListedFolder(L"Get_FileList", strPath, folder, entries)) {
    DPrint(L"\t" + result);
    DPrint(L"\tAborting function...");
    return result;
  }
  const bool filter = strPattern != L"*.*" && platform::Contains(strPattern, L"*");
  const std::wstring wanted = platform::Lower(ExtensionName(strPattern));
  for (const auto& entry : entries) {
    if (IsSubfolder(entry)) continue;
    platform::DoEvents();
    if (CancelProcessing) break;
    const std::wstring path = Join(folder, entry.cFileName);
    if (!filter) {
      result += path + L";";
    } else if (platform::Lower(ExtensionName(path)) == wanted) {
      result += path + L";";
      counter_ += 1;
      if (CountFiles) CountFiles(counter_, path);
    }
  }
  platform::DoEvents();
  if (CancelProcessing) return {};
  if (!blnSearchSubfolders) return result;
  for (const auto& entry : entries) {
    if (!IsSubfolder(entry) || IsLinkedFolder(entry)) continue;
    platform::DoEvents();
    if (CancelProcessing) break;
    result += Get_FileList(Join(folder, entry.cFileName), true, strPattern);
  }
  return result;
}

std::wstring clsFSO::Get_DirList(const std::wstring& strPath, bool bRecurseSubs) {
  if (strPath.empty()) {
    DPrint(L"cFSO\\Get_DirList - Passed no string, aborting!");
    return {};
  }
  if (!CommonModule::DoesDirExist(strPath)) return {};
  const std::wstring folder = ListingBase(strPath);
  std::vector<WIN32_FIND_DATAW> entries;
  if (!ReadListedFolder(L"Get_DirList", strPath, folder, entries)) return {};
  std::wstring result;
  for (const auto& entry : entries) {
    if (!IsSubfolder(entry)) continue;
    platform::DoEvents();
    if (CancelProcessing) break;
    const std::wstring path = Join(folder, entry.cFileName);
    result += path + L";";
    if (bRecurseSubs && !IsLinkedFolder(entry)) {
      const std::wstring below = Get_DirList(path, true);
      if (!below.empty()) result += below + L";";
    }
  }
  platform::DoEvents();
  if (CancelProcessing) return {};
  if (platform::EndsWith(result, L";")) result.pop_back();
  return result;
}

std::wstring clsFSO::Create_Tmp_Filename(std::wstring& strTmpFolder) {
  if (platform::Trim(strTmpFolder).empty()) strTmpFolder = SystemTempFolder();
  const std::wstring prefix = Create_Tmp_Name(4);
  wchar_t buffer[MAX_PATH + 1] = {};
  std::wstring result;
  if (GetTempFileNameW(strTmpFolder.c_str(), prefix.c_str(), 0, buffer)) {
    result = buffer;
  } else {
    ErrorLine(L"Create_Tmp_Filename", GetLastError());
  }
  DPrint(L"clsFSO\\Create_Tmp_Filename: " + result);
  return result;
}

std::wstring clsFSO::Create_Tmp_Filename() {
  std::wstring folder;
  return Create_Tmp_Filename(folder);
}

std::wstring clsFSO::Create_Tmp_Folder() {
  const std::wstring folder = Remove_Trailing_Slash(SystemTempFolder() + Create_Tmp_Name(8));
  std::wstring result;
  if (IsFolder(Attributes(folder)) || CreateDirectoryW(Api(folder).c_str(), nullptr)) {
    result = Add_Trailing_Slash(folder);
  } else {
    ErrorLine(L"Create_Tmp_Folder", GetLastError());
  }
  DPrint(L"clsFSO\\Create_Tmp_Folder: " + result);
  return result;
}

std::optional<double> clsFSO::GetDirSize(const std::wstring& sDir) {
  std::vector<WIN32_FIND_DATAW> entries;
  DWORD error = 0;
  const std::wstring folder = ListingBase(sDir);
  if (sDir.empty() || !ReadFolder(folder, entries, error)) return std::nullopt;
  double size = 0;
  for (const auto& entry : entries) {
    if (!IsSubfolder(entry)) {
      size += SizeOf(entry);
    } else if (!IsLinkedFolder(entry)) {
      std::optional<double> below = GetDirSize(Join(folder, entry.cFileName));
      if (!below) return std::nullopt;
      size += *below;
    }
  }
  return size;
}

std::wstring clsFSO::Remove_Nulls(const std::wstring& strInput) { return strInput.substr(0, strInput.find(L'\0')); }

std::wstring clsFSO::Create_Tmp_Name(int16_t intLength) {
  if (intLength < 1) return {};
  std::wstring name = L"_";
  while (name.size() < static_cast<size_t>(intLength)) {
    int code = static_cast<int>(Rnd2(48, 122));
    // The punctuation between digits, capitals and small letters becomes letters.
    if ((code >= 58 && code <= 64) || (code >= 91 && code <= 96)) code += 7;
    name += static_cast<wchar_t>(code);
  }
  return platform::Lower(name);
}

float clsFSO::Rnd2(float sngLow, float sngHigh) {
  platform::DoEvents();
  const float fraction = std::generate_canonical<float, 24>(random_);
  const float value = fraction * (sngHigh - sngLow) + sngLow;
  // Rounding may reach the upper end, which is never drawn.
  return value < sngHigh || sngHigh <= sngLow ? value : std::nextafter(sngHigh, sngLow);
}

std::wstring clsFSO::BrowseForFolder(HWND frm, const std::wstring& strPrompt) {
  std::wstring path;
  if (platform::IsRehearsal()) {
    platform::RecordPrompt(L"folderpicker", {strPrompt});
  } else {
    BROWSEINFOW info = {};
    info.hwndOwner = frm;
    info.lpszTitle = strPrompt.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    const platform::UniqueCoTaskMem<PIDLIST_ABSOLUTE> chosen(SHBrowseForFolderW(&info));
    wchar_t buffer[MAX_PATH + 1] = {};
    if (chosen && SHGetPathFromIDListW(chosen.get(), buffer)) path = buffer;
  }
  DPrint(L"clsFSO\\BrowseForFolder - Returned: " + path);
  return path;
}

std::wstring clsFSO::Shrink_2_Fit(const std::wstring& strPath_to_Resize, int16_t intMaxLen) {
  const std::wstring path = platform::Trim(strPath_to_Resize);
  if (static_cast<int>(path.size()) <= intMaxLen) return path;
  if (!platform::StartsWith(path, L"\\\\") && !(path.size() >= 2 && path[1] == L':')) return path;
  // Positions are 1-based as in the description: p is the "\" that ends the drive or server.
  const size_t slash = path.find(L'\\', 2);
  if (slash == std::wstring::npos) return path;
  const int p = static_cast<int>(slash) + 1;
  const std::wstring head = path.substr(0, p) + L"...";
  const int tailLimit = intMaxLen - (p + 3);
  std::wstring tail = path;
  for (;;) {
    const size_t next = static_cast<size_t>(p) < tail.size() ? tail.find(L'\\', p) : std::wstring::npos;
    if (next == std::wstring::npos) break;
    tail = tail.substr(next);
    if (static_cast<int>(tail.size()) <= tailLimit) break;
  }
  return head + tail;
}

bool clsFSO::Get_Disk_Space(const std::wstring& strPath, double& dblTotalSpace, double& dblFreeSpace,
                            double& dblUsedSpace) {
  dblTotalSpace = dblFreeSpace = dblUsedSpace = 0;
  if (platform::Trim(strPath).empty()) return false;
  const std::wstring root = strPath.substr(0, 1) + L":\\";
  {
    using GetFreeSpaceExFn = BOOL(WINAPI*)(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    platform::UniqueModule kernel(LoadLibraryW(L"kernel32.dll"));
    auto getFreeSpaceEx = platform::GetProcedure<GetFreeSpaceExFn>(kernel.get(), "GetDiskFreeSpaceExW");
    ULARGE_INTEGER available = {}, total = {}, free = {};
    if (getFreeSpaceEx && getFreeSpaceEx(root.c_str(), &available, &total, &free)) {
      dblTotalSpace = static_cast<double>(total.QuadPart);
      dblFreeSpace = static_cast<double>(free.QuadPart);
      dblUsedSpace = dblTotalSpace - dblFreeSpace;
    }
  }
  if (dblTotalSpace > 2200000000.0) return true;
  dblTotalSpace = dblFreeSpace = dblUsedSpace = 0;
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
    return false;
  // The classic sizes are 32-bit signed numbers: a drive too big for them gives no answer.
  const int64_t clusterBytes = static_cast<int64_t>(sectorsPerCluster) * bytesPerSector;
  const int64_t free = clusterBytes * freeClusters, total = clusterBytes * totalClusters;
  if (clusterBytes > INT32_MAX || free > INT32_MAX || total > INT32_MAX) return false;
  dblFreeSpace = static_cast<double>(free);
  dblTotalSpace = static_cast<double>(total);
  dblUsedSpace = dblTotalSpace - dblFreeSpace;
  return true;
}

void clsFSO::FileToArray(const std::wstring& Filename, std::vector<std::wstring>& TheArray) {
  if (!CommonModule::DoesFileExist(Filename)) {
    DPrint(L"clsFSO\\FileToArray: failed");
    DPrint(L"\t- File Not Found:" + Filename);
    DPrint(L"\t- Creating dummy file to proceed with array creation.");
    CommonModule::SaveTextToFile(Filename, L"", false, false);
  }
  std::string content;
  DWORD error = 0;
  if (!ReadBytes(Filename, content, error)) {
    ErrorLine(L"FileToArray", error);
    DPrint(L"\tlCtr: 0");
    return;
  }
  std::vector<std::wstring> lines = SplitLines(platform::FromAnsi(content));
  for (size_t i = 0; i < lines.size(); ++i) platform::DoEvents();
  if (!lines.empty()) TheArray = std::move(lines);
}

bool clsFSO::RenFile(const std::wstring& sOriginalPathAndFileName, std::wstring& sNewFileNameOnly,
                     bool bOverwriteIfExist) {
  const std::wstring target =
      CommonModule::StripNameFromPath(sOriginalPathAndFileName) + L"\\" + CommonModule::StripPath(sNewFileNameOnly);
  sNewFileNameOnly = target;
  const bool replacing = File_Exist(target);
  if (replacing && !bOverwriteIfExist) {
    DPrint(L"clsFSO\\RenFile: Failed, exiting function.");
    DPrint(L"\t- File Already Exists: " + target);
    DPrint(L"\t- Input: " + sOriginalPathAndFileName);
    return false;
  }
  if (!File_Exist(sOriginalPathAndFileName)) {
    DPrint(L"clsFSO\\RenFile: Failed.");
    DPrint(L"\t- File Not Found: " + sOriginalPathAndFileName);
    return false;
  }
  // The old target stays until the new file takes its place.
  const DWORD targetAttributes = replacing ? Attributes(target) : INVALID_FILE_ATTRIBUTES;
  if (replacing) SetFileAttributesW(Api(target).c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!MoveFileExW(Api(sOriginalPathAndFileName).c_str(), Api(target).c_str(),
                   replacing ? MOVEFILE_REPLACE_EXISTING : 0)) {
    ErrorLine(L"RenFile", GetLastError());
    PutAttributes(target, targetAttributes);
  }
  const std::wstring quoted = L"\"" + target + L"\"";
  if (File_Exist(sOriginalPathAndFileName)) {
    DPrint(L"clsFSO\\RenFile: Rename to " + quoted + L" failed.");
    DPrint(L"\t- Input: " + sOriginalPathAndFileName);
    return false;
  }
  DPrint(L"clsFSO\\RenFile: Rename to " + quoted + L" succeeded.");
  DPrint(L"\t- Input: " + sOriginalPathAndFileName);
  return true;
}

DATE clsFSO::GetFileCreationDate(const std::wstring& sTargetFile) {
  DATE date = 0;
  if (CommonModule::DoesFileExist(sTargetFile) && Get_FileInfo(sTargetFile) &&
      !TextToDate(fileDetails_.DateCreated, date))
    date = 0;
  return date;
}

void clsFSO::ResetAttributes(const std::wstring& sTargetFile) {
  bool recurse = true;
  std::wstring owner, grantee;
  modTakeOwn::TakeControl(sTargetFile, recurse, SW_HIDE, owner, grantee);
  SetOwnerFS::ChangeOwnerOfFile(sTargetFile);
  {
    RedirectionOff off;
    SetFileAttributesW(Api(sTargetFile).c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  SetFileAttributesW(Api(sTargetFile).c_str(), FILE_ATTRIBUTE_ARCHIVE);
}

std::wstring clsFSO::ReturnNewerFile(const std::wstring& sFile1, const std::wstring& sFile2) {
  const DATE first = GetFileCreationDate(sFile1), second = GetFileCreationDate(sFile2);
  if (first > second) return sFile1;
  if (first < second) return sFile2;
  if (CommonModule::DoesFileExist(sFile1)) return sFile1;
  if (CommonModule::DoesFileExist(sFile2)) return sFile2;
  return sFile1;
}

std::wstring clsFSO::ReturnNewestFileFromSpec(const std::wstring& sFilePath, const std::wstring& sFileSpec,
                                              bool bScanSubDirs) {
  std::vector<std::wstring> files;
  CommonModule::FindFiles(sFilePath, sFileSpec, files, bScanSubDirs);
  std::wstring newest;
  for (const auto& file : files) {
    if (file.empty()) continue;
    if (newest.empty() || ReturnNewerFile(newest, file) == file) newest = file;
  }
  return newest;
}
