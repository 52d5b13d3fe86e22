#include "tests/support/TestSupport.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>

#include "platform/FileTree.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "tests/support/ProductState.h"

namespace testsupport {

namespace {

std::wstring OwnFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder = path;
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[MAX_PATH] = {};
  GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
  return full;
}

std::vector<std::wstring> Unescape(const std::vector<std::wstring>& fields) {
  std::vector<std::wstring> out;
  for (const auto& field : fields) {
    std::wstring text;
    for (size_t i = 0; i < field.size(); ++i) {
      if (field[i] == L'\\' && i + 1 < field.size()) {
        wchar_t c = field[++i];
        text += c == L'r' ? L'\r' : c == L'n' ? L'\n' : c == L't' ? L'\t' : c;
      } else {
        text += field[i];
      }
    }
    out.push_back(text);
  }
  return out;
}

}  // namespace

std::wstring ProgramsDir() { return FullPath(OwnFolder() + L"..\\..\\bin\\"); }
std::wstring TestsDir() { return OwnFolder(); }

std::wstring MainWindowCaption() {
  const std::wstring exe = ProgramsDir() + kMainProgram;
  DWORD ignored = 0;
  std::vector<BYTE> data(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
  VS_FIXEDFILEINFO* info = nullptr;
  UINT size = 0;
  if (data.empty() || !GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &size) || info == nullptr)
    return std::wstring(kProductName) + L" v?";
  return std::wstring(kProductName) + L" v" + std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." +
         std::to_wstring(LOWORD(info->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionLS)) + L" ";
}

ScratchDir::ScratchDir() {
  static std::atomic<unsigned> counter{0};
  CreateDirectoryW(L"C:\\iltest", nullptr);
  path_ = L"C:\\iltest\\t" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount()) + L"_" +
          std::to_wstring(counter++);
  platform::RemoveFolderTree(path_);
  CreateDirectoryW(path_.c_str(), nullptr);
  path_ += L"\\";
}

ScratchDir::~ScratchDir() { platform::RemoveFolderTree(path_.substr(0, path_.size() - 1)); }

std::string ReadFileBytes(const std::wstring& path) {
  platform::UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  if (!file) return bytes;
  char buffer[8192];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
  return bytes;
}

std::wstring ReadTextFile(const std::wstring& path) {
  std::string bytes = ReadFileBytes(path);
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0) > 0)
    return platform::FromUtf8(bytes);
  return platform::FromAnsi(bytes);
}

std::vector<std::pair<std::wstring, std::string>> FolderFiles(const std::wstring& folder) {
  std::vector<std::pair<std::wstring, std::string>> files;
  WIN32_FIND_DATAW found{};
  platform::UniqueFindHandle search(FindFirstFileW((folder + L"*").c_str(), &found));
  if (!search) return files;
  do {
    const std::wstring name = found.cFileName;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY || name == L"prompts.log" || name == kDebugLog) continue;
    files.emplace_back(name, ReadFileBytes(folder + name));
  } while (FindNextFileW(search.get(), &found));
  std::sort(files.begin(), files.end());
  return files;
}

