#pragma once
// Helpers for tests that run the real programs in the scratch Wine prefix.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Folder of the built programs (the main program, ...), with a trailing backslash.
std::wstring ProgramsDir();
// Folder of the test programs and fakes, with a trailing backslash.
std::wstring TestsDir();
// The main window's caption outside branded mode: the product's name, " v" and the built program's major,
// minor and revision numbers, then a blank.
std::wstring MainWindowCaption();

// A fresh folder under C:\iltest, removed with everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::wstring& Path() const { return path_; }  // with a trailing backslash
  std::wstring operator/(const std::wstring& name) const { return path_ + name; }

 private:
  std::wstring path_;
};

std::string ReadFileBytes(const std::wstring& path);
std::wstring ReadTextFile(const std::wstring& path);  // ANSI or UTF-8 file, as text
bool WriteTextFile(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);
std::vector<std::wstring> Lines(const std::wstring& text);
// The names of the files (not folders) that a pattern ("folder\*.log") matches, sorted.
std::vector<std::wstring> FileNames(const std::wstring& pattern);

// The files directly in a folder (with its trailing backslash) with their bytes, sorted, without
// the run's own records (the prompt log and the debug log).
std::vector<std::pair<std::wstring, std::string>> FolderFiles(const std::wstring& folder);

// Copies a built program or one of the fakes (fakeprog.exe, fakecpl_a.cpl, ...) to a full path.
bool CopyProgram(const std::wstring& builtName, const std::wstring& toPath);

struct RunResult {
  bool started = false;
  bool finished = false;
  DWORD exitCode = 0;
};
// Runs a command line with extra environment entries ("NAME=value") and waits up to timeoutMs.
RunResult RunProcess(const std::wstring& commandLine, const std::vector<std::wstring>& extraEnv,
                     DWORD timeoutMs = 60000);

// One record of the prompt log that a rehearsing program writes: kind and fields.
struct PromptRecord {
  std::wstring kind;  // "box", "window", "reboot"
  std::vector<std::wstring> fields;
};
std::vector<PromptRecord> ReadPromptLog(const std::wstring& path);

// The main program (or another built program) copied into a scratch folder and run there with a
// prompt log.
class InstalledProgram {
 public:
  InstalledProgram();
  explicit InstalledProgram(const std::wstring& exeName);
  const std::wstring& Folder() const { return dir_.Path(); }
  std::wstring ExePath() const { return dir_.Path() + exeName_; }
  RunResult Run(const std::wstring& arguments, const std::wstring& answers = L"", DWORD timeoutMs = 60000);
  std::vector<PromptRecord> Prompts() const { return ReadPromptLog(PromptLog()); }
  std::wstring PromptLog() const { return dir_.Path() + L"prompts.log"; }

 private:
  ScratchDir dir_;
  std::wstring exeName_;
};

// The Windows version Wine tells one program (HKCU\Software\Wine\AppDefaults\<exe name>, value
// Version), which any user can set for any program, as a compatibility layer on Windows; removed
// again when the object goes. The tests share one prefix: set it only for a copy under a name of
// its own.
class WineProgramVersion {
 public:
  WineProgramVersion(const std::wstring& exeName, const std::wstring& version);
  ~WineProgramVersion();
  WineProgramVersion(const WineProgramVersion&) = delete;
  WineProgramVersion& operator=(const WineProgramVersion&) = delete;
  bool Ok() const { return ok_; }
  const std::wstring& Key() const { return key_; }

 private:
  std::wstring key_;
  bool ok_ = false;
};

// The test runs' stand-in for the kernel's Windows version (ILATCH_WINDOWS_VERSION, "5.2"): the
// programs this process starts while the object lives take it for the Windows they run on, in
// every version test that chooses a folder or a road. Gone with the object.
class KernelVersionStandIn {
 public:
  explicit KernelVersionStandIn(const std::wstring& majorDotMinor);
  ~KernelVersionStandIn();
  KernelVersionStandIn(const KernelVersionStandIn&) = delete;
  KernelVersionStandIn& operator=(const KernelVersionStandIn&) = delete;
  // The environment entry that gives it to one program only.
  static std::wstring Entry(const std::wstring& majorDotMinor);
};

// Mail that the local SMTP sink of the tests (the smtpsink fixture) received, one text per message.
std::vector<std::string> SinkMails();
// The received mail that holds token, waiting up to timeoutMs; "" when none came.
std::string WaitForSinkMail(const std::string& token, DWORD timeoutMs = 5000);

// Registry helpers (64-bit view).
bool RegRead(HKEY root, const std::wstring& key, const std::wstring& value, std::wstring& text);
bool RegReadDword(HKEY root, const std::wstring& key, const std::wstring& value, DWORD& number);
bool RegKeyExists(HKEY root, const std::wstring& key);
void RegDeleteTreeQuiet(HKEY root, const std::wstring& key);
void RegDeleteValueQuiet(HKEY root, const std::wstring& key, const std::wstring& value);
bool RegReadRaw(HKEY root, const std::wstring& key, const std::wstring& value, DWORD& type, std::vector<BYTE>& data);
std::vector<std::wstring> RegSubkeys(HKEY root, const std::wstring& key);
// A value under the product's settings key (HKLM kSettingsKey & subkey), or
// "<missing>" when it is not there.
std::wstring ProductSetting(const std::wstring& value, const std::wstring& subkey = L"");
// Removes the product's settings and the whole restriction policy: the state a test starts from.
void ClearProductAndPolicy();
// The ItemData of every rule key under a policy level's Paths key, sorted.
std::vector<std::wstring> RuleItemData(const std::wstring& pathsKey);
// Stores the bytes as they are, of any type.
bool RegWriteRaw(HKEY root, const std::wstring& key, const std::wstring& value, DWORD type, const void* bytes,
                 DWORD size);
bool RegWriteDword(HKEY root, const std::wstring& key, const std::wstring& value, DWORD number);
bool RegWriteString(HKEY root, const std::wstring& key, const std::wstring& value, const std::wstring& text,
                    DWORD type = REG_SZ);

}  // namespace testsupport
