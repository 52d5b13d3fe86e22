// The event service's description, which the install and the correction of a service give it.
#include "alerts/modService.h"

#include "common/CommonModule.h"

namespace modService {

std::wstring ServiceDescription() {
  return ILATCH_PRODUCT_NAME L" Event Monitoring Service v" +
         CommonModule::FileVersionNo(CommonModule::AppPath() + kServiceExeName);
}

}  // namespace modService