bool WriteTextFile(const std::wstring& path, const std::string& bytes) {
  platform::UniqueFileHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool FileExists(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::wstring> Lines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::wstring line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
    if (text[i] == L'\n' || text[i] == L'\r') {
      lines.push_back(line);
      line.clear();
    } else {
      line += text[i];
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

bool CopyProgram(const std::wstring& builtName, const std::wstring& toPath) {
  const bool fake = builtName.rfind(L"fake", 0) == 0;
  std::wstring from = fake ? TestsDir() + L"fakes\\" + builtName : ProgramsDir() + builtName;
  return CopyFileW(from.c_str(), toPath.c_str(), FALSE) != 0;
}

RunResult RunProcess(const std::wstring& commandLine, const std::vector<std::wstring>& extraEnv, DWORD timeoutMs) {
  // The child gets this process's environment plus the extra entries (which win).
  std::wstring block;
  {
    wchar_t* env = GetEnvironmentStringsW();
    for (const wchar_t* p = env; *p; p += wcslen(p) + 1) {
      std::wstring entry = p;
      bool overridden = false;
      for (const auto& extra : extraEnv) {
        std::wstring name = extra.substr(0, extra.find(L'=') + 1);
        if (platform::EqualsNoCase(entry.substr(0, name.size()), name)) overridden = true;
      }
      if (!overridden) block += entry + L'\0';
    }
    FreeEnvironmentStringsW(env);
  }
  for (const auto& extra : extraEnv) block += extra + L'\0';
  block += L'\0';

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  std::wstring line = commandLine;
  RunResult result;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr,
                      &startup, &info))
    return result;
  platform::UniqueKernelHandle process(info.hProcess), thread(info.hThread);
  result.started = true;
  if (WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0) {
    result.finished = true;
    GetExitCodeProcess(process.get(), &result.exitCode);
  } else {
    TerminateProcess(process.get(), 1);
  }
  return result;
}

std::vector<PromptRecord> ReadPromptLog(const std::wstring& path) {
  std::vector<PromptRecord> records;
  for (const auto& line : Lines(ReadTextFile(path))) {
    auto fields = platform::Split(line, L"\t");
    PromptRecord record;
    record.kind = fields.front();
    fields.erase(fields.begin());
    record.fields = Unescape(fields);
    records.push_back(record);
  }
  return records;
}

InstalledProgram::InstalledProgram() : InstalledProgram(kMainProgram) {}

InstalledProgram::InstalledProgram(const std::wstring& exeName) : exeName_(exeName) {
  CopyProgram(exeName, ExePath());
}

RunResult InstalledProgram::Run(const std::wstring& arguments, const std::wstring& answers, DWORD timeoutMs) {
  std::wstring command = L"\"" + ExePath() + L"\"";
  if (!arguments.empty()) command += L" " + arguments;
  return RunProcess(command, {L"ILATCH_PROMPT_LOG=" + PromptLog(), L"ILATCH_PROMPT_ANSWERS=" + answers}, timeoutMs);
}

std::vector<std::wstring> FileNames(const std::wstring& pattern) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  platform::UniqueFindHandle search(FindFirstFileW(pattern.c_str(), &found));
  if (!search) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (FindNextFileW(search.get(), &found));
  std::sort(names.begin(), names.end());
  return names;
}

WineProgramVersion::WineProgramVersion(const std::wstring& exeName, const std::wstring& version)
    : key_(L"Software\\Wine\\AppDefaults\\" + exeName) {
  ok_ = RegWriteString(HKEY_CURRENT_USER, key_, L"Version", version);
}

WineProgramVersion::~WineProgramVersion() { RegDeleteTreeQuiet(HKEY_CURRENT_USER, key_); }

namespace {
const wchar_t kKernelVersionSwitch[] = L"ILATCH_WINDOWS_VERSION";
}  // namespace

KernelVersionStandIn::KernelVersionStandIn(const std::wstring& majorDotMinor) {
  SetEnvironmentVariableW(kKernelVersionSwitch, majorDotMinor.c_str());
}

KernelVersionStandIn::~KernelVersionStandIn() { SetEnvironmentVariableW(kKernelVersionSwitch, nullptr); }

std::wstring KernelVersionStandIn::Entry(const std::wstring& majorDotMinor) {
  return std::wstring(kKernelVersionSwitch) + L"=" + majorDotMinor;
}

std::vector<std::string> SinkMails() {
  std::vector<std::string> mails;
  const std::wstring folder = TestsDir() + L"smtpsink\\mail\\";
  WIN32_FIND_DATAW found{};
  platform::UniqueFindHandle search(FindFirstFileW((folder + L"*.eml").c_str(), &found));
  if (!search) return mails;
  do mails.push_back(ReadFileBytes(folder + found.cFileName));
  while (FindNextFileW(search.get(), &found));
  return mails;
}

