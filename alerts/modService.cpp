#include "alerts/modService.h"

#include <windows.h>

#include "notify/modEmailSvc.h"
#include "alerts/modServiceControl.h"
#include "notify/modWriteEvent.h"
#include "common/modRegistry.h"
#include "common/ResourceFile.h"
#include "platform/PrivateFolder.h"

namespace modService {

namespace {

const wchar_t kSafeBootParent[] = L"SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Network";

// Writes a registry text carried as a resource, imports it and removes it. The file lies in a
// folder only administrators can touch, so no user can swap it before reg.exe reads it.
void ImportRecoveryResource(const wchar_t* resource) {
  platform::PrivateFolder folder;
  if (!folder.Ok()) return;
  const std::wstring file = folder.Path() + L"\\ILEventSvc.reg";
  ResourceFile::ExtractResourceToFile(resource, file, true);
  bool wait = true;
  modRegistry::ImportRegFile(file, wait);
}

}  // namespace

bool InstallEventService() {
  if (!modEmailSvc::LoadEmailConfig()) return false;
  if (modServiceControl::ServiceQueryConfig() != 0) {
    if (modServiceControl::ServiceCreate(L"") != 0) return false;
    modRegistry::fWriteValue(L"HKLM", std::wstring(kSafeBootParent) + L"\\" + kServiceName, L"", L"S",
                             Variant(L"Service"));
  } else {
    // A service left by an older copy or another folder runs this copy's program.
    modServiceControl::ServiceCorrectConfig(L"");
  }
  ImportRecoveryResource(L"svcreg");
  modServiceControl::ServiceSetRecovery(true);
  return modServiceControl::ServiceStart() == 0;
}

void RemoveEventService(bool deleteService, bool quiet) {
  if (modServiceControl::ServiceQueryConfig() != 0) return;
  ImportRecoveryResource(L"stopsvc");
  modServiceControl::ServiceSetRecovery(false);
  modWriteEvent::WriteEvent(modWriteEvent::kStopNotice, 0);
  modServiceControl::ServiceStop(true, quiet);
  if (deleteService && modServiceControl::ServiceDelete() == 0) {
    bool notFound = false;
    modRegistry::fDeleteKey(L"HKLM", kSafeBootParent, kServiceName, notFound);
  }
}

}  // namespace modService
