#include "alerts/modService.h"

#include "common/StandIn.h"

namespace modService {

void RemoveEventService(bool, bool) { NotAvailableYet(L"modService\\RemoveEventService"); }
void InstallEventService() { NotAvailableYet(L"modService\\InstallEventService"); }

}  // namespace modService
