// The basics every other file of the library builds on: start-up settings and the debug log, where
// the program lives, window, path, file, folder and INI helpers, Delay and file-system redirection.
// Nothing here calls above itself, so everything else may call it.
#include "common/CommonModule.h"

#include <shlobj.h>

#include <algorithm>

#include "common/CommonModuleInternal.h"
#include "common/ErrorReport.h"
#include "platform/Forms.h"
#include "platform/Handle.h"
#include "platform/NativeSystem.h"
#include "platform/Procedure.h"
#include "platform/Text.h"

namespace CommonModule {

std::wstring IniPath;
bool DebugToFile = false;
std::wstring DebugLogPath;

bool FsRedirEnabled = false;
bool FsRedirDisabled = false;
void* FsRedirOldValue = nullptr;

using detail::kCrLf;

namespace {

// Path of this program's executable.
std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// The program's own version block: title (InternalName) and the four version words.
struct OwnVersion {
  std::wstring title;
  uint16_t major = 0, minor = 0, build = 0, revision = 0;
};

const OwnVersion& ProgramVersion() {
  static const OwnVersion version = [] {
    OwnVersion v;
    v.title = AppExeName();
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_VERSION);
    HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return v;
    // VerQueryValue may write into the block, so it works on a copy.
    std::vector<BYTE> block(static_cast<const BYTE*>(data),
                            static_cast<const BYTE*>(data) + SizeofResource(nullptr, resource));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT size = 0;
    if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &size) && info) {
      v.major = HIWORD(info->dwFileVersionMS);
      v.minor = LOWORD(info->dwFileVersionMS);
      v.build = HIWORD(info->dwFileVersionLS);
      v.revision = LOWORD(info->dwFileVersionLS);
    }
    wchar_t* name = nullptr;
    if (VerQueryValueW(block.data(), L"\\StringFileInfo\\040904b0\\InternalName", reinterpret_cast<void**>(&name),
                       &size) &&
        name && size > 1) {
      v.title = name;
    }
    return v;
  }();
  return version;
}

std::wstring TimeOfDayText() {
  wchar_t buffer[64] = {};
  GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, buffer, 64);
  return buffer;
}

std::wstring ShortDateText() {
  wchar_t buffer[64] = {};
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, buffer, 64);
  return buffer;
}

