// Whether this process runs as the SYSTEM account, read from its token.
#include "common/CommonModule2.h"

#include <windows.h>

#include "common/CommonModule.h"
#include "platform/Handle.h"
#include "platform/ProcessAccount.h"
#include "platform/PromptSeam.h"

namespace CommonModule2 {

namespace {

// Whether this process's token belongs to LocalSystem (S-1-5-18). The environment is the
// launching user's to set, so it decides nothing here.
bool TokenIsLocalSystem() {
  std::vector<BYTE> buffer;
  PSID user = nullptr;
  if (!platform::ProcessUserSid(buffer, user)) return false;
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  platform::UniqueAllocatedSid localSystem;
  if (!AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, localSystem.put()))
    return false;
  return EqualSid(user, localSystem.get()) != FALSE;
}

}  // namespace

bool IsSystemAccount(bool showMessage) {
  // A preinstallation environment runs its programs as LocalSystem too, so the token covers it.
  const bool system = TokenIsLocalSystem();
  if (system && showMessage) {
    platform::ShowMessageBox(nullptr, L"It appears you now have SYSTEM access.  Congrats!",
                             CommonModule::AppTitle(), MB_OK);
  }
  return system;
}

}  // namespace CommonModule2
