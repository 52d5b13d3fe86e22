#include "common/DefinitionsVersion.h"

#include <windows.h>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "platform/Handle.h"
#include "platform/Text.h"

namespace DefinitionsVersion {

std::optional<int64_t> Parse(const std::wstring& text) {
  const std::wstring digits = platform::Trim(text);
  int64_t value = 0;
  if (digits.empty() || digits.size() > 19 || digits.find_first_not_of(L"0123456789") != std::wstring::npos ||
      !platform::ParseInt64(digits, value))
    return std::nullopt;
  return value;
}

std::optional<int64_t> Read(const std::wstring& versionFile) {
  return Parse(CommonModule::ReadIni(versionFile, Product::kUpdateIndexSection, Product::kDefinitionsVersionKey));
}

bool Held(const std::wstring& path) {
  const platform::UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return !file && GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace DefinitionsVersion
