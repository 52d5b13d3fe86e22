// Installing the installer compiler that the configuration builder needs: downloaded beside the
// program and run silently.
#include <windows.h>

#include "common/CommonModule.h"
#include "engine/Module1.h"
#include "update/Form4.h"
#include "update/modDownloadA.h"

namespace Module1 {

// ---- Installer compiler -----------------------------------------------------------------------

bool EnsureInnoSetup() {
  static const wchar_t kInstallerUrl[] = L"http://files.jrsoftware.org/is/5/isetup-5.5.3-unicode.exe";
  static const wchar_t kDownloadPage[] = L"http://www.jrsoftware.org/isdl.php";
  const std::wstring installer = CommonModule::AppPath() + L"InnoSetup.exe";
  if (!modDownloadA::DownloadFile(kInstallerUrl, installer, false)) {
    Ask(L"Please download/install the Inno Setup package, opening website now.\r\nNote you do not need the "
        L"'Quickstart' package, just the base install.",
        MB_OK);
    CommonModule::OpenWebPage(kDownloadPage);
    return false;
  }
  int32_t exitCode = -1;
  const bool ended =
      CommonModule::ShellX(installer, L"/silent", true, SW_SHOWNORMAL, exitCode, false, true, CommonModule::kNoTimeLimit);
  DeleteFileW(installer.c_str());
  // Installed means: the installer finished, content, and the compiler is there now.
  if (ended && exitCode == 0 && !Form4::FindInnoCompiler().empty()) return true;
  CommonModule::DPrint(L"Module1\\EnsureInnoSetup: installer exit code " + std::to_wstring(exitCode));
  Ask(L"Inno Setup could not be installed.", MB_OK | MB_ICONERROR);
  return false;
}

}  // namespace Module1
