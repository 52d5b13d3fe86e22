#include "update/modUpdate.h"

#include <windows.h>

#include <initializer_list>
#include <utility>

#include "alerts/modService.h"
#include "common/CommonModule.h"
#include "common/StandIn.h"
#include "common/Variant.h"
#include "common/modOpSys.h"
#include "common/modRegistry.h"
#include "engine/Module1.h"
#include "engine/modToggle.h"
#include "update/Form8.h"
#include "update/modZip.h"

namespace modUpdate {

void CheckForAppUpdate() { NotAvailableYet(L"modUpdate\\CheckForAppUpdate"); }
void CheckForDefsUpdate(bool, bool) { NotAvailableYet(L"modUpdate\\CheckForDefsUpdate"); }
void CheckUpdateThenApplyProtection(bool, bool) { NotAvailableYet(L"modUpdate\\CheckUpdateThenApplyProtection"); }
void SilentUpdateCheck() { NotAvailableYet(L"modUpdate\\SilentUpdateCheck"); }

// ---- The scheduled program update ("/autoupdateapp") and the step after it ("/applyupdate") ----

namespace {

constexpr wchar_t kServiceExe[] = L"IronlatchEventSvc.exe";

bool Exists(const std::wstring& path) { return CommonModule::DoesFileExist(path); }

// Puts a renamed file back under its name, over whatever is there now.
void GiveNameBack(const std::wstring& backup, const std::wstring& name) {
  if (!MoveFileExW(backup.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING))
    CommonModule::DPrint(L"modUpdate\\SwapInProgramPackage: could not give back ", name, L" error ",
                         static_cast<int32_t>(GetLastError()));
}

std::wstring Saved(const std::wstring& key, const std::wstring& name) {
  Variant value;
  modRegistry::fReadValue(L"HKLM", key, name, L"S", Variant(L""), value);
  return value.Text();
}

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
  const std::wstring group = Saved(Module1::kSettingsKey, legacy);
  if (group.empty()) {
    for (const auto& [name, choice] : members) *choice = Saved(Module1::kSettingsKey, name) == L"1";
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
  c.fakeexts = Saved(Module1::kSettingsKey, L"ApplyFakeExts") == L"1";
  c.tempexes = Saved(Module1::kSettingsKey, L"ApplyTempEXEs") == L"1";
  // Blocking syskey is the default: on unless a choice about it was saved.
  if (Saved(Module1::kSettingsKey, L"syskey").empty()) c.syskey = true;
  c.bcdedit = Saved(Module1::kSettingsKey, L"BlockBCDEdit") == L"1";
  c.exeComFilter =
      Saved(std::wstring(Module1::kSettingsKey) + L"\\FilterModule", L"SuspiciousExeComFiles") == L"1";
  c.sidebarOff = Saved(Module1::kSettingsKey, L"Sidebar") == L"1";
  return c;
}

// The old program may still be ending: each backup gets up to two more tries, five seconds apart.
void DeleteBackupsAfterOldProgramEnded() {
  DeleteSwapBackups();
  for (const std::wstring& backup : {ProgramBackupPath(), ServiceBackupPath()}) {
    for (int retry = 0; retry < 2 && Exists(backup); ++retry) {
      CommonModule::Delay(5);
      DeleteSwapBackups();
    }
  }
}

// Before Windows Vista a restart makes the new program's rules take hold; a helper asks for it,
// unless the settings say not to.
void OfferRestartBeforeVista() {
  if (modOpSys::IsVista()) return;
  if (Saved(Module1::kSettingsKey, L"NoRestartPrompt") == L"1") return;
  if (CommonModule::ReadIni(CommonModule::IniPath, L"Config", L"NoRestartPrompt") == L"1") return;
  const std::wstring helper = CommonModule::AppPath() + L"Vellcycle.exe";
  Module1::ExtractResourceToFile(L"vellcycle", helper, true);
  int32_t exitCode = 0;
  CommonModule::ShellX(helper, L"", false, SW_SHOWNORMAL, exitCode, false, false, CommonModule::kNoTimeLimit);
}

}  // namespace

std::wstring ProgramBackupPath() { return CommonModule::AppPath() + CommonModule::AppExeName() + L"_old.exe"; }
std::wstring ServiceBackupPath() { return CommonModule::AppPath() + L"IronlatchEventSvc_old.exe"; }

void DeleteSwapBackups() {
  DeleteFileW(ProgramBackupPath().c_str());
  DeleteFileW(ServiceBackupPath().c_str());
}

bool SwapInProgramPackage(const std::wstring& package) {
  const std::wstring program = CommonModule::AppExeFullPath();
  const std::wstring service = CommonModule::AppPath() + kServiceExe;
  const std::wstring programBackup = ProgramBackupPath();
  const std::wstring serviceBackup = ServiceBackupPath();
  DeleteSwapBackups();
  // Only what was renamed here is given back: a backup that could not be deleted is an older one.
  const bool programMoved = MoveFileW(program.c_str(), programBackup.c_str()) != FALSE;
  const bool serviceMoved = MoveFileW(service.c_str(), serviceBackup.c_str()) != FALSE;

  std::wstring folder = CommonModule::AppPath();
  bool silent = false;
  const bool extracted = modZip::UnzipFile(package, folder, silent);
  if (!extracted || !Exists(program)) {
    CommonModule::DPrint(L"modUpdate\\SwapInProgramPackage: ",
                         extracted ? L"the package holds no program" : L"could not extract the package");
    if (programMoved) GiveNameBack(programBackup, program);
    if (serviceMoved) GiveNameBack(serviceBackup, service);
    return false;
  }
  if (serviceMoved && !Exists(service)) GiveNameBack(serviceBackup, service);
  return true;
}

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
