// Runs one of the main program's install roads from its own folder, as the install menu would:
// "install" or "uninstall". Exit code 1: the road returned; 0: the road ended the program. The
// debug log goes to "installprobe.log" beside it.
#include <string>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "update/modInstallIL.h"

int wmain(int argc, wchar_t** argv) {
  CommonModule::InitAppSettings(true, true, false);
  CommonModule::FsRedirEnabled = true;
  CommonModule::DebugToFile = true;
  CommonModule::DebugLogPath = CommonModule::AppPath() + CommonModule::AppExeName() + L".log";
  Product::BuildProductTitle();
  const std::wstring road = argc > 1 ? argv[1] : L"";
  if (road == L"install") modInstallIL::InstallPrompt();
  else if (road == L"uninstall") modInstallIL::UninstallPrompt();
  else return 2;
  return 1;
}
