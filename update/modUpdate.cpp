#include "update/modUpdate.h"

#include "common/StandIn.h"

namespace modUpdate {

void CheckForAppUpdate() { NotAvailableYet(L"modUpdate\\CheckForAppUpdate"); }
void CheckForDefsUpdate(bool, bool) { NotAvailableYet(L"modUpdate\\CheckForDefsUpdate"); }
void AutoUpdateApp() { NotAvailableYet(L"modUpdate\\AutoUpdateApp"); }
void ApplyUpdatePostInstall() { NotAvailableYet(L"modUpdate\\ApplyUpdatePostInstall"); }
void CheckUpdateThenApplyProtection(bool, bool) { NotAvailableYet(L"modUpdate\\CheckUpdateThenApplyProtection"); }
void SilentUpdateCheck() { NotAvailableYet(L"modUpdate\\SilentUpdateCheck"); }

}  // namespace modUpdate
