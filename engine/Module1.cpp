#include "engine/Module1.h"

#include <commctrl.h>

#include <algorithm>

#include "alerts/Form10.h"
#include "alerts/Form9.h"
#include "alerts/modEmailSvc.h"
#include "alerts/modService.h"
#include "alerts/modWriteEvent.h"
#include "common/CommonModule.h"
#include "common/CommonModule2.h"
#include "common/DataFolder.h"
#include "common/frmStatusWin.h"
#include "common/Product.h"
#include "common/ShutDownMod.h"
#include "common/clsFSO.h"
#include "common/modOpSys.h"
#include "common/modRegistry.h"
#include "engine/ClassBackup.h"
#include "engine/CommandLine.h"
#include "engine/PolicyLayout.h"
#include "engine/RuleSets.h"
#include "engine/modGUID.h"
#include "engine/modToggle.h"
#include "engine/modWhitelist.h"
#include "platform/Handle.h"
#include "platform/PrivateFolder.h"
#include "platform/Process.h"
#include "platform/PromptSeam.h"
#include "platform/Text.h"
#include "ui/Form1.h"
#include "ui/Form2.h"
#include "ui/Form6.h"
#include "ui/mod32BitIcon.h"
#include "update/Form4.h"
#include "update/Form5.h"
#include "update/Form7.h"
#include "update/modDownloadA.h"
#include "update/modCmdOutput.h"
#include "update/modScheduleTask.h"
#include "update/modUpdate.h"
#include "update/modZip.h"