// Reads a whole file; false when it cannot be opened.
bool ReadWholeFile(const std::wstring& file, std::string& content) {
  platform::UniqueFileHandle handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) return false;
  content.clear();
  char buffer[8192];
  DWORD got = 0;
  while (ReadFile(handle.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
  return true;
}

// Splits text into lines at CR LF, LF or CR.
std::vector<std::wstring> TextLines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::wstring line;
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'\r' || c == L'\n') {
      lines.push_back(line);
      line.clear();
      if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// Writes text and CR LF (ANSI) to the file, appending or replacing it. Windows error code, 0 on success.
DWORD WriteLine(const std::wstring& file, const std::wstring& text, bool overwrite) {
  platform::UniqueFileHandle handle(CreateFileW(file.c_str(), overwrite ? GENERIC_WRITE : FILE_APPEND_DATA,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                overwrite ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                                nullptr));
  if (!handle) return GetLastError();
  std::string bytes = platform::ToAnsi(text + kCrLf);
  DWORD written = 0;
  if (!WriteFile(handle.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) return GetLastError();
  return written == bytes.size() ? 0 : ERROR_WRITE_FAULT;
}

// Shared body of SaveTextToFile and SaveTextToFileNoDebug.
bool SaveText(const std::wstring& file, const std::wstring& text, bool overwrite, bool noDuplicates, bool logging) {
  std::wstring folder = logging ? StripNameFromPath(file) : StripNameFromPathNoDebug(file);
  bool folderThere = logging ? DoesDirExist(folder) : DoesDirExistNoDebug(folder);
  if (!folderThere) {
    // No owner window: a folder that cannot be made must never bring up a box.
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    if (!(logging ? DoesDirExist(folder) : DoesDirExistNoDebug(folder))) {
      CreateDirectoryW((folder + L"\\").c_str(), nullptr);
      if (!(logging ? DoesDirExist(folder) : DoesDirExistNoDebug(folder))) {
        if (logging) {
          DPrint(L"SaveTextToFile - Directory does not exist / Cannot create directory:  ");
          DPrint(L"\t" + folder);
        }
        return false;
      }
    }
  }

  DWORD error = 0;
  bool duplicate = false;
  {
    const RedirectionOff off;
    if (!overwrite && noDuplicates) {
      std::string content;
      platform::UniqueFileHandle touch(CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!touch) error = GetLastError();
      touch.reset();
      if (!error && ReadWholeFile(file, content)) {
        std::wstring wanted = platform::Lower(text);
        for (const auto& line : TextLines(platform::FromAnsi(content))) {
          if (platform::Lower(line) == wanted) {
            duplicate = true;
            break;
          }
        }
      }
    }
    if (!error && !duplicate) error = WriteLine(file, text, overwrite);
  }

  if (error && logging) {
    ReportWindowsError(L"CommonModule\\SaveTextToFile", error);
    DPrint(L"\tbOverwrite=" + DebugText(overwrite) + L" \\ " + L"bNoDuplicates=" + DebugText(noDuplicates));
    DPrint(L"\t" + file);
    DPrint(L"\t" + text);
  }
  return error == 0;
}

bool IsDriveOrNetworkPath(const std::wstring& path) { return path.size() >= 2 && (path[1] == L':' || path[1] == L'\\'); }

const wchar_t kLongPrefix[] = L"\\\\?\\";

// The form the file functions take beyond MAX_PATH: a full path behind the \\?\ prefix, which
// allows no relative parts, so the path is made full first.
std::wstring LongPathForm(const std::wstring& path) {
  if (platform::StartsWith(path, kLongPrefix)) return path;
  std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
  DWORD length = full.empty() ? 0 : GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) full = path;
  else full.resize(length);
  return platform::StartsWith(full, L"\\\\") ? L"\\\\?\\UNC\\" + full.substr(2) : kLongPrefix + full;
}

// The path as the file functions take it: as it is while short enough, else in its long form.
std::wstring ApiPath(const std::wstring& path) { return path.size() < MAX_PATH - 12 ? path : LongPathForm(path); }

// Attributes of a path, also beyond MAX_PATH; INVALID_FILE_ATTRIBUTES when it is not there.
// Whether a path exists and what it is comes from here, never from opening it: a file that
// another program holds locked is still a file.
DWORD PathAttributes(const std::wstring& path) {
  std::wstring body = platform::StartsWith(path, kLongPrefix) ? path.substr(4) : path;
  if (body.empty() || body.find_first_of(L"*?") != std::wstring::npos) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesW(ApiPath(path).c_str());
}

bool IsFolderAttributes(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A path that ends in a backslash names a folder, whatever the file system says of it.
bool IsFileAttributes(DWORD attributes, const std::wstring& path) {
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !platform::EndsWith(path, L"\\");
}

bool DirTest(const std::wstring& path, bool switchRedirection) {
  if (!IsDriveOrNetworkPath(path)) return false;
  if (!switchRedirection) return IsFolderAttributes(PathAttributes(path));
  const RedirectionOff off;
  return IsFolderAttributes(PathAttributes(path));
}

void LogPathTest(const std::wstring& label, const std::wstring& path, bool result) {
  DPrint(label);
  DPrint(L"\t- Passed: " + path);
  DPrint(L"\t- Returns: " + DebugText(result));
}

using Wow64SwitchFn = BOOL(WINAPI*)(PVOID*);
using Wow64RevertFn = BOOL(WINAPI*)(PVOID);

// Seconds since 1601, whole seconds only: the clock Delay waits on.
ULONGLONG NowInSeconds() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return ((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10000000ULL;
}

void ListFolderMatches(const std::wstring& folder, const std::wstring& pattern, std::vector<std::wstring>& out) {
  WIN32_FIND_DATAW data;
  platform::UniqueFindHandle find;
  {
    const RedirectionOff off;
    find.reset(FindFirstFileW((folder + pattern).c_str(), &data));
  }
  if (!find) return;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) out.push_back(folder + data.cFileName);
  } while (FindNextFileW(find.get(), &data));
}

std::vector<std::wstring> ListSubfolders(const std::wstring& folder) {
  std::vector<std::wstring> subfolders;
  WIN32_FIND_DATAW data;
  platform::UniqueFindHandle find;
  {
    const RedirectionOff off;
    find.reset(FindFirstFileW((folder + L"*.*").c_str(), &data));
  }
  if (!find) return subfolders;
  do {
    std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
    subfolders.push_back(folder + name);
  } while (FindNextFileW(find.get(), &data));
  return subfolders;
}

// Parses a dotted version; false when a part is not a whole number.
bool VersionParts(const std::wstring& text, std::vector<int64_t>& parts) {
  parts.clear();
  for (const auto& piece : platform::Split(text, L".")) {
    int64_t number = 0;
    if (!platform::ParseInt64(piece, number) || number < 0) return false;
    parts.push_back(number);
  }
  return !parts.empty();
}

}  // namespace

