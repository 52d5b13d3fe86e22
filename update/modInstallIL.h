#pragma once
// Installing the product from this copy, or removing the installed copy.
namespace modInstallIL {

void InstallPrompt();
void UninstallPrompt();

}  // namespace modInstallIL