namespace Module1 {

HMODULE Shell32Handle = nullptr;
bool NoGPUpdate = false;

namespace {

using CommandLine::Switch;

// The option and action flags that one command line collects.
struct Flags {
  bool appdata = false, appdatadeep = false, appdatalocal = false, bin = false, userprofile = false;
  bool programdata = false, startup = false, tempexes = false, fakeexts = false;
  bool syskey = false, bcdedit = false, cipher = false, vssadmin = false;
  bool apply = false, silent = false, reboot = false, undo = false, undoall = false;
  bool whitelist = false, applyini = false, updateandapply = false, allexes = false, valuegiven = false;
  // The uninstall roads remove the settings key only after the undo, whose own writes would
  // otherwise bring it back.
  bool deleteSettingsKey = false;
};

void WriteSetting(const std::wstring& key, const std::wstring& value, const std::wstring& text) {
  modRegistry::fWriteValue(L"HKLM", key, value, L"S", Variant(text));
}

void DeleteInstalledValue() {
  bool notFound = false;
  modRegistry::fDeleteValue(L"HKLM", kSettingsKey, L"Installed", notFound);
}

void DeleteSettingsKey() {
  bool notFound = false;
  modRegistry::fDeleteKey(L"HKLM", Product::kMakerKey, Product::kKeyName, notFound);
}

// Uninstall steps shared by the three uninstall switches: the event service and the update tasks go.
void RemoveServiceAndTasks() {
  modService::RemoveEventService(true, false);
  modWriteEvent::UnregisterEventSources();
  modScheduleTask::DeleteTask(L"Ironlatch Update");
  modScheduleTask::DeleteTask(L"Ironlatch App Update");
}

void ShowHelpWindow() {
  InitCommonControlsVB();
  Form2::Show();
  ReleaseShell32();
}

void ShowUnknownSwitch(const std::wstring& piece) {
  InitCommonControlsVB();
  Ask(L"The command parameter:  \"" + piece + L"\" was not recognized.  No changes made.", MB_OK);
  ReleaseShell32();
  Form2::Show();
}

void RoadWithoutArguments() {
  bool applyIni = CommonModule::DoesFileExist(CommonModule::IniPath);
  InitCommonControlsVB();
  if (applyIni) {
    if (CleanupAfterUpdate()) {
      if (Ask(L"It appears this application was recently updated.  Re-apply protection now?  (Recommended)",
              MB_YESNO | MB_ICONQUESTION) == IDYES)
        PromptApplyNow(false, false);
    } else {
      PromptApplyNow(false, false);
    }
  } else {
    if (CleanupAfterUpdate())
      Ask(L"It appears this application was recently updated.  You should re-apply protection by using the Apply "
          L"button.",
          MB_OK | MB_ICONINFORMATION);
    Form1::Show();
  }
  ReleaseShell32();
}

// A switch that acts at once. Returns true when the switch ends Main.
bool ActOn(const CommandLine::Piece& piece, Flags& f, const std::wstring& commandLine) {
  const std::wstring& value = piece.value;
  switch (piece.id) {
    case Switch::WhitelistItem: f.valuegiven = true; modWhitelist::WhitelistItem(value); break;
    case Switch::WhitelistProgramData: f.valuegiven = true; modWhitelist::WhitelistProgramDataItem(value); break;
    case Switch::WhitelistUserProfile: f.valuegiven = true; modWhitelist::WhitelistUserProfileItem(value); break;
    case Switch::WhitelistStartup: f.valuegiven = true; modWhitelist::WhitelistStartupItem(value); break;
    case Switch::BlockRule: f.valuegiven = true; AddPathRule(value, false); break;
    case Switch::AllowRule: f.valuegiven = true; modWhitelist::AddWhitelistPath(value); break;
    case Switch::HookSuspicious: HookFileClass(value, false); break;
    case Switch::HookConstant: HookFileClass(value, true); break;
    case Switch::DisableSidebar: modToggle::SetSidebarDisabled(true); break;
    case Switch::EnableSidebar: modToggle::SetSidebarDisabled(false); break;
    case Switch::NoAllowPrompt: WriteSetting(Product::kFilterModuleKey, L"NoAllow", L"1"); break;
    case Switch::AllowPrompt: WriteSetting(Product::kFilterModuleKey, L"NoAllow", L"0"); break;
    case Switch::Bcdedit: f.bcdedit = true; break;
    case Switch::Syskey: f.syskey = true; break;
    case Switch::Cipher: f.cipher = true; break;
    case Switch::Vssadmin: f.vssadmin = true; break;
    case Switch::ProgramData: f.programdata = true; break;
    case Switch::Startup: f.startup = true; break;
    case Switch::AppDataDeep: f.appdatadeep = true; break;
    case Switch::AppDataLocal: f.appdatalocal = true; break;
    case Switch::Bin: f.bin = true; break;
    case Switch::AppData: f.appdata = true; break;
    case Switch::UserProfile: f.userprofile = true; break;
    case Switch::FakeExts: f.fakeexts = true; break;
    case Switch::ShowEmail: PromptEmailAlerts(); break;
    case Switch::ShowMain:
      InitCommonControlsVB();
      Form1::Show();
      ReleaseShell32();
      break;
    case Switch::Debug:
      CommonModule::DebugToFile = true;
      CommonModule::DebugLogPath = CommonModule::AppPath() + CommonModule::AppExeName() + L".log";
      CommonModule::DPrint(L"Started:  Ironlatch.exe " + platform::Lower(commandLine));
      break;
    case Switch::NoGPUpdate: NoGPUpdate = true; break;
    case Switch::Apply: f.apply = true; break;
    case Switch::AllExes: f.allexes = true; break;
    case Switch::TempExes: f.tempexes = true; break;
    case Switch::Silent: f.silent = f.apply = true; break;
    case Switch::Reboot: f.reboot = f.apply = true; break;
    case Switch::Undo: f.undo = true; break;
    case Switch::UndoAll: f.undo = f.undoall = true; break;
    case Switch::Config:
      InitCommonControlsVB();
      Form4::Show();
      ReleaseShell32();
      break;
    case Switch::Whitelist: f.whitelist = true; break;
    case Switch::Test:
      InitCommonControlsVB();
      ReportPreventionTest(true);
      ReleaseShell32();
      break;
    case Switch::WOptions:
      InitCommonControlsVB();
      Form6::Show();
      ReleaseShell32();
      break;
    case Switch::EventLog:
      InitCommonControlsVB();
      Form10::Show();
      ReleaseShell32();
      break;
    case Switch::ApplyIni: f.applyini = true; break;
    case Switch::Update: modUpdate::CheckForAppUpdate(); break;
    case Switch::AutoUpdate: modUpdate::CheckForDefsUpdate(true, false); break;
    case Switch::AutoUpdateApp: modUpdate::AutoUpdateApp(); break;
    case Switch::ApplyUpdate: modUpdate::ApplyUpdatePostInstall(); break;
    case Switch::UpdateAndApply: f.updateandapply = true; break;
    case Switch::BulkInstaller: ApplyIniSettings(L""); break;
    case Switch::Installer:
      WriteSetting(kSettingsKey, L"Installed", L"1");
      modWriteEvent::RegisterEventSources();
      ScheduleTasksFromIni();
      modUpdate::CheckForDefsUpdate(true, true);
      break;
    case Switch::InstallerPrompt: RunFirstRunWizard(); break;
    // The silent and bulk uninstall roads ask nothing: the Sidebar policy stays as it is.
    case Switch::UninstallerB:
      RemoveServiceAndTasks();
      DeleteInstalledValue();
      RemoveDataFolder();
      f.undo = f.undoall = f.silent = true;
      break;
    case Switch::BulkUninstaller:
      RemoveServiceAndTasks();
      RemoveDataFolder();
      f.undo = f.undoall = f.silent = f.deleteSettingsKey = true;
      break;
    case Switch::Uninstaller: {
      RemoveServiceAndTasks();
      RemoveDataFolder();
      modToggle::PromptKeepSidebarDisabled();
      f.undo = f.undoall = f.silent = true;
      std::wstring names;
      if (modRegistry::fEnumKey(L"HKLM", kSettingsKey, names) == ERROR_SUCCESS) {
        if (Ask(L"Would you like to keep the Ironlatch settings for a later re-installation?",
                MB_YESNO | MB_ICONQUESTION) == IDYES)
          DeleteInstalledValue();
        else
          f.deleteSettingsKey = true;
      }
      break;
    }
  }
  return CommandLine::EndsMain(piece.id);
}

// The one action that the collected flags ask for, after every switch has been seen.
void CombinedAction(const Flags& f) {
  if (f.updateandapply) {
    modUpdate::CheckUpdateThenApplyProtection(f.silent, f.reboot);
    return;
  }
  if (f.applyini) {
    if (CommonModule::DoesFileExist(CommonModule::IniPath)) PromptApplyNow(f.silent, f.reboot);
    return;
  }
  if (f.undo) {
    RemoveProtection(f.undoall, f.silent, true);
    if (!f.silent) {
      InitCommonControlsVB();
      Ask(L"Prevention Removed.", MB_OK);
      ReleaseShell32();
    }
    return;
  }
  if (f.whitelist) modWhitelist::WhitelistAllKnownItems();
  if (f.apply) {
    ApplyProtection(f.appdata, f.tempexes, f.fakeexts, f.userprofile, f.syskey, f.bcdedit);
    ApplyMoreProtection(f.appdatadeep, f.appdatalocal, f.bin, f.cipher, f.vssadmin, f.programdata, f.startup);
    RunGPUpdate(f.silent);
    if (f.reboot) {
      ShutDownMod::RebootSystem(true);
    } else if (!f.silent) {
      InitCommonControlsVB();
      std::wstring question =
          f.whitelist ? L"Prevention and whitelist policies created, but you should restart the PC for changes to take "
                        L"effect!  Restart now?"
                      : L"Prevention policies created, but you should restart the PC for changes to take effect!  "
                        L"Restart now?";
      if (Ask(question, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        WriteRestartTestEntry();
        ShutDownMod::RebootSystem(true);
      }
      ReleaseShell32();
    }
  } else if (f.whitelist) {
    if (f.reboot) {
      ShutDownMod::RebootSystem(true);
    } else if (!f.silent) {
      InitCommonControlsVB();
      if (Ask(L"Whitelist policies created, but you should restart the PC for changes to take effect!  Restart now?",
              MB_YESNO | MB_ICONQUESTION) == IDYES)
        ShutDownMod::RebootSystem(true);
      ReleaseShell32();
    }
  } else if (!f.valuegiven) {
    ShowHelpWindow();
  }
}

}  // namespace

std::wstring ReadSetting(const std::wstring& value, const std::wstring& subkey) {
  Variant text;
  const std::wstring key = subkey.empty() ? std::wstring(kSettingsKey) : std::wstring(kSettingsKey) + L"\\" + subkey;
  modRegistry::fReadValue(L"HKLM", key, value, L"S", Variant(L""), text);
  return text.Text();
}

void WriteRestartTestEntry() {
  WriteSetting(kRunOnceKey, kRestartTestValue,
               L"cmd /c start \"\" \"" + CommonModule::AppExeFullPath() + L"\" /test");
}

void Main() {
  CommonModule::InitAppSettings(true, true, false);
  CommonModule::FsRedirEnabled = true;
  BuildProductTitle();

  const std::wstring commandLine = CommandLine::ProcessArguments();
  if (commandLine.empty()) {
    RoadWithoutArguments();
    return;
  }

  // The whole line is checked before anything acts, so that "No changes made." holds.
  CommandLine::ParseResult parsed = CommandLine::Parse(commandLine);
  if (parsed.unknown) {
    ShowUnknownSwitch(parsed.unknownPiece);
    return;
  }
  Flags flags;
  for (const auto& piece : parsed.pieces) {
    if (ActOn(piece, flags, commandLine)) return;
  }
  CombinedAction(flags);
  if (flags.deleteSettingsKey) DeleteSettingsKey();
}

int Ask(const std::wstring& text, UINT type) { return platform::ShowMessageBox(nullptr, text, ProductLabel, type); }

void InitCommonControlsVB() {
  if (!Shell32Handle) Shell32Handle = LoadLibraryW(L"shell32.dll");
  InitCommonControls();
}

void ReleaseShell32() {
  if (Shell32Handle) FreeLibrary(Shell32Handle);
  Shell32Handle = nullptr;
}

bool CleanupAfterUpdate() {
  std::wstring oldFile = CommonModule::AppPath() + CommonModule::AppExeName() + L"_old.exe";
  if (!CommonModule::DoesFileExist(oldFile)) return false;
  CommonModule::Delay(1);
  DeleteFileW(oldFile.c_str());
  if (CommonModule::DoesFileExist(oldFile)) {
    CommonModule::Delay(2);
    DeleteFileW(oldFile.c_str());
  }
  return true;
}

void RemoveDataFolder() {
  if (!modOpSys::IsVista()) return;
  std::wstring folder = Product::DataFolder();
  if (!CommonModule::DoesDirExist(folder)) return;
  clsFSO fso;
  fso.KillDir(folder, false);
}

bool IsArrayEmpty(const std::vector<std::wstring>& items) { return items.empty(); }

void PromptEmailAlerts() {
  if (Ask(L"Ironlatch can email you when an application is blocked.  Would you like to set up an email account for "
          L"email alerts?",
          MB_YESNO | MB_ICONQUESTION) == IDYES)
    Form9::ShowModal();
}

// ---- Policy rules and defaults ------------------------------------------------------------------

namespace {

// One path rule of ours under a fresh key: Description, SaferFlags, ItemData, in this order.
void WritePathRule(const wchar_t* level, const std::wstring& pattern) {
  std::wstring guid = platform::Lower(modGUID::NewGUIDString());
  if (guid.empty()) return;  // never write the values into the Paths key itself
  std::wstring key = std::wstring(PolicyLayout::kRoot) + L"\\" + level + L"\\Paths\\" + guid;
  modRegistry::fWriteValue(L"HKLM", key, L"Description", L"S", Variant(PolicyLayout::kRuleDescription));
  modRegistry::fWriteValue(L"HKLM", key, L"SaferFlags", L"D", Variant(int32_t{0}));
  modRegistry::fWriteValue(L"HKLM", key, L"ItemData", L"E", Variant(pattern));
}

void WriteDisallowedRules(const std::vector<std::wstring>& patterns) {
  for (const auto& pattern : patterns) WritePathRule(PolicyLayout::kDisallowedLevel, pattern);
}

void ImportRegFileNow(const std::wstring& file) {
  bool wait = true;
  if (!modRegistry::ImportRegFile(file, wait)) CommonModule::DPrint(L"Module1: not imported: " + file);
}

}  // namespace

void AddPathRule(const std::wstring& pattern, bool whitelist) {
  // An empty pattern would make a rule for nothing sensible; "b=" without a value writes none.
  if (platform::Trim(pattern).empty()) return;
  WritePathRule(whitelist ? PolicyLayout::kUnrestrictedLevel : PolicyLayout::kDisallowedLevel, pattern);
}

void BlockSyskey() { AddPathRule(L"syskey.exe", false); }
void BlockCipher() { AddPathRule(L"cipher.exe", false); }
void BlockVssadmin(bool) { AddPathRule(L"vssadmin.exe", false); }
void BlockBCDEdit() { AddPathRule(L"bcdedit.exe", false); }

void SetSaferDefaults() {
  static const std::pair<const wchar_t*, int32_t> kDefaults[] = {
      {L"authenticodeenabled", 0},
      {L"DefaultLevel", 262144},
      {L"PolicyScope", 0},
      {L"TransparentEnabled", 1},
  };
  for (const auto& [name, data] : kDefaults)
    modRegistry::fWriteValue(L"HKLM", PolicyLayout::kRoot, name, L"D", Variant(data));
  ImportHashRules();
}

void ImportHashRules() {
  // The export is unpacked where only administrators can write, so nobody can swap the .reg
  // file between the unpacking and reg.exe's import.
  platform::PrivateFolder work;
  if (!work.Ok()) {
    CommonModule::DPrint(L"Module1\\ImportHashRules: cannot make a private work folder");
    return;
  }
  std::wstring zip = work.Path() + L"\\Hashes.zip";
  ExtractResourceToFile(L"hashes", zip, true);
  std::wstring folder = work.Path();
  bool silent = true;
  modZip::UnzipFile(zip, folder, silent);
  ImportRegFileNow(work.Path() + L"\\Hashes.reg");
}

// ---- Protection option rule sets ----------------------------------------------------------------

namespace {

void WriteOptionRules(RuleSets::Option option, const std::wstring& extension, const std::wstring& profiles = L"") {
  WriteDisallowedRules(RuleSets::OptionRules(option, modOpSys::IsVista(), extension, profiles));
}

void ForEachExtension(void (*writer)(const std::wstring&)) {
  for (const wchar_t* extension : RuleSets::kExtensions) writer(extension);
}

}  // namespace

void ApplyProtection(bool appdata, bool tempexes, bool fakeexts, bool userprofile, bool syskey, bool bcdedit) {
  RemoveProtection(false, true, false);
  SetSaferDefaults();
  if (appdata) BlockAppdata();
  if (userprofile) BlockUserProfile();
  if (tempexes) BlockTempArchives();
  if (fakeexts) BlockFakeExtensions();
  if (syskey) BlockSyskey();
  if (bcdedit) BlockBCDEdit();
  ApplyFilterModule();
  modWriteEvent::RegisterEventSources();
  // The filter module trusts the hash lists there: no user may plant or edit one.
  if (modOpSys::IsVista()) DataFolder::Secure(DataFolder::Path());
}

void ApplyMoreProtection(bool appdatadeep, bool appdatalocal, bool bin, bool cipher, bool vssadmin, bool programdata,
                         bool startup) {
  if (appdatadeep) BlockAppdataDeep();
  if (appdatalocal) BlockAppdataLocal();
  if (bin) BlockRecycleBin();
  if (cipher) BlockCipher();
  if (vssadmin) BlockVssadmin(true);
  if (programdata) BlockProgramData();
  if (startup) BlockStartupFolders();
}

void BlockAppdata() { ForEachExtension(WriteAppdataRules); }
void BlockAppdataDeep() { ForEachExtension(WriteAppdataDeepRules); }
void BlockAppdataLocal() { ForEachExtension(WriteAppdataLocalRules); }
void BlockRecycleBin() { ForEachExtension(WriteRecycleBinRules); }
void BlockUserProfile() { ForEachExtension(WriteUserProfileRules); }
void BlockStartupFolders() { ForEachExtension(WriteStartupRules); }
void BlockTempArchives() { ForEachExtension(WriteTempArchiveRules); }
void BlockProgramData() {
  if (modOpSys::IsVista()) ForEachExtension(WriteProgramDataRules);
}

void WriteAppdataRules(const std::wstring& extension) { WriteOptionRules(RuleSets::Option::AppData, extension); }
void WriteAppdataDeepRules(const std::wstring& extension) { WriteOptionRules(RuleSets::Option::AppDataDeep, extension); }
void WriteAppdataLocalRules(const std::wstring& extension) {
  WriteOptionRules(RuleSets::Option::AppDataLocal, extension);
}
void WriteRecycleBinRules(const std::wstring& extension) { WriteOptionRules(RuleSets::Option::RecycleBin, extension); }
void WriteStartupRules(const std::wstring& extension) { WriteOptionRules(RuleSets::Option::Startup, extension); }
void WriteProgramDataRules(const std::wstring& extension) { WriteOptionRules(RuleSets::Option::ProgramData, extension); }
void WriteTempArchiveRules(const std::wstring& extension) { WriteOptionRules(RuleSets::Option::TempArchives, extension); }

void WriteUserProfileRules(const std::wstring& extension) {
  CommonModule2::SystemDriveCache = platform::GetEnv(L"systemdrive");
  WriteOptionRules(RuleSets::Option::UserProfile, extension, CommonModule2::GetUserProf(false));
}

// ---- Fake-extension and right-to-left-override rules --------------------------------------------

void BlockFakeExtensions() {
  ImportRloRules();
  for (const wchar_t* extension : RuleSets::kFakeExtensions) WriteFakeExtensionRules(extension);
}

void ImportRloRules() {
  // Imported from a private folder: a file beside the program could be swapped by whoever may
  // write there.
  HRSRC resource = FindResourceW(nullptr, L"rlo", L"CUSTOM");
  HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes || !ClassBackup::ImportBytes(bytes, SizeofResource(nullptr, resource)))
    CommonModule::DPrint(L"Module1\\ImportRloRules: the right-to-left-override rule was not imported");
}

void WriteFakeExtensionRules(const std::wstring& extension) {
  WriteDisallowedRules(RuleSets::FakeExtensionRules(extension));
}

// ---- Undo and group-policy refresh --------------------------------------------------------------

namespace {

// Deletes every subkey of the key whose Description is ours. False when the key cannot be listed.
bool RemoveOwnRules(const std::wstring& parent) {
  std::wstring names;
  if (modRegistry::fEnumKey(L"HKLM", parent, names) != ERROR_SUCCESS) return false;
  for (const auto& name : platform::Split(names, std::wstring(1, L'\0'))) {
    if (name.empty()) continue;
    Variant description;
    modRegistry::fReadValue(L"HKLM", parent + L"\\" + name, L"Description", L"S", Variant(L""), description);
    std::wstring text = platform::Trim(description.Text());
    if (!text.empty() && platform::EqualsNoCase(text, PolicyLayout::kRuleDescription)) {
      bool notFound = false;
      modRegistry::fDeleteKey(L"HKLM", parent, name, notFound);
    }
  }
  return true;
}

}  // namespace

void RemoveProtection(bool alsoWhitelist, bool silent, bool refresh) {
  UnhookFileClasses();
  // A level without rules of its kind is an empty list: the later steps still run.
  RemoveOwnRules(PolicyLayout::kDisallowedPaths);
  RemoveOwnRules(PolicyLayout::kDisallowedHashes);
  for (const wchar_t* legacy : PolicyLayout::kLegacyRuleKeys) {
    bool notFound = false;
    modRegistry::fDeleteKey(L"HKLM", PolicyLayout::kDisallowedPaths, legacy, notFound);
  }
  if (alsoWhitelist) RemoveOwnRules(PolicyLayout::kWhitelistPaths);
  if (refresh) RunGPUpdate(silent);
}

void RunGPUpdate(bool silent) {
  if (NoGPUpdate) return;
  constexpr int32_t kRefreshLimitMs = 12000;
  int32_t exitCode = 0;
  if (silent) {
    CommonModule::ShellX(L"gpupdate.exe", L"/force /wait:0", true, SW_HIDE, exitCode, false, true, kRefreshLimitMs);
    return;
  }
  frmStatusWin::Show(L"Refreshing Group Policy...");
  CommonModule::ShellX(L"gpupdate.exe", L"/force /wait:0", true, SW_SHOWNOACTIVATE, exitCode, false, true,
                       kRefreshLimitMs);
  frmStatusWin::Unload();
}

// ---- Filter-module file-class hooks -------------------------------------------------------------

namespace {

const wchar_t kFilterModuleExe[] = L"IronlatchFilterMod.exe";
const wchar_t kPlainCommand[] = L"\"%1\" %*";
const wchar_t kPlainControlPanelCommand[] = L"%SystemRoot%\\System32\\control.exe \"%1\",%*";
const wchar_t kClassesKey[] = L"SOFTWARE\\Classes\\";
const wchar_t* const kFilterSettingsKey = Product::kFilterModuleKey;
const wchar_t* const kHookedClasses[] = {L"CPL", L"SCR", L"PIF"};

bool WriteCommand(const std::wstring& key, const std::wstring& valueName, const std::wstring& command) {
  return modRegistry::fWriteValue(L"HKLM", key, valueName, L"S", Variant(command)) == ERROR_SUCCESS;
}

std::wstring FilterModulePath() { return CommonModule::AppPath() + kFilterModuleExe; }

bool NamesFilterModule(const std::wstring& text) {
  return platform::Contains(platform::Lower(text), platform::Lower(kFilterModuleExe));
}

std::wstring OpenCommandOf(const std::wstring& classKeyName) {
  Variant command;
  modRegistry::fReadValue(L"HKLM", kClassesKey + platform::Lower(classKeyName) + L"\\shell\\open\\command", L"", L"S",
                          Variant(L""), command);
  return command.Text();
}

// Backs the class key up once. A class that already points at the filter module is not what
// Windows had, so it is never taken as the backup.
void BackUpClass(const std::wstring& classKeyName) {
  if (ClassBackup::Exists(classKeyName) || NamesFilterModule(OpenCommandOf(classKeyName))) return;
  ClassBackup::Save(classKeyName);
}

// Imports a class backup, unless it holds our own hook: then the Windows commands just written
// stay. True when a backup was imported.
bool RestoreClass(const std::wstring& classKeyName) {
  if (NamesFilterModule(ClassBackup::StoredText(classKeyName))) {
    CommonModule::DPrint(L"Module1\\UnhookFileClasses: backup holds the filter module, not restored: " + classKeyName);
    return false;
  }
  return ClassBackup::Restore(classKeyName);
}

}  // namespace

void ApplyFilterModule() {
  if (!CommonModule::DoesFileExist(FilterModulePath())) return;
  for (bool constant : {false, true}) {
    std::wstring key = std::wstring(kFilterSettingsKey) + (constant ? L"\\Constant" : L"\\Suspicious");
    for (const wchar_t* fileClass : kHookedClasses) {
      Variant chosen;
      modRegistry::fReadValue(L"HKLM", key, fileClass, L"S", Variant(L""), chosen);
      if (chosen.Text() == L"1") HookFileClass(fileClass, constant);
    }
  }
}

void HookFileClass(const std::wstring& fileClass, bool constant) {
  const std::wstring lower = platform::Lower(fileClass);
  const std::wstring mode = constant ? L" *" : L" ";
  const std::wstring tail = lower == L"scr" ? L" /S %*" : L" %*";
  const std::wstring hook = L"\"" + FilterModulePath() + L"\"" + mode + L"\"%1\"" + tail;
  const std::wstring isolated = L"\"%1\"" + tail;

  BackUpClass(fileClass + L"file");
  const std::wstring classKey = kClassesKey + lower + L"file\\shell\\";
  WriteCommand(classKey + L"open\\command", L"", hook);
  if (lower != L"cpl") {
    WriteCommand(classKey + L"runas\\command", L"", hook);
    WriteCommand(classKey + L"runas\\command", L"IsolatedCommand", isolated);
  }
}

void ApplyFilterIniSettings(const std::wstring& iniPath, bool force) {
  // For each value: the INI word that is taken as it stands; anything else gives the other one.
  static const struct {
    const wchar_t* subkey;
    const wchar_t* section;
    const wchar_t* fileClass;
    const wchar_t* kept;
    const wchar_t* otherwise;
  } kValues[] = {
      {L"Suspicious", L"FilterSuspicious", L"CPL", L"0", L"1"}, {L"Suspicious", L"FilterSuspicious", L"SCR", L"0", L"1"},
      {L"Suspicious", L"FilterSuspicious", L"PIF", L"1", L"0"}, {L"Constant", L"FilterConstant", L"CPL", L"1", L"0"},
      {L"Constant", L"FilterConstant", L"SCR", L"1", L"0"},     {L"Constant", L"FilterConstant", L"PIF", L"0", L"1"},
  };
  for (const auto& v : kValues) {
    std::wstring key = std::wstring(kFilterSettingsKey) + L"\\" + v.subkey;
    Variant current;
    modRegistry::fReadValue(L"HKLM", key, v.fileClass, L"S", Variant(L""), current);
    if (!force && !current.Text().empty()) continue;
    std::wstring fromIni = CommonModule::ReadIni(iniPath, v.section, v.fileClass);
    modRegistry::fWriteValue(L"HKLM", key, v.fileClass, L"S", Variant(fromIni == v.kept ? v.kept : v.otherwise));
  }
}

void UnhookFileClasses() {
  bool notFound = false;
  const bool controlPanelHooked = NamesFilterModule(OpenCommandOf(L"cplfile"));
  modRegistry::fDeleteKey(L"HKLM", L"SOFTWARE\\Classes\\piffile\\Shell", L"runas", notFound);
  modRegistry::fDeleteKey(L"HKLM", L"SOFTWARE\\Classes\\scrfile\\Shell", L"runas", notFound);
  modRegistry::fDeleteKey(L"HKLM", L"SOFTWARE\\Classes\\cplfile\\Shell", L"Open", notFound);
  WriteCommand(L"SOFTWARE\\Classes\\piffile\\Shell\\Open\\Command", L"", kPlainCommand);
  WriteCommand(L"SOFTWARE\\Classes\\scrfile\\Shell\\Open\\Command", L"", L"\"%1\" /S");
  const bool controlPanelRestored = RestoreClass(L"cplfile");
  // Without a backup, a control-panel file that was hooked still opens: with Windows' own tool.
  if (controlPanelHooked && !controlPanelRestored)
    modRegistry::fWriteValue(L"HKLM", L"SOFTWARE\\Classes\\cplfile\\shell\\open\\command", L"", L"E",
                             Variant(kPlainControlPanelCommand));
  RestoreClass(L"scrfile");
  RestoreClass(L"piffile");
  SetExeComFilter(false);
}

bool SetExeComFilter(bool on) {
  static const wchar_t* const kProgramClassKeys[] = {
      L"SOFTWARE\\Classes\\exefile\\Shell\\Open\\Command", L"SOFTWARE\\Classes\\comfile\\Shell\\Open\\Command",
      L"SOFTWARE\\Classes\\exefile\\Shell\\runas\\Command", L"SOFTWARE\\Classes\\comfile\\Shell\\runas\\Command"};
  // Pointed at a missing filter module, every program started from the shell would fail.
  if (on && !CommonModule::DoesFileExist(FilterModulePath())) {
    CommonModule::DPrint(L"Module1\\SetExeComFilter: ",
                         L"- Error: filter module missing, not hooked: " + FilterModulePath());
    return false;
  }
  if (on) {
    for (const wchar_t* programClass : {L"exefile", L"comfile"}) BackUpClass(programClass);
    const std::wstring hook = L"\"" + FilterModulePath() + L"\" /\"%1\" %*";
    bool hooked = true;
    for (const wchar_t* key : kProgramClassKeys) hooked = WriteCommand(key, L"", hook) && hooked;
    if (!hooked) {
      // Half hooked is worse than off.
      SetExeComFilter(false);
      return false;
    }
    return modRegistry::fWriteValue(L"HKLM", kFilterSettingsKey, L"SuspiciousExeComFiles", L"S", Variant(L"1")) ==
           ERROR_SUCCESS;
  }
  for (const wchar_t* key : kProgramClassKeys) WriteCommand(key, L"", kPlainCommand);
  for (const wchar_t* programClass : {L"exefile", L"comfile"}) RestoreClass(programClass);
  modRegistry::fWriteValue(L"HKLM", kFilterSettingsKey, L"SuspiciousExeComFiles", L"S", Variant(L"0"));
  return true;
}

// ---- Prevention test ----------------------------------------------------------------------------

namespace {

// Writes the test program afresh and opens it so that nobody can change it until it has run;
// false when that fails. The open handle denies writers and deleters while it is held.
bool WriteTestProgram(const std::wstring& path, platform::UniqueFileHandle& guard) {
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
  HRSRC resource = FindResourceW(nullptr, L"hello", L"CUSTOM");
  HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
  const BYTE* bytes = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
  DWORD size = resource ? SizeofResource(nullptr, resource) : 0;
  if (!bytes || !size) return false;
  {
    // CREATE_NEW: a file that appeared since the delete is someone else's, and is not used.
    platform::UniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !WriteFile(file.get(), bytes, size, &written, nullptr) || written != size) return false;
  }
  guard.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!guard) return false;
  std::vector<BYTE> check(size + 1);
  DWORD got = 0;
  return ReadFile(guard.get(), check.data(), size + 1, &got, nullptr) && got == size &&
         std::equal(check.begin(), check.begin() + size, bytes);
}

}  // namespace