// ---- Start-up settings and debug log ----------------------------------------------------------

void InitAppSettings(bool setAppIni, bool iniBesideProgram, bool logToFile) {
  if (setAppIni) {
    if (iniBesideProgram) {
      IniPath = AppPath() + AppExeName() + L".ini";
    } else {
      if (!DoesDirExistNoDebug(AppPath() + L"Config")) MakeFolder(AppPath() + L"Config");
      IniPath = AppPath() + L"Config\\" + AppExeName() + L".ini";
    }
  }
  if (logToFile) {
    DebugToFile = true;
    DebugLogPath = AppPath() + AppExeName() + L".log";
  }
  if (DebugToFile) {
    std::wstring debugFolder = AppPath() + L"Debug";
    if (!DoesDirExistNoDebug(debugFolder)) CreateDirectoryW(debugFolder.c_str(), nullptr);
    if (DoesDirExistNoDebug(debugFolder)) {
      DebugLogPath = AppPath() + L"Debug\\DebugOutput - " + AppExeName() + L" " +
                     std::to_wstring(CountFiles(debugFolder, L"") + 1) + L".txt";
    } else {
      DebugToFile = false;
    }
  }
  DPrint(L"");
  DPrint(ShortDateText() + L" - Starting " + GetVersionText(L"", L""));
  DPrint(std::wstring(40, L'-'));
}

void DPrintLine(const std::wstring& line) {
  OutputDebugStringA(platform::ToAnsi(line).c_str());
  if (DebugToFile) SaveTextToFileNoDebug(DebugLogPath, TimeOfDayText() + line, false, false);
}

bool SaveTextToFile(const std::wstring& file, const std::wstring& text, bool overwrite, bool noDuplicates) {
  return SaveText(file, text, overwrite, noDuplicates, true);
}

bool SaveTextToFileNoDebug(const std::wstring& file, const std::wstring& text, bool overwrite, bool noDuplicates) {
  return SaveText(file, text, overwrite, noDuplicates, false);
}

int16_t CountFiles(const std::wstring& folder, const std::wstring& spec) {
  std::wstring pattern = (platform::EndsWith(folder, L"\\") ? folder : folder + L"\\") + (spec.empty() ? L"*.*" : spec);
  WIN32_FIND_DATAW data;
  platform::UniqueFindHandle find;
  {
    const RedirectionOff off;
    find.reset(FindFirstFileW(pattern.c_str(), &data));
  }
  if (!find) return 0;
  int16_t count = 0;
  do {
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
    if (count < INT16_MAX) ++count;
  } while (FindNextFileW(find.get(), &data));
  return count;
}

// ---- Program location, version text and window helpers ----------------------------------------

std::wstring AppPath() {
  std::wstring folder = ModulePath();
  size_t slash = folder.find_last_of(L'\\');
  folder = slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
  if (folder.empty() || folder.back() != L'\\') folder += L'\\';
  return folder;
}

std::wstring AppExeName() {
  std::wstring name = StripPath(ModulePath());
  size_t dot = name.find_last_of(L'.');
  return dot == std::wstring::npos ? name : name.substr(0, dot);
}

std::wstring AppTitle() { return ProgramVersion().title; }

std::wstring AppExeFullPath() { return AppPath() + AppExeName() + L".exe"; }

std::wstring GetVersionText(const std::wstring& stage, const std::wstring& suffix) {
  const OwnVersion& v = ProgramVersion();
  std::wstring text = v.title + L" v" + std::to_wstring(v.major) + L"." + std::to_wstring(v.minor);
  if (v.revision > 0) text += L"." + std::to_wstring(v.revision);
  if (stage == L"A") text += L" ALPHA";
  else if (stage == L"B") text += L" BETA";
  else text += L" " + stage;
  if (!suffix.empty()) text += L"- " + suffix;
  return text;
}

