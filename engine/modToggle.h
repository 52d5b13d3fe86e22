#pragma once
// The Windows Sidebar policy toggle.

namespace modToggle {

void SetSidebarDisabled(bool disabled);
// True when the policy that turns the Sidebar off is set (TurnOffSidebar = 1).
bool IsSidebarDisabled();
void PromptKeepSidebarDisabled();

}  // namespace modToggle
