#include "engine/LegacyGroup.h"

#include "common/Variant.h"
#include "common/modRegistry.h"
#include "engine/Module1.h"

namespace LegacyGroup {

std::vector<std::wstring> ReadGroup(const wchar_t* group, const std::vector<std::wstring>& members) {
  std::vector<std::wstring> texts;
  const std::wstring groupText = Module1::ReadSetting(group);
  int32_t number = 0;
  if (groupText.empty() || !Variant(groupText).ToLong(number) || number < 0 || number > 2) {
    for (const std::wstring& member : members) texts.push_back(Module1::ReadSetting(member));
    return texts;
  }
  const std::wstring text = std::to_wstring(number);
  bool saved = true;
  for (const std::wstring& member : members) {
    texts.push_back(text);
    saved = modRegistry::fWriteValue(L"HKLM", Module1::kSettingsKey, member, L"S", Variant(text)) == ERROR_SUCCESS &&
            saved;
  }
  if (!saved) return texts;
  bool notFound = false;
  modRegistry::fDeleteValue(L"HKLM", Module1::kSettingsKey, group, notFound);
  return texts;
}

}  // namespace LegacyGroup
