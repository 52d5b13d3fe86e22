// The main program with a different start: switches the EXE/COM filter on or off as the main
// window's menu does, which no command-line switch reaches. execomprobe on | off
#include <string>

#include "common/CommonModule.h"
#include "engine/Protection.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring what = argv[1];
  if (what != L"on" && what != L"off") return 2;
  CommonModule::InitAppSettings(true, true, false);
  CommonModule::FsRedirEnabled = true;
  return Protection::SetExeComFilter(what == L"on") ? 0 : 1;
}
