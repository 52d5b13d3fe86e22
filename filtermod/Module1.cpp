#include "filtermod/Module1.h"

#include <commctrl.h>
#include <shellapi.h>

#include "alerts/modEmailSvc.h"
#include "common/CommonModule.h"
#include "common/CommonModule2.h"
#include "common/Product.h"
#include "common/Variant.h"
#include "common/modOpSys.h"
#include "common/modRegistry.h"
#include "engine/CommandLine.h"
#include "filtermod/Module3.h"
#include "filtermod/frmInvisible.h"
#include "filtermod/modEXEScan.h"
#include "platform/Handle.h"
#include "platform/Procedure.h"
#include "platform/Process.h"
#include "platform/PromptSeam.h"
#include "platform/Text.h"

namespace Module1 {

HMODULE Shell32Handle = nullptr;
std::wstring ExecFilterMd5Path;
std::wstring ExecFilterSha256Path;
std::wstring UserExecFilterMd5Path;
std::wstring UserExecFilterSha256Path;

namespace {

const wchar_t kCrLf[] = L"\r\n";
const wchar_t* const kFilterKey = Product::kFilterModuleKey;
// Yes/No, critical stop, No as the default: a stray Enter must not let a file run.
constexpr UINT kQuestionStyle = MB_YESNO | MB_ICONHAND | MB_DEFBUTTON2;
constexpr UINT kNoticeStyle = MB_OK | MB_ICONHAND;

using platform::Contains;
using platform::Lower;

void ReleaseShell32() {
  if (Shell32Handle) FreeLibrary(Shell32Handle);
  Shell32Handle = nullptr;
}

// On when the INI or the registry holds exactly "1".
bool FilterSwitch(const std::wstring& name) {
  if (CommonModule::ReadIni(CommonModule::IniPath, L"FilterModule", name) == L"1") return true;
  Variant value;
  modRegistry::fReadValue(L"HKLM", kFilterKey, name, L"S", Variant(L""), value);
  return value.IsText() && value.Text() == L"1";
}

// A folder named by an environment variable, matched as a whole folder name: "C:\Windows" must
// not take in "C:\Windows2\", which any user can create. An unset variable matches nothing.
bool UnderFolder(const std::wstring& path, const std::wstring& variable) {
  std::wstring folder = Lower(platform::Trim(platform::GetEnv(variable)));
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  if (folder.empty()) return false;
  return Contains(Lower(path), folder + L"\\");
}

bool InDataFolder(const std::wstring& path) {
  const std::wstring lower = Lower(path);
  return Contains(lower, L"\\application data\\") || Contains(lower, L"\\appdata\\") ||
         Contains(lower, L"\\programdata\\");
}

int Ask(const std::wstring& text, UINT style) { return platform::ShowMessageBox(nullptr, text, ProductLabel, style); }

std::wstring HashListPath(const std::wstring& fileName) {
  if (modOpSys::IsVista()) return Product::DataFolder() + L"\\" + fileName;
  return CommonModule::AppPath() + fileName;
}

}  // namespace

Launch ParseLaunch(const std::wstring& commandLine) {
  Launch launch;
  if (commandLine.empty()) return launch;
  if (commandLine[0] == L'/' || commandLine[0] == L'*') launch.mode = commandLine[0];

  std::wstring s = commandLine;
  if (!s.empty() && s[0] == L'/') s.erase(0, 1);
  if (!s.empty() && s[0] == L'*') s.erase(0, 1);
  if (!s.empty() && s[0] == L'"') {
    s.erase(0, 1);
    const size_t close = s.find(L'"');
    if (close == std::wstring::npos) {
      launch.filePath = s;
      launch.arguments = platform::Trim(s);
    } else {
      launch.filePath = s.substr(0, close);
      launch.arguments = platform::Trim(s.substr(close + 1));
    }
  } else {
    launch.filePath = s;
  }
  const size_t dot = launch.filePath.rfind(L'.');
  launch.extension = platform::Trim(dot == std::wstring::npos ? launch.filePath : launch.filePath.substr(dot + 1));
  return launch;
}

void Main() {
  const std::wstring commandLine = CommandLine::ProcessArguments();
  if (commandLine.empty()) return;
  // Never weigh a launch of ourselves.
  if (Contains(Lower(commandLine), Lower(CommonModule::AppExeName() + L".exe"))) return;

  CommonModule::FsRedirEnabled = true;
  CommonModule::InitAppSettings(true, true, false);
  const std::wstring bulkIni = CommonModule::AppPath() + L"Bulk.ini";
  CommonModule::IniPath =
      CommonModule::DoesFileExist(bulkIni) ? bulkIni : CommonModule::AppPath() + Product::kSettingsIni;
  BuildProductTitle();

  ExecFilterMd5Path = HashListPath(L"ExecFilter.md5");
  ExecFilterSha256Path = HashListPath(L"ExecFilter.sha256");
  UserExecFilterMd5Path = HashListPath(L"UserExecFilter.md5");
  UserExecFilterSha256Path = HashListPath(L"UserExecFilter.sha256");

  const bool silentBlock = FilterSwitch(L"SilentBlock");
  const bool alertAllow = FilterSwitch(L"AlertAllow");
  const bool noAllow = FilterSwitch(L"NoAllow");

  const Launch launch = ParseLaunch(commandLine);
  CommonModule::DPrint(L"Module1\\Main: ", L"- Passed: " + commandLine, L"- File: " + launch.filePath,
                       L"- Arguments: " + launch.arguments);
  if (launch.mode == L'/') {
    FilterExecutable(launch.filePath, launch.arguments, alertAllow);
  } else {
    FilterRestrictedFile(launch.extension, launch.filePath, launch.arguments, silentBlock, alertAllow,
                         launch.mode == L'*', noAllow);
  }
  ReleaseShell32();
}

void InitCommonControlsVB() {
  if (!Shell32Handle) Shell32Handle = LoadLibraryW(L"shell32.dll");
  InitCommonControls();
}

void FilterExecutable(const std::wstring& filePath, const std::wstring& arguments, bool alertAllow) {
  const auto launch = [&] { LaunchProgram(L"exe", filePath, arguments); };
  if (!Contains(filePath, L"\\") || UnderFolder(filePath, L"systemroot")) return launch();
  if (modEXEScan::CheckHashRules(filePath, false)) return;
  if (UnderFolder(filePath, L"programfiles")) return launch();

  if (InDataFolder(filePath)) {
    InitCommonControlsVB();
    const std::wstring question = std::wstring(L"A restricted program has been blocked:") + kCrLf + kCrLf + filePath +
                                  kCrLf + kCrLf + L"Allow program to run?";
    const std::wstring blocked =
        std::wstring(L"A restricted program was blocked from execution by user click:") + kCrLf + kCrLf + filePath;
    const std::wstring allowed =
        std::wstring(L"A restricted program was allowed to execute by user click:") + kCrLf + kCrLf + filePath;
    // Under SYSTEM nobody could answer: the file starts.
    if (!CommonModule2::IsSystemAccount(false)) {
      if (Ask(question, kQuestionStyle) != IDYES) {
        ReleaseShell32();
        modEmailSvc::SendEmail(L"Restricted program blocked!", blocked);
        Module3::WriteEventLog(blocked, 1);
        return;
      }
      if (alertAllow) modEmailSvc::SendEmail(L"Restricted program allowed!", allowed);
      Module3::WriteEventLog(allowed, 2);
      ReleaseShell32();
    }
  }
  launch();
}

void FilterRestrictedFile(const std::wstring& extension, const std::wstring& filePath, const std::wstring& arguments,
                          bool silentBlock, bool alertAllow, bool constantMode, bool noAllow) {
  if (modEXEScan::CheckHashRules(filePath, silentBlock)) return;
  if (!constantMode && (UnderFolder(filePath, L"systemroot") || UnderFolder(filePath, L"programfiles"))) {
    LaunchProgram(extension, filePath, arguments);
    return;
  }

  const std::wstring x = platform::Upper(extension);
  const std::wstring notice = std::wstring(L"A restricted program has been blocked:") + kCrLf + kCrLf + filePath;
  const std::wstring blocked = L"A restricted ." + x + L" program was blocked from execution by user click:" + kCrLf +
                               kCrLf + filePath;
  // Under SYSTEM, or when told to block silently, nobody is asked: the file is blocked.
  if (!silentBlock && !CommonModule2::IsSystemAccount(false)) {
    InitCommonControlsVB();
    if (noAllow) {
      Ask(notice, kNoticeStyle);
      ReleaseShell32();
    } else {
      const std::wstring question = L"A restricted ." + x + L" program has been blocked:" + kCrLf + kCrLf + filePath +
                                    kCrLf + kCrLf + L"Allow program to run?";
      if (Ask(question, kQuestionStyle) == IDYES) {
        LaunchProgram(extension, filePath, arguments);
        ReleaseShell32();
        const std::wstring allowed = L"A restricted ." + x + L" program was allowed to execute by user click:" + kCrLf +
                                     kCrLf + filePath;
        if (alertAllow) modEmailSvc::SendEmail(L"Restricted ." + x + L" program allowed!", allowed);
        Module3::WriteEventLog(allowed, 2);
        return;
      }
      ReleaseShell32();
    }
  }
  modEmailSvc::SendEmail(L"Restricted ." + x + L" program blocked!", blocked);
  Module3::WriteEventLog(notice, 1);
}

void LaunchProgram(const std::wstring& extension, const std::wstring& filePath, const std::wstring& arguments) {
  if (Lower(extension) == L"cpl") {
    int32_t exitCode = 0;
    CommonModule::ShellX(L"control.exe", CommonModule::QuoteArgument(filePath), false, SW_SHOWNORMAL, exitCode, false,
                         false, CommonModule::kNoTimeLimit);
    return;
  }

  // The path is always quoted: unquoted, a path with blanks would let CreateProcess try
  // "C:\Users\John.exe" for "C:\Users\John Smith\...".
  std::wstring command = L"\"" + filePath + L"\"";
  if (!arguments.empty()) command += L" " + arguments;
  platform::UniqueKernelHandle process;
  DWORD processId = 0;
  DWORD startError = 0;
  {
    const CommonModule::RedirectionOff off;
    startError = platform::StartProgram(command, SW_SHOWNORMAL, process, processId);
  }
  if (processId) return;

  const bool elevated = IsElevated();
  const std::wstring verb = elevated ? L"open" : L"runas";
  CommonModule::DPrint(L"Shell file:  " + filePath + kCrLf + L"\tArguments:  " + arguments + kCrLf + L"\tError:  0" +
                       (elevated ? L"; Process elevated, using 'open' verb with ShellExecute"
                                 : L"; Process NOT elevated, using 'runas' verb with ShellExecute"));
  CommonModule::DPrint(L"Module1\\LaunchProgram: start refused", L"- Windows error: " + std::to_wstring(startError));

  const HWND owner = frmInvisible::Show();
  INT_PTR result = 0;
  {
    const CommonModule::RedirectionOff off;
    result = reinterpret_cast<INT_PTR>(ShellExecuteW(owner, verb.c_str(), filePath.c_str(),
                                                     arguments.empty() ? nullptr : arguments.c_str(), nullptr,
                                                     SW_SHOWNORMAL));
  }
  frmInvisible::Unload();

  if (result >= 0 && result <= 32) {
    const std::wstring code = std::to_wstring(result);
    CommonModule::DPrint(L"ShellExecute file:  " + filePath + kCrLf + L"\tArguments:  " + arguments + kCrLf +
                         L"\tError:  " + code);
    Module3::WriteEventLog(L"Failed to execute:  " + filePath + kCrLf + kCrLf + L"Error:  " + code + kCrLf +
                               L"Verb:  " + verb,
                           1);
  }
}

bool IsElevated() {
  using IsUserAnAdminFn = BOOL(WINAPI*)();
  platform::UniqueModule shell32(LoadLibraryW(L"shell32.dll"));
  if (!shell32) return false;
  const auto isAdmin = platform::GetProcedure<IsUserAnAdminFn>(shell32.get(), "IsUserAnAdmin");
  return isAdmin && isAdmin() != 0;
}

}  // namespace Module1