PreventionResult RunPreventionTest() {
  const std::wstring path = platform::GetEnv(L"appdata") + L"\\HelloWorld2.exe";
  PreventionResult result = PreventionResult::NotRun;
  {
    platform::UniqueFileHandle guard;
    if (WriteTestProgram(path, guard)) {
      // A test program that hangs is ended, so that its copy can be removed below.
      platform::ProgramRun run = platform::RunAndWait(L"\"" + path + L"\"", SW_HIDE, 30000, true);
      if (platform::IsRefusedByPolicy(run.startError)) result = PreventionResult::Blocked;
      else if (run.startError == 0 && run.finished && run.exitCode == 9) result = PreventionResult::Ran;
      else
        CommonModule::DPrint(L"Module1\\TestPrevention: the test program did not run: start error " +
                             std::to_wstring(run.startError) + L", exit code " + std::to_wstring(run.exitCode));
    } else {
      CommonModule::DPrint(L"Module1\\TestPrevention: cannot write the test program to " + path);
    }
  }
  // An ended program's file may be held for a moment after its end.
  bool removed = false;
  for (int attempt = 0; attempt < 20 && !removed; ++attempt) {
    removed = DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    if (!removed) Sleep(100);
  }
  if (!removed) {
    CommonModule::DPrint(L"Module1\\TestPrevention: cannot remove the test program " + path);
    result = PreventionResult::NotRun;
  }
  return result;
}

