#include "filtermod/Module1.h"

#include <commctrl.h>
#include <shellapi.h>

#include "common/CommonModule.h"
#include "common/CommonModule2.h"
#include "common/Product.h"
#include "common/ProtectionCatalogue.h"
#include "common/modRegistry.h"
#include "filtermod/BoundLaunch.h"
#include "filtermod/LaunchPath.h"
#include "filtermod/Module3.h"
#include "filtermod/RelaunchMark.h"
#include "filtermod/frmInvisible.h"
#include "filtermod/modEXEScan.h"
#include "platform/Handle.h"
#include "platform/Procedure.h"
#include "platform/Process.h"
#include "platform/PromptSeam.h"
#include "platform/Text.h"

namespace Module1 {

namespace {

const wchar_t kCrLf[] = L"\r\n";
// How long a module handing a file to the shell waits for its relaunch to take the mark.
constexpr DWORD kRelaunchClaimMs = 10000;
// Yes/No, critical stop, No as the default: a stray Enter must not let a file run.
constexpr UINT kQuestionStyle = MB_YESNO | MB_ICONHAND | MB_DEFBUTTON2;
constexpr UINT kNoticeStyle = MB_OK | MB_ICONHAND;

using platform::Contains;
using platform::Lower;

// Shell32 stays loaded from the first question until the user has answered it.
platform::UniqueModule& Shell32() {
  static platform::UniqueModule shell32;
  return shell32;
}

void ReleaseShell32() { Shell32().reset(); }

// A notification choice: on when the INI or the saved value says "1".
bool FilterSwitch(ProtectionCatalogue::Choice choice) {
  const ProtectionCatalogue::Row& row = ProtectionCatalogue::RowOf(choice);
  if (CommonModule::ReadIni(CommonModule::IniPath, ProtectionCatalogue::IniSection(row.saved.place), row.ini.key) == L"1")
    return true;
  return modRegistry::ReadText(HKEY_LOCAL_MACHINE, ProtectionCatalogue::Key(choice), row.saved.value) == L"1";
}

int Ask(const std::wstring& text, UINT style) { return platform::ShowMessageBox(nullptr, text, ProductLabel, style); }

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
  const std::wstring commandLine = platform::ProcessArguments();
  if (commandLine.empty()) return;
  // Never weigh a launch of ourselves.
  if (Contains(Lower(commandLine), Lower(CommonModule::AppExeName() + L".exe"))) return;
  Launch launch = ParseLaunch(commandLine);
  launch.canonicalPath = LaunchPath::Canonical(launch.filePath);
  // First of all, so that a module waiting for its relaunch is let go at once.
  launch.relaunched = RelaunchMark::ClaimRelaunch(launch.canonicalPath);

  CommonModule::FsRedirEnabled = true;
  CommonModule::InitAppSettings(true, true, false);
  const std::wstring bulkIni = CommonModule::AppPath() + L"Bulk.ini";
  CommonModule::IniPath =
      CommonModule::DoesFileExist(bulkIni) ? bulkIni : CommonModule::AppPath() + Product::kSettingsIni;
  BuildProductTitle();

  const bool silentBlock = FilterSwitch(ProtectionCatalogue::Choice::SilentBlock);
  const bool alertAllow = FilterSwitch(ProtectionCatalogue::Choice::AlertAllow);
  const bool noAllow = FilterSwitch(ProtectionCatalogue::Choice::NoAllow);

