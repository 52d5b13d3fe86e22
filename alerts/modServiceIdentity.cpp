// The event service's names and description, which the install, start, stop and removal roads all
// read; filled at the start of each road.
#include "alerts/modService.h"

#include "common/CommonModule.h"
#include "common/Product.h"

namespace modService {

std::wstring ServiceName;
std::wstring ServiceDisplayName;
std::wstring ServiceDescription;
std::wstring ServiceExeName;

void InitServiceVars() {
  ServiceName = Product::kServiceName;
  ServiceDisplayName = ILATCH_PRODUCT_NAME L" Event Service";
  ServiceExeName = Product::kServiceProgram;
  ServiceDescription =
      ILATCH_PRODUCT_NAME L" Event Monitoring Service v" + CommonModule::FileVersionNo(CommonModule::AppPath() + ServiceExeName);
}

}  // namespace modService
