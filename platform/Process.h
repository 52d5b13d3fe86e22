#pragma once
// Starting a program and waiting for it, with the reason when Windows refused the start.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Handle.h"

namespace platform {

// Starts the command line with the given show state. 0, or the Windows error of the start.
DWORD StartProgram(const std::wstring& commandLine, int showState, UniqueKernelHandle& process, DWORD& processId);

// Starts exactly the program file given (no search, no extension added) with that command line,
// its first thread suspended: nothing of the program runs until the caller resumes that thread.
// 0, or the Windows error of the start.
DWORD StartSuspended(const std::wstring& programFile, const std::wstring& commandLine, int showState,
                     UniqueKernelHandle& process, UniqueKernelHandle& thread);

// The full path of the process's program file (Vista and later); "" with error set when it cannot
// be read, ERROR_CALL_NOT_IMPLEMENTED before Vista.
std::wstring ProcessImagePath(HANDLE process, DWORD& error);

// The files of the modules the process has loaded, its program among them; empty with error set
// while the list cannot be read (a process still starting has none to read yet).
std::vector<std::wstring> ProcessModuleFiles(DWORD processId, DWORD& error);

// Waits for the process in 100 ms steps, letting window events run; false when the limit ended
// the wait (the process is left running).
bool WaitForProgram(HANDLE process, DWORD limitMs);

struct ProgramRun {
  DWORD startError = 0;   // 0 when the program started; else the Windows error of the start
  bool finished = false;  // it ended within the limit
  DWORD exitCode = 0;     // when finished
  bool endedAtLimit = false;  // it was still running at the limit and has been ended
};

// Starts the command line with the given show state and waits up to limitMs, letting window
// events run. A program still running at the limit is left running, or with endAtLimit ended
// (and waited for a moment, so that its file can go).
ProgramRun RunAndWait(const std::wstring& commandLine, int showState, DWORD limitMs, bool endAtLimit = false);

struct CapturedRun {
  DWORD startError = 0;   // 0 when the program started; else the Windows error of the start
  bool finished = false;  // it ended within the limit and its output was read to the end
  DWORD exitCode = 0;     // when finished
  std::string output;     // what it wrote to its standard output, at most maxBytes
};

// Starts the command line without a window, its standard output into a pipe, and reads that
// output up to maxBytes. A program that writes more, is still running at the limit or is still
// running when abandon (when not null) is signalled is ended. Only the pipe is handed to it.
CapturedRun RunAndCapture(const std::wstring& commandLine, DWORD limitMs, size_t maxBytes, HANDLE abandon = nullptr);

// The arguments of this process: its command line without the program name.
std::wstring ProcessArguments();

// True for the errors with which Windows refuses to start a program because a policy forbids it.
bool IsRefusedByPolicy(DWORD startError);

}  // namespace platform
