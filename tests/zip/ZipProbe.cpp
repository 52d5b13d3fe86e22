// Runs modZip::UnzipFile from a folder of the test's choosing, because the 7-Zip fallback looks
// for its program under the running program's own folder. Debug lines go to "probe.log" beside it.
//   zipprobe <zip> <destination> <silent 0|1>      exit code 1 when UnzipFile returned True, else 0
#include <windows.h>

#include <string>

#include "common/CommonModule.h"
#include "zip/modZip.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  CommonModule::DebugToFile = true;
  CommonModule::DebugLogPath = CommonModule::AppPath() + L"probe.log";
  std::wstring destination = argv[2];
  bool silent = std::wstring(argv[3]) == L"1";
  return modZip::UnzipFile(argv[1], destination, silent) ? 1 : 0;
}