bool TestPrevention() { return RunPreventionTest() == PreventionResult::Blocked; }

void ReportPreventionTest(bool fromStartup) {
  switch (RunPreventionTest()) {
    case PreventionResult::Blocked:
      Ask(fromStartup ? L"Prevention Successfully Applied!\r\n\r\nIt is not necessary for this program to continue "
                        L"running for active protection, so this program will now close."
                      : L"Prevention Successfully Applied!  You may now close this program.",
          MB_OK | MB_ICONINFORMATION);
      return;
    case PreventionResult::NotRun:
      Ask(L"The prevention test could not be run, so it cannot tell whether protection is in force.",
          MB_OK | MB_ICONERROR);
      break;
    case PreventionResult::Ran:
      Ask(fromStartup ? L"Prevention Not Applied or Unsuccessful!"
                      : L"Prevention Not Applied or Unsuccessful!  Be sure to reboot the PC after applying protection "
                        L"before testing.",
          MB_OK | MB_ICONERROR);
      break;
  }
  if (fromStartup) {
    int32_t exitCode = 0;
    CommonModule::ShellX(CommonModule::AppExeFullPath(), L"/showmain", false, SW_SHOWNORMAL, exitCode, false, false,
                         CommonModule::kNoTimeLimit);
  }
}

// ---- Applying the configuration INI -------------------------------------------------------------

