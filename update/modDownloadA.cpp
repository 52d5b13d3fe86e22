#include "update/modDownloadA.h"

#include <windows.h>
#include <wininet.h>

#include "common/CommonModule.h"
#include "update/frmDownloadAnp.h"

namespace modDownloadA {

bool DownloadFile(const std::wstring& url, const std::wstring& targetFile, bool hidden) {
  try {
    frmDownloadAnp::Load();
    const std::wstring folder = CommonModule::StripNameFromPath(targetFile);
    if (!CommonModule::DoesDirExist(folder)) CommonModule::MakeFolder(folder);
    if (CommonModule::DoesFileExist(targetFile)) DeleteFileW(targetFile.c_str());
    DeleteUrlCacheEntryW(url.c_str());  // no cached copy may be served
    if (!hidden) frmDownloadAnp::Show(L"File Download:  ");
    // A cancel confirmed before the transfer began means no transfer.
    if (!frmDownloadAnp::Cancelled()) frmDownloadAnp::StartDownload(url, targetFile);
    if (CommonModule::IsFormLoaded(L"frmDownloadAnp") || frmDownloadAnp::IsLoaded()) frmDownloadAnp::Unload();
  } catch (...) {
    CommonModule::DPrint(L"modDownloadA\\DownloadFile: ", L"- Error");
  }
  return CommonModule::DoesFileExist(targetFile);
}

}  // namespace modDownloadA
