#include "update/modUpdate.h"

// ================================================================================================
// The update roads: the update index, the program update with its swap, the definitions, and
// the scheduled update over FTP with the step after it.
// ================================================================================================

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include "alerts/modService.h"
#include "common/CommonModule.h"
#include "common/DataFolder.h"
#include "common/DefinitionsVersion.h"
#include "common/HashListPlacing.h"
#include "common/Product.h"
#include "common/modOpSys.h"
#include "engine/Module1.h"
#include "engine/SavedChoices.h"
#include "engine/modToggle.h"
#include "platform/PromptSeam.h"
#include "platform/TestSwitches.h"
#include "platform/Text.h"
#include "platform/Handle.h"
#include "platform/PrivateFolder.h"
#include "update/Form8.h"
#include "update/HashRuleImport.h"
#include "update/ProgramSwap.h"
#include "update/SignedDownload.h"
#include "update/StagedSwap.h"
#include "update/TransferBounds.h"
#include "zip/modZip.h"

namespace modUpdate {

namespace {

// The maker's web host of the update index.
constexpr const wchar_t* kMakerUpdateHost = Product::kUpdateIndexHost;

constexpr const wchar_t* kSection = Product::kUpdateIndexSection;
constexpr const wchar_t* kIndexZipName = Product::kUpdateIndexZip;
constexpr const wchar_t* kIndexIniName = Product::kUpdateIndexIni;
constexpr const wchar_t* kVersionFileName = Product::kDefinitionsVersionFile;
constexpr const wchar_t* kDefsKey = Product::kDefinitionsVersionKey;
// Where a program package is kept in its private download folder.
const std::wstring kDownloadedPackage = std::wstring(L"\\") + Product::kDownloadedPackage;
const std::wstring kUpdateFailedTitle = std::wstring(Product::kName) + L" Update";
const wchar_t kCheckTitle[] = L"Update Check";
const wchar_t kAvailableTitle[] = L"An update is available!";

int Box(const std::wstring& text, const std::wstring& title, UINT type) {
  return platform::ShowMessageBox(nullptr, text, title, type);
}

std::wstring IndexUrl() { return L"http://" + UpdateHost() + L"/" + kIndexZipName; }

// Everything the roads take from the update index. The index is fetched into a private folder
// that is gone again when this returns; only Product::kUpdateIndexIni of its zip is read.
struct IndexCheck {
  bool fetched = false;  // downloaded, signed, extracted and its version readable
  std::wstring remoteVersion;
  bool newer = false;
  std::wstring packageUrl;  // "DownloadURLB"
  std::wstring remoteDefs;  // "CurrentDefs"
  std::wstring defsUrl;     // "DownloadDefsURL"
};

// The common first part of every road: a fresh, signed index.
IndexCheck FetchIndex(bool hidden, bool unzipSilent) {
  IndexCheck check;
  platform::PrivateFolder work;
  if (!work.Ok()) {
    CommonModule::DPrint(L"modUpdate\\FetchIndex: ", L"- No private folder for the download");
    return check;
  }
  const std::wstring zip = work.Path() + L"\\" + kIndexZipName;
  if (!SignedDownload::Fetch(IndexUrl(), zip, hidden, TransferBounds::Kind::Index)) return check;
  std::wstring unpacked = work.Path() + L"\\index";
  bool silent = unzipSilent;
  if (!modZip::UnzipFile(zip, unpacked, silent)) return check;
  const std::wstring ini = unpacked + L"\\" + kIndexIniName;
  check.remoteVersion = CommonModule::ReadIni(ini, kSection, L"CurrentVersion");
  check.packageUrl = CommonModule::ReadIni(ini, kSection, L"DownloadURLB");
  check.remoteDefs = CommonModule::ReadIni(ini, kSection, kDefsKey);
  check.defsUrl = CommonModule::ReadIni(ini, kSection, L"DownloadDefsURL");
  check.fetched = true;
  check.newer = ProgramSwap::IsVersionText(check.remoteVersion) &&
                CommonModule::IsNewerVersion(ProgramSwap::RunningVersion(), check.remoteVersion);
  return check;
}

// The program roads cannot compare a version that is no version: they could not check.
IndexCheck FetchProgramIndex(bool hidden) {
  IndexCheck check = FetchIndex(hidden, false);
  if (check.fetched && !ProgramSwap::IsVersionText(check.remoteVersion)) {
    CommonModule::DPrint(L"modUpdate\\FetchProgramIndex: ", L"- Unreadable CurrentVersion: ", check.remoteVersion);
    check.fetched = false;
  }
  return check;
}

// Unloads every window and ends the process: an update road that started the next program, or
// the silent road once the new files are in place.
[[noreturn]] void EndProcess() {
  CommonModule::UnloadAllForms(L"");
  ExitProcess(0);
}

// Starts the program under its own name again and ends this process.
[[noreturn]] void RestartAndEnd(const std::wstring& program, const std::wstring& arguments) {
  int32_t exitCode = 0;
  CommonModule::ShellX(program, arguments, false, 1, exitCode, false, false, CommonModule::kNoTimeLimit);
  EndProcess();
}

// The whole swap road of the three apply procedures. Returns only when the update failed or waits
// for the restart.
enum class SwapRoad { Silently, AndReapply, Plain };

ProgramSwap::SwapResult RunSwapRoad(const std::wstring& url, const std::wstring& version, SwapRoad road, bool silent,
                                    bool reboot) {
  std::wstring arguments;
  if (road == SwapRoad::AndReapply) {
    arguments = L"/applyini";
    if (silent) arguments += reboot ? L" /silent /reboot" : L" /silent";
  }
  const std::wstring program = CommonModule::AppExeFullPath();  // kept: the program is renamed below
  ProgramSwap::DeleteSwapBackups();
  const bool hidden = road == SwapRoad::AndReapply && silent;
  std::optional<platform::PrivateFolder> work(std::in_place);
  if (!work->Ok()) return {};
  const std::wstring package = work->Path() + kDownloadedPackage;
  if (!SignedDownload::Fetch(url, package, hidden)) return {};
  auto failedToUnzip = [&] {
    if (road == SwapRoad::AndReapply && !silent) Box(L"Failed to unzip update.", kUpdateFailedTitle, MB_OK);
    if (road == SwapRoad::Plain) Box(L"Failed to unzip update.", kCheckTitle, MB_OK);
  };
  // A package of another version ends the road as a failed download does.
  switch (ProgramSwap::CheckPackageVersion(package, version, ProgramSwap::VersionRule::Newer)) {
    case ProgramSwap::PackageCheck::Accepted: break;
    case ProgramSwap::PackageCheck::WrongVersion: return {};
    case ProgramSwap::PackageCheck::Unreadable: failedToUnzip(); return {};
  }
  // The reapplying restart starts the new service itself; the other roads start it here.
  const auto restart =
      road == SwapRoad::AndReapply ? ProgramSwap::ServiceRestart::OnFailure : ProgramSwap::ServiceRestart::Always;
  const ProgramSwap::SwapResult swap = ProgramSwap::SwapWithServiceStopped(package, true, restart);
  if (swap.outcome == ProgramSwap::SwapOutcome::AtRestart) {
    // The reapplying road says so with its question before the protection.
    if (road == SwapRoad::Plain)
      Box(ProgramSwap::AtRestartNotice(swap.heldFile), kCheckTitle, MB_OK | MB_ICONINFORMATION);
    return swap;
  }
  if (swap.outcome == ProgramSwap::SwapOutcome::Failed) {
    failedToUnzip();
    return swap;
  }
  work.reset();  // the process ends below, without unwinding
  if (road == SwapRoad::Silently) EndProcess();
  RestartAndEnd(program, road == SwapRoad::AndReapply ? arguments : L"");
}

enum class DefsState { Older, UpToDate, Unreadable };

// The installed definitions against the index's. A local version that cannot be read counts as
// older, so that a missing or damaged version file is replaced; a remote one that cannot be read
// means the check failed. The installed version is the version file's, or while another program
// holds that file, the current list index's (which the last update made).
DefsState CompareDefinitions(const std::wstring& folder, const std::wstring& remoteText) {
  if (folder.empty()) return DefsState::Unreadable;  // no data folder to hold them
  const std::optional<int64_t> remote = DefinitionsVersion::Parse(remoteText);
  if (!remote) return DefsState::Unreadable;
  const std::optional<int64_t> local = HashListPlacing::InstalledDefinitions(folder);
  if (!local) return DefsState::Older;
  return *local < *remote ? DefsState::Older : DefsState::UpToDate;
}

// The package's own version file must give the version the index announced, and that must be
// newer than the installed one: a signed older package under a newer index takes nothing back.
bool PackagedDefinitionsAccepted(const std::wstring& unpacked, const std::wstring& announced,
                                 const std::wstring& folder) {
  const std::wstring packagedText = CommonModule::ReadIni(unpacked + L"\\" + kVersionFileName, kSection, kDefsKey);
  const std::optional<int64_t> packaged = DefinitionsVersion::Parse(packagedText);
  const std::optional<int64_t> expected = DefinitionsVersion::Parse(announced);
  const wchar_t* refusal = nullptr;
  if (!packaged)
    refusal = L"- The package carries no readable version";
  else if (!expected || *packaged != *expected)
    refusal = L"- Not the version the index announced";
  else if (CompareDefinitions(folder, packagedText) != DefsState::Older)
    refusal = L"- Not newer than the installed definitions";
  if (!refusal) return true;
  CommonModule::DPrint(L"modUpdate\\UpdateDefinitions: ", L"- Refused definitions",
                       packagedText.empty() ? L"(none)" : packagedText, refusal, L"announced " + announced);
  return false;
}

// Places the unpacked definition files (not the hash rules) into the definitions folder, all or
// nothing, each with the folder's rights, the version file last: until it arrives, the next check
// fetches the whole package again. The list index's next generation goes in with them. A file
// another program holds open without sharing is left as it is: the index carries a held list's
// new content, and the new version, to the filter module; the debug log names each one.
bool PlaceDefinitionFiles(const std::wstring& unpacked, const std::wstring& folder) {
  std::vector<DataFolder::Placement> files;
  WIN32_FIND_DATAW found = {};
  platform::UniqueFindHandle search(FindFirstFileW((unpacked + L"\\*").c_str(), &found));
  if (search) {
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::wstring name = found.cFileName;
      if (platform::EqualsNoCase(name, L"Hashes.reg") || platform::EqualsNoCase(name, kVersionFileName)) continue;
      files.push_back({unpacked + L"\\" + name, folder + name});
    } while (FindNextFileW(search.get(), &found));
  }
  if (CommonModule::DoesFileExist(unpacked + L"\\" + kVersionFileName))
    files.push_back({unpacked + L"\\" + kVersionFileName, folder + kVersionFileName});
  std::vector<std::wstring> held;
  const bool placed = HashListPlacing::PlaceLists(folder, files, DataFolder::HeldTarget::LeftAsItIs, held);
  for (const std::wstring& file : held)
    CommonModule::DPrint(L"modUpdate\\UpdateDefinitions: ", L"- Held open by another program, left as it was: " + file);
  return placed;
}

}  // namespace

std::wstring UpdateHost() {
  const std::wstring host = platform::TestSwitch(platform::kSwitchUpdateHost);
  return host.empty() ? kMakerUpdateHost : host;
}

std::wstring DefinitionsFolder() {
  if (!modOpSys::IsVista()) return CommonModule::AppPath();
  const std::wstring folder = Product::DataFolder();
  if (folder.empty()) return L"";
  // Created, or made afresh, with rights no user can write through; never one a user planted.
  if (!DataFolder::Secure(folder)) return L"";
  return folder + L"\\";
}

// ---- Program update -----------------------------------------------------------------------------

void CheckForUpdatesInteractive() {
  try {
    const IndexCheck check = FetchProgramIndex(false);
    if (check.fetched) {
      const int answer =
          check.newer ? Box(L"Press OK to update this application to v" + check.remoteVersion, kAvailableTitle,
                            MB_OKCANCEL | MB_ICONEXCLAMATION)
                      : Box(L"No updates were detected.\r\n\r\nPress OK to re-download the previous update:  v" +
                                check.remoteVersion,
                            L"No updates were detected.", MB_OKCANCEL | MB_ICONEXCLAMATION);
      if (answer == IDOK) {
        const std::wstring program = CommonModule::AppExeFullPath();
        CommonModule::DeleteFileQuietly(ProgramSwap::ProgramBackupPath());
        std::optional<platform::PrivateFolder> work(std::in_place);
        const std::wstring package = work->Path() + kDownloadedPackage;
        // The re-download offered when nothing is newer may bring the running version again, on
        // the OK just given, but never a lower one.
        const ProgramSwap::PackageCheck version =
            !work->Ok() || !SignedDownload::Fetch(check.packageUrl, package, false)
                ? ProgramSwap::PackageCheck::WrongVersion
                : ProgramSwap::CheckPackageVersion(package, check.remoteVersion, ProgramSwap::VersionRule::NewerOrEqual);
        if (version == ProgramSwap::PackageCheck::WrongVersion) {
          Box(L"Failed to download update.", kUpdateFailedTitle, MB_OK);
        } else if (version == ProgramSwap::PackageCheck::Unreadable) {
          Box(L"Failed to unzip update.", kUpdateFailedTitle, MB_OK);
        } else {
          // A package that brings a new service executable replaces it only while the service is stopped.
          const ProgramSwap::SwapResult swap =
              ProgramSwap::SwapWithServiceStopped(package, false, ProgramSwap::ServiceRestart::Always);
          if (swap.outcome == ProgramSwap::SwapOutcome::AtRestart) {
            Box(ProgramSwap::AtRestartNotice(swap.heldFile), kUpdateFailedTitle, MB_OK | MB_ICONINFORMATION);
          } else if (swap.outcome == ProgramSwap::SwapOutcome::Failed) {
            Box(L"Failed to unzip update.", kUpdateFailedTitle, MB_OK);
          } else {
            work.reset();  // the process ends below, without unwinding
            RestartAndEnd(program, L"/config");
          }
        }
      }
    }
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\CheckForUpdatesInteractive: ", L"- Error");
  }
}

