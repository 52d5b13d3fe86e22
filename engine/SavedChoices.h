#pragma once
// The protection choices as saved in the registry and given in the configuration INI, read and
// written by the rows of the catalogue (common/ProtectionCatalogue.h): the main window, the set-up
// roads and the re-apply after a program update all read and write them here.
#include <optional>
#include <string>

#include "common/ProtectionCatalogue.h"

namespace SavedChoices {

using ProtectionCatalogue::Choice;
using ProtectionCatalogue::ChoiceSet;
using ProtectionCatalogue::kChoiceCount;

// The registry value a choice is saved in, and the key (below HKLM) that holds it.
using ProtectionCatalogue::Key;
using ProtectionCatalogue::ValueName;

// One choice's own saved text, read now (no group value is resolved); empty when nothing is saved.
std::wstring ReadText(Choice choice);

// Writes a choice's text (a box value as its number).
bool Write(Choice choice, const std::wstring& text);
bool Write(Choice choice, int value);

// Every choice as saved, read once. The group values of older versions are resolved on the way:
// a group holding a box value (0, 1 or 2) gives it to each member, which is saved with it, and
// once all are saved the group value goes, so that no choice is lost. A group text that is no
// box value counts as absent: the members' own texts are read and the group is left as it was.
class Saved {
 public:
  static Saved Read();

  // The text the choice reads as (empty when nothing was saved).
  const std::wstring& Text(Choice choice) const;

  // The main window's box value: the saved whole number; when nothing was saved, the box's
  // default where it has one (the Sidebar unticked, "no allow" ticked); otherwise none, and the
  // box stays as the window preset it.
  std::optional<int> BoxValue(Choice choice) const;

  // The re-apply after a program update: a choice is on only when saved as "1" (a "0" is a box
  // left unticked, a "2" one left grey). Blocking syskey is on as well while no text of it is
  // saved.
  bool On(Choice choice) const;
  // Every choice that is on so: what the re-apply after a program update applies.
  ChoiceSet Chosen() const;

 private:
  std::wstring texts_[kChoiceCount];
  std::wstring stored_[kChoiceCount];  // what the registry holds once read (a group member not saved keeps its own)
};

// The configuration INI: a choice counts as on when its key's text is exactly "1".
bool IniChoice(const std::wstring& iniFile, Choice choice);
// Every choice the INI turns on so: what the INI road applies.
ChoiceSet IniChoices(const std::wstring& iniFile);

// The INI's two sections of choices: [FilterModule] for those under the filter module's key,
// [Config] for the rest.
enum class IniSection { FilterModule, Config };

// Copies one section's texts into the saved values, as read: a key the INI lacks saves an empty
// text. The choices that are only applied from the INI (the temporary-archive rules, whitelisting
// what is there) are not copied.
void CopyFromIni(const std::wstring& iniFile, IniSection section);

// The first run's default set (ProtectionCatalogue::kFirstRunDefaults), saved the way older
// versions saved it: by its groups, each on when the whole group is in the set. Each value is
// written only when it differs. sidebarDisabled: the Sidebar choice now in effect.
void SaveFirstRunDefaults(bool sidebarDisabled);

}  // namespace SavedChoices
