// Running outside programs: Windows' own tools from the system folder only, waits that always
// end, and ending processes in every way Windows offers.
#include "common/CommonModule.h"

#include <tlhelp32.h>
#include <wrl/client.h>

#include <exception>
#include <new>

#include "common/CommonModule2.h"
#include "common/ErrorReport.h"
#include "common/SetOwnerFS.h"
#include "platform/Com.h"
#include "platform/Handle.h"
#include "platform/Process.h"
#include "platform/SystemFolder.h"
#include "platform/Text.h"

namespace CommonModule {

namespace {

// A bare program name is one of Windows' own tools: it is started from the system folder (or,
// for the few that live there, the Windows folder), never found through the search path, which
// begins with our own folder and the current folder and goes on through PATH, all of which the
// starting user may fill. A tool missing from both goes to the system folder all the same, so that
// it fails instead of starting a stranger.
std::wstring ResolveSystemTool(const std::wstring& program) {
  if (program.empty() || program.find_first_of(L"\\/:\"") != std::wstring::npos) return program;
  std::wstring name = platform::Lower(program);
  if (name.find(L'.') == std::wstring::npos) name += L".exe";
  const std::wstring inSystem = platform::SystemTool(name);
  const std::wstring inWindows = platform::WindowsFolder() + L"\\" + name;
  if (!DoesFileExist(inSystem) && DoesFileExist(inWindows)) return inWindows;
  return inSystem;
}

// A whole command line whose program is a bare name of one of Windows' own tools gets that tool's full path.
std::wstring WithSystemTool(const std::wstring& commandLine) {
  if (commandLine.empty() || commandLine.front() == L'"') return commandLine;
  size_t end = commandLine.find_first_of(L" \t");
  std::wstring program = commandLine.substr(0, end);
  std::wstring resolved = ResolveSystemTool(program);
  if (resolved == program) return commandLine;
  return QuoteArgument(resolved) + (end == std::wstring::npos ? std::wstring() : commandLine.substr(end));
}

DWORD EffectiveLimit(bool useTimeLimit, int32_t timeLimitMs) {
  // Callers that mean "no limit" pass kNoTimeLimit, some with the limit switched on.
  if (!useTimeLimit || timeLimitMs >= kNoTimeLimit) return kLongestWaitMs;
  return timeLimitMs < 0 ? 0 : static_cast<DWORD>(timeLimitMs);
}

}  // namespace

// ---- Running outside programs -----------------------------------------------------------------

std::wstring QuoteArgument(const std::wstring& argument) {
  if (argument.find_first_of(L" \t") == std::wstring::npos) return argument;
  if (argument.size() >= 2 && argument.front() == L'"' && argument.back() == L'"') return argument;
  return L"\"" + argument + L"\"";
}

bool ShellX(const std::wstring& pathAndFileName, const std::wstring& parameters, bool wait, int windowStyle,
            int32_t& exitCode, bool asSystem, bool useTimeLimit, int32_t timeLimitMs) {
  if (pathAndFileName.find(L'\\') != std::wstring::npos && !DoesFileExist(pathAndFileName)) {
    DPrint(L"CommonModule\\ShellX FILE NOT FOUND");
    DPrint(L"\t- sPathAndFileName=" + pathAndFileName);
    return false;
  }
  std::wstring command = QuoteArgument(ResolveSystemTool(pathAndFileName));
  if (!parameters.empty()) command += L" " + parameters;

  int style = windowStyle;
  if (asSystem && !CommonModule2::IsSystemAccount(false)) {
    std::wstring psexec = AppPath() + L"3rd Party Tools\\psexec.exe";
    if (platform::StartsWith(AppPath(), L"\\\\")) {
      DPrint(L"ShellX:  Cannot run app as system with PSEXEC on a UNC path.");
    } else if (!DoesFileExist(psexec)) {
      DPrint(L"ShellX:  Cannot find PSEXEC.EXE");
    } else {
      command = L"\"" + psexec + L"\"" + (wait ? L" -accepteula -s -i " : L" -accepteula -s -i -d ") + command;
      style = SW_HIDE;
    }
  }

  platform::UniqueKernelHandle process;
  DWORD processId = 0;
  DWORD error = 0;
  {
    const RedirectionOff off;
    error = platform::StartProgram(command, style, process, processId);
  }
  if (error) {
    ReportWindowsError(L"CommonModule\\ShellX", error);
    DPrint(L"\t- sShell=" + command);
    return false;
  }

  bool result = true;
  if (wait) {
    platform::WaitForProgram(process.get(), EffectiveLimit(useTimeLimit, timeLimitMs));
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
      GetExitCodeProcess(process.get(), &code);
    } else {
      // Still running at the limit: whatever it was to do is not done, so this is no success.
      DPrint(L"ShellX:  Time limit reached, the program is still running.");
      result = false;
    }
    exitCode = static_cast<int32_t>(code);
  } else {
    result = processId != 0;
  }
  if (!result) DPrint(L"ShellX (Failed):  " + command);
  return result;
}

