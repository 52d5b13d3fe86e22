#include "eventsvc/Module1.h"

#include "common/CommonModule.h"

namespace Module1 {

std::wstring ProductLabel;
std::wstring ProductTitle;

void BuildProductTitle() {
  ProductLabel = L"Ironlatch";
  // The mail names the product by the main program's version, which lies beside the service.
  bool fourParts = true;
  ProductTitle = ProductLabel + L"  v" + CommonModule::FileVersionNo(CommonModule::AppPath() + L"Ironlatch.exe", fourParts);
}

}  // namespace Module1
