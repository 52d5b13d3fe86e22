#pragma once
// A download over HTTP that counts only when the maker signed it (see UpdateSignature.h): the roads
// that run or unpack what they fetch take nothing else from the network.
#include <string>

#include "update/TransferBounds.h"

namespace SignedDownload {

// Downloads url to target and its signature (url & ".sig") beside it, shown with the progress
// window unless hidden. True only when the maker signed the file; an unsigned or altered file is
// deleted at once. The signature file is removed either way. The file keeps the size cap of its
// kind, the signature that of a signature.
bool Fetch(const std::wstring& url, const std::wstring& target, bool hidden, TransferBounds::Kind kind);
// The same for a package.
bool Fetch(const std::wstring& url, const std::wstring& target, bool hidden);

}  // namespace SignedDownload
