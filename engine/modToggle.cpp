#include "engine/modToggle.h"

#include <windows.h>

#include "common/CommonModule.h"
#include "common/modOpSys.h"
#include "common/modRegistry.h"
#include "engine/Protection.h"

namespace modToggle {

namespace {
const wchar_t kSidebarPolicyKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Windows\\Sidebar";
const wchar_t kTurnOffSidebar[] = L"TurnOffSidebar";
}  // namespace

void SetSidebarDisabled(bool disable) {
  if (!modOpSys::IsVista()) return;
  if (disable) {
    modRegistry::fWriteValue(L"HKLM", kSidebarPolicyKey, kTurnOffSidebar, L"D", Variant(int32_t{1}));
    CommonModule::KillProcessAllWays(L"sidebar.exe", false);
  } else {
    bool notFound = false;
    modRegistry::fDeleteValue(L"HKLM", kSidebarPolicyKey, kTurnOffSidebar, notFound);
  }
}

bool IsSidebarDisabled() {
  return modRegistry::ReadNumber(HKEY_LOCAL_MACHINE, kSidebarPolicyKey, kTurnOffSidebar) == 1;
}

void PromptKeepSidebarDisabled() {
  if (!modOpSys::IsVista() || !IsSidebarDisabled()) return;
  if (Protection::Ask(L"The Windows Sidebar and Desktop Gadgets are a major security vulnerability and Microsoft "
                   L"recommends disabling them.  Would you like to keep them disabled (recommended)?",
                   MB_YESNO | MB_ICONQUESTION) == IDNO)
    SetSidebarDisabled(false);
}

}  // namespace modToggle
