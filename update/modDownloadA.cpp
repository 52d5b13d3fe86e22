#include "update/modDownloadA.h"

#include "common/CommonModule.h"
#include "common/StandIn.h"

namespace modDownloadA {

bool DownloadFile(const std::wstring&, const std::wstring& targetFile, bool) {
  NotAvailableYet(L"modDownloadA\\DownloadFile");
  return CommonModule::DoesFileExist(targetFile);
}

}  // namespace modDownloadA
