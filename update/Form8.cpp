#include "update/Form8.h"

#include <windows.h>

#include <vector>

#include "alerts/modService.h"
#include "common/CommonModule.h"
#include "common/Product.h"
#include "platform/PromptSeam.h"
#include "platform/Text.h"
#include "update/cFTP.h"
#include "update/modUpdate.h"
#include "update/modZip.h"

namespace {

constexpr wchar_t kServer[] = L"update.merrowind-it.com";
constexpr wchar_t kUser[] = L"IronlatchUser";
constexpr wchar_t kPassword[] = L"Kv7#rLq";

constexpr const wchar_t* kIndexZip = Product::kUpdateIndexZip;
constexpr const wchar_t* kIndexIni = Product::kUpdateIndexIni;
constexpr const wchar_t* kPackage = Product::kProgramPackage;
constexpr const wchar_t* kBrandedPackage = Product::kBrandedPackage;

void DeleteLocal(const std::wstring& path) { DeleteFileW(path.c_str()); }

// -1 when the file cannot be read.
LONG LocalFileLength(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return static_cast<LONG>(data.nFileSizeLow);
}

}  // namespace

Form8::Form8() = default;
Form8::~Form8() = default;

std::wstring Form8::UpdateServer() {
  if (platform::IsRehearsal()) {
    const std::wstring local = platform::GetEnv(L"ILATCH_UPDATE_SERVER");
    if (!local.empty()) return local;
  }
  return kServer;
}

bool Form8::StartUpdate(bool bBranded) {
  const std::wstring folder = CommonModule::AppPath();
  DeleteLocal(folder + kIndexZip);

  ftp_ = std::make_unique<cFTP>();
  ftp_->SetModePassive();
  ftp_->SetTransferBinary();
  if (!ftp_->OpenConnection(UpdateServer(), kUser, kPassword)) {
    CommonModule::DPrint(L"Form8\\StartUpdate: ", ftp_->GetLastErrorMessage());
    return false;
  }

  bool installed = false;
  if (DownloadAndVerify(folder + kIndexZip) && CheckUpdate()) {
    if (!bBranded) {
      if (DownloadAndVerify(folder + kPackage)) installed = InstallUpdate();
    } else if (DownloadAndVerify(folder + kBrandedPackage)) {
      DeleteLocal(folder + kPackage);
      MoveFileW((folder + kBrandedPackage).c_str(), (folder + kPackage).c_str());
      installed = InstallUpdate();
    }
  }
  ftp_->CloseConnection();
  return installed;
}

bool Form8::Verified(bool downloaded, const std::wstring& localPath, const std::wstring& remoteName,
                     const wchar_t* failedLine, const wchar_t* badSizeLine) {
  if (!downloaded) {
    CommonModule::DPrint(failedLine);
    return false;
  }
  const std::wstring remote = std::to_wstring(ftp_->GetFTPFileSize(remoteName));
  const std::wstring local = std::to_wstring(LocalFileLength(localPath));
  CommonModule::DPrint(L"Local size:  " + local + L"  /  Remote size:  " + remote);
  if (local == remote) return true;
  CommonModule::DPrint(badSizeLine);
  return false;
}

bool Form8::DownloadAndVerify(const std::wstring& localPath) {
  DeleteLocal(localPath);
  const std::wstring remoteName = CommonModule::StripPath(localPath);
  CommonModule::DPrint(L"d/l + verify:  " + remoteName + L"  to  " + localPath);

  std::wstring local = localPath, remote = remoteName;  // the chunked download trims its arguments
  if (Verified(ftp_->FTPDownloadFile(local, remote), localPath, remoteName, L"Failed download",
               L"Bad file size, corrupted download?"))
    return true;

  CommonModule::DPrint(L"2nd attempt triggered");
  CommonModule::Delay(1);
  return Verified(ftp_->SimpleFTPGetFile(localPath, remoteName), localPath, remoteName,
                  L"2nd attempt - failed download!", L"2nd attempt - bad file size!");
}

bool Form8::CheckUpdate() {
  const std::wstring folder = CommonModule::AppPath();
  std::wstring destination = folder;
  bool silent = false;
  bool newer = false;
  if (!modZip::UnzipFile(folder + kIndexZip, destination, silent)) {
    CommonModule::DPrint(std::wstring(L"CheckUpdate could not unzip ") + kIndexZip);
  } else {
    const std::wstring remote = CommonModule::ReadIni(folder + kIndexIni, L"Ironlatch", L"CurrentVersion");
    newer = CommonModule::IsNewerVersion(modUpdate::RunningVersion(), remote);
    CommonModule::DPrint(newer ? L"CheckUpdate returns True, updates available."
                               : L"CheckUpdate returns False, no updates available.");
  }
  DeleteLocal(folder + kIndexZip);
  DeleteLocal(folder + kIndexIni);
  return newer;
}

bool Form8::InstallUpdate() {
  const std::wstring package = CommonModule::AppPath() + kPackage;
  // The event service keeps running from its renamed file; the new program restarts it.
  const bool installed = modUpdate::SwapInProgramPackage(package, true);
  if (!installed) modService::InstallEventService();
  DeleteLocal(package);
  return installed;
}
