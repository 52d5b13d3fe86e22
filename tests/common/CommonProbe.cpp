// Runs one library procedure from a folder of the test's choosing, because some of them act on
// the program's own folder (the debug log, the INI path, psexec under "3rd Party Tools", tools
// found beside the program). Writes what came out to "probe.out" beside itself, one
// "name=value" line each; debug lines go to "probe.log" there.
//   commonprobe init <setIni> <iniBesideProgram> <logToFile>      (each 0 or 1)
//   commonprobe shellx <program> <parameters> <wait> <asSystem>  (wait, asSystem 0 or 1)
//   commonprobe shellwait <command line>
#include <windows.h>

#include <string>

#include "common/CommonModule.h"
#include "platform/Handle.h"
#include "platform/Text.h"

namespace {

std::wstring Truth(bool value) { return value ? L"True" : L"False"; }

void WriteOut(const std::wstring& text) {
  std::string bytes = platform::ToUtf8(text);
  platform::UniqueFileHandle file(CreateFileW((CommonModule::AppPath() + L"probe.out").c_str(), GENERIC_WRITE, 0,
                                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file) WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool Flag(const wchar_t* text) { return std::wstring(text) == L"1"; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring command = argv[1];

  if (command == L"init" && argc == 5) {
    CommonModule::InitAppSettings(Flag(argv[2]), Flag(argv[3]), Flag(argv[4]));
    WriteOut(L"IniPath=" + CommonModule::IniPath + L"\r\nDebugToFile=" + Truth(CommonModule::DebugToFile) +
             L"\r\nDebugLogPath=" + CommonModule::DebugLogPath + L"\r\n");
    return 0;
  }

  CommonModule::DebugToFile = true;
  CommonModule::DebugLogPath = CommonModule::AppPath() + L"probe.log";
  if (command == L"shellx" && argc == 6) {
    int32_t exitCode = -1;
    bool result = CommonModule::ShellX(argv[2], argv[3], Flag(argv[4]), SW_HIDE, exitCode, Flag(argv[5]), false,
                                       CommonModule::kNoTimeLimit);
    WriteOut(L"result=" + Truth(result) + L"\r\nexit=" + std::to_wstring(exitCode) + L"\r\n");
    return 0;
  }
  if (command == L"shellwait" && argc == 3) {
    std::wstring message;
    bool result =
        CommonModule::ShellAndWaitForTermination(argv[2], SW_HIDE, message, CommonModule::kNoTimeLimit, false);
    WriteOut(L"result=" + Truth(result) + L"\r\nmessage=" + message + L"\r\n");
    return 0;
  }
  return 2;
}
