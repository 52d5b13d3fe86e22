#include "alerts/modService.h"

#include <windows.h>

#include "alerts/modEmailSvc.h"
#include "alerts/modServiceControl.h"
#include "alerts/modWriteEvent.h"
#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "common/ResourceFile.h"

namespace modService {

std::wstring ServiceName;
std::wstring ServiceDisplayName;
std::wstring ServiceDescription;
std::wstring ServiceExeName;

namespace {

// Writes a registry text carried as a resource beside the program, imports it and removes it.
void ImportRecoveryResource(const wchar_t* resource) {
  const std::wstring file = CommonModule::AppPath() + L"ILEventSvc.reg";
  DeleteFileW(file.c_str());
  ResourceFile::ExtractResourceToFile(resource, file, true);
  bool wait = true;
  modRegistry::ImportRegFile(file, wait);
  DeleteFileW(file.c_str());
}

}  // namespace

void InitServiceVars() {
  ServiceName = L"IronlatchEventSvc";
  ServiceDisplayName = L"Ironlatch Event Service";
  ServiceExeName = L"IronlatchEventSvc.exe";
  ServiceDescription =
      L"Ironlatch Event Monitoring Service v" + CommonModule::FileVersionNo(CommonModule::AppPath() + ServiceExeName);
}

void InstallEventService() {
  if (!modEmailSvc::LoadEmailConfig()) return;
  InitServiceVars();
  if (modServiceControl::ServiceQueryConfig() != 0) {
    modServiceControl::ServiceCreate(L"");
    modRegistry::fWriteValue(L"HKLM", L"SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Network\\" + ServiceName, L"",
                             L"S", Variant(L"Service"));
  }
  ImportRecoveryResource(L"svcreg");
  modServiceControl::ServiceStart();
}

void RemoveEventService(bool deleteService, bool quiet) {
  InitServiceVars();
  if (modServiceControl::ServiceQueryConfig() != 0) return;
  ImportRecoveryResource(L"stopsvc");
  modWriteEvent::WriteEvent(L"Ironlatch - stopping event service...", 0);
  modServiceControl::ServiceStop(true, quiet);
  if (deleteService) modServiceControl::ServiceDelete();
}

}  // namespace modService
