#pragma once
// A download that counts only when the maker signed it (see UpdateSignature.h): the roads that run
// or unpack what they fetch take nothing else from the network, over HTTP or FTP alike.
#include <functional>
#include <string>

#include "update/TransferBounds.h"

namespace SignedDownload {

// How a road brings one file from its remote name to a local file within the bounds of kind; true
// when it arrived whole.
using Transfer = std::function<bool(const std::wstring& remote, const std::wstring& local, TransferBounds::Kind kind)>;

// The rule of every road: remote to local, then its signature (remote & ".sig") beside it. True
// only when the maker signed the file; an unsigned or altered file is deleted at once. The
// signature file is removed either way.
bool FetchWith(const Transfer& transfer, const std::wstring& remote, const std::wstring& local,
               TransferBounds::Kind kind);

// The rule over HTTP: url to target, shown with the progress window unless hidden (the signature
// always hidden). The file keeps the size cap of its kind, the signature that of a signature.
bool Fetch(const std::wstring& url, const std::wstring& target, bool hidden, TransferBounds::Kind kind);
// The same for a package.
bool Fetch(const std::wstring& url, const std::wstring& target, bool hidden);

}  // namespace SignedDownload