namespace {

std::wstring IniValue(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
  return CommonModule::ReadIni(file, section, key);
}

bool IniChoice(const std::wstring& file, const wchar_t* key) { return IniValue(file, L"Config", key) == L"1"; }

}  // namespace

void ApplyIniSettings(const std::wstring& iniPath) {
  const std::wstring settings = kSettingsKey;
  const std::wstring filterSettings = Product::kFilterModuleKey;
  WriteSetting(settings, L"Installed", L"1");

  const bool bulk = iniPath.empty();
  const std::wstring file = bulk ? CommonModule::AppPath() + L"bulk.ini" : iniPath;
  if (bulk) {
    WriteSetting(settings, L"BulkInstall", L"1");
    WriteSetting(settings, L"ClientName", IniValue(file, L"Config", L"ClientName"));
  }
  WriteSetting(settings, L"NoRestartPrompt", IniChoice(file, L"NoRestartPrompt") ? L"1" : L"0");
  for (const wchar_t* key : {L"SilentBlock", L"AlertAllow", L"NoAllow"})
    WriteSetting(filterSettings, key, IniValue(file, L"FilterModule", key));
  ApplyFilterIniSettings(file, true);

  // [Config] key -> value under the settings key, copied as read.
  static const std::pair<const wchar_t*, const wchar_t*> kCopied[] = {
      {L"Sidebar", L"Sidebar"},           {L"Appdata", L"Appdata"},         {L"AppdataDeep", L"AppdataDeep"},
      {L"AppdataLocal", L"AppdataLocal"}, {L"RecycleBin", L"RecycleBin"},   {L"UserProf", L"UserProfile"},
      {L"ProgramData", L"ProgramData"},   {L"StartupFolder", L"StartupFolder"}, {L"BlockSyskey", L"syskey"},
      {L"cipher", L"cipher"},             {L"vssadmin", L"vssadmin"},       {L"BlockBCDEdit", L"BlockBCDEdit"},
      {L"FakeEXEs", L"ApplyFakeExts"},
  };
  for (const auto& [key, value] : kCopied) WriteSetting(settings, value, IniValue(file, L"Config", key));

  if (IniChoice(file, L"Sidebar")) modToggle::SetSidebarDisabled(true);
  ApplyProtection(IniChoice(file, L"Appdata"), IniChoice(file, L"TempEXEs"), IniChoice(file, L"FakeEXEs"),
                  IniChoice(file, L"UserProf"), IniChoice(file, L"BlockSyskey"), IniChoice(file, L"BlockBCDEdit"));
  ApplyMoreProtection(IniChoice(file, L"AppdataDeep"), IniChoice(file, L"AppdataLocal"), IniChoice(file, L"RecycleBin"),
                      IniChoice(file, L"cipher"), IniChoice(file, L"vssadmin"), IniChoice(file, L"programdata"),
                      IniChoice(file, L"startupfolder"));
  if (IniChoice(file, L"ExcludeExisting")) modWhitelist::WhitelistAllKnownItems();

  const std::wstring whitelistFile = CommonModule::AppPath() + L"Ironlatch_Whitelist.txt";
  if (CommonModule::DoesFileExist(whitelistFile)) {
    std::vector<std::wstring> lines;
    clsFSO fso;
    fso.FileToArray(whitelistFile, lines);
    for (const auto& line : lines) {
      if (!platform::Trim(line).empty()) modWhitelist::WhitelistItem(line);
    }
  }
  RunGPUpdate(true);
  if (!bulk) return;

  if (IniChoice(file, L"EmailAlerts")) {
    WriteSetting(settings, L"EmailAlerts", L"1");
    static const std::pair<const wchar_t*, const wchar_t*> kEmail[] = {
        {L"FromEmail", L"FromEmail"},     {L"SMTPUserName", L"EmailAddress"}, {L"SendToEmail", L"SendToEmail"},
        {L"SMTPPassword", L"EmailPassword"}, {L"SMTPServer", L"SMTPServer"}, {L"SMTPPort", L"SMTPPort"},
        {L"SMTPAuth", L"Authenticate"},   {L"UseSSL", L"UseSSL"},
    };
    for (const auto& [key, value] : kEmail)
      WriteSetting(settings + L"\\Email Setup", value, IniValue(file, L"EmailConfig", key));
    modService::InstallEventService();
  }
  WriteSetting(settings, L"ScheduleEnabled", L"1");
  Form7::ScheduleIt(false, IniValue(file, L"Config", L"ScheduledHour"), IniValue(file, L"Config", L"ScheduledDay"));
  DeleteFileW(file.c_str());
  modUpdate::SilentUpdateCheck();
}

