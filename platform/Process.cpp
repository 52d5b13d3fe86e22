#include "platform/Process.h"

#include "platform/Forms.h"

namespace platform {

DWORD StartProgram(const std::wstring& commandLine, int showState, UniqueKernelHandle& process, DWORD& processId) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showState);
  PROCESS_INFORMATION info = {};
  std::wstring line = commandLine;  // CreateProcess may write into it
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return GetLastError();
  CloseHandle(info.hThread);
  process.reset(info.hProcess);
  processId = info.dwProcessId;
  return 0;
}

bool WaitForProgram(HANDLE process, DWORD limitMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (WaitForSingleObject(process, 100) != WAIT_TIMEOUT) return true;
    DoEvents();
    if (GetTickCount() - start > limitMs) return false;  // unsigned difference survives the wrap
  }
}

ProgramRun RunAndWait(const std::wstring& commandLine, int showState, DWORD limitMs, bool endAtLimit) {
  ProgramRun run;
  UniqueKernelHandle process;
  DWORD processId = 0;
  run.startError = StartProgram(commandLine, showState, process, processId);
  if (run.startError) return run;
  run.finished = WaitForProgram(process.get(), limitMs);
  if (run.finished) {
    GetExitCodeProcess(process.get(), &run.exitCode);
  } else if (endAtLimit && TerminateProcess(process.get(), ERROR_TIMEOUT)) {
    run.endedAtLimit = WaitForSingleObject(process.get(), 5000) == WAIT_OBJECT_0;
  }
  return run;
}

bool IsRefusedByPolicy(DWORD startError) {
  // 1260 and 786: Software Restriction Policies (with and without their user interface);
  // 1275: a driver or policy blocked the image.
  return startError == 1260 || startError == 786 || startError == 1275;
}

std::wstring ProcessArguments() {
  const wchar_t* p = GetCommandLineW();
  // The program name ends at the closing quote when quoted, else at the first blank.
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p == L'"') ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

}  // namespace platform