std::string WaitForSinkMail(const std::string& token, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  do {
    for (const auto& mail : SinkMails()) {
      if (mail.find(token) != std::string::npos) return mail;
    }
    Sleep(100);
  } while (GetTickCount() - start < timeoutMs);
  return "";
}

bool RegRead(HKEY root, const std::wstring& key, const std::wstring& value, std::wstring& text) {
  platform::UniqueRegKey k;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, k.put()) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(k.get(), value.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(k.get(), value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS)
    return false;
  buffer.resize(size / sizeof(wchar_t));
  if (type != REG_MULTI_SZ)
    while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
  text = buffer;
  return true;
}

bool RegReadDword(HKEY root, const std::wstring& key, const std::wstring& value, DWORD& number) {
  platform::UniqueRegKey k;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, k.put()) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = sizeof number;
  return RegQueryValueExW(k.get(), value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) ==
             ERROR_SUCCESS &&
         type == REG_DWORD;
}

bool RegKeyExists(HKEY root, const std::wstring& key) {
  platform::UniqueRegKey k;
  return RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, k.put()) == ERROR_SUCCESS;
}

void RegDeleteTreeQuiet(HKEY root, const std::wstring& key) {
  SHDeleteKeyW(root, key.c_str());
}

void RegDeleteValueQuiet(HKEY root, const std::wstring& key, const std::wstring& value) {
  platform::UniqueRegKey k;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE | KEY_WOW64_64KEY, k.put()) == ERROR_SUCCESS)
    RegDeleteValueW(k.get(), value.c_str());
}

bool RegReadRaw(HKEY root, const std::wstring& key, const std::wstring& value, DWORD& type, std::vector<BYTE>& data) {
  platform::UniqueRegKey k;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, k.put()) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  if (RegQueryValueExW(k.get(), value.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  data.resize(size);
  return RegQueryValueExW(k.get(), value.c_str(), nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
}

std::vector<std::wstring> RegSubkeys(HKEY root, const std::wstring& key) {
  std::vector<std::wstring> names;
  platform::UniqueRegKey k;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY, k.put()) != ERROR_SUCCESS)
    return names;
  wchar_t name[256];
  for (DWORD i = 0; RegEnumKeyW(k.get(), i, name, 256) == ERROR_SUCCESS; ++i) names.push_back(name);
  return names;
}

std::wstring ProductSetting(const std::wstring& value, const std::wstring& subkey) {
  std::wstring text;
  return RegRead(HKEY_LOCAL_MACHINE, kSettingsKey + subkey, value, text) ? text : L"<missing>";
}

void ClearProductAndPolicy() {
  RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kRestrictionPolicyKey);
  RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kMakerKey);
}

std::vector<std::wstring> RuleItemData(const std::wstring& pathsKey) {
  std::vector<std::wstring> items;
  for (const auto& name : RegSubkeys(HKEY_LOCAL_MACHINE, pathsKey)) {
    std::wstring item;
    if (RegRead(HKEY_LOCAL_MACHINE, pathsKey + L"\\" + name, L"ItemData", item)) items.push_back(item);
  }
  std::sort(items.begin(), items.end());
  return items;
}

bool RegWriteRaw(HKEY root, const std::wstring& key, const std::wstring& value, DWORD type, const void* bytes,
                 DWORD size) {
  platform::UniqueRegKey k;
  if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, k.put(), nullptr) !=
      ERROR_SUCCESS)
    return false;
  return RegSetValueExW(k.get(), value.c_str(), 0, type, static_cast<const BYTE*>(bytes), size) == ERROR_SUCCESS;
}

bool RegWriteDword(HKEY root, const std::wstring& key, const std::wstring& value, DWORD number) {
  return RegWriteRaw(root, key, value, REG_DWORD, &number, sizeof number);
}

bool RegWriteString(HKEY root, const std::wstring& key, const std::wstring& value, const std::wstring& text,
                    DWORD type) {
  return RegWriteRaw(root, key, value, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

}  // namespace testsupport
