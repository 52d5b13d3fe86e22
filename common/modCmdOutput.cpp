#include "common/modCmdOutput.h"

#include <vector>

#include "common/CommonModule.h"
#include "platform/Handle.h"

namespace modCmdOutput {

namespace {

constexpr DWORD kReadBufferSize = 1024;
constexpr DWORD kPollMs = 15;

std::wstring BytesToText(const std::vector<char>& bytes, UINT codePage) {
  if (bytes.empty()) return {};
  const int count = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), count);
  return text;
}

}  // namespace

std::wstring GetCommandOutput(const std::wstring& commandLine, bool captureStdOut, bool captureStdErr,
                              bool oemConversion, DWORD timeoutMs) {
  if (!captureStdOut && !captureStdErr) {
    CommonModule::DPrint(L"modCmdOutput\\GetCommandOutput: neither output asked for", commandLine);
    return {};
  }

  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  platform::UniqueKernelHandle readEnd, writeEnd, writeEndCopy;
  {
    HANDLE readRaw = nullptr, writeRaw = nullptr;
    if (!CreatePipe(&readRaw, &writeRaw, &inheritable, kReadBufferSize)) return {};
    readEnd.reset(readRaw);
    writeEnd.reset(writeRaw);
  }
  // The child must get the write end only: a read end it inherited would keep the pipe open.
  HANDLE own = GetCurrentProcess();
  HANDLE readPrivate = nullptr;
  if (!DuplicateHandle(own, readEnd.get(), own, &readPrivate, 0, FALSE, DUPLICATE_SAME_ACCESS)) return {};
  readEnd.reset(readPrivate);
  if (captureStdOut && captureStdErr) {
    HANDLE copy = nullptr;
    if (!DuplicateHandle(own, writeEnd.get(), own, &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) return {};
    writeEndCopy.reset(copy);
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = nullptr;
  if (captureStdOut && captureStdErr) {
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEndCopy.get();
  } else if (captureStdOut) {
    startup.hStdOutput = writeEnd.get();
  } else {
    startup.hStdError = writeEnd.get();
  }

  PROCESS_INFORMATION info = {};
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
    return L"Failed to create process, check the path of the command line:\r\n" + commandLine;
  }
  platform::UniqueKernelHandle process(info.hProcess), thread(info.hThread);
  // Only the child (and what it starts) holds the write end now, so the pipe ends with it.
  writeEnd.reset();
  writeEndCopy.reset();

  // Anonymous pipes cannot be read with a time limit, so the loop reads only what is waiting
  // and otherwise waits on the child a moment at a time.
  std::vector<char> bytes;
  char buffer[kReadBufferSize];
  const DWORD started = GetTickCount();
  for (;;) {
    DWORD waiting = 0;
    if (!PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &waiting, nullptr)) break;  // the pipe has ended
    if (waiting > 0) {
      DWORD got = 0;
      if (!ReadFile(readEnd.get(), buffer, kReadBufferSize, &got, nullptr)) break;
      bytes.insert(bytes.end(), buffer, buffer + got);
      continue;
    }
    if (GetTickCount() - started >= timeoutMs) {
      CommonModule::DPrint(L"modCmdOutput\\GetCommandOutput: no end of output in time, program ended", commandLine);
      TerminateProcess(process.get(), 1);
      break;
    }
    // A program that has ended may have left a program of its own holding the pipe.
    if (WaitForSingleObject(process.get(), kPollMs) == WAIT_OBJECT_0) Sleep(kPollMs);
  }
  // Converted once at the end, so that a character split between two reads stays whole.
  return BytesToText(bytes, oemConversion ? CP_OEMCP : CP_ACP);
}

}  // namespace modCmdOutput
