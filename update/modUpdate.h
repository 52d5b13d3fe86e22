#pragma once
// Program and definition updates.

namespace modUpdate {

void CheckForAppUpdate();
void CheckForDefsUpdate(bool silent, bool fromInstaller);
void AutoUpdateApp();
void ApplyUpdatePostInstall();
void CheckUpdateThenApplyProtection(bool silent, bool reboot);
void SilentUpdateCheck();

}  // namespace modUpdate
