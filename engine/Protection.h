#pragma once
// The protection engine of the main program: applying the chosen protection (every road through
// Apply), undoing it, the prevention test, and the file-class hooks and settings values the roads
// share. Its files:
//   engine/Protection.cpp        undo, the group-policy refresh and the prevention test
//   engine/ProtectionRules.cpp   each option's rules, the policy defaults, and Apply
//   engine/ProtectionHooks.cpp   the filter module's file-class hooks and the EXE/COM filter
//   engine/ProtectionShared.cpp  the settings key's text values, the boxes and the restart-test entry
#include <windows.h>

#include <iterator>
#include <string>

#include "common/Product.h"
#include "common/ProtectionCatalogue.h"

namespace Protection {

using ProtectionCatalogue::Choice;
using ProtectionCatalogue::ChoiceSet;

// ---- Applying the chosen protection ----

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
// hooked before any rule set, and the rule sets follow one by one in the catalogue's order. It
// registers no event sources and leaves the data folder as it is.
void Apply(const ChoiceSet& chosen, const ClassBoxes& windowClasses);

// The two halves of Apply: the old rules removed, the policy defaults, the first rule sets, the
// hooks, the event sources and the data folder; then the further rule sets.
void ApplyProtection(const ChoiceSet& chosen);
void ApplyMoreProtection(const ChoiceSet& chosen);

// The rules of one option, as Apply writes them; nothing for a choice that writes no rules.
void WriteRuleSet(Choice choice);

// One path rule of ours: disallowed, or unrestricted when whitelist. An empty pattern writes none.
void AddPathRule(const std::wstring& pattern, bool whitelist);

// ---- Undo and group-policy refresh ----

void RemoveProtection(bool alsoWhitelist, bool silent, bool refresh);
void RunGPUpdate(bool silent);
// "/nogpupdate": every refresh of this run is skipped.
void SetNoGPUpdate(bool skip);

// ---- Prevention test ----

// What the test program met: Windows refused it (protection works), it ran, or the test itself
// could not be done (the program could not be written, started or removed).
enum class PreventionResult { Blocked, Ran, NotRun };
PreventionResult RunPreventionTest();
bool TestPrevention();  // true only when Windows refused the test program
void ReportPreventionTest(bool fromStartup);

// ---- Filter-module file-class hooks ----

void ApplyFilterModule();
void HookFileClass(const std::wstring& fileClass, bool constant);
void ApplyFilterIniSettings(const std::wstring& iniPath, bool force);
void UnhookFileClasses();
// On: hooks the EXE and COM classes to the filter module; false, with nothing changed, when the
// filter module is not in the program folder. Off: restores them. The saved ExeComFilter choice
// says which is in effect.
bool SetExeComFilter(bool on);

// ---- Shared by every road ----

// The RunOnce value that queues the prevention test.
inline constexpr wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr wchar_t kRestartTestValue[] = L"*" ILATCH_PRODUCT_NAME L" Test";

// Shows a box through the prompt seam with the product's caption.
int Ask(const std::wstring& text, UINT type);
// A text value of the settings key (or of its subkey, e.g. "FilterModule"); empty when missing.
std::wstring ReadSetting(const std::wstring& value, const std::wstring& subkey = L"");
// Writes a text value under HKLM.
void WriteSetting(const std::wstring& key, const std::wstring& value, const std::wstring& text);
// Queues the prevention test for the next start of Windows (the RunOnce entry).
void WriteRestartTestEntry();

}  // namespace Protection
