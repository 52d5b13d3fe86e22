// Installing the installer compiler that the configuration builder needs: fetched into a folder
// only administrators can write, and run silently only when it is the installer this build pins.
#include "update/Form4.h"

#include <windows.h>

#include "common/CommonModule.h"
#include "engine/CompilerInstallerPin.h"
#include "engine/Protection.h"
#include "platform/FileDigest.h"
#include "platform/PrivateFolder.h"
#include "platform/TestSwitches.h"
#include "platform/Text.h"
#include "update/modDownloadA.h"

namespace {

// The pinned digest, or "" when this build pins none (or a test run asks to act as such a build).
std::wstring PinnedInstallerDigest() {
  if (!platform::TestSwitch(platform::kSwitchNoInstallerPin).empty()) return {};
  return CompilerInstallerPin::kSha256;
}

// Fetches the compiler's installer into folder; true only when it is the pinned one. Anything
// else is deleted unrun: this program runs it with the administrator's token.
bool FetchPinnedInstaller(const platform::PrivateFolder& folder, const std::wstring& installer) {
  static const wchar_t kInstallerUrl[] = L"http://files.jrsoftware.org/is/5/isetup-5.5.3-unicode.exe";
  const std::wstring pin = PinnedInstallerDigest();
  if (pin.empty()) {
    CommonModule::DPrint(L"Module1\\EnsureInnoSetup: no installer digest is pinned in this build, nothing fetched");
    return false;
  }
  if (!folder.Ok() || !modDownloadA::DownloadFile(kInstallerUrl, installer, false)) return false;
  const std::wstring digest = platform::Sha256OfFile(installer);
  if (digest == platform::Lower(pin)) return true;
  CommonModule::DPrint(L"Module1\\EnsureInnoSetup: refused the downloaded installer, SHA-256 " +
                       (digest.empty() ? std::wstring(L"unreadable") : digest) + L" is not the pinned " + pin);
  CommonModule::DeleteFileQuietly(installer);
  return false;
}

}  // namespace

bool Form4::EnsureInnoSetup() {
  static const wchar_t kDownloadPage[] = L"http://www.jrsoftware.org/isdl.php";
  // A folder only administrators can write: the installer checked is the installer run.
  const platform::PrivateFolder folder;
  const std::wstring installer = folder.Path() + L"\\InnoSetup.exe";
  if (!FetchPinnedInstaller(folder, installer)) {
    Protection::Ask(L"Please download/install the Inno Setup package, opening website now.\r\nNote you do not need the "
        L"'Quickstart' package, just the base install.",
        MB_OK);
    CommonModule::OpenWebPage(kDownloadPage);
    return false;
  }
  int32_t exitCode = -1;
  const bool ended =
      CommonModule::ShellX(installer, L"/silent", true, SW_SHOWNORMAL, exitCode, false, true, CommonModule::kNoTimeLimit);
  // Installed means: the installer finished, content, and the compiler is there now.
  if (ended && exitCode == 0 && !Form4::FindInnoCompiler().empty()) return true;
  CommonModule::DPrint(L"Module1\\EnsureInnoSetup: installer exit code " + std::to_wstring(exitCode));
  Protection::Ask(L"Inno Setup could not be installed.", MB_OK | MB_ICONERROR);
  return false;
}
