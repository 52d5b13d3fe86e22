#pragma once
// Program and definition updates.
#include <string>

#include "update/ProgramSwap.h"

namespace modUpdate {

void CheckForAppUpdate();
void CheckForDefsUpdate(bool silent, bool fromInstaller);
void AutoUpdateApp();
void ApplyUpdatePostInstall();
// At every start of the main program: a program update that waited for the restart (another
// program held one of its files) is finished once the restart has put it in place, with the step
// "/applyupdate" takes after the other updates.
void FinishUpdateAfterRestart();
// The update check of "update and apply": swaps a newer program in, which ends this process and
// applies the protection from the new one; returns when the protection is still to be applied here.
void CheckUpdateBeforeProtection(bool silent, bool reboot);
void SilentUpdateCheck();

// ---- The HTTP update roads --------------------------------------------------------------------

// The configuration builder's update check: offers the package even when it is not newer and
// comes back into the builder ("/config") after the swap.
void CheckForUpdatesInteractive();
// Download the signed package, swap and: no restart / restart with "/applyini" (plus " /silent",
// " /reboot") / restart without arguments. Each returns only when the update failed or waits for
// the restart (ApplyUpdateAndReapply says which; the others tell the user themselves). version is
// the one the index announced: a package whose program carries another is refused.
void ApplyUpdateSilently(const std::wstring& url, const std::wstring& version);
ProgramSwap::SwapResult ApplyUpdateAndReapply(const std::wstring& url, const std::wstring& version, bool silent,
                                              bool reboot);
void ApplyUpdate(const std::wstring& url, const std::wstring& version);
// Download the signed definitions package into a private folder, import the hash rules of its
// "Hashes.reg" (nothing else of it), refresh group policy and move its other files into folder
// (ending in "\"), the version file last. Only a package whose own version file gives the
// version the index announced (version), newer than the installed one, is taken.
void UpdateDefinitions(const std::wstring& url, const std::wstring& version, bool silent, const std::wstring& folder);

// Where the definitions and hash lists live, ending in "\": the product's folder under ProgramData
// on Vista and later (created when missing), else the program folder.
std::wstring DefinitionsFolder();

// The host (and, optionally, ":port" and a path) the update index is fetched from. The test
// switch ILATCH_UPDATE_HOST (platform/TestSwitches.h) replaces the maker's host.
std::wstring UpdateHost();

}  // namespace modUpdate