  CommonModule::DPrint(L"Module1\\Main: ", L"- Passed: " + commandLine, L"- File: " + launch.filePath,
                       L"- Canonical: " + launch.canonicalPath, L"- Arguments: " + launch.arguments);
  // The lists as they are now, read once for this launch.
  HashLists lists;
  modEXEScan::LoadHashLists(FindHashLists(), lists);
  if (launch.mode == L'/') {
    FilterExecutable(launch, lists, alertAllow);
  } else {
    FilterRestrictedFile(launch, lists, silentBlock, alertAllow, launch.mode == L'*', noAllow);
  }
  ReleaseShell32();
}

void InitCommonControlsVB() {
  if (!Shell32()) Shell32().reset(LoadLibraryW(L"shell32.dll"));
  InitCommonControls();
}

void FilterExecutable(const Launch& launch, const HashLists& lists, bool alertAllow) {
  const std::wstring& path = launch.canonicalPath;
  const std::wstring& shown = launch.filePath;
  // The hash lists first, wherever the file lies: the trusted folders hold places any user can
  // write to (the Windows folder's Temp, Tasks, spool). Held open from the hash read until the
  // program has started.
  HeldFile held;
  if (modEXEScan::CheckHashRules(lists, path, shown, false, held)) return;
  const auto start = [&] {
    LaunchProgram(L"exe", launch, held, false);
    held.Release();
  };
  if (!Contains(path, L"\\") || LaunchPath::InWindowsFolder(path) || LaunchPath::InProgramFiles(path))
    return start();

  if (LaunchPath::InDataFolder(path)) {
    InitCommonControlsVB();
    const std::wstring question = std::wstring(L"A restricted program has been blocked:") + kCrLf + kCrLf + shown +
                                  kCrLf + kCrLf + L"Allow program to run?";
    const std::wstring blocked =
        std::wstring(L"A restricted program was blocked from execution by user click:") + kCrLf + kCrLf + shown;
    const std::wstring allowed =
        std::wstring(L"A restricted program was allowed to execute by user click:") + kCrLf + kCrLf + shown;
    // Under SYSTEM nobody could answer: the file starts.
    if (!CommonModule2::IsSystemAccount(false)) {
      if (Ask(question, kQuestionStyle) != IDYES) {
        ReleaseShell32();
        Module3::SendAlert(L"Restricted program blocked!", blocked);
        Module3::WriteEventLog(blocked, 1);
        return;
      }
      ReleaseShell32();
      // The program first: a slow mail server must not hold it back.
      start();
      if (alertAllow) Module3::SendAlert(L"Restricted program allowed!", allowed);
      Module3::WriteEventLog(allowed, 2);
      return;
    }
  }
  start();
}

void FilterRestrictedFile(const Launch& launch, const HashLists& lists, bool silentBlock, bool alertAllow,
                          bool constantMode, bool noAllow) {
  const std::wstring& path = launch.canonicalPath;
  const std::wstring& shown = launch.filePath;
  // Held open from the hash read until the program has started.
  HeldFile held;
  if (modEXEScan::CheckHashRules(lists, path, shown, silentBlock, held)) return;
  const auto start = [&] {
    LaunchProgram(launch.extension, launch, held, silentBlock);
    held.Release();
  };
  if (!constantMode && (LaunchPath::InWindowsFolder(path) || LaunchPath::InProgramFiles(path))) return start();

  const std::wstring x = platform::Upper(launch.extension);
  const std::wstring notice = std::wstring(L"A restricted program has been blocked:") + kCrLf + kCrLf + shown;
  const std::wstring blocked = L"A restricted ." + x + L" program was blocked from execution by user click:" + kCrLf +
                               kCrLf + shown;
  // Under SYSTEM, or when told to block silently, nobody is asked: the file is blocked.
  if (!silentBlock && !CommonModule2::IsSystemAccount(false)) {
    InitCommonControlsVB();
    if (noAllow) {
      Ask(notice, kNoticeStyle);
      ReleaseShell32();
    } else {
      const std::wstring question = L"A restricted ." + x + L" program has been blocked:" + kCrLf + kCrLf + shown +
                                    kCrLf + kCrLf + L"Allow program to run?";
      if (Ask(question, kQuestionStyle) == IDYES) {
        start();
        ReleaseShell32();
        const std::wstring allowed = L"A restricted ." + x + L" program was allowed to execute by user click:" + kCrLf +
                                     kCrLf + shown;
        if (alertAllow) Module3::SendAlert(L"Restricted ." + x + L" program allowed!", allowed);
        Module3::WriteEventLog(allowed, 2);
        return;
      }
      ReleaseShell32();
    }
  }
  Module3::SendAlert(L"Restricted ." + x + L" program blocked!", blocked);
  Module3::WriteEventLog(notice, 1);
}

void LaunchProgram(const std::wstring& extension, const Launch& launch, const HeldFile& held, bool silent) {
  const std::wstring& filePath = launch.canonicalPath;
  const std::wstring& arguments = launch.arguments;
  const bool applet = Lower(extension) == L"cpl";
  DWORD startError = 0;
  if (!held.BoundPath().empty()) {
    // The file hashed is started by the path it was bound to. The given path must still lead to
    // it: one that no longer does was re-pointed on the way, and nothing starts.
    CommonModule::DPrint(L"Module1\\LaunchProgram: bound", L"- Started as: " + held.BoundPath());
    BoundLaunch::Outcome outcome;
    if (!held.IsAt(filePath, true))
      outcome.problem = L"its path was re-pointed after the check and no longer leads to the file checked";
    else
      outcome = applet ? BoundLaunch::StartApplet(held) : BoundLaunch::StartProgram(held, arguments);
    if (!outcome.problem.empty()) return modEXEScan::ReportFailedCheck(filePath, launch.filePath, silent, outcome.problem);
    if (!outcome.startError) return;
    startError = outcome.startError;
    if (applet) {
      // The shell's verb for the class is this module again: it would only try the same.
      CommonModule::DPrint(L"Module1\\LaunchProgram: the control-panel host did not start",
                           L"- Windows error: " + std::to_wstring(startError));
      return;
    }
  } else if (applet) {
    int32_t exitCode = 0;
    CommonModule::ShellX(L"control.exe", CommonModule::QuoteArgument(filePath), false, SW_SHOWNORMAL, exitCode, false,
                         false, CommonModule::kNoTimeLimit);
    return;
  } else {
    // The path is always quoted: unquoted, a path with blanks would let CreateProcess try
    // "C:\Users\John.exe" for "C:\Users\John Smith\...".
    std::wstring command = L"\"" + filePath + L"\"";
    if (!arguments.empty()) command += L" " + arguments;
    platform::UniqueKernelHandle process;
    DWORD processId = 0;
    {
      const CommonModule::RedirectionOff off;
      startError = platform::StartProgram(command, SW_SHOWNORMAL, process, processId);
    }
    if (processId) return;
  }
  CommonModule::DPrint(L"Module1\\LaunchProgram: start refused", L"- Windows error: " + std::to_wstring(startError));

  // The shell's verb for a hooked class is this module again: a relaunch hands nothing on.
  if (launch.relaunched) {
    Module3::WriteEventLog(L"Failed to execute:  " + launch.filePath + kCrLf + kCrLf + L"Error:  " +
                               std::to_wstring(startError) + kCrLf + L"Verb:  none (already handed to the shell once)",
                           1);
    return;
  }

  const bool elevated = IsElevated();
  const std::wstring verb = elevated ? L"open" : L"runas";
  CommonModule::DPrint(L"Shell file:  " + filePath + kCrLf + L"\tArguments:  " + arguments + kCrLf + L"\tError:  0" +
                       (elevated ? L"; Process elevated, using 'open' verb with ShellExecute"
                                 : L"; Process NOT elevated, using 'runas' verb with ShellExecute"));

  const RelaunchMark::Mark mark(filePath);
  const HWND owner = frmInvisible::Show();
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.hwnd = owner;
  info.lpVerb = verb.c_str();
  info.lpFile = filePath.c_str();
  info.lpParameters = arguments.empty() ? nullptr : arguments.c_str();
  info.nShow = SW_SHOWNORMAL;
  bool executed = false;
  {
    const CommonModule::RedirectionOff off;
    executed = ShellExecuteExW(&info) != FALSE;
  }
  frmInvisible::Unload();
  platform::UniqueKernelHandle started(info.hProcess);
  const INT_PTR result = reinterpret_cast<INT_PTR>(info.hInstApp);

  if (executed) {
    mark.WaitUntilSeen(started.get(), kRelaunchClaimMs);
    return;
  }
  const std::wstring code = std::to_wstring(result >= 0 && result <= 32 ? result : SE_ERR_NOASSOC);
  CommonModule::DPrint(L"ShellExecute file:  " + filePath + kCrLf + L"\tArguments:  " + arguments + kCrLf +
                       L"\tError:  " + code);
  Module3::WriteEventLog(L"Failed to execute:  " + launch.filePath + kCrLf + kCrLf + L"Error:  " + code + kCrLf +
                             L"Verb:  " + verb,
                         1);
}

bool IsElevated() {
  using IsUserAnAdminFn = BOOL(WINAPI*)();
  platform::UniqueModule shell32(LoadLibraryW(L"shell32.dll"));
  if (!shell32) return false;
  const auto isAdmin = platform::GetProcedure<IsUserAnAdminFn>(shell32.get(), "IsUserAnAdmin");
  return isAdmin && isAdmin() != 0;
}

}  // namespace Module1
