// What every road of the main program shares: its two flags, its boxes, the settings key's text
// values, the restart-test entry and the windows' icon. The windows, the update roads and the
// engine's other files call these, so nothing here calls higher up.
#include <windows.h>

#include <commctrl.h>

#include "common/CommonModule.h"
#include "common/Variant.h"
#include "common/mod32BitIcon.h"
#include "common/modRegistry.h"
#include "engine/Module1.h"
#include "platform/PromptSeam.h"

namespace Module1 {

HMODULE Shell32Handle = nullptr;
bool NoGPUpdate = false;

int Ask(const std::wstring& text, UINT type) { return platform::ShowMessageBox(nullptr, text, ProductLabel, type); }

void InitCommonControlsVB() {
  if (!Shell32Handle) Shell32Handle = LoadLibraryW(L"shell32.dll");
  InitCommonControls();
}

void ReleaseShell32() {
  if (Shell32Handle) FreeLibrary(Shell32Handle);
  Shell32Handle = nullptr;
}

bool IsArrayEmpty(const std::vector<std::wstring>& items) { return items.empty(); }

void WriteSetting(const std::wstring& key, const std::wstring& value, const std::wstring& text) {
  modRegistry::fWriteValue(L"HKLM", key, value, L"S", Variant(text));
}

std::wstring ReadSetting(const std::wstring& value, const std::wstring& subkey) {
  const std::wstring key = subkey.empty() ? std::wstring(kSettingsKey) : std::wstring(kSettingsKey) + L"\\" + subkey;
  return modRegistry::ReadText(HKEY_LOCAL_MACHINE, key, value);
}

void WriteRestartTestEntry() {
  WriteSetting(kRunOnceKey, kRestartTestValue,
               L"cmd /c start \"\" \"" + CommonModule::AppExeFullPath() + L"\" /test");
}

void SetFormIcon(HWND form) {
  const std::wstring logo = CommonModule::AppPath() + L"applogo.ico";
  if (CommonModule::DoesFileExist(logo))
    mod32BitIcon::SetIconFromFile(form, logo, true);
  else
    mod32BitIcon::SetIconFromResource(form, L"a1", true);
}

}  // namespace Module1
