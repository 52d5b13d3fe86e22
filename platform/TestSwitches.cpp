#include "platform/TestSwitches.h"

#include <windows.h>

#include <vector>

#include "platform/Handle.h"
#include "platform/ProductName.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace platform {

const wchar_t kSwitchPromptLog[] = L"ILATCH_PROMPT_LOG";
const wchar_t kSwitchPromptAnswers[] = L"ILATCH_PROMPT_ANSWERS";
const wchar_t kSwitchKeepWindows[] = L"ILATCH_KEEP_WINDOWS";
const wchar_t kSwitchOpenFileAnswer[] = L"ILATCH_OPENFILE_ANSWER";
const wchar_t kSwitchWebRoot[] = L"ILATCH_WEB_ROOT";
const wchar_t kSwitchUpdateHost[] = L"ILATCH_UPDATE_HOST";
const wchar_t kSwitchUpdateServer[] = L"ILATCH_UPDATE_SERVER";
const wchar_t kSwitchStallSeconds[] = L"ILATCH_STALL_SECONDS";
const wchar_t kSwitchDownloadSeconds[] = L"ILATCH_DOWNLOAD_SECONDS";
const wchar_t kSwitchDataRoot[] = L"ILATCH_DATA_ROOT";
const wchar_t kSwitchNoInstallerPin[] = L"ILATCH_NO_INSTALLER_PIN";
const wchar_t kSwitchTrustedOwner[] = L"ILATCH_TRUSTED_OWNER";
const wchar_t kSwitchRightsLog[] = L"ILATCH_RIGHTS_LOG";
const wchar_t kSwitchWindowsVersion[] = L"ILATCH_WINDOWS_VERSION";
const wchar_t kSwitchPreventionGate[] = L"ILATCH_PREVENTION_GATE";

namespace {

// Only administrators can write below HKLM\Software.
const wchar_t kTestRunsKey[] = L"Software\\" ILATCH_PRODUCT_NAME L" Test Runs";

std::wstring FullLongPath(const std::wstring& path) {
  wchar_t full[MAX_PATH * 2] = {};
  const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
  if (length == 0 || length >= MAX_PATH * 2) return {};
  wchar_t longer[MAX_PATH * 2] = {};
  const DWORD longLength = GetLongPathNameW(full, longer, MAX_PATH * 2);
  return Lower(longLength > 0 && longLength < MAX_PATH * 2 ? longer : full);
}

std::vector<std::wstring> ListedFolders() {
  std::vector<std::wstring> folders;
  RegistryKey key;
  std::vector<std::wstring> names;
  if (key.Open(HKEY_LOCAL_MACHINE, kTestRunsKey, KEY_QUERY_VALUE, RegistryView::Bits64) != ERROR_SUCCESS)
    return folders;
  key.ValueNames(names);
  for (const std::wstring& name : names) {
    std::wstring text;
    DWORD type = REG_NONE;
    if (key.ReadText(name, text, type) != ERROR_SUCCESS || type != REG_SZ || text.size() >= MAX_PATH) continue;
    std::wstring folder = Trim(text);
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    if (folder.size() < 2) continue;  // a drive letter and its colon at least
    folder = FullLongPath(folder + L"\\");
    if (!folder.empty()) folders.push_back(folder);
  }
  return folders;
}

bool ProgramIsListed() {
  wchar_t own[MAX_PATH * 2] = {};
  const DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return false;
  const std::wstring program = FullLongPath(own);
  if (program.empty()) return false;
  for (const std::wstring& folder : ListedFolders()) {
    if (StartsWith(program, folder.back() == L'\\' ? folder : folder + L"\\")) return true;
  }
  return false;
}

}  // namespace

bool TestSwitchesAllowed() {
  static const bool allowed = ProgramIsListed();
  return allowed;
}

std::wstring TestSwitch(const wchar_t* name) {
  if (!TestSwitchesAllowed()) return {};
  return GetEnv(name);
}

unsigned long TestSwitchLimitMs(const wchar_t* name, unsigned long seconds) {
  int64_t given = 0;
  if (ParseInt64(TestSwitch(name), given) && given > 0 && given < 86400) seconds = static_cast<unsigned long>(given);
  return seconds * 1000;
}

void WaitAtTestGate(const wchar_t* name) {
  const std::wstring gate = TestSwitch(name);
  if (gate.empty()) return;
  {
    UniqueFileHandle made(CreateFileW(gate.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!made) return;
  }
  for (int waited = 0; waited < 30000 && GetFileAttributesW(gate.c_str()) != INVALID_FILE_ATTRIBUTES; waited += 50)
    Sleep(50);
}

}  // namespace platform
