#pragma once
// Installing, starting, stopping and removing the event monitoring service.

namespace modService {

void RemoveEventService(bool deleteService, bool unused);
void InstallEventService();

}  // namespace modService
