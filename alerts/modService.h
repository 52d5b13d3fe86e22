#pragma once
// Installing, starting, stopping and removing the event monitoring service.
#include <string>

namespace modService {

// The service's identity, filled by InitServiceVars at the start of each road.
extern std::wstring ServiceName;
extern std::wstring ServiceDisplayName;
extern std::wstring ServiceDescription;
extern std::wstring ServiceExeName;

void InitServiceVars();

// Creates the service when missing (or corrects the settings of the one there), sets its recovery
// to "restart" and starts it; only while e-mail alerts are on and complete. True when the service
// was started or already ran.
bool InstallEventService();

// Sets the recovery to "none", writes the stop notice, stops the service and, when asked, deletes it
// with its Safe-Mode key.
void RemoveEventService(bool deleteService, bool quiet);

}  // namespace modService
