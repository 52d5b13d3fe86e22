// The main program with a different start: runs one update procedure that no switch reaches
// (the configuration builder's and the main window's checks). updateprobe interactive | defs
#include <windows.h>

#include <string>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "update/modUpdate.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  CommonModule::InitAppSettings(true, true, false);
  CommonModule::FsRedirEnabled = true;
  Product::BuildProductTitle();
  const std::wstring what = argv[1];
  if (what == L"interactive") modUpdate::CheckForUpdatesInteractive();
  else if (what == L"defs") modUpdate::CheckForDefsUpdate(false, false);
  else return 2;
  return 0;
}
