#include "common/CommonModule2.h"

#include <windows.h>

#include "common/CommonModule.h"
#include "platform/PromptSeam.h"
#include "platform/Text.h"

namespace CommonModule2 {

bool IsSystemAccount(bool showMessage) {
  using platform::GetEnv;
  std::wstring user = GetEnv(L"username");
  bool system = user == GetEnv(L"computername") + L"$" || platform::Lower(GetEnv(L"systemdrive")) == L"x:" ||
                user.empty();
  if (system && showMessage) {
    platform::ShowMessageBox(nullptr, L"It appears you now have SYSTEM access.  Congrats!",
                             CommonModule::AppTitle(), MB_OK);
  }
  return system;
}

std::wstring TrimNull(const std::wstring& text) {
  size_t nul = text.find(L'\0');
  return nul == std::wstring::npos ? text : text.substr(0, nul);
}

}  // namespace CommonModule2
