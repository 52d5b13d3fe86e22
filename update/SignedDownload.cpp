#include "update/SignedDownload.h"

#include "common/CommonModule.h"
#include "update/UpdateSignature.h"
#include "update/modDownloadA.h"

namespace SignedDownload {

bool Fetch(const std::wstring& url, const std::wstring& target, bool hidden, TransferBounds::Kind kind) {
  if (!modDownloadA::DownloadFile(url, target, hidden, kind)) return false;
  const std::wstring signature = UpdateSignature::SignatureName(target);
  const bool signedByMaker = modDownloadA::DownloadFile(UpdateSignature::SignatureName(url), signature, true,
                                                        TransferBounds::Kind::Signature) &&
                             UpdateSignature::VerifyFile(target, signature);
  CommonModule::DeleteFileQuietly(signature);
  if (signedByMaker) return true;
  CommonModule::DPrint(L"SignedDownload\\Fetch: ", url, L"- refused: no valid signature");
  CommonModule::DeleteFileQuietly(target);
  return false;
}

bool Fetch(const std::wstring& url, const std::wstring& target, bool hidden) {
  return Fetch(url, target, hidden, TransferBounds::Kind::Package);
}

}  // namespace SignedDownload