bool ShellXAsSystem(const std::wstring& program, const std::wstring& parameters, const std::wstring& waitText) {
  std::wstring word = platform::Lower(platform::Trim(waitText));
  int64_t number = 0;
  bool wait = false;
  if (word == L"true") wait = true;
  else if (word == L"false") wait = false;
  else if (platform::ParseInt64(word, number)) wait = number != 0;
  else {
    ReportTrappedError(L"CommonModule\\ShellXAsSystem", 13, L"Type mismatch");
    ReportArgument(L"bWait", waitText);
    return false;
  }
  int32_t exitCode = 0;
  return ShellX(program, parameters, wait, SW_HIDE, exitCode, true, false, kNoTimeLimit);
}

bool ShellAndWaitForTermination(const std::wstring& shell, int windowStyle, std::wstring& message, int32_t timeLimitMs,
                                bool useTimeLimit) {
  DPrint(L"ShellandWaitForTermination:  " + shell);
  platform::UniqueKernelHandle process;
  DWORD processId = 0;
  DWORD error = 0;
  {
    const RedirectionOff off;
    error = platform::StartProgram(WithSystemTool(shell), windowStyle, process, processId);
  }
  bool result = false;
  if (error) {
    ReportWindowsError(L"CommonModule\\ShellAndWaitForTermination", error);
    DPrint(L"\t- sShell=" + shell);
    message = L"This program could not determine whether the process started.Please watch the program and check it completes.";
  } else if (platform::WaitForProgram(process.get(), EffectiveLimit(useTimeLimit, timeLimitMs))) {
    result = true;
  } else {
    message = L"The process has timed out.";
  }
  DPrint(L"\tSuccess=" + DebugText(result));
  return result;
}

// ---- Process termination ----------------------------------------------------------------------

namespace {

// A name that could be a file's: not empty, no wildcard, quote, separator or control character.
// Anything else would match nothing here, or too much in the outside programs.
bool IsProcessFileName(const std::wstring& name) {
  if (name.empty()) return false;
  for (wchar_t c : name) {
    if (c < 32 || wcschr(L"\\/:*?\"<>|", c)) return false;
  }
  return true;
}

bool RefusedName(const wchar_t* procedure, const std::wstring& name) {
  if (IsProcessFileName(name)) return false;
  DPrint(std::wstring(procedure) + L": not a process file name, nothing ended");
  ReportArgument(L"sProcessName", name);
  return true;
}

// Lets a failed WMI step end the walk with its report.
struct WmiFailure {
  HRESULT result;
};
void Check(HRESULT result) {
  if (FAILED(result)) throw WmiFailure{result};
}

// Ends every process of that (upper-cased) name through Win32_Process.Terminate.
void TerminateMatchingViaWmi(const std::wstring& upperName) {
  using Microsoft::WRL::ComPtr;
  const platform::Bstr method(L"Terminate"), className(L"Win32_Process");
  if (!method || !className) throw std::bad_alloc();
  ComPtr<IWbemClassObject> arguments;  // Terminate(Reason = 0), made on the first match
  auto terminateIfNamed = [&](IWbemServices* wmi, IWbemClassObject* process) {
    platform::ComVariant name;
    Check(process->Get(L"Name", 0, name.get(), nullptr, nullptr));
    if (name->vt != VT_BSTR || !name->bstrVal || platform::Upper(name->bstrVal) != upperName) return;
    if (!arguments) {
      ComPtr<IWbemClassObject> processClass, signature;
      Check(wmi->GetObject(className.get(), 0, nullptr, &processClass, nullptr));
      Check(processClass->GetMethod(method.get(), 0, &signature, nullptr));
      Check(signature->SpawnInstance(0, &arguments));
      platform::ComVariant reason;
      reason->vt = VT_I4;
      reason->lVal = 0;
      Check(arguments->Put(L"Reason", 0, reason.get(), 0));
    }
    platform::ComVariant path;
    Check(process->Get(L"__PATH", 0, path.get(), nullptr, nullptr));
    if (path->vt != VT_BSTR) return;
    Check(wmi->ExecMethod(path->bstrVal, method.get(), 0, nullptr, arguments.Get(), nullptr, nullptr));
  };
  // What the row handler met travels back out here, past the walk.
  std::exception_ptr thrown;
  HRESULT failure = S_OK;
  platform::WalkWmiRows(
      L"Select * from win32_Process",
      [&](IWbemServices* wmi, IWbemClassObject* process) {
        try {
          terminateIfNamed(wmi, process);
          return true;
        } catch (...) {
          thrown = std::current_exception();
          return false;
        }
      },
      [&](HRESULT result, const wchar_t*) { failure = result; });
  if (thrown) std::rethrow_exception(thrown);
  Check(failure);
}

}  // namespace

