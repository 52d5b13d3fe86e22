#include "update/Form8.h"

#include <windows.h>

#include <vector>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "platform/PromptSeam.h"
#include "platform/TestSwitches.h"
#include "platform/Text.h"
#include "platform/PrivateFolder.h"
#include "update/ProgramSwap.h"
#include "update/SignedDownload.h"
#include "update/cFTP.h"
#include "zip/modZip.h"

namespace {

constexpr const wchar_t* kServer = Product::kFtpUpdateServer;
constexpr const wchar_t* kUser = Product::kFtpUpdateUser;
constexpr wchar_t kPassword[] = L"Kv7#rLq";

constexpr const wchar_t* kIndexZip = Product::kUpdateIndexZip;
constexpr const wchar_t* kIndexIni = Product::kUpdateIndexIni;
constexpr const wchar_t* kPackage = Product::kProgramPackage;
constexpr const wchar_t* kBrandedPackage = Product::kBrandedPackage;

// True when the file is gone afterwards.
bool DeleteLocal(const std::wstring& path) {
  return DeleteFileW(path.c_str()) || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

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
  const std::wstring local = platform::TestSwitch(platform::kSwitchUpdateServer);
  return local.empty() ? kServer : local;
}

bool Form8::StartUpdate(bool bBranded) {
  // Every download lands in a fresh folder that only administrators can touch.
  platform::PrivateFolder work;
  if (!work.Ok()) {
    CommonModule::DPrint(L"Form8\\StartUpdate: ", L"- No private folder for the downloads");
    return false;
  }
  folder_ = work.Path() + L"\\";
  DeleteLocal(CommonModule::AppPath() + kIndexZip);  // where earlier versions kept it
  DeleteLocal(CommonModule::AppPath() + kIndexIni);

  ftp_ = std::make_unique<cFTP>();
  ftp_->SetModePassive();
  ftp_->SetTransferBinary();
  if (!ftp_->OpenConnection(UpdateServer(), kUser, kPassword)) {
    CommonModule::DPrint(L"Form8\\StartUpdate: ", ftp_->GetLastErrorMessage());
    return false;
  }

  bool installed = false;
  using TransferBounds::Kind;
  if (DownloadSigned(folder_ + kIndexZip, Kind::Index) && CheckUpdate()) {
    if (!bBranded) {
      if (DownloadSigned(folder_ + kPackage, Kind::Package)) installed = InstallUpdate();
    } else if (DownloadSigned(folder_ + kBrandedPackage, Kind::Package)) {
      DeleteLocal(folder_ + kPackage);
      MoveFileW((folder_ + kBrandedPackage).c_str(), (folder_ + kPackage).c_str());
      installed = InstallUpdate();
    }
  }
  ftp_->CloseConnection();
  return installed;
}

bool Form8::DownloadSigned(const std::wstring& localPath, TransferBounds::Kind kind) {
  // The remote name is the local file's own name (DownloadAndVerify).
  const SignedDownload::Transfer ftp = [this](const std::wstring&, const std::wstring& local, TransferBounds::Kind of) {
    return DownloadAndVerify(local, of);
  };
  return SignedDownload::FetchWith(ftp, CommonModule::StripPath(localPath), localPath, kind);
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

bool Form8::DownloadAndVerify(const std::wstring& localPath, TransferBounds::Kind kind) {
  // A file that cannot be removed is no download of this run.
  if (!DeleteLocal(localPath)) {
    CommonModule::DPrint(L"Form8\\DownloadAndVerify: ", L"- Cannot remove ", localPath);
    return false;
  }
  const std::wstring remoteName = CommonModule::StripPath(localPath);
  CommonModule::DPrint(L"d/l + verify:  " + remoteName + L"  to  " + localPath);

  // The second attempt takes the same reader and what is left of the same deadline.
  TransferBounds::Guard guard(kind);
  std::wstring local = localPath, remote = remoteName;  // the chunked download trims its arguments
  if (Verified(ftp_->FTPDownloadFile(local, remote, guard), localPath, remoteName, L"Failed download",
               L"Bad file size, corrupted download?"))
    return true;

  CommonModule::DPrint(L"2nd attempt triggered");
  CommonModule::Delay(1);
  local = localPath;
  remote = remoteName;
  return Verified(ftp_->FTPDownloadFile(local, remote, guard), localPath, remoteName,
                  L"2nd attempt - failed download!", L"2nd attempt - bad file size!");
}

bool Form8::CheckUpdate() {
  // Only the INI of the index is read: the rest of the archive stays in the private folder.
  std::wstring destination = folder_ + L"index";
  bool silent = false;
  bool newer = false;
  if (!modZip::UnzipFile(folder_ + kIndexZip, destination, silent)) {
    CommonModule::DPrint(std::wstring(L"CheckUpdate could not unzip ") + kIndexZip);
  } else {
    const std::wstring remote =
        CommonModule::ReadIni(destination + L"\\" + kIndexIni, Product::kUpdateIndexSection, L"CurrentVersion");
    announced_ = remote;
    newer = ProgramSwap::IsVersionText(remote) &&
            CommonModule::IsNewerVersion(ProgramSwap::RunningVersion(), remote);
    CommonModule::DPrint(newer ? L"CheckUpdate returns True, updates available."
                               : L"CheckUpdate returns False, no updates available.");
  }
  DeleteLocal(folder_ + kIndexZip);
  return newer;
}

bool Form8::InstallUpdate() {
  const std::wstring package = folder_ + kPackage;
  // A package of another version than the index announced ends the run as a failed download does.
  if (ProgramSwap::CheckPackageVersion(package, announced_, ProgramSwap::VersionRule::Newer) !=
      ProgramSwap::PackageCheck::Accepted)
    return false;
  // The new program starts the service again; a failed swap, or one that waits for the restart,
  // starts the old one.
  const bool installed = ProgramSwap::SwapWithServiceStopped(package, true, ProgramSwap::ServiceRestart::OnFailure)
                             .outcome == ProgramSwap::SwapOutcome::Swapped;
  DeleteLocal(package);
  return installed;
}
