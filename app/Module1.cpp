// The main program's start-up: Main, the switch road and the roads that open windows. It calls
// into every floor; nothing calls into it but the program's entry.
#include "app/Module1App.h"

#include "alerts/Form10.h"
#include "alerts/modService.h"
#include "common/CommonModule.h"
#include "common/DataFolder.h"
#include "common/Product.h"
#include "common/ShutDownMod.h"
#include "common/modOpSys.h"
#include "common/modRegistry.h"
#include "engine/CommandLine.h"
#include "engine/Module1.h"
#include "engine/SavedChoices.h"
#include "engine/modScheduleTask.h"
#include "engine/modToggle.h"
#include "engine/modWhitelist.h"
#include "notify/modWriteEvent.h"
#include "platform/Process.h"
#include "platform/PromptSeam.h"
#include "platform/Text.h"
#include "ui/Form1.h"
#include "ui/Form2.h"
#include "ui/Form6.h"
#include "update/Form4.h"
#include "update/ProgramSwap.h"
#include "update/modUpdate.h"

namespace Module1 {

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
  modScheduleTask::DeleteTask(Product::kDefsUpdateTask);
  modScheduleTask::DeleteTask(Product::kAppUpdateTask);
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

// The switches that set how the whole run works hold for everything it does, the finish of an
// update at start-up included.
void TakeRunSettings(const CommandLine::ParseResult& parsed, const std::wstring& commandLine) {
  for (const auto& piece : parsed.pieces) {
    if (piece.id == Switch::NoGPUpdate) NoGPUpdate = true;
    if (piece.id != Switch::Debug || CommonModule::DebugToFile) continue;
    CommonModule::DebugToFile = true;
    CommonModule::DebugLogPath = CommonModule::AppPath() + CommonModule::AppExeName() + L".log";
    CommonModule::DPrint(std::wstring(L"Started:  ") + Product::kMainProgram + L" " + platform::Lower(commandLine));
  }
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
bool ActOn(const CommandLine::Piece& piece, Flags& f) {
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
    case Switch::NoAllowPrompt: SavedChoices::Write(SavedChoices::Choice::NoAllow, 1); break;
    case Switch::AllowPrompt: SavedChoices::Write(SavedChoices::Choice::NoAllow, 0); break;
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
    case Switch::NoGPUpdate: break;  // settings of the whole run, taken before anything acts
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
        if (Ask(std::wstring(L"Would you like to keep the ") + Product::kName +
                    L" settings for a later re-installation?",
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
    modUpdate::CheckUpdateBeforeProtection(f.silent, f.reboot);
    PromptApplyNow(f.silent, f.reboot);
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

void Main() {
  CommonModule::InitAppSettings(true, true, false);
  CommonModule::FsRedirEnabled = true;
  BuildProductTitle();

  const std::wstring commandLine = platform::ProcessArguments();
  if (commandLine.empty()) {
    modUpdate::FinishUpdateAfterRestart();
    RoadWithoutArguments();
    return;
  }

  // The whole line is checked before anything acts, so that "No changes made." holds.
  CommandLine::ParseResult parsed = CommandLine::Parse(commandLine);
  if (parsed.unknown) {
    ShowUnknownSwitch(parsed.unknownPiece);
    return;
  }
  TakeRunSettings(parsed, commandLine);
  modUpdate::FinishUpdateAfterRestart();
  Flags flags;
  for (const auto& piece : parsed.pieces) {
    if (ActOn(piece, flags)) return;
  }
  CombinedAction(flags);
  if (flags.deleteSettingsKey) DeleteSettingsKey();
}

bool CleanupAfterUpdate() {
  const std::wstring oldFile = ProgramSwap::ProgramBackupPath();
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
  const std::wstring folder = Product::DataFolder();
  // Judged first and deleted without following any link: a user could have planted one on the way.
  if (!folder.empty()) DataFolder::Remove(folder);
}

}  // namespace Module1