void KillProcessAllWays(const std::wstring& process, bool wait) {
  try {
    const std::wstring name = StripPath(process);
    if (RefusedName(L"CommonModule\\KillProcessAllWays", name)) return;
    KillProcess(name);
    int64_t processId = 0;
    if (platform::ParseInt64(name, processId) && processId >= 0 && processId <= 0xFFFFFFFFll)
      KillProcess2(static_cast<uint32_t>(processId), 0);
    KillProcessViaWMI(name);
    KillProcessViaTools(name, wait);
  } catch (const std::bad_alloc&) {
    ReportTrappedError(L"CommonModule\\KillProcessAllWays", 7, L"Out of memory");
  }
}

void KillProcess(const std::wstring& sProcessName) {
  try {
    if (RefusedName(L"CommonModule\\KillProcess", sProcessName)) return;
    platform::UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
      ReportWindowsError(L"CommonModule\\KillProcess", GetLastError());
      ReportArgument(L"sProcessName", sProcessName);
      return;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
      if (!platform::EqualsNoCase(entry.szExeFile, sProcessName)) continue;
      platform::UniqueKernelHandle victim(OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
      if (victim) TerminateProcess(victim.get(), 0);
    }
  } catch (const std::bad_alloc&) {
    ReportTrappedError(L"CommonModule\\KillProcess", 7, L"Out of memory");
    ReportArgument(L"sProcessName", sProcessName);
  }
}

bool KillProcess2(uint32_t processId, uint32_t exitCode) {
  const bool ntFamily = (GetVersion() & 0x80000000u) == 0;
  SetOwnerFS::PrivilegeChange debug;
  if (ntFamily) {
    debug = SetOwnerFS::ChangeOwnPrivilege(L"SeDebugPrivilege", true, TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
    if (debug.failure != SetOwnerFS::PrivilegeFailure::None) return false;
  }
  bool ended = false;
  platform::UniqueKernelHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId));
  if (process) ended = TerminateProcess(process.get(), exitCode) != 0;
  if (ntFamily) SetOwnerFS::RestoreOwnPrivilege(debug);
  return ended;
}

void KillProcessViaWMI(const std::wstring& sProcessName) {
  const wchar_t procedure[] = L"CommonModule\\KillProcessViaWMI";
  if (RefusedName(procedure, sProcessName)) return;
  const platform::ComApartment com;
  try {
    if (!com.Usable()) throw WmiFailure{com.Result()};
    TerminateMatchingViaWmi(platform::Upper(sProcessName));
  } catch (const WmiFailure& failure) {
    ReportWindowsError(procedure, static_cast<DWORD>(failure.result));
    ReportArgument(L"sProcessName", sProcessName);
  } catch (const std::bad_alloc&) {
    ReportTrappedError(procedure, 7, L"Out of memory");
    ReportArgument(L"sProcessName", sProcessName);
  }
}

void KillProcessViaTools(const std::wstring& sProcessName, bool wait) {
  try {
    if (RefusedName(L"CommonModule\\KillProcessViaTools", sProcessName)) return;
    const std::wstring quoted = L"\"" + sProcessName + L"\"";
    int32_t exitCode = 0;
    // Started straight from the system folder: through "cmd /c" a tskill.exe or taskkill.exe in
    // the current folder would run first. tskill is missing from some editions; its step then fails.
    ShellX(L"tskill.exe", quoted + L" /a", wait, SW_HIDE, exitCode, false, false, kNoTimeLimit);
    ShellX(L"taskkill.exe", L"/f /t /im " + quoted, wait, SW_HIDE, exitCode, false, false, kNoTimeLimit);
  } catch (const std::bad_alloc&) {
    ReportTrappedError(L"CommonModule\\KillProcessViaTools", 7, L"Out of memory");
  }
}

}  // namespace CommonModule