void SetFormTopMost(HWND window, bool topMost) {
  SetWindowPos(window, topMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void SetWindowAlpha(HWND window, uint8_t alpha) {
  SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_LAYERED);
  SetLayeredWindowAttributes(window, 0, alpha, LWA_ALPHA);
}

bool FileExistsLongPath(const std::wstring& path) {
  if (path.empty()) return false;
  return IsFileAttributes(PathAttributes(LongPathForm(path)), path);
}

// ---- Delay and file-system redirection --------------------------------------------------------

void Delay(double seconds) {
  ULONGLONG target = NowInSeconds() + static_cast<ULONGLONG>(seconds > 0 ? seconds : 0);
  // Fractions of a second count on the whole-second clock as the next whole second would.
  while (NowInSeconds() <= target) {
    Sleep(100);
    platform::DoEvents();
  }
}

void DisableFSRedir() {
  if (FsRedirDisabled) return;
  if (FsRedirEnabled && Is64BitWindows(L"")) {
    static auto disable =
        platform::GetLoadedProcedure<Wow64SwitchFn>(L"kernel32.dll", "Wow64DisableWow64FsRedirection");
    if (disable) disable(&FsRedirOldValue);
  }
  FsRedirDisabled = true;
}

void RevertFSRedir() {
  if (!FsRedirDisabled) return;
  if (FsRedirEnabled && Is64BitWindows(L"")) {
    static auto revert = platform::GetLoadedProcedure<Wow64RevertFn>(L"kernel32.dll", "Wow64RevertWow64FsRedirection");
    if (revert) revert(FsRedirOldValue);
  }
  FsRedirDisabled = false;
}

namespace {
thread_local int redirectionOffDepth = 0;
}  // namespace

RedirectionOff::RedirectionOff() {
  if (redirectionOffDepth++ == 0) DisableFSRedir();
}

RedirectionOff::~RedirectionOff() {
  if (--redirectionOffDepth == 0) RevertFSRedir();
}

// ---- Path and string trimming helpers ---------------------------------------------------------

std::wstring StripPath(const std::wstring& fullPathAndFileName) {
  size_t slash = fullPathAndFileName.find_last_of(L'\\');
  return slash == std::wstring::npos ? fullPathAndFileName : fullPathAndFileName.substr(slash + 1);
}

std::wstring StripNameFromPath(const std::wstring& fullPathAndFileName) {
  if (fullPathAndFileName.empty()) {
    DPrint(L"StripNameFromPath Function was passed an empty string!");
    return {};
  }
  size_t slash = fullPathAndFileName.find_last_of(L'\\');
  if (slash == std::wstring::npos) {
    ReportTrappedError(L"CommonModule\\StripNameFromPath", 5, L"Invalid procedure call or argument");
    ReportArgument(L"sFullPathAndFileName", fullPathAndFileName);
    return {};
  }
  return fullPathAndFileName.substr(0, slash);
}

std::wstring StripNameFromPathNoDebug(const std::wstring& path) {
  size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring Strip(const std::wstring& line, const std::wstring& removeStr) {
  if (removeStr.empty()) return line;
  std::wstring result = line;
  for (size_t at = result.find(removeStr); at != std::wstring::npos; at = result.find(removeStr))
    result.erase(at, removeStr.size());
  return result;
}

namespace {
size_t DelimiterPosition(const std::wstring& text, const std::wstring& delimiter, bool useFirst) {
  if (delimiter.empty()) return std::wstring::npos;
  return useFirst ? text.find(delimiter) : text.rfind(delimiter);
}

std::wstring TrimEnds(std::wstring text, bool trimLeading, bool trimTrailing) {
  if (trimTrailing) text = StripTrailingCharacters(text, L" ");
  if (trimLeading) text = StripPreceedingCharacters(text, L" ");
  return text;
}
}  // namespace

std::wstring StripEndOfString(const std::wstring& originalString, const std::wstring& delimiter, bool useFirstDelimiter,
                              bool trimLeading, bool trimTrailing) {
  size_t at = DelimiterPosition(originalString, delimiter, useFirstDelimiter);
  std::wstring result = at == std::wstring::npos ? originalString : originalString.substr(0, at);
  return TrimEnds(result, trimLeading, trimTrailing);
}

std::wstring StripBeginningOfString(const std::wstring& originalString, const std::wstring& delimiter,
                                    bool useFirstDelimiter, bool trimLeading, bool trimTrailing) {
  size_t at = DelimiterPosition(originalString, delimiter, useFirstDelimiter);
  std::wstring result = at == std::wstring::npos ? originalString : originalString.substr(at + delimiter.size());
  return TrimEnds(result, trimLeading, trimTrailing);
}

std::wstring StripTrailingCharacters(const std::wstring& originalString, const std::wstring& trailingCharacter) {
  if (trailingCharacter.size() != 1) return originalString;
  size_t last = originalString.find_last_not_of(trailingCharacter[0]);
  return last == std::wstring::npos ? std::wstring() : originalString.substr(0, last + 1);
}

std::wstring StripPreceedingCharacters(const std::wstring& originalString, const std::wstring& character) {
  if (character.size() != 1) return originalString;
  size_t first = originalString.find_first_not_of(character[0]);
  return first == std::wstring::npos ? std::wstring() : originalString.substr(first);
}

// ---- File, folder and INI file helpers --------------------------------------------------------

bool DoesDirExist(const std::wstring& path, bool log) {
  if (!IsDriveOrNetworkPath(path)) return false;
  bool result = DirTest(path, true);
  if (log) LogPathTest(L"CommonModule\\DoesDirExist: ", path, result);
  return result;
}

bool DoesDirExistNo64bitCheck(const std::wstring& path, bool log) {
  if (!IsDriveOrNetworkPath(path)) return false;
  bool result = DirTest(path, false);
  if (log) LogPathTest(L"CommonModule\\DoesDirExistNo64bitCheck: ", path, result);
  return result;
}

bool DoesDirExistNoDebug(const std::wstring& path) { return DirTest(path, true); }

bool DoesFileExist(const std::wstring& path, bool log) {
  if (path.size() > 116) {
    bool result = false;
    {
      const RedirectionOff off;
      result = IsDriveOrNetworkPath(path) && FileExistsLongPath(path);
    }
    DPrint(static_cast<int>(path.size()));
    return result;
  }
  if (!IsDriveOrNetworkPath(path)) return false;
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  {
    const RedirectionOff off;
    attributes = PathAttributes(path);
  }
  bool result = IsFileAttributes(attributes, path);
  if (log) {
    DPrint(L"CommonModule\\DoesFileExist: " + std::to_wstring(result ? static_cast<long>(attributes) : -1L));
    DPrint(L"\t- Passed: " + path);
    DPrint(L"\t- Returns: " + DebugText(result));
  }
  return result;
}

std::wstring FileVersionNo(const std::wstring& fileName, bool& fourParts) {
  DWORD ignored = 0;
  std::vector<BYTE> block;
  // Size and contents are read with the same redirection, so that both come from the same file.
  DWORD size = 0, error = 0;
  bool read = false;
  {
    const RedirectionOff off;
    size = GetFileVersionInfoSizeW(fileName.c_str(), &ignored);
    if (size > 0) block.resize(size);
    read = size > 0 && GetFileVersionInfoW(fileName.c_str(), 0, size, block.data());
    error = read ? 0 : GetLastError();
  }
  if (size == 0) return {};
  VS_FIXEDFILEINFO* info = nullptr;
  UINT infoSize = 0;
  if (!read || !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) || !info ||
      infoSize < sizeof(VS_FIXEDFILEINFO)) {
    if (read || error == 0) error = ERROR_RESOURCE_TYPE_NOT_FOUND;
    ReportWindowsError(L"CommonModule\\FileVersionNo", error);
    ReportArgument(L"sFileName", fileName);
    return {};
  }
  // Each word is a number from 0 to 65535; a word above 32767 is no negative version.
  auto word = [](WORD value) { return std::to_wstring(value); };
  std::wstring text = word(HIWORD(info->dwFileVersionMS)) + L"." + word(LOWORD(info->dwFileVersionMS)) + L".";
  if (HIWORD(info->dwFileVersionLS) > 0) fourParts = true;
  if (fourParts) text += word(HIWORD(info->dwFileVersionLS)) + L".";
  text += word(LOWORD(info->dwFileVersionLS));
  return text;
}

std::wstring FileVersionNo(const std::wstring& fileName) {
  bool fourParts = false;
  return FileVersionNo(fileName, fourParts);
}

std::wstring ReadIni(const std::wstring& iniFile, const std::wstring& section, const std::wstring& key) {
  for (DWORD size = 255;; size *= 2) {
    std::wstring buffer(size, L'\0');
    DWORD length =
        GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", buffer.data(), size, iniFile.c_str());
    if (length == 0) return {};
    if (length == size - 1 && size < (1u << 24)) continue;
    return buffer.substr(0, length);
  }
}

std::wstring ReadIniSection(const std::wstring& iniFile, const std::wstring& section) {
  for (DWORD size = 255;; size *= 2) {
    std::wstring buffer(size, L'\0');
    DWORD length = GetPrivateProfileSectionW(section.c_str(), buffer.data(), size, iniFile.c_str());
    if (length == 0) return {};
    if (length == size - 2 && size < (1u << 24)) continue;
    return buffer.substr(0, length - 1);
  }
}

void WriteIni(const std::wstring& iniFile, const std::wstring& section, const std::wstring& key,
              const std::wstring& value) {
  WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), iniFile.c_str());
}

