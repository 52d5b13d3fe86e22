#pragma once
// Installing the product from this copy, or removing the installed copy: through the product's own
// installer and uninstaller (standard), or without them (forced).
#include <string>

namespace modInstallIL {

void InstallPrompt();
void UninstallPrompt();

void StandardInstall();
void ForcedInstall();
void StandardUninstall();
void ForcedUninstall();

// Program Files (the 32-bit one on 64-bit Windows), without a trailing backslash.
std::wstring ProgramFilesFolder();
// Where the product installs itself: Program Files & Product::kFolder.
std::wstring InstallFolder();

}  // namespace modInstallIL
