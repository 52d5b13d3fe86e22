#include "update/modDownloadA.h"

#include <windows.h>
#include <wininet.h>

#include "common/CommonModule.h"
#include "platform/TestSwitches.h"
#include "platform/Text.h"
#include "update/frmDownloadAnp.h"

namespace modDownloadA {

namespace {

// Test runs keep every download on this machine: with the test switch ILATCH_WEB_ROOT set
// ("host:port[/folder]"), an address on any other host is fetched from there instead, under a
// folder named after its host.
std::wstring LocalTestAddress(const std::wstring& url) {
  const std::wstring root = platform::TestSwitch(platform::kSwitchWebRoot);
  if (root.empty()) return url;
  const size_t scheme = url.find(L"://");
  const std::wstring rest = scheme == std::wstring::npos ? url : url.substr(scheme + 3);
  const std::wstring host = rest.substr(0, rest.find_first_of(L":/"));
  const std::wstring lowerHost = platform::Lower(host);
  if (lowerHost == L"127.0.0.1" || lowerHost == L"localhost") return url;
  return L"http://" + root + L"/" + rest;
}

}  // namespace

bool DownloadFile(const std::wstring& requestedUrl, const std::wstring& targetFile, bool hidden, TransferBounds::Kind kind) {
  const std::wstring url = LocalTestAddress(requestedUrl);
  try {
    const std::wstring folder = CommonModule::StripNameFromPath(targetFile);
    if (!CommonModule::DoesDirExist(folder)) CommonModule::MakeFolder(folder);
    // A file that cannot be removed is not this download's: it must never count as one.
    if (CommonModule::DoesFileExist(targetFile) && !DeleteFileW(targetFile.c_str())) {
      CommonModule::DPrint(L"modDownloadA\\DownloadFile: ", L"- Cannot remove ", targetFile);
      return false;
    }
    frmDownloadAnp::Load();
    DeleteUrlCacheEntryW(url.c_str());  // no cached copy may be served
    if (!hidden) frmDownloadAnp::Show(L"File Download:  ");
    // A cancel confirmed before the transfer began means no transfer.
    const bool landed = !frmDownloadAnp::Cancelled() && frmDownloadAnp::StartDownload(url, targetFile, L"", kind);
    DeleteUrlCacheEntryW(url.c_str());  // what URLMON kept of it anyway, landed or not
    if (CommonModule::IsFormLoaded(L"frmDownloadAnp") || frmDownloadAnp::IsLoaded()) frmDownloadAnp::Unload();
    // A transfer given up may still be writing: only the one that arrived counts.
    return landed && CommonModule::DoesFileExist(targetFile);
  } catch (...) {
    CommonModule::DPrint(L"modDownloadA\\DownloadFile: ", L"- Error");
  }
  return false;
}

}  // namespace modDownloadA
