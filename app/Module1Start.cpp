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
#include "engine/Protection.h"
#include "engine/SavedChoices.h"
#include "engine/UpdateTasks.h"
#include "engine/modScheduleTask.h"
#include "engine/modToggle.h"
#include "engine/modWhitelist.h"
#include "notify/modWriteEvent.h"
#include "platform/CommonControls.h"
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
using namespace Protection;

// What one command line asks for besides its protection options: the combined action and how it
// runs.
struct Flags {
  bool apply = false, silent = false, reboot = false, undo = false, undoall = false;
  bool applyini = false, updateandapply = false, valuegiven = false;
  // The uninstall roads remove the settings key only after the undo, whose own writes would
  // otherwise bring it back.
  bool deleteSettingsKey = false;
};

void DeleteInstalledValue() {
  bool notFound = false;
  modRegistry::fDeleteValue(L"HKLM", Product::kSettingsKey, L"Installed", notFound);
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

// Runs a road that shows windows or boxes: the common controls ready and shell32 held meanwhile.
template <typename Road>
void WindowRoad(Road road) {
  const platform::UniqueModule shell32 = platform::InitCommonControlsVB();
  road();
}

void ShowHelpWindow() { WindowRoad(Form2::Show); }

void ShowUnknownSwitch(const std::wstring& piece) {
  WindowRoad([&piece] {
    Ask(L"The command parameter:  \"" + piece + L"\" was not recognized.  No changes made.", MB_OK);
  });
  Form2::Show();
}

// The switches that set how the whole run works hold for everything it does, the finish of an
// update at start-up included.
void TakeRunSettings(const CommandLine::ParseResult& parsed, const std::wstring& commandLine) {
  for (const auto& piece : parsed.pieces) {
    if (piece.id == Switch::NoGPUpdate) Protection::SetNoGPUpdate(true);
    if (piece.id != Switch::Debug || CommonModule::DebugToFile) continue;
    CommonModule::DebugToFile = true;
    CommonModule::DebugLogPath = CommonModule::AppPath() + CommonModule::AppExeName() + L".log";
    CommonModule::DPrint(std::wstring(L"Started:  ") + Product::kMainProgram + L" " + platform::Lower(commandLine));
  }
}

void RoadWithoutArguments() {
  bool applyIni = CommonModule::DoesFileExist(CommonModule::IniPath);
  const platform::UniqueModule shell32 = platform::InitCommonControlsVB();
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
    case Switch::Option: break;  // gathered with the others: CommandLine::Options
    case Switch::ShowEmail: PromptEmailAlerts(); break;
    case Switch::ShowMain: WindowRoad(Form1::Show); break;
    case Switch::Debug:
    case Switch::NoGPUpdate: break;  // settings of the whole run, taken before anything acts
    case Switch::Apply: f.apply = true; break;
    case Switch::AllExes: break;  // accepted; it chooses nothing
    case Switch::Silent: f.silent = f.apply = true; break;
    case Switch::Reboot: f.reboot = f.apply = true; break;
    case Switch::Undo: f.undo = true; break;
    case Switch::UndoAll: f.undo = f.undoall = true; break;
    case Switch::Config: WindowRoad(Form4::Show); break;
    case Switch::Test: WindowRoad([] { ReportPreventionTest(true); }); break;
    case Switch::WOptions: WindowRoad(Form6::Show); break;
    case Switch::EventLog: WindowRoad(Form10::Show); break;
    case Switch::ApplyIni: f.applyini = true; break;
    case Switch::Update: modUpdate::CheckForAppUpdate(); break;
    case Switch::AutoUpdate: modUpdate::CheckForDefsUpdate(true, false); break;
    case Switch::AutoUpdateApp: modUpdate::AutoUpdateApp(); break;
    case Switch::ApplyUpdate: modUpdate::ApplyUpdatePostInstall(); break;
    case Switch::UpdateAndApply: f.updateandapply = true; break;
    case Switch::BulkInstaller: ApplyIniSettings(L""); break;
    case Switch::Installer:
      WriteSetting(Product::kSettingsKey, L"Installed", L"1");
      modWriteEvent::RegisterEventSources();
      UpdateTasks::ScheduleTasksFromIni();
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
      if (modRegistry::fEnumKey(L"HKLM", Product::kSettingsKey, names) == ERROR_SUCCESS) {
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
void CombinedAction(const Flags& f, const ChoiceSet& options) {
  // "/whitelist" whitelists what the blocked folders hold before anything is applied.
  const bool whitelist = options.Has(Choice::AutoWhitelist);
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
    if (!f.silent) WindowRoad([] { Ask(L"Prevention Removed.", MB_OK); });
    return;
  }
  if (whitelist) modWhitelist::WhitelistAllKnownItems();
  if (f.apply) {
    Apply(options);
    RunGPUpdate(f.silent);
    if (f.reboot) {
      ShutDownMod::RebootSystem(true);
    } else if (!f.silent) {
      const platform::UniqueModule shell32 = platform::InitCommonControlsVB();
      std::wstring question =
          whitelist ? L"Prevention and whitelist policies created, but you should restart the PC for changes to take "
                        L"effect!  Restart now?"
                      : L"Prevention policies created, but you should restart the PC for changes to take effect!  "
                        L"Restart now?";
      if (Ask(question, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        WriteRestartTestEntry();
        ShutDownMod::RebootSystem(true);
      }
    }
  } else if (whitelist) {
    if (f.reboot) {
      ShutDownMod::RebootSystem(true);
    } else if (!f.silent) {
      WindowRoad([] {
        if (Ask(L"Whitelist policies created, but you should restart the PC for changes to take effect!  Restart now?",
                MB_YESNO | MB_ICONQUESTION) == IDYES)
          ShutDownMod::RebootSystem(true);
      });
    }
  } else if (!f.valuegiven) {
    ShowHelpWindow();
  }
}

}  // namespace

void Main() {
  CommonModule::InitAppSettings(true, true, false);
  CommonModule::FsRedirEnabled = true;
  Product::BuildProductTitle();

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
  CombinedAction(flags, CommandLine::Options(parsed.pieces));
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
