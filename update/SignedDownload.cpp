#include "update/SignedDownload.h"

#include "common/CommonModule.h"
#include "update/UpdateSignature.h"
#include "update/modDownloadA.h"

namespace SignedDownload {

bool FetchWith(const Transfer& transfer, const std::wstring& remote, const std::wstring& local,
               TransferBounds::Kind kind) {
  if (!transfer(remote, local, kind)) return false;
  const std::wstring signature = UpdateSignature::SignatureName(local);
  const bool signedByMaker =
      transfer(UpdateSignature::SignatureName(remote), signature, TransferBounds::Kind::Signature) &&
      UpdateSignature::VerifyFile(local, signature);
  CommonModule::DeleteFileQuietly(signature);
  if (signedByMaker) return true;
  CommonModule::DPrint(L"SignedDownload\\Fetch: ", remote, L"- refused: no valid signature");
  CommonModule::DeleteFileQuietly(local);
  return false;
}

bool Fetch(const std::wstring& url, const std::wstring& target, bool hidden, TransferBounds::Kind kind) {
  const Transfer http = [hidden](const std::wstring& remote, const std::wstring& local, TransferBounds::Kind of) {
    return modDownloadA::DownloadFile(remote, local, hidden || of == TransferBounds::Kind::Signature, of);
  };
  return FetchWith(http, url, target, kind);
}

bool Fetch(const std::wstring& url, const std::wstring& target, bool hidden) {
  return Fetch(url, target, hidden, TransferBounds::Kind::Package);
}

}  // namespace SignedDownload
