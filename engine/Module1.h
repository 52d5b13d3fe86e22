#pragma once
// The main program's protection engine: the engine's part of one module whose files stand on the
// floors of what each uses (app/Module1App.h declares the start-up and set-up roads above every
// floor, update/Form4Installer.h the installer compiler's download):
//   engine/Module1Shared.cpp  what every road shares: the program's flags, its boxes, its settings
//                             values, the restart-test entry and the windows' icon
//   engine/Module1Policy.cpp  the rules and their defaults, undo, the file-class hooks, the
//                             prevention test
//   engine/Module1Tasks.cpp   the scheduled update tasks
#include <windows.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "common/Product.h"
#include "common/ProtectionCatalogue.h"
#include "common/ResourceFile.h"

namespace Module1 {

// Engine state shared by the main program's modules; the caption and title are the product's.
using Product::ProductLabel;
using Product::ProductTitle;
extern HMODULE Shell32Handle;
extern bool NoGPUpdate;

// The settings key under HKLM and the RunOnce value that queues the prevention test.
using Product::kSettingsKey;
inline constexpr wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr wchar_t kRestartTestValue[] = L"*" ILATCH_PRODUCT_NAME L" Test";

using Product::BuildProductTitle;

// ---- Shared by every road ----
// Common controls, with shell32 held loaded while a window road runs.
void InitCommonControlsVB();
void ReleaseShell32();
bool IsArrayEmpty(const std::vector<std::wstring>& items);
// Shows a box through the prompt seam with ProductLabel as caption.
int Ask(const std::wstring& text, UINT type);
// A text value of the settings key (or of its subkey, e.g. "FilterModule"); empty when missing.
std::wstring ReadSetting(const std::wstring& value, const std::wstring& subkey = L"");
// Writes a text value under HKLM.
void WriteSetting(const std::wstring& key, const std::wstring& value, const std::wstring& text);
// Queues the prevention test for the next start of Windows (the RunOnce entry).
void WriteRestartTestEntry();
// Gives a window of the program its icons in both sizes: "applogo.ico" beside the program when
// there is one, else the built-in icon.
void SetFormIcon(HWND form);

using ResourceFile::ExtractResourceToFile;

// ---- Policy rules and defaults ----
void AddPathRule(const std::wstring& pattern, bool whitelist);
void BlockSyskey();
void BlockCipher();
void BlockVssadmin(bool unused);
void BlockBCDEdit();
void SetSaferDefaults();
void ImportHashRules();

// ---- Applying the chosen protection ----
using ProtectionCatalogue::Choice;
using ProtectionCatalogue::ChoiceSet;

// Every road but the main window applies through this: ApplyProtection, then ApplyMoreProtection.
// Only the choices that write rules count (ProtectionCatalogue::Rules); the roads act on the rest.
void Apply(const ChoiceSet& chosen);

// The main window's file-class boxes, in the order of Product::kHookedClasses: box values (0
// unticked, 1 ticked, 2 greyed), saved as their numbers.
struct ClassBoxes {
  int suspicious[std::size(Product::kHookedClasses)] = {};
  int constant[std::size(Product::kHookedClasses)] = {};
};

// The main window's Apply, as it has always laid the protection down: the old rules go and the
// defaults are written as on the other roads; then its class boxes are saved and the file classes
// hooked before any rule set, and the rule sets follow in the catalogue's order. It registers no
// event sources and leaves the data folder as it is.
void Apply(const ChoiceSet& chosen, const ClassBoxes& windowClasses);

// The rules of one option, as Apply writes them; nothing for a choice that writes no rules.
void WriteRuleSet(Choice choice);

// The two halves of Apply: the old rules removed, the defaults, the first rule sets, the hooks,
// the event sources and the data folder; then the further rule sets.
void ApplyProtection(const ChoiceSet& chosen);
void ApplyMoreProtection(const ChoiceSet& chosen);
void BlockAppdata();
void BlockAppdataDeep();
void BlockAppdataLocal();
void BlockRecycleBin();
void BlockUserProfile();
void BlockStartupFolders();
void BlockProgramData();
void BlockTempArchives();
void WriteAppdataRules(const std::wstring& extension);
void WriteAppdataDeepRules(const std::wstring& extension);
void WriteAppdataLocalRules(const std::wstring& extension);
void WriteRecycleBinRules(const std::wstring& extension);
void WriteUserProfileRules(const std::wstring& extension);
void WriteStartupRules(const std::wstring& extension);
void WriteProgramDataRules(const std::wstring& extension);
void WriteTempArchiveRules(const std::wstring& extension);

// ---- Fake-extension and right-to-left-override rules ----
void BlockFakeExtensions();
void ImportRloRules();
void WriteFakeExtensionRules(const std::wstring& extension);

// ---- Undo and group-policy refresh ----
void RemoveProtection(bool alsoWhitelist, bool silent, bool refresh);
void RunGPUpdate(bool silent);

// ---- Filter-module file-class hooks ----
void ApplyFilterModule();
void HookFileClass(const std::wstring& fileClass, bool constant);
void ApplyFilterIniSettings(const std::wstring& iniPath, bool force);
void UnhookFileClasses();
// On: hooks the EXE and COM classes to the filter module; false, with nothing changed, when the
// filter module is not in the program folder. Off: restores them. "SuspiciousExeComFiles" says
// which is in effect.
bool SetExeComFilter(bool on);

// ---- Prevention test ----
// What the test program met: Windows refused it (protection works), it ran, or the test itself
// could not be done (the program could not be written, started or removed).
enum class PreventionResult { Blocked, Ran, NotRun };
PreventionResult RunPreventionTest();
bool TestPrevention();  // true only when Windows refused the test program
void ReportPreventionTest(bool fromStartup);

// ---- The scheduled update tasks ----
void ScheduleTasksFromIni();
// The scheduled update tasks: created or replaced, and re-created when the schedule is on and a
// task is missing. The random number picks their minute and their default hour and weekday.
int RandomScheduleNumber();
bool CreateDefsUpdateTask(const std::wstring& hour, const std::wstring& minute);
bool CreateAppUpdateTask(const std::wstring& day, std::wstring& hour);
void CheckDefsUpdateTask();
void CheckAppUpdateTask();

}  // namespace Module1
