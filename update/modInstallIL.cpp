#include "update/modInstallIL.h"

#include <windows.h>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "platform/PrivateFolder.h"
#include "platform/PromptSeam.h"
#include "update/ProgramSwap.h"
#include "update/SignedDownload.h"
#include "update/modSpecialFolders.h"
#include "zip/modZip.h"

namespace modInstallIL {
namespace {

constexpr wchar_t kCrLf[] = L"\r\n";
// The maker's web host, which serves the installer and the program package.
const std::wstring kWebHost = std::wstring(L"http://") + Product::kDownloadHost;
constexpr const wchar_t* kSetupName = Product::kSetupProgram;
constexpr const wchar_t* kPackageName = Product::kProgramPackage;

int Tell(const std::wstring& text, UINT type) {
  return platform::ShowMessageBox(nullptr, text, Product::ProductLabel, type);
}

// Runs a program in a normal window; waited for, it is given all the time it needs.
void Run(const std::wstring& program, const std::wstring& parameters, bool wait) {
  int32_t exitCode = 0;
  CommonModule::ShellX(program, parameters, wait, SW_SHOWNORMAL, exitCode, false, false, CommonModule::kNoTimeLimit);
}

// The later of the two places the product may be installed in that holds the file.
std::wstring FindInstalled(const std::wstring& fileName) {
  std::wstring found;
  for (const std::wstring& folder : {ProgramFilesFolder() + Product::kInstallerFolder, InstallFolder()})
    if (CommonModule::DoesFileExist(folder + L"\\" + fileName)) found = folder + L"\\" + fileName;
  return found;
}

[[noreturn]] void EndProgram() {
  CommonModule::UnloadAllForms(L"");
  ExitProcess(0);
}

int AskRoad(const std::wstring& yes, const std::wstring& no) {
  return Tell(yes + kCrLf + no, MB_YESNOCANCEL | MB_ICONINFORMATION);
}

}  // namespace

std::wstring ProgramFilesFolder() {
  return modSpecialFolders::GetSpecialFolder(CommonModule::Is64BitWindows(L"") ? modSpecialFolders::kProgramFilesX86
                                                                                : modSpecialFolders::kProgramFiles);
}

std::wstring InstallFolder() { return ProgramFilesFolder() + Product::kFolder; }

void InstallPrompt() {
  switch (AskRoad(L"Select YES to install using the installer file (standard install.)",
                  L"Select NO to perform a forced install (if standard fails.)")) {
    case IDYES: StandardInstall(); break;
    case IDNO: ForcedInstall(); break;
  }
}

void UninstallPrompt() {
  switch (AskRoad(L"Select YES to uninstall using the installer file (standard removal.)",
                  L"Select NO to perform a forced uninstall (if standard fails.)")) {
    case IDYES: StandardUninstall(); break;
    case IDNO: ForcedUninstall(); break;
  }
}

void StandardInstall() {
  // Run elevated, the installer is run only as the maker signed it, from a fresh folder that no
  // user can write. A copy lying beside the program is never run: anyone may have put it there.
  // The signature binds bytes, not a release: an older signed setup is refused like a failed fetch.
  const platform::PrivateFolder download;
  const std::wstring setup = download.Path() + L"\\" + kSetupName;
  const std::wstring url = std::wstring(kWebHost) + L"/" + kSetupName;
  if (!download.Ok() || !SignedDownload::Fetch(url, setup, false) || !ProgramSwap::CheckSetupVersion(setup)) {
    // The user fetches and starts the installer by hand; nothing is run on their behalf.
    Tell(std::wstring(Product::kName) +
             L" Download Failed.  In the next pop up, download the installer and run it yourself.",
         MB_OK | MB_ICONERROR);
    CommonModule::OpenWebPage(url);
    return;
  }
  Run(setup, L"/silent", true);
  if (!CommonModule::DoesFileExist(InstallFolder() + L"\\" + Product::kMainProgram) &&
      Tell(L"It appears installation was not succesful!  Would you like to force the install?",
           MB_YESNO | MB_ICONERROR) == IDYES)
    ForcedInstall();
}

void ForcedInstall() {
  const std::wstring folder = InstallFolder();
  CommonModule::MakeFolder(folder);
  const std::wstring url = std::wstring(kWebHost) + L"/" + kPackageName;
  const std::wstring installed = folder + L"\\" + Product::kMainProgram;
  // The package is fetched where no user can swap it and unpacked only as the maker signed it, and
  // only when it is no older release than this one; the installed copy is started only when it
  // came out of that package.
  bool unpacked = false;
  {
    const platform::PrivateFolder download;
    const std::wstring package = download.Path() + L"\\" + kPackageName;
    if (download.Ok() && SignedDownload::Fetch(url, package, false) &&
        ProgramSwap::CheckInstallPackageVersion(package) == ProgramSwap::PackageCheck::Accepted) {
      std::wstring destination = folder;
      bool silent = false;
      unpacked = modZip::UnzipFile(package, destination, silent) && CommonModule::DoesFileExist(installed);
    }
  }
  if (!unpacked) {
    // The user unpacks the files by hand and starts the installed copy; nothing is run for them.
    Tell(L"There was an error downloading or extracting the update.  Click OK to download the file manually, and "
         L"extract it to the path that will pop up after you click OK.",
         MB_OK | MB_ICONERROR);
    CommonModule::OpenWebPage(url);
    CommonModule::OpenFilePath(folder, false);
    Tell(std::wstring(L"When the files are extracted, start ") + Product::kMainProgram +
             L" in that folder to finish the install.",
         MB_OK | MB_ICONINFORMATION);
    return;
  }
  Run(installed, L"/installer", true);
  Run(installed, L"/installerprompt", false);
  EndProgram();
}

void StandardUninstall() {
  const std::wstring uninstaller = FindInstalled(L"Unins000.exe");
  if (!uninstaller.empty()) {
    Run(uninstaller, L"/silent /noreboot", false);
    EndProgram();
  }
  if (Tell(L"Cannot find uninstall file!  Would you like to force the uninstall?", MB_YESNO | MB_ICONERROR) == IDYES)
    ForcedUninstall();
}

void ForcedUninstall() {
  const std::wstring installed = FindInstalled(Product::kMainProgram);
  if (installed.empty()) {
    Tell(std::wstring(L"Could not find ") + Product::kMainProgram + L" anywhere in:" + kCrLf + kCrLf +
             ProgramFilesFolder(),
         MB_OK | MB_ICONERROR);
    return;
  }
  Run(installed, L"/bulkuninstaller", true);
  Tell(L"You should now be able to delete the directory that will pop up when you click OK.  If not, reboot the PC "
       L"and try again.",
       MB_OK | MB_ICONINFORMATION);
  CommonModule::OpenFilePath(CommonModule::StripNameFromPath(installed), false);
}

}  // namespace modInstallIL
