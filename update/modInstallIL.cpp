#include "update/modInstallIL.h"

#include "common/StandIn.h"

namespace modInstallIL {

void InstallPrompt() { NotAvailableYet(L"modInstallIL\\InstallPrompt"); }
void UninstallPrompt() { NotAvailableYet(L"modInstallIL\\UninstallPrompt"); }

}  // namespace modInstallIL
