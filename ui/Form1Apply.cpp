// The main window's Apply, Undo and Test buttons.
#include <iterator>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/ProtectionCatalogue.h"
#include "common/ShutDownMod.h"
#include "engine/Protection.h"
#include "engine/SavedChoices.h"
#include "engine/modToggle.h"
#include "engine/modWhitelist.h"
#include "ui/Form1.h"
#include "ui/Form1Ids.h"

namespace {

using ProtectionCatalogue::Choice;
using ProtectionCatalogue::Control;
using ProtectionCatalogue::Row;
using ProtectionCatalogue::kRows;

constexpr int kClassCount = static_cast<int>(std::size(Product::kHookedClasses));  // a box of each in both rows

// The window's choices as Apply found them at the click: read before its first wait, so nothing
// that happens while it waits changes what it writes.
struct ApplyChoices {
  int controls[ProtectionCatalogue::kChoiceCount] = {};  // each choice's control: a box value, a menu item 1 or 0
  ProtectionCatalogue::ChoiceSet chosen;
  Protection::ClassBoxes classes;
  bool refresh = false;
};

int ControlValue(const Row& row) {
  if (row.window.control == Control::MenuItem) return Form1::MenuChecked(row.window.id) ? 1 : 0;
  return Form1::BoxValue(row.window.id);
}

ApplyChoices ReadChoices() {
  ApplyChoices c;
  for (const Row& row : kRows)
    if (row.window.control != Control::None) c.controls[static_cast<int>(row.choice)] = ControlValue(row);
  c.chosen = ProtectionCatalogue::FromControls([&c](const Row& row) { return c.controls[static_cast<int>(row.choice)]; });
  for (int i = 0; i < kClassCount; ++i) {
    c.classes.suspicious[i] = Form1::BoxValue(IDC_FORM1_CHKSUSPICIOUS + i);
    c.classes.constant[i] = Form1::BoxValue(IDC_FORM1_CHKCONSTANT + i);
  }
  c.refresh = Form1::MenuChecked(IDM_FORM1_APPLYGPUPDATE);
  return c;
}

// The controls Apply saves, the boxes first and then the menu items, each in the catalogue's order.
void SaveControls(const ApplyChoices& c) {
  for (const Control control : {Control::Box, Control::MenuItem})
    for (const Row& row : kRows)
      if (row.window.control == control && row.window.savedByApply)
        SavedChoices::Write(row.choice, c.controls[static_cast<int>(row.choice)]);
}

}  // namespace

void Form1::Command1_Click() {
  const ApplyChoices c = ReadChoices();
  Protection::Apply(c.chosen, c.classes);
  ShowStoredExeComFilter();
  modToggle::SetSidebarDisabled(c.chosen.Has(Choice::Sidebar));
  if (c.chosen.Has(Choice::AutoWhitelist)) modWhitelist::WhitelistAllKnownItems();
  SaveControls(c);

  if (c.refresh) Protection::RunGPUpdate(false);

  if (Ask(L"Policies created, but you must restart the PC to ensure the changes take effect!  Restart now?",
          MB_YESNO | MB_ICONQUESTION) == IDYES) {
    Protection::WriteRestartTestEntry();
    ShutDownMod::RebootSystem(true);
  }
}

void Form1::Command2_Click() {
  const bool alsoWhitelist = Ask(L"Also remove any whitelist policies?", MB_YESNO | MB_ICONQUESTION) == IDYES;
  Protection::RemoveProtection(alsoWhitelist, false, true);
  ShowStoredExeComFilter();
  modToggle::PromptKeepSidebarDisabled();
  if (Ask(L"Policies deleted, but you should reboot to ensure changes take effect.  Restart now?",
          MB_YESNO | MB_ICONQUESTION) == IDYES)
    ShutDownMod::RebootSystem(true);
}

void Form1::Command3_Click() { Protection::ReportPreventionTest(false); }
