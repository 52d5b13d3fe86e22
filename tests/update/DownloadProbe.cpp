// Runs one download as the program does: downloadprobe URL TARGET [hidden]. Exit code 0 when
// the download reported success, 1 when not, 2 on a wrong command line.
#include <windows.h>

#include <string>

#include "update/modDownloadA.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const bool hidden = argc > 3 && std::wstring(argv[3]) == L"hidden";
  const bool ok = modDownloadA::DownloadFile(argv[1], argv[2], hidden);
  return ok ? 0 : 1;
}
