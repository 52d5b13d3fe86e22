#pragma once
// The running program's version and the program swap that both update roads (HTTP and FTP) end
// in: the running program and the service executable take their backup names, a verified package
// is extracted over the program folder, and a failed extraction gives every name back. A package
// whose files another program holds waits for the restart instead.
#include <string>

namespace ProgramSwap {

// The running program's major, minor and revision (the fourth word) numbers, joined by "."; the
// form the update index gives its version in.
std::wstring RunningVersion();

// Whether a program package of the version the index announced may replace the running program:
// normally only a newer one; the menu's re-download of the previous update, on the user's OK, also
// an equal one. Never a lower one.
enum class VersionRule { Newer, NewerOrEqual };

// Accepted when the package's program (under the running program's name) carries a version
// resource equal to announced and announced keeps rule against the running version; Unreadable
// when the package cannot be unpacked at all. A package not accepted is deleted, and the debug log
// says which version was refused and why.
enum class PackageCheck { Accepted, WrongVersion, Unreadable };
PackageCheck CheckPackageVersion(const std::wstring& packageZip, const std::wstring& announced, VersionRule rule);

// The menu's install roads have no index: they take a release only when it is not older than the
// running program. A program package is Accepted when its Product::kMainProgram carries a version
// resource not lower than the running version; a setup, fetched and checked where no user can
// swap it, when its own version resource is not lower (an installer carries its release's program
// version). What is refused is deleted, and the debug log says which version was refused and why.
PackageCheck CheckInstallPackageVersion(const std::wstring& packageZip);
bool CheckSetupVersion(const std::wstring& setup);

// A version as the update index may give it: one to four dot-separated whole numbers of at most
// 65535, digits only. Anything else cannot be compared and means that no check was possible.
bool IsVersionText(const std::wstring& text);

// The backup names: in the program folder, the running program's name and the service's name,
// each with Product::kBackupEnding.
std::wstring ProgramBackupPath();
std::wstring ServiceExePath();
std::wstring ServiceBackupPath();
// Deletes both backups (a locked one stays).
void DeleteSwapBackups();

// What a swap came to.
enum class SwapOutcome {
  Swapped,    // the package's files are in place
  AtRestart,  // another program holds a file it replaces: every file waits for the restart (StagedSwap)
  Failed,     // every old file is in place under its name
};
struct SwapResult {
  SwapOutcome outcome = SwapOutcome::Failed;
  std::wstring heldFile;  // AtRestart: the first file held, relative to the program folder
};

// Gives the running program (and, with withService, the service executable) its backup name and
// extracts packageZip over the program folder. The extraction replaces every file or none; when it
// fails both names are given back. When another program holds one of the files the package
// replaces, nothing is renamed or replaced: the package waits for the restart instead, and the
// debug log says which file is held.
SwapResult SwapInProgramPackage(const std::wstring& packageZip, bool withService);

// When the event service is started again after a swap: always, or only when the swap did not
// put the new files in place (the new program, started next, starts the new service itself).
enum class ServiceRestart { Always, OnFailure };

// The swap as the update roads make it: the event service is stopped while its file may be
// replaced, the package is swapped in (SwapInProgramPackage) and the service is started again as
// `restart` says; an update that waits for the restart leaves the old service running.
SwapResult SwapWithServiceStopped(const std::wstring& packageZip, bool withService, ServiceRestart restart);

// What the roads say of an update that waits for the restart.
std::wstring AtRestartNotice(const std::wstring& heldFile);

// At start-up, a package staged for the restart: Completed once the restart moved it in, Pending
// while it waits. A staged program no newer than the running one (another install came in
// between) is discarded, so that the restart does not bring an older release back.
enum class StagedUpdate { None, Pending, Completed };
StagedUpdate CheckStagedUpdate();

}  // namespace ProgramSwap