void FindFiles(const std::wstring& folder, const std::wstring& patterns, std::vector<std::wstring>& fileList,
               bool recurse) {
  fileList.clear();
  if (!DoesDirExist(folder)) return;
  fileList = FindFilesInDir(folder, patterns, recurse);
}

std::vector<std::wstring> FindFilesInDir(const std::wstring& folder, const std::wstring& patterns, bool recurse) {
  std::vector<std::wstring> found;
  std::wstring base = platform::EndsWith(folder, L"\\") ? folder : folder + L"\\";
  for (const auto& pattern : platform::Split(patterns, L";")) {
    ListFolderMatches(base, pattern, found);
    platform::DoEvents();
  }
  if (!recurse) return found;
  for (const auto& subfolder : ListSubfolders(base)) {
    for (auto& path : FindFilesInDir(subfolder, patterns, true)) found.push_back(std::move(path));
    platform::DoEvents();
  }
  return found;
}

bool Is64BitWindows(const std::wstring& drive) {
  if (drive.empty()) return platform::WindowsIs64Bit();
  return DoesDirExistNo64bitCheck(drive + L"\\Program Files (x86)");
}

bool IsFolderWritable(const std::wstring& folder) {
  std::wstring probe = StripTrailingCharacters(folder, L"\\") + L"\\5203184.tmp";
  if (!SaveTextToFile(probe, L"", true, false)) return false;
  DeleteFileW(probe.c_str());
  return true;
}

