#pragma once
// The shared toolbox of all three programs: start-up settings and the debug log, where the program
// lives, running outside programs, path and text helpers, file, folder and INI helpers.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/DebugText.h"

namespace CommonModule {

// ---- Start-up settings and debug log ----------------------------------------------------------

extern std::wstring IniPath;       // the settings INI of this program
extern bool DebugToFile;           // debug lines also go to DebugLogPath
extern std::wstring DebugLogPath;

void InitAppSettings(bool setAppIni, bool iniBesideProgram, bool logToFile);

// Writes one debug line: a TAB before each part. Goes to the debugger output always and to
// DebugLogPath (after the time of day) when DebugToFile is on. Never fails.
void DPrintLine(const std::wstring& line);
template <typename... Parts>
void DPrint(const Parts&... parts) {
  std::wstring line;
  ((line += L'\t', line += DebugText(parts)), ...);
  DPrintLine(line);
}

bool SaveTextToFile(const std::wstring& file, const std::wstring& text, bool overwrite, bool noDuplicates);
bool SaveTextToFileNoDebug(const std::wstring& file, const std::wstring& text, bool overwrite, bool noDuplicates);
int16_t CountFiles(const std::wstring& folder, const std::wstring& spec);

// ---- Program location, version text, window and shell helpers ---------------------------------

std::wstring AppPath();         // program folder, always one trailing backslash
std::wstring AppExeFullPath();  // AppPath & executable name & ".exe"
std::wstring AppExeName();      // executable name without extension
std::wstring AppTitle();        // the program's title, from its version block
std::wstring GetVersionText(const std::wstring& stage, const std::wstring& suffix);
void OpenWebPage(const std::wstring& webPage);
void OpenFilePath(const std::wstring& fileAndPath, bool quiet);
void SetFormTopMost(HWND window, bool topMost);
// Makes a window see-through: 0 invisible, 255 opaque.
void SetWindowAlpha(HWND window, uint8_t alpha);
// True when the path names a file (a locked one too), also beyond MAX_PATH.
bool FileExistsLongPath(const std::wstring& path);

// ---- Delay and file-system redirection ---------------------------------------------------------

extern bool FsRedirEnabled;   // the program lets the redirection switch act (main program, filter module)
extern bool FsRedirDisabled;  // redirection is switched off now
extern void* FsRedirOldValue;

void Delay(double seconds);
void DisableFSRedir();
void RevertFSRedir();
// File-system redirection off for one block, back on when the outermost such block of the thread
// ends: a helper that switches it off inside a caller's block leaves the caller's state alone.
class RedirectionOff {
 public:
  RedirectionOff();
  ~RedirectionOff();
  RedirectionOff(const RedirectionOff&) = delete;
  RedirectionOff& operator=(const RedirectionOff&) = delete;
};

// ---- Running outside programs (CommonModuleRun.cpp) ---------------------------------------------

// The time limit callers pass when they do not use one.
constexpr int32_t kNoTimeLimit = 2000000000;
// Even a wait "without a limit" (no limit asked, or kNoTimeLimit passed) ends after this long:
// a hung outside program must not hang us.
constexpr DWORD kLongestWaitMs = 15 * 60 * 1000;

// True when the program was started and, when waiting, has ended; a wait that the time limit
// ended is false, with the exit code 259 (the program is left running).
bool ShellX(const std::wstring& pathAndFileName, const std::wstring& parameters, bool wait, int windowStyle,
            int32_t& exitCode, bool asSystem, bool useTimeLimit, int32_t timeLimitMs);
bool ShellXAsSystem(const std::wstring& program, const std::wstring& parameters, const std::wstring& waitText);
bool ShellAndWaitForTermination(const std::wstring& shell, int windowStyle, std::wstring& message, int32_t timeLimitMs,
                                bool useTimeLimit);

// Wraps an argument in double quotes when it holds a blank or a tab (and is not quoted already).
std::wstring QuoteArgument(const std::wstring& argument);

// ---- Path and string trimming helpers ---------------------------------------------------------

std::wstring StripPath(const std::wstring& fullPathAndFileName);
std::wstring StripNameFromPath(const std::wstring& fullPathAndFileName);
std::wstring StripNameFromPathNoDebug(const std::wstring& path);
std::wstring Strip(const std::wstring& line, const std::wstring& removeStr);
std::wstring StripEndOfString(const std::wstring& originalString, const std::wstring& delimiter, bool useFirstDelimiter,
                              bool trimLeading, bool trimTrailing);
std::wstring StripBeginningOfString(const std::wstring& originalString, const std::wstring& delimiter,
                                    bool useFirstDelimiter, bool trimLeading, bool trimTrailing);
std::wstring StripTrailingCharacters(const std::wstring& originalString, const std::wstring& trailingCharacter);
std::wstring StripPreceedingCharacters(const std::wstring& originalString, const std::wstring& character);

// ---- File, folder and INI file helpers --------------------------------------------------------

bool DoesDirExist(const std::wstring& path, bool log = false);
bool DoesDirExistNo64bitCheck(const std::wstring& path, bool log = false);
bool DoesDirExistNoDebug(const std::wstring& path);
bool DoesFileExist(const std::wstring& path, bool log = false);
// "major.minor.revision", or all four parts when the build word is above 0 or fourParts is passed
// True (which the build word above 0 also sets); "" when the file carries no version.
std::wstring FileVersionNo(const std::wstring& fileName, bool& fourParts);
std::wstring FileVersionNo(const std::wstring& fileName);
std::wstring ReadIni(const std::wstring& iniFile, const std::wstring& section, const std::wstring& key);
std::wstring ReadIniSection(const std::wstring& iniFile, const std::wstring& section);
void WriteIni(const std::wstring& iniFile, const std::wstring& section, const std::wstring& key,
              const std::wstring& value);
void FindFiles(const std::wstring& folder, const std::wstring& patterns, std::vector<std::wstring>& fileList,
               bool recurse);
std::vector<std::wstring> FindFilesInDir(const std::wstring& folder, const std::wstring& patterns, bool recurse);
bool CopyFiles(const std::wstring& source, const std::wstring& destination, bool overwrite, bool unused,
               bool renameOnCollision);
bool Is64BitWindows(const std::wstring& drive);
bool IsFolderWritable(const std::wstring& folder);
bool IsNewerVersion(const std::wstring& currentVersion, const std::wstring& otherVersion);
bool MakeFolder(const std::wstring& folder);
// Deletes a file, with redirection off, without a word: a file that stays (locked, refused) stays.
void DeleteFileQuietly(const std::wstring& path);
std::wstring GetPathKind(const std::wstring& path);  // "file", "dir" or "neither"
bool IsFormLoaded(const std::wstring& formName);
void UnloadAllForms(const std::wstring& keepFormName);

// ---- Process termination (CommonModuleRun.cpp) ------------------------------------------------
// Names are whole executable file names ("sidebar.exe"), compared in any case. An empty name, or
// one no file could carry ("*", a quote), ends nothing.

// Ends the program in every way Windows offers, each tried whatever the others achieved: the
// process list, the debug privilege (when the name is a process id), WMI, then tskill and
// taskkill. A path is reduced to its file name first. wait: wait for the two outside programs.
void KillProcessAllWays(const std::wstring& process, bool wait);
// Every process of that name, through the process list.
void KillProcess(const std::wstring& sProcessName);
// One process by id, with the debug privilege for the moment of the call. True when it was ended.
bool KillProcess2(uint32_t processId, uint32_t exitCode);
// Every process of that name, through WMI's Terminate.
void KillProcessViaWMI(const std::wstring& sProcessName);
// The outside programs' part: "tskill NAME /a" and "taskkill /f /t /im NAME" through cmd.exe,
// hidden, one after the other.
void KillProcessViaTools(const std::wstring& sProcessName, bool wait);

}  // namespace CommonModule
