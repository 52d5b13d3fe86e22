#include "common/Product.h"

#include "common/CommonModule.h"
#include "platform/Text.h"

namespace Product {

std::wstring ProductLabel;
std::wstring ProductTitle;

std::wstring DataFolder() { return platform::GetEnv(L"programdata") + kFolder; }

void BuildProductTitle() {
  ProductLabel = kName;
  // Every program names the product by the main program's version, which lies beside it.
  bool fourParts = true;
  ProductTitle = ProductLabel + L"  v" + CommonModule::FileVersionNo(CommonModule::AppPath() + kMainProgram, fourParts);
}

}  // namespace Product