bool IsNewerVersion(const std::wstring& currentVersion, const std::wstring& otherVersion) {
  // Part by part as numbers; a text that is no version counts as 0.
  std::vector<int64_t> current, other;
  if (!VersionParts(currentVersion, current)) current.clear();
  if (!VersionParts(otherVersion, other)) other.clear();
  size_t count = std::max(current.size(), other.size());
  current.resize(count, 0);
  other.resize(count, 0);
  return other > current;
}

void DeleteFileQuietly(const std::wstring& path) {
  const RedirectionOff off;
  DeleteFileW(path.c_str());
}

bool MakeFolder(const std::wstring& folder) {
  std::wstring path = platform::EndsWith(folder, L"\\") ? folder : folder + L"\\";
  {
    const RedirectionOff off;
    // Create each missing level; the first levels (drive, server and share) already exist or fail harmlessly.
    for (size_t at = path.find(L'\\'); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
      if (at == 0 || path[at - 1] == L':' || path[at - 1] == L'\\') continue;
      CreateDirectoryW(ApiPath(path.substr(0, at)).c_str(), nullptr);
    }
  }
  return DoesDirExist(folder);
}

std::wstring GetPathKind(const std::wstring& path) {
  std::wstring kind = L"neither";
  if (DoesFileExist(path)) kind = L"file";
  if (DoesDirExist(path)) kind = L"dir";
  return kind;
}

bool IsFormLoaded(const std::wstring& formName) {
  for (const auto& [name, window] : platform::LoadedForms()) {
    if (platform::Upper(name) == platform::Upper(formName)) return true;
  }
  return false;
}

void UnloadAllForms(const std::wstring& keepFormName) {
  for (const auto& [name, window] : platform::LoadedForms()) {
    if (name != keepFormName) DestroyWindow(window);
  }
}

}  // namespace CommonModule
