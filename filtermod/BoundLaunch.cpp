#include "filtermod/BoundLaunch.h"

#include "common/CommonModule.h"
#include "platform/Process.h"
#include "platform/SystemFolder.h"
#include "platform/Text.h"

namespace BoundLaunch {

namespace {

constexpr DWORD kPollMs = 50;

std::wstring SystemError(DWORD error) { return L" (system error " + std::to_wstring(error) + L")"; }

Outcome Ended(HANDLE process, const std::wstring& problem) {
  TerminateProcess(process, ERROR_ACCESS_DENIED);
  WaitForSingleObject(process, 5000);
  return {0, problem};
}

// The machine a program file is built for, read from its headers through the held handle; 0 when
// it is no program file.
WORD ImageMachine(HANDLE file) {
  const auto readAt = [file](DWORD offset, void* into, DWORD size) {
    OVERLAPPED at = {};
    at.Offset = offset;
    DWORD got = 0;
    return ReadFile(file, into, size, &got, &at) && got == size;
  };
  IMAGE_DOS_HEADER dos = {};
  DWORD signature = 0;
  IMAGE_FILE_HEADER header = {};
  if (!readAt(0, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return 0;
  const DWORD at = static_cast<DWORD>(dos.e_lfanew);
  if (!readAt(at, &signature, sizeof signature) || signature != IMAGE_NT_SIGNATURE) return 0;
  return readAt(at + sizeof signature, &header, sizeof header) ? header.Machine : 0;
}

// A 32-bit applet on 64-bit Windows goes to the 32-bit host: the module must see the file loaded
// in the very host it started, not in one that host hands the path on to.
std::wstring HostFor(HANDLE applet) {
  if (ImageMachine(applet) == IMAGE_FILE_MACHINE_I386) {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemWow64DirectoryW(folder, MAX_PATH);
    if (length && length < MAX_PATH) return std::wstring(folder, length) + L"\\rundll32.exe";
  }
  return platform::SystemTool(L"rundll32.exe");
}

}  // namespace

Outcome StartProgram(const HeldFile& held, const std::wstring& arguments) {
  const std::wstring& path = held.BoundPath();
  std::wstring command = L"\"" + path + L"\"";
  if (!arguments.empty()) command += L" " + arguments;
  platform::UniqueKernelHandle process, thread;
  {
    const CommonModule::RedirectionOff off;
    if (const DWORD error = platform::StartSuspended(path, command, SW_SHOWNORMAL, process, thread)) return {error, L""};
  }
  DWORD error = 0;
  const std::wstring image = platform::ProcessImagePath(process.get(), error);
  // Before Vista the image cannot be asked for: the bound path is all there is.
  if (image.empty() && error != ERROR_CALL_NOT_IMPLEMENTED)
    return Ended(process.get(), L"the started program's file could not be read" + SystemError(error));
  if (!image.empty() && !held.IsAt(image, false))
    return Ended(process.get(), L"the program started is not the file checked:  " + image);
  if (ResumeThread(thread.get()) == static_cast<DWORD>(-1))
    return Ended(process.get(), L"the started program could not be let run" + SystemError(GetLastError()));
  return {};
}

Outcome StartApplet(const HeldFile& held) {
  const std::wstring& path = held.BoundPath();
  const std::wstring host = HostFor(held.File());
  platform::UniqueKernelHandle process;
  DWORD processId = 0;
  {
    const CommonModule::RedirectionOff off;
    const std::wstring command = L"\"" + host + L"\" shell32.dll,Control_RunDLL \"" + path + L"\"";
    if (const DWORD error = platform::StartProgram(command, SW_SHOWNORMAL, process, processId)) return {error, L""};
  }
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kAppletLoadMs) {  // unsigned difference survives the wrap
    DWORD error = 0;
    for (const std::wstring& module : platform::ProcessModuleFiles(processId, error)) {
      if (!platform::EqualsNoCase(module, path)) continue;
      if (!held.IsAt(module, false))
        return Ended(process.get(), L"the control-panel host loaded another file than the one checked:  " + module);
      return {};
    }
    if (WaitForSingleObject(process.get(), kPollMs) == WAIT_OBJECT_0) {
      CommonModule::DPrint(L"BoundLaunch\\StartApplet: the host ended before it loaded the file", L"- " + path);
      return {};
    }
  }
  return Ended(process.get(), L"the control-panel host did not load the file within " +
                                  std::to_wstring(kAppletLoadMs / 1000) + L" seconds");
}

}  // namespace BoundLaunch
