// What every road of the main program shares: the settings key's text values, the boxes and the
// restart-test entry. The windows, the update roads and the engine's other files call these, so
// nothing here calls higher up.
#include <windows.h>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/Variant.h"
#include "common/modRegistry.h"
#include "engine/Protection.h"
#include "platform/PromptSeam.h"

namespace Protection {

int Ask(const std::wstring& text, UINT type) {
  return platform::ShowMessageBox(nullptr, text, Product::ProductLabel, type);
}

void WriteSetting(const std::wstring& key, const std::wstring& value, const std::wstring& text) {
  modRegistry::fWriteValue(L"HKLM", key, value, L"S", Variant(text));
}

std::wstring ReadSetting(const std::wstring& value, const std::wstring& subkey) {
  const std::wstring key = subkey.empty() ? std::wstring(Product::kSettingsKey)
                                          : std::wstring(Product::kSettingsKey) + L"\\" + subkey;
  return modRegistry::ReadText(HKEY_LOCAL_MACHINE, key, value);
}

void WriteRestartTestEntry() {
  WriteSetting(kRunOnceKey, kRestartTestValue,
               L"cmd /c start \"\" \"" + CommonModule::AppExeFullPath() + L"\" /test");
}

}  // namespace Protection
