#include "common/Product.h"

#include <windows.h>
#include <shlobj.h>

#include "common/CommonModule.h"
#include "platform/TestSwitches.h"

namespace Product {

std::wstring ProductLabel;
std::wstring ProductTitle;

std::wstring DataFolder() {
  std::wstring root = platform::TestSwitch(platform::kSwitchDataRoot);
  if (root.empty()) {
    wchar_t base[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base)) || !base[0])
      return L"";
    root = base;
  }
  return root + kFolder;
}

void BuildProductTitle() {
  ProductLabel = kName;
  // Every program names the product by the main program's version, which lies beside it.
  bool fourParts = true;
  ProductTitle = ProductLabel + L"  v" + CommonModule::FileVersionNo(CommonModule::AppPath() + kMainProgram, fourParts);
}

}  // namespace Product
