#include "update/modUpdate.h"

// ================================================================================================
// The update roads: the update index, the program update with its swap, the definitions, and
// the scheduled update over FTP with the step after it.
// ================================================================================================

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "alerts/modService.h"
#include "common/CommonModule.h"
#include "common/DataFolder.h"
#include "common/Product.h"
#include "common/Variant.h"
#include "common/modOpSys.h"
#include "common/modRegistry.h"
#include "engine/Module1.h"
#include "engine/modToggle.h"
#include "platform/PromptSeam.h"
#include "platform/Text.h"
#include "update/Form8.h"
#include "update/modDownloadA.h"
#include "update/modZip.h"

namespace modUpdate {

namespace {

// The maker's web host of the update index.
const wchar_t kMakerUpdateHost[] = L"updates.merrowind-it.com";

const wchar_t kSection[] = L"Ironlatch";
const wchar_t kUpdateFailedTitle[] = L"Ironlatch Update";
const wchar_t kCheckTitle[] = L"Update Check";
const wchar_t kAvailableTitle[] = L"An update is available!";

int Box(const std::wstring& text, const std::wstring& title, UINT type) {
  return platform::ShowMessageBox(nullptr, text, title, type);
}

std::wstring TempFolder() { return platform::GetEnv(L"TEMP"); }
std::wstring IndexZip() { return TempFolder() + L"\\" + Product::kUpdateIndexZip; }
std::wstring IndexIni() { return TempFolder() + L"\\" + Product::kUpdateIndexIni; }
std::wstring IndexUrl() { return L"http://" + UpdateHost() + L"/" + Product::kUpdateIndexZip; }
std::wstring PackageFile() { return CommonModule::AppPath() + L"Ironlatch.zip"; }

void DeleteFileQuiet(const std::wstring& path) {
  const CommonModule::RedirectionOff off;
  DeleteFileW(path.c_str());
}

bool RenameFile(const std::wstring& from, const std::wstring& to, bool replace) {
  BOOL moved = FALSE;
  DWORD error = 0;
  {
    const CommonModule::RedirectionOff off;
    moved = MoveFileExW(from.c_str(), to.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0);
    error = moved ? 0 : GetLastError();
  }
  if (!moved) CommonModule::DPrint(L"modUpdate\\RenameFile: ", from, to, L"- Error: ", static_cast<uint32_t>(error));
  return moved != FALSE;
}

void DeleteIndexFiles() {
  DeleteFileQuiet(IndexZip());
  DeleteFileQuiet(IndexIni());
}

struct IndexCheck {
  bool fetched = false;  // downloaded and extracted
  std::wstring remoteVersion;
  bool newer = false;
};

// The common first part of the program roads: a fresh index, fetched and unpacked into %temp%.
IndexCheck FetchIndex(bool hidden) {
  IndexCheck check;
  DeleteIndexFiles();
  if (!modDownloadA::DownloadFile(IndexUrl(), IndexZip(), hidden)) return check;
  std::wstring temp = TempFolder();
  bool silent = false;
  if (!modZip::UnzipFile(IndexZip(), temp, silent)) return check;
  check.fetched = true;
  check.remoteVersion = CommonModule::ReadIni(IndexIni(), kSection, L"CurrentVersion");
  check.newer = CommonModule::IsNewerVersion(RunningVersion(), check.remoteVersion);
  return check;
}

std::wstring IndexValue(const wchar_t* key) { return CommonModule::ReadIni(IndexIni(), kSection, key); }

// Unloads every window and ends the process: an update road that started the next program, or
// the silent road once the new files are in place. The road's index files go first.
[[noreturn]] void EndProcess() {
  DeleteIndexFiles();
  CommonModule::UnloadAllForms(L"");
  ExitProcess(0);
}

// Starts the program under its own name again and ends this process.
[[noreturn]] void RestartAndEnd(const std::wstring& program, const std::wstring& arguments) {
  int32_t exitCode = 0;
  CommonModule::ShellX(program, arguments, false, 1, exitCode, false, false, CommonModule::kNoTimeLimit);
  EndProcess();
}

// The whole swap road of the three apply procedures. Returns only when the update failed.
enum class SwapRoad { Silently, AndReapply, Plain };

void RunSwapRoad(const std::wstring& url, SwapRoad road, bool silent, bool reboot) {
  std::wstring arguments;
  if (road == SwapRoad::AndReapply) {
    arguments = L"/applyini";
    if (silent) arguments += reboot ? L" /silent /reboot" : L" /silent";
  }
  const std::wstring program = CommonModule::AppExeFullPath();  // kept: the program is renamed below
  DeleteFileQuiet(PackageFile());
  DeleteSwapBackups();
  const bool hidden = road == SwapRoad::AndReapply && silent;
  if (!modDownloadA::DownloadFile(url, PackageFile(), hidden)) return;
  modService::RemoveEventService(false, true);
  if (!SwapInProgramPackage(PackageFile(), true)) {
    if (road == SwapRoad::AndReapply && !silent) Box(L"Failed to unzip update.", kUpdateFailedTitle, MB_OK);
    if (road == SwapRoad::Plain) Box(L"Failed to unzip update.", kCheckTitle, MB_OK);
    modService::InstallEventService();
    return;
  }
  DeleteFileQuiet(PackageFile());
  switch (road) {
    case SwapRoad::Silently:
      modService::InstallEventService();
      EndProcess();
    case SwapRoad::AndReapply:
      RestartAndEnd(program, arguments);
    case SwapRoad::Plain:
      modService::InstallEventService();
      RestartAndEnd(program, L"");
  }
}

// Whole number as a 16-bit signed integer; false when the text is none or out of range.
bool ToInteger(const std::wstring& text, int16_t& value) {
  int64_t number = 0;
  if (!platform::ParseInt64(text, number) || number < INT16_MIN || number > INT16_MAX) return false;
  value = static_cast<int16_t>(number);
  return true;
}

// The installed definitions are older than the index's. A version that cannot be read counts as
// older, so that a missing or damaged version file is replaced.
bool DefinitionsAreOlder(const std::wstring& folder) {
  int16_t local = 0, remote = 0;
  if (!ToInteger(CommonModule::ReadIni(folder + L"Ironlatch.Def", kSection, L"CurrentDefs"), local)) return true;
  if (!ToInteger(IndexValue(L"CurrentDefs"), remote)) return true;
  return local < remote;
}

}  // namespace

std::wstring RunningVersion() {
  bool fourParts = true;
  const std::vector<std::wstring> words =
      platform::Split(CommonModule::FileVersionNo(CommonModule::AppExeFullPath(), fourParts), L".");
  auto word = [&](size_t i) { return i < words.size() ? words[i] : std::wstring(L"0"); };
  return word(0) + L"." + word(1) + L"." + word(3);
}

std::wstring UpdateHost() {
  const std::wstring host = platform::GetEnv(L"ILATCH_UPDATE_HOST");
  return host.empty() ? kMakerUpdateHost : host;
}

std::wstring DefinitionsFolder() {
  if (!modOpSys::IsVista()) return CommonModule::AppPath();
  const std::wstring folder = Product::DataFolder();
  DataFolder::Secure(folder);  // created, or repaired, with rights no user can write through
  return folder + L"\\";
}

// ---- Program swap -------------------------------------------------------------------------------

std::wstring ProgramBackupPath() { return CommonModule::AppPath() + CommonModule::AppExeName() + L"_old.exe"; }
std::wstring ServiceExePath() { return CommonModule::AppPath() + L"IronlatchEventSvc.exe"; }
std::wstring ServiceBackupPath() { return CommonModule::AppPath() + L"IronlatchEventSvc_old.exe"; }

void DeleteSwapBackups() {
  DeleteFileQuiet(ProgramBackupPath());
  DeleteFileQuiet(ServiceBackupPath());
}

bool SwapInProgramPackage(const std::wstring& packageZip, bool withService) {
  const std::wstring program = CommonModule::AppExeFullPath();
  DeleteSwapBackups();
  // A running executable can be renamed but not overwritten: the package then writes fresh files.
  // Only what was renamed here is given back: a backup that could not be deleted is an older one.
  const bool programMoved = RenameFile(program, ProgramBackupPath(), false);
  const bool serviceMoved = withService && RenameFile(ServiceExePath(), ServiceBackupPath(), false);
  std::wstring folder = CommonModule::AppPath();
  bool silent = false;
  const bool extracted = modZip::UnzipFile(packageZip, folder, silent);
  if (!extracted || !CommonModule::DoesFileExist(program)) {
    CommonModule::DPrint(L"modUpdate\\SwapInProgramPackage: ",
                         extracted ? L"- The package holds no program, restoring " : L"- Extraction failed, restoring ",
                         program);
    // What a broken extraction wrote under the old names must give way to the working programs.
    if (programMoved) RenameFile(ProgramBackupPath(), program, true);
    if (serviceMoved) RenameFile(ServiceBackupPath(), ServiceExePath(), true);
    return false;
  }
  // A package without the service keeps the old one.
  if (serviceMoved && !CommonModule::DoesFileExist(ServiceExePath()))
    RenameFile(ServiceBackupPath(), ServiceExePath(), false);
  return true;
}

// ---- Program update -----------------------------------------------------------------------------

void CheckForUpdatesInteractive() {
  try {
    const IndexCheck check = FetchIndex(false);
    if (check.fetched) {
      const int answer =
          check.newer ? Box(L"Press OK to update this application to v" + check.remoteVersion, kAvailableTitle,
                            MB_OKCANCEL | MB_ICONEXCLAMATION)
                      : Box(L"No updates were detected.\r\n\r\nPress OK to re-download the previous update:  v" +
                                check.remoteVersion,
                            L"No updates were detected.", MB_OKCANCEL | MB_ICONEXCLAMATION);
      if (answer == IDOK) {
        const std::wstring url = IndexValue(L"DownloadURLB");
        const std::wstring program = CommonModule::AppExeFullPath();
        DeleteFileQuiet(PackageFile());
        DeleteFileQuiet(ProgramBackupPath());
        if (!modDownloadA::DownloadFile(url, PackageFile(), false)) {
          Box(L"Failed to download update.", kUpdateFailedTitle, MB_OK);
        } else if (!SwapInProgramPackage(PackageFile(), false)) {
          Box(L"Failed to unzip update.", kUpdateFailedTitle, MB_OK);
        } else {
          DeleteFileQuiet(PackageFile());
          RestartAndEnd(program, L"/config");
        }
      }
    }
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\CheckForUpdatesInteractive: ", L"- Error");
  }
  DeleteIndexFiles();
}

void SilentUpdateCheck() {
  try {
    const IndexCheck check = FetchIndex(false);
    if (check.fetched) {
      if (check.newer) ApplyUpdateSilently(IndexValue(L"DownloadURLB"));
      const std::wstring folder = DefinitionsFolder();
      if (DefinitionsAreOlder(folder)) UpdateDefinitions(IndexValue(L"DownloadDefsURL"), true, folder);
    }
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\SilentUpdateCheck: ", L"- Error");
  }
  DeleteIndexFiles();
}

void CheckUpdateThenApplyProtection(bool silent, bool reboot) {
  bool updateStarted = false;
  try {
    const IndexCheck check = FetchIndex(silent);
    if (!check.fetched) {
      if (!silent) Box(L"Could not check for updates.  Click OK to apply protection.", kCheckTitle, MB_OK);
    } else if (!check.newer) {
      if (!silent) Box(L"No updates exist.  Click OK to apply protection.", kCheckTitle, MB_OK);
    } else if (silent || Box(L"Press OK to update this application to v" + check.remoteVersion, kAvailableTitle,
                             MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK) {
      const std::wstring url = IndexValue(L"DownloadURLB");
      updateStarted = true;
      ApplyUpdateAndReapply(url, silent, reboot);
    }
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\CheckUpdateThenApplyProtection: ", L"- Error");
  }
  DeleteIndexFiles();
  if (!updateStarted) Module1::PromptApplyNow(silent, reboot);
}

void CheckForAppUpdate() {
  try {
    const IndexCheck check = FetchIndex(false);
    if (!check.fetched) {
      Box(L"Could not check for updates.", kCheckTitle, MB_OK | MB_ICONERROR);
    } else if (!check.newer) {
      Box(L"No updates exist.", kCheckTitle, MB_OK | MB_ICONINFORMATION);
    } else if (Box(L"Press OK to update this application to v" + check.remoteVersion, kAvailableTitle,
                   MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK) {
      ApplyUpdate(IndexValue(L"DownloadURLB"));
    }
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\CheckForAppUpdate: ", L"- Error");
  }
  DeleteIndexFiles();
}

void ApplyUpdateSilently(const std::wstring& url) {
  try {
    RunSwapRoad(url, SwapRoad::Silently, true, false);
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\ApplyUpdateSilently: ", L"- Error");
  }
}

void ApplyUpdateAndReapply(const std::wstring& url, bool silent, bool reboot) {
  try {
    RunSwapRoad(url, SwapRoad::AndReapply, silent, reboot);
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\ApplyUpdateAndReapply: ", L"- Error");
  }
}

void ApplyUpdate(const std::wstring& url) {
  try {
    RunSwapRoad(url, SwapRoad::Plain, false, false);
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\ApplyUpdate: ", L"- Error");
  }
}

// ---- Definitions update -------------------------------------------------------------------------

void CheckForDefsUpdate(bool silent, bool fromInstaller) {
  try {
    const std::wstring folder = DefinitionsFolder();
    DeleteIndexFiles();
    std::wstring temp = TempFolder();
    bool unzipSilent = silent;
    if (!modDownloadA::DownloadFile(IndexUrl(), IndexZip(), silent)) {
      if (!silent) Box(L"Could not check for updates!", kCheckTitle, MB_OK | MB_ICONERROR);
    } else if (!modZip::UnzipFile(IndexZip(), temp, unzipSilent)) {
      if (!silent) Box(L"Could not unzip update check file!", kCheckTitle, MB_OK | MB_ICONERROR);
    } else if (!DefinitionsAreOlder(folder)) {
      if (!silent) Box(L"No updates exist.", kCheckTitle, MB_OK | MB_ICONINFORMATION);
    } else if (silent) {
      UpdateDefinitions(IndexValue(L"DownloadDefsURL"), true, folder);
    } else if (Box(L"Press OK to update to definitions dated " + IndexValue(L"CurrentDefs"),
                   L"Updated definitions are available!", MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK) {
      UpdateDefinitions(IndexValue(L"DownloadDefsURL"), false, folder);
    }
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\CheckForDefsUpdate: ", L"- Error");
  }
  DeleteIndexFiles();
}

void UpdateDefinitions(const std::wstring& url, bool silent, const std::wstring& folder) {
  const std::wstring zip = folder + L"Defs.zip";
  try {
    DeleteFileQuiet(zip);
    if (!modDownloadA::DownloadFile(url, zip, silent)) {
      if (!silent) Box(L"Could not download updated definitions!", kCheckTitle, MB_OK | MB_ICONERROR);
      return;
    }
    std::wstring target = folder;
    bool unzipSilent = silent;
    if (!modZip::UnzipFile(zip, target, unzipSilent)) {
      if (!silent) Box(L"Could not unzip updated definitions!", kCheckTitle, MB_OK | MB_ICONERROR);
    } else {
      const std::wstring hashes = folder + L"Hashes.reg";
      if (CommonModule::DoesFileExist(hashes)) {
        bool wait = true;
        const bool imported = modRegistry::ImportRegFile(hashes, wait);
        DeleteFileQuiet(hashes);
        if (!imported) {
          if (!silent) Box(L"Could not import updated definitions!", kCheckTitle, MB_OK | MB_ICONERROR);
          DeleteFileQuiet(zip);
          return;
        }
        Module1::RunGPUpdate(silent);
      }
      if (!silent) Box(L"Definitions Updated Successfully!", kCheckTitle, MB_OK | MB_ICONINFORMATION);
    }
  } catch (...) {
    CommonModule::DPrint(L"modUpdate\\UpdateDefinitions: ", L"- Error");
  }
  DeleteFileQuiet(zip);
}

// ---- The scheduled program update ("/autoupdateapp") and the step after it ("/applyupdate") ----

namespace {

// The protection choices the post-update step re-applies.
struct SavedChoices {
  bool appdata = false, tempexes = false, fakeexts = false, userprofile = false, syskey = false, bcdedit = false;
  bool appdatadeep = false, appdatalocal = false, bin = false, cipher = false, vssadmin = false;
  bool programdata = false, startup = false;
  bool exeComFilter = false, sidebarOff = false;
};

// A legacy group value stood for several of today's values. When it holds text, its members all
// take its setting, are saved so and the group value goes; otherwise each member's own value
// counts. A choice is on only when saved as "1": a "0" is a box the user left unticked.
void ReadGroup(const wchar_t* legacy, std::initializer_list<std::pair<const wchar_t*, bool*>> members) {
  const std::wstring group = Module1::ReadSetting(legacy);
  if (group.empty()) {
    for (const auto& [name, choice] : members) *choice = Module1::ReadSetting(name) == L"1";
    return;
  }
  bool notFound = false;
  modRegistry::fDeleteValue(L"HKLM", Module1::kSettingsKey, legacy, notFound);
  const bool on = group == L"1";
  for (const auto& [name, choice] : members) {
    *choice = on;
    modRegistry::fWriteValue(L"HKLM", Module1::kSettingsKey, name, L"S", Variant(on ? L"1" : L"0"));
  }
}

SavedChoices ReadSavedChoices() {
  SavedChoices c;
  ReadGroup(L"ApplyAppdata",
            {{L"Appdata", &c.appdata}, {L"AppdataDeep", &c.appdatadeep}, {L"AppdataLocal", &c.appdatalocal},
             {L"RecycleBin", &c.bin}});
  ReadGroup(L"ApplyUserProf", {{L"UserProfile", &c.userprofile}, {L"ProgramData", &c.programdata},
                               {L"StartupFolder", &c.startup}});
  ReadGroup(L"BlockSyskey", {{L"syskey", &c.syskey}, {L"cipher", &c.cipher}, {L"vssadmin", &c.vssadmin}});
  c.fakeexts = Module1::ReadSetting(L"ApplyFakeExts") == L"1";
  c.tempexes = Module1::ReadSetting(L"ApplyTempEXEs") == L"1";
  // Blocking syskey is the default: on unless a choice about it was saved.
  if (Module1::ReadSetting(L"syskey").empty()) c.syskey = true;
  c.bcdedit = Module1::ReadSetting(L"BlockBCDEdit") == L"1";
  c.exeComFilter =
      Module1::ReadSetting(L"SuspiciousExeComFiles", L"FilterModule") == L"1";
  c.sidebarOff = Module1::ReadSetting(L"Sidebar") == L"1";
  return c;
}

// The old program may still be ending: each backup gets up to two more tries, five seconds apart.
void DeleteBackupsAfterOldProgramEnded() {
  DeleteSwapBackups();
  for (const std::wstring& backup : {ProgramBackupPath(), ServiceBackupPath()}) {
    for (int retry = 0; retry < 2 && CommonModule::DoesFileExist(backup); ++retry) {
      CommonModule::Delay(5);
      DeleteSwapBackups();
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

}  // namespace

void AutoUpdateApp() {
  CommonModule::DPrint(L"/AutoUpdateApp triggered.");
  const std::wstring program = CommonModule::AppExeFullPath();
  DeleteSwapBackups();
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

  const SavedChoices c = ReadSavedChoices();
  if (c.sidebarOff) modToggle::SetSidebarDisabled(true);
  Module1::CheckAppUpdateTask();
  Module1::CheckDefsUpdateTask();
  Module1::ApplyFilterIniSettings(CommonModule::IniPath, false);
  Module1::ApplyProtection(c.appdata, c.tempexes, c.fakeexts, c.userprofile, c.syskey, c.bcdedit);
  Module1::ApplyMoreProtection(c.appdatadeep, c.appdatalocal, c.bin, c.cipher, c.vssadmin, c.programdata, c.startup);
  // After the rule writers: their removal of the old rules also switches this filter off.
  if (c.exeComFilter) Module1::SetExeComFilter(true);
  Module1::RunGPUpdate(true);
  modService::InstallEventService();
  OfferRestartBeforeVista();
}

}  // namespace modUpdate
