// Writes what the version class and its wrappers see into the file named by the first argument,
// one "name=value" line each (UTF-8), so tests can steer the Windows version a program is told
// and see which answers follow it.
#include <windows.h>

#include <string>

#include "common/ShutDownMod.h"
#include "common/clsOpSys.h"
#include "common/modOpSys.h"
#include "platform/Handle.h"
#include "platform/KernelVersion.h"
#include "platform/Text.h"

namespace {
const wchar_t* Truth(bool value) { return value ? L"True" : L"False"; }
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  clsOpSys os;
  std::wstring text;
  text += L"MajorVersion=" + std::to_wstring(os.MajorVersion()) + L"\r\n";
  text += L"MinorVersion=" + std::to_wstring(os.MinorVersion()) + L"\r\n";
  text += L"BuildNumber=" + std::to_wstring(os.BuildNumber()) + L"\r\n";
  text += L"IsVista=" + std::wstring(Truth(os.IsVista())) + L"\r\n";
  text += L"IsWin7=" + std::wstring(Truth(os.IsWin7())) + L"\r\n";
  text += L"modOpSys.IsVista=" + std::wstring(Truth(modOpSys::IsVista())) + L"\r\n";
  text += L"modOpSys.IsWin7=" + std::wstring(Truth(modOpSys::IsWin7())) + L"\r\n";
  text += L"Platform=" + os.Platform() + L"\r\n";
  text += L"Version=" + os.Version() + L"\r\n";
  const platform::KernelVersion kernel = platform::RunningKernelVersion();
  text += L"Kernel=" + std::to_wstring(kernel.major) + L"." + std::to_wstring(kernel.minor) + L"\r\n";
  text += L"PlatformID=" + std::to_wstring(os.PlatformID()) + L"\r\n";
  text += L"ShutDownMod.IsNTPlatform=" + std::wstring(Truth(ShutDownMod::IsNTPlatform())) + L"\r\n";

  platform::UniqueFileHandle file(
      CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 1;
  std::string bytes = platform::ToUtf8(text);
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                 written == bytes.size()
             ? 0
             : 1;
}
