#include "platform/Process.h"

#include <tlhelp32.h>

#include <algorithm>

#include "platform/Forms.h"
#include "platform/Procedure.h"

namespace platform {

namespace {

DWORD Start(const wchar_t* programFile, const std::wstring& commandLine, int showState, DWORD flags,
            UniqueKernelHandle& process, UniqueKernelHandle* thread, DWORD* processId) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showState);
  PROCESS_INFORMATION info = {};
  std::wstring line = commandLine;  // CreateProcess may write into it
  if (!CreateProcessW(programFile, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup, &info))
    return GetLastError();
  UniqueKernelHandle firstThread(info.hThread);
  process.reset(info.hProcess);
  if (thread) *thread = std::move(firstThread);
  if (processId) *processId = info.dwProcessId;
  return 0;
}

}  // namespace

DWORD StartProgram(const std::wstring& commandLine, int showState, UniqueKernelHandle& process, DWORD& processId) {
  return Start(nullptr, commandLine, showState, 0, process, nullptr, &processId);
}

DWORD StartSuspended(const std::wstring& programFile, const std::wstring& commandLine, int showState,
                     UniqueKernelHandle& process, UniqueKernelHandle& thread) {
  return Start(programFile.c_str(), commandLine, showState, CREATE_SUSPENDED, process, &thread, nullptr);
}

std::wstring ProcessImagePath(HANDLE process, DWORD& error) {
  using ImageNameFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
  static const auto imageName = GetLoadedProcedure<ImageNameFn>(L"kernel32.dll", "QueryFullProcessImageNameW");
  error = 0;
  if (!imageName) {
    error = ERROR_CALL_NOT_IMPLEMENTED;
    return L"";
  }
  std::wstring text(32768, L'\0');
  DWORD size = static_cast<DWORD>(text.size());
  if (!imageName(process, 0, text.data(), &size)) {
    error = GetLastError();
    return L"";
  }
  text.resize(size);
  return text;
}

std::vector<std::wstring> ProcessModuleFiles(DWORD processId, DWORD& error) {
  std::vector<std::wstring> files;
  error = 0;
  // The 32-bit modules of a 32-bit process on 64-bit Windows too.
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, processId);
  if (snapshot == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return files;
  }
  const UniqueKernelHandle owned(snapshot);
  MODULEENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry))
    files.push_back(entry.szExePath);
  if (files.empty()) error = GetLastError();
  return files;
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

namespace {

// Reads what the pipe holds now, up to room bytes; false when the writer has closed it.
bool ReadAvailable(HANDLE pipe, std::string& into, size_t room) {
  DWORD waiting = 0;
  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr)) return false;
  if (waiting == 0 || room == 0) return true;
  std::string chunk(std::min<size_t>(waiting, room), '\0');
  DWORD got = 0;
  if (!ReadFile(pipe, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) return false;
  into.append(chunk, 0, got);
  return true;
}

}  // namespace

CapturedRun RunAndCapture(const std::wstring& commandLine, DWORD limitMs, size_t maxBytes, HANDLE abandon) {
  CapturedRun run;
  UniqueKernelHandle readEnd, writeEnd;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0) ||
      !SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0)) {
    run.startError = GetLastError();
    return run;
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd.get();
  PROCESS_INFORMATION info = {};
  std::wstring line = commandLine;  // CreateProcess may write into it
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &info)) {
    run.startError = GetLastError();
    return run;
  }
  UniqueKernelHandle process(info.hProcess), thread(info.hThread);
  writeEnd.reset();  // the pipe ends when the program's copy closes

  // Until the pipe closes (the program's end closes it), the output outgrows the cap, the limit
  // passes or the caller gives up.
  const DWORD start = GetTickCount();
  auto left = [&] {
    const DWORD spent = GetTickCount() - start;  // unsigned difference survives the wrap
    return spent < limitMs ? limitMs - spent : 0;
  };
  auto abandoned = [&] { return abandon && WaitForSingleObject(abandon, 0) == WAIT_OBJECT_0; };
  bool open = true;
  while (open && run.output.size() <= maxBytes && left() > 0 && !abandoned()) {
    const bool ended = WaitForSingleObject(process.get(), 20) == WAIT_OBJECT_0;
    // Read after the look: what it wrote before it ended is in the pipe by now.
    open = ReadAvailable(readEnd.get(), run.output, maxBytes + 1 - run.output.size()) && !ended;
  }
  const bool complete = !open && run.output.size() <= maxBytes;
  if (complete && WaitForSingleObject(process.get(), left()) == WAIT_OBJECT_0) {
    run.finished = true;
    GetExitCodeProcess(process.get(), &run.exitCode);
  } else {
    TerminateProcess(process.get(), ERROR_TIMEOUT);
    WaitForSingleObject(process.get(), 5000);
  }
  if (run.output.size() > maxBytes) run.output.resize(maxBytes);
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
