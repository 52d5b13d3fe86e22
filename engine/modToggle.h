#pragma once
// The Windows Sidebar policy toggle.

namespace modToggle {

void SetSidebarDisabled(bool disabled);
void PromptKeepSidebarDisabled();

}  // namespace modToggle