void SilentUpdateCheck() {
  try {
    const IndexCheck check = FetchProgramIndex(false);
    if (check.fetched) {
      if (check.newer) ApplyUpdateSilently(check.packageUrl, check.remoteVersion);
      const std::wstring folder = DefinitionsFolder();
      if (CompareDefinitions(folder, check.remoteDefs) == DefsState::Older)
        UpdateDefinitions(check.defsUrl, check.remoteDefs, true, folder);
    }
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\SilentUpdateCheck: ", L"- Error");
  }
}

void CheckUpdateBeforeProtection(bool silent, bool reboot) {
  try {
    const IndexCheck check = FetchProgramIndex(silent);
    if (!check.fetched) {
      if (!silent) Box(L"Could not check for updates.  Click OK to apply protection.", kCheckTitle, MB_OK);
    } else if (!check.newer) {
      if (!silent) Box(L"No updates exist.  Click OK to apply protection.", kCheckTitle, MB_OK);
    } else if (silent || Box(L"Press OK to update this application to v" + check.remoteVersion, kAvailableTitle,
                             MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK) {
      // Returns only when the update failed or waits for the restart: the protection is applied
      // all the same, by the program that stays in use until then.
      const ProgramSwap::SwapResult left = ApplyUpdateAndReapply(check.packageUrl, check.remoteVersion, silent, reboot);
      if (!silent && left.outcome == ProgramSwap::SwapOutcome::AtRestart)
        Box(ProgramSwap::AtRestartNotice(left.heldFile) + L"  Click OK to apply protection.", kCheckTitle,
            MB_OK | MB_ICONINFORMATION);
      else if (!silent)
        Box(L"The update failed.  Click OK to apply protection.", kCheckTitle, MB_OK | MB_ICONEXCLAMATION);
    }
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\CheckUpdateBeforeProtection: ", L"- Error");
  }
}

void CheckForAppUpdate() {
  try {
    const IndexCheck check = FetchProgramIndex(false);
    if (!check.fetched) {
      Box(L"Could not check for updates.", kCheckTitle, MB_OK | MB_ICONERROR);
    } else if (!check.newer) {
      Box(L"No updates exist.", kCheckTitle, MB_OK | MB_ICONINFORMATION);
    } else if (Box(L"Press OK to update this application to v" + check.remoteVersion, kAvailableTitle,
                   MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK) {
      ApplyUpdate(check.packageUrl, check.remoteVersion);
    }
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\CheckForAppUpdate: ", L"- Error");
  }
}

void ApplyUpdateSilently(const std::wstring& url, const std::wstring& version) {
  try {
    RunSwapRoad(url, version, SwapRoad::Silently, true, false);
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\ApplyUpdateSilently: ", L"- Error");
  }
}

ProgramSwap::SwapResult ApplyUpdateAndReapply(const std::wstring& url, const std::wstring& version, bool silent,
                                              bool reboot) {
  try {
    return RunSwapRoad(url, version, SwapRoad::AndReapply, silent, reboot);
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\ApplyUpdateAndReapply: ", L"- Error");
    return {};
  }
}

void ApplyUpdate(const std::wstring& url, const std::wstring& version) {
  try {
    RunSwapRoad(url, version, SwapRoad::Plain, false, false);
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\ApplyUpdate: ", L"- Error");
  }
}

// ---- Definitions update -------------------------------------------------------------------------

void CheckForDefsUpdate(bool silent, bool fromInstaller) {
  try {
    const std::wstring folder = DefinitionsFolder();
    const IndexCheck check = FetchIndex(silent, silent);
    const DefsState state = check.fetched ? CompareDefinitions(folder, check.remoteDefs) : DefsState::Unreadable;
    if (!check.fetched || state == DefsState::Unreadable) {
      if (!silent) Box(L"Could not check for updates!", kCheckTitle, MB_OK | MB_ICONERROR);
    } else if (state == DefsState::UpToDate) {
      if (!silent) Box(L"No updates exist.", kCheckTitle, MB_OK | MB_ICONINFORMATION);
    } else if (silent) {
      UpdateDefinitions(check.defsUrl, check.remoteDefs, true, folder);
    } else if (Box(L"Press OK to update to definitions dated " + check.remoteDefs, L"Updated definitions are available!",
                   MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK) {
      UpdateDefinitions(check.defsUrl, check.remoteDefs, false, folder);
    }
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\CheckForDefsUpdate: ", L"- Error");
  }
}

void UpdateDefinitions(const std::wstring& url, const std::wstring& version, bool silent, const std::wstring& folder) {
  try {
    CommonModule::DeleteFileQuietly(folder + L"Defs.zip");  // left by earlier versions, which downloaded it there
    platform::PrivateFolder work;
    const std::wstring zip = work.Path() + L"\\Defs.zip";
    if (!work.Ok() || !SignedDownload::Fetch(url, zip, silent)) {
      if (!silent) Box(L"Could not download updated definitions!", kCheckTitle, MB_OK | MB_ICONERROR);
      return;
    }
    std::wstring unpacked = work.Path() + L"\\defs";
    bool unzipSilent = silent;
    if (!modZip::UnzipFile(zip, unpacked, unzipSilent)) {
      if (!silent) Box(L"Could not unzip updated definitions!", kCheckTitle, MB_OK | MB_ICONERROR);
      return;
    }
    // Refused, it goes with the private folder, as a failed download's would.
    if (!PackagedDefinitionsAccepted(unpacked, version, folder)) {
      if (!silent) Box(L"Could not download updated definitions!", kCheckTitle, MB_OK | MB_ICONERROR);
      return;
    }
    const std::wstring hashes = unpacked + L"\\Hashes.reg";
    if (CommonModule::DoesFileExist(hashes)) {
      if (!HashRuleImport::ImportFile(hashes).Ok()) {
        if (!silent) Box(L"Could not import updated definitions!", kCheckTitle, MB_OK | MB_ICONERROR);
        return;
      }
      Module1::RunGPUpdate(silent);
    }
    if (!PlaceDefinitionFiles(unpacked, folder)) {
      if (!silent) Box(L"Could not unzip updated definitions!", kCheckTitle, MB_OK | MB_ICONERROR);
      return;
    }
    if (!silent) Box(L"Definitions Updated Successfully!", kCheckTitle, MB_OK | MB_ICONINFORMATION);
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\UpdateDefinitions: ", L"- Error");
  }
}

// ---- The scheduled program update ("/autoupdateapp") and the step after it ("/applyupdate") ----

namespace {

// The old program may still be ending: each backup gets up to two more tries, five seconds apart.
void DeleteBackupsAfterOldProgramEnded() {
  ProgramSwap::DeleteSwapBackups();
  for (const std::wstring& backup : {ProgramSwap::ProgramBackupPath(), ProgramSwap::ServiceBackupPath()}) {
    for (int retry = 0; retry < 2 && CommonModule::DoesFileExist(backup); ++retry) {
      CommonModule::Delay(5);
      ProgramSwap::DeleteSwapBackups();
    }
  }
}

// Before Windows Vista a restart makes the new program's rules take hold; a helper asks for it,
// unless the settings say not to.
void OfferRestartBeforeVista() {
  if (modOpSys::IsVista()) return;
  if (Module1::ReadSetting(L"NoRestartPrompt") == L"1") return;
  if (CommonModule::ReadIni(CommonModule::IniPath, L"Config", L"NoRestartPrompt") == L"1") return;
  const std::wstring helper = CommonModule::AppPath() + L"Vellcycle.exe";
  Module1::ExtractResourceToFile(L"vellcycle", helper, true);
  int32_t exitCode = 0;
  CommonModule::ShellX(helper, L"", false, SW_SHOWNORMAL, exitCode, false, false, CommonModule::kNoTimeLimit);
}

// The new program's step after every program update: the protection choices saved in the
// registry are applied again, so that the new rules replace the old ones, and the event service
// and the update tasks are set up again.
void ReapplyAfterUpdate() {
  using SavedChoices::Choice;
  const SavedChoices::Saved saved = SavedChoices::Saved::Read();
  const auto on = [&saved](Choice choice) { return saved.On(choice); };
  if (on(Choice::Sidebar)) modToggle::SetSidebarDisabled(true);
  Module1::CheckAppUpdateTask();
  Module1::CheckDefsUpdateTask();
  Module1::ApplyFilterIniSettings(CommonModule::IniPath, false);
  Module1::ApplyProtection(on(Choice::Appdata), on(Choice::TempArchives), on(Choice::FakeExtensions),
                           on(Choice::UserProfile), on(Choice::Syskey), on(Choice::BcdEdit));
  Module1::ApplyMoreProtection(on(Choice::AppdataDeep), on(Choice::AppdataLocal), on(Choice::RecycleBin),
                               on(Choice::Cipher), on(Choice::Vssadmin), on(Choice::ProgramData),
                               on(Choice::StartupFolder));
  // After the rule writers: their removal of the old rules also switches this filter off.
  if (on(Choice::ExeComFilter)) Module1::SetExeComFilter(true);
  Module1::RunGPUpdate(true);
  modService::InstallEventService();
  OfferRestartBeforeVista();
}

}  // namespace

void AutoUpdateApp() {
  CommonModule::DPrint(L"/AutoUpdateApp triggered.");
  const std::wstring program = CommonModule::AppExeFullPath();
  ProgramSwap::DeleteSwapBackups();
  Form8 form;
  if (form.StartUpdate(CommonModule::DoesFileExist(CommonModule::IniPath))) {
    int32_t exitCode = 0;
    CommonModule::ShellX(program, L"/applyupdate", false, SW_SHOWNORMAL, exitCode, false, false,
                         CommonModule::kNoTimeLimit);
  }
}

void ApplyUpdatePostInstall() {
  CommonModule::Delay(5);
  // The swap left the event service running from its renamed file: stopped here, the old file can
  // go and the service starts again from the new one below.
  modService::RemoveEventService(false, true);
  DeleteBackupsAfterOldProgramEnded();
  ReapplyAfterUpdate();
}

void FinishUpdateAfterRestart() {
  const wchar_t kLog[] = L"modUpdate\\FinishUpdateAfterRestart: ";
  switch (ProgramSwap::CheckStagedUpdate()) {
    case ProgramSwap::StagedUpdate::None: return;
    case ProgramSwap::StagedUpdate::Pending:
      CommonModule::DPrint(kLog, L"- A program update waits for the restart in ", StagedSwap::Folder());
      return;
    case ProgramSwap::StagedUpdate::Completed: break;
  }
  CommonModule::DPrint(kLog, L"- The program update staged for the restart is in place: v",
                       ProgramSwap::RunningVersion());
  // No old program is left to start this one with "/applyupdate": its step is taken here. The
  // service the restart started from its new file is started again like after any update.
  modService::RemoveEventService(false, true);
  ProgramSwap::DeleteSwapBackups();
  ReapplyAfterUpdate();
}

}  // namespace modUpdate