void PromptApplyNow(bool silent, bool reboot) {
  if (!silent) {
    std::wstring question =
        TestPrevention() ? L"Latchward appears to already be applied, as the prevention test is successful.  Re-apply "
                           L"prevention settings?"
                         : L"Apply Latchward now?";
    if (Ask(question, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    Form5::Show();
  }
  ApplyIniSettings(CommonModule::IniPath);
  if (!silent) {
    Form5::Unload();
    if (Ask(L"Protection applied, you should restart your PC for the changes to take effect!  Restart Now?",
            MB_YESNO | MB_ICONQUESTION) == IDYES) {
      WriteRestartTestEntry();
      ShutDownMod::RebootSystem(true);
    }
  } else if (reboot) {
    ShutDownMod::RebootSystem(true);
  }
}

// ---- Scheduled update tasks ----------------------------------------------------------------------

namespace {

constexpr wchar_t kDefsTaskName[] = L"Ironlatch Update";
constexpr wchar_t kAppTaskName[] = L"Ironlatch App Update";
constexpr wchar_t kTaskAuthor[] = L"Merrowind IT LLC";

// The application task's default hour and weekday, picked by one random number each.
std::wstring DefaultTaskHour() {
  const int n = RandomScheduleNumber();
  return n <= 12 ? L"08" : n <= 24 ? L"09" : n <= 36 ? L"10" : n <= 48 ? L"11" : L"07";
}
std::wstring DefaultTaskDay() {
  const int n = RandomScheduleNumber();
  return n <= 12 ? L"mon" : n <= 24 ? L"tues" : n <= 36 ? L"wed" : n <= 48 ? L"thur" : L"fri";
}

std::wstring MinuteText() { return modScheduleTask::TwoDigits(std::to_wstring(RandomScheduleNumber())); }

// The stored schedule, the settings key first and the INI second.
bool ScheduleIsOn() {
  return ReadSetting(L"ScheduleEnabled") == L"1" ||
         CommonModule::ReadIni(CommonModule::IniPath, L"Config", L"EnableSchedule") == L"1";
}
std::wstring StoredScheduleHour() {
  std::wstring hour = ReadSetting(L"ScheduleHour");
  return hour.empty() ? CommonModule::ReadIni(CommonModule::IniPath, L"Config", L"ScheduledHour") : hour;
}

bool TaskIsListed(const wchar_t* name) {
  return modScheduleTask::IsTaskListed(modCmdOutput::GetCommandOutput(L"schtasks.exe /query", true, false, true), name);
}

}  // namespace

int RandomScheduleNumber() { return modScheduleTask::ScheduleNumber(); }

bool CreateDefsUpdateTask(const std::wstring& hour, const std::wstring& minute) {
  // A stored hour may be missing; the task then takes the application task's default hours.
  const std::wstring taskHour = hour.empty() ? DefaultTaskHour() : hour;
  const std::wstring taskMinute = minute.empty() ? MinuteText() : minute;
  const std::wstring time =
      modScheduleTask::TwoDigits(taskHour) + L":" + modScheduleTask::TwoDigits(taskMinute) + L":00";
  return modScheduleTask::CreateDailyTask(kDefsTaskName, time, CommonModule::AppExeFullPath(), L"/autoupdate",
                                   L"Ironlatch Automatic Definition Updates", kTaskAuthor, L"SYSTEM", L"");
}

bool CreateAppUpdateTask(const std::wstring& day, std::wstring& hour) {
  if (hour.empty()) hour = DefaultTaskHour();
  const std::wstring weekday = day.empty() ? DefaultTaskDay() : day;
  const std::wstring time = modScheduleTask::TwoDigits(hour) + L":" + MinuteText() + L":00";
  return modScheduleTask::CreateWeeklyTask(kAppTaskName, time, modScheduleTask::WeekdayMask(weekday),
                                    CommonModule::AppExeFullPath(), L"/autoupdateapp",
                                    L"Ironlatch Automatic Application Updates", kTaskAuthor, L"SYSTEM", L"");
}

void ScheduleTasksFromIni() {
  const std::wstring& ini = CommonModule::IniPath;
  if (!CommonModule::DoesFileExist(ini) || CommonModule::ReadIni(ini, L"Config", L"EnableSchedule") != L"1") return;
  std::wstring hour = CommonModule::ReadIni(ini, L"Config", L"ScheduledHour");
  const std::wstring day = platform::Lower(CommonModule::ReadIni(ini, L"Config", L"ScheduledDay"));
  CreateDefsUpdateTask(hour, L"");
  CreateAppUpdateTask(day, hour);
}

void CheckDefsUpdateTask() {
  if (!ScheduleIsOn() || TaskIsListed(kDefsTaskName)) return;
  CreateDefsUpdateTask(StoredScheduleHour(), L"");
}

void CheckAppUpdateTask() {
  if (!ScheduleIsOn() || TaskIsListed(kAppTaskName)) return;
  std::wstring hour = StoredScheduleHour();
  std::wstring day = ReadSetting(L"ScheduleDay");
  if (day.empty()) day = platform::Lower(CommonModule::ReadIni(CommonModule::IniPath, L"Config", L"ScheduledDay"));
  CreateAppUpdateTask(day, hour);
}

// ---- First-run wizard --------------------------------------------------------------------------

void SaveApplyChoices(bool sidebarDisabled) {
  const std::pair<const wchar_t*, const wchar_t*> kChoices[] = {
      {L"ApplyAppdata", L"1"}, {L"ApplyUserProf", L"1"}, {L"ApplyFakeExts", L"1"}, {L"ApplyTempEXEs", L"0"},
      {L"BlockSyskey", L"1"},  {L"BlockBCDEdit", L"0"},  {L"Sidebar", sidebarDisabled ? L"1" : L"0"},
  };
  for (const auto& [value, target] : kChoices)
    if (ReadSetting(value) != target) WriteSetting(kSettingsKey, value, target);
}

void ApplyDefaultProtections(bool schedule, bool askSidebar) {
  if (schedule) Form7::ScheduleIt(false, L"", L"");
  // The Sidebar choice saved is the one in effect: turned off already, or as the user answered.
  bool sidebarDisabled = false;
  if (askSidebar && modOpSys::IsVista()) {
    Variant turnedOff;
    modRegistry::fReadValue(L"HKLM", L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Windows\\Sidebar",
                            L"TurnOffSidebar", L"D", Variant(int32_t{0}), turnedOff);
    int32_t value = 0;
    sidebarDisabled = turnedOff.ToLong(value) && value == 1;
    if (!sidebarDisabled &&
        Ask(L"The Windows Sidebar and Desktop Gadgets are a major security vulnerability and Microsoft now recommends "
            L"disabling them.  Would you like to disable them now?",
            MB_YESNO | MB_ICONQUESTION) == IDYES) {
      modToggle::SetSidebarDisabled(true);
      sidebarDisabled = true;
    }
  }
  BlockSyskey();
  BlockCipher();
  BlockVssadmin(false);
  ApplyFilterIniSettings(CommonModule::IniPath, true);
  SaveApplyChoices(sidebarDisabled);
  modWhitelist::WhitelistAllKnownItems();
  ApplyProtection(true, false, true, true, true, false);
  ApplyMoreProtection(true, true, true, true, true, true, true);
}

bool PromptRestartAfterApply() {
  if (platform::ShowMessageBox(nullptr, L"Finally we just need to restart the PC for changes to take effect.  Restart now?",
                               L"Protections applied!", MB_YESNO | MB_ICONQUESTION) == IDYES) {
    WriteRestartTestEntry();
    ShutDownMod::RebootSystem(true);
    return true;
  }
  Form1::Show();
  return false;
}

void RunFirstRunWizard() {
  InitCommonControlsVB();
  if (Ask(L"Would you like to apply all default protections and schedule automatic updates every day randomly between "
          L"8am and noon?  Select No to configure options manually.",
          MB_YESNO | MB_ICONQUESTION) == IDYES) {
    ApplyDefaultProtections(true, true);
    if (!modEmailSvc::LoadEmailConfig()) PromptEmailAlerts();
    modService::InstallEventService();
    // The restart is under way: nothing more to do.
    if (PromptRestartAfterApply()) return;
  } else {
    Form1::Show();
  }
  ReleaseShell32();
}
void SetFormIcon(HWND form) {
  const std::wstring logo = CommonModule::AppPath() + L"applogo.ico";
  if (CommonModule::DoesFileExist(logo))
    mod32BitIcon::SetIconFromFile(form, logo, true);
  else
    mod32BitIcon::SetIconFromResource(form, L"a1", true);
}

// ---- Installer compiler -----------------------------------------------------------------------

bool EnsureInnoSetup() {
  static const wchar_t kInstallerUrl[] = L"http://files.jrsoftware.org/is/5/isetup-5.5.3-unicode.exe";
  static const wchar_t kDownloadPage[] = L"http://www.jrsoftware.org/isdl.php";
  const std::wstring installer = CommonModule::AppPath() + L"InnoSetup.exe";
  if (!modDownloadA::DownloadFile(kInstallerUrl, installer, false)) {
    Ask(L"Please download/install the Inno Setup package, opening website now.\r\nNote you do not need the "
        L"'Quickstart' package, just the base install.",
        MB_OK);
    CommonModule::OpenWebPage(kDownloadPage);
    return false;
  }
  int32_t exitCode = -1;
  const bool ended =
      CommonModule::ShellX(installer, L"/silent", true, SW_SHOWNORMAL, exitCode, false, true, CommonModule::kNoTimeLimit);
  DeleteFileW(installer.c_str());
  // Installed means: the installer finished, content, and the compiler is there now.
  if (ended && exitCode == 0 && !Form4::FindInnoCompiler().empty()) return true;
  CommonModule::DPrint(L"Module1\\EnsureInnoSetup: installer exit code " + std::to_wstring(exitCode));
  Ask(L"Inno Setup could not be installed.", MB_OK | MB_ICONERROR);
  return false;
}

}  // namespace Module1
