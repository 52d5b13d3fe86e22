// Runs one key or ownership procedure from a folder of the test's choosing: they look for
// subinacl.exe, DelReg.exe and "3rd Party Tools\psexec.exe" beside the program. Writes what came
// out to "probe.out" beside itself, one "name=value" line each; debug lines go to "timeline.log"
// there.
//   keyopsprobe delkey <hive> <parent> <name>
//   keyopsprobe delvalue <hive> <key> <value>
//   keyopsprobe takeown <hive> <key> <owner> <grantee>
//   keyopsprobe takecontrol <path> <recurse 0|1> <owner> <grantee>
#include <windows.h>

#include <string>

#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "common/modTakeOwn.h"

namespace {

void WriteOut(const std::wstring& text) {
  CommonModule::SaveTextToFileNoDebug(CommonModule::AppPath() + L"probe.out", text, true, false);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  CommonModule::DebugToFile = true;
  CommonModule::DebugLogPath = CommonModule::AppPath() + L"timeline.log";

  if ((command == L"delkey" || command == L"delvalue") && argc == 5) {
    bool notFound = false;
    LONG result = command == L"delkey" ? modRegistry::fDeleteKey(argv[2], argv[3], argv[4], notFound)
                                       : modRegistry::fDeleteValue(argv[2], argv[3], argv[4], notFound);
    WriteOut(L"result=" + std::to_wstring(result) + L"\r\nnotFound=" + DebugText(notFound));
    return 0;
  }
  if (command == L"takeown" && argc == 6) {
    std::wstring owner = argv[4];
    std::wstring grantee = argv[5];
    modTakeOwn::TakeOwnRegKey(argv[2], argv[3], owner, grantee);
    WriteOut(L"owner=" + owner + L"\r\ngrantee=" + grantee);
    return 0;
  }
  if (command == L"takecontrol" && argc == 6) {
    bool recurse = std::wstring(argv[3]) == L"1";
    std::wstring owner = argv[4];
    std::wstring grantee = argv[5];
    modTakeOwn::TakeControl(argv[2], recurse, SW_HIDE, owner, grantee);
    WriteOut(L"recurse=" + DebugText(recurse) + L"\r\nowner=" + owner + L"\r\ngrantee=" + grantee);
    return 0;
  }
  return 2;
}
