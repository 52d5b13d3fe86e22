#pragma once
// The one HTTP download call of the main program.
#include <string>

#include "update/TransferBounds.h"

namespace modDownloadA {

// Downloads url to targetFile, with a progress window unless hidden. True when the target file
// exists afterwards; false at once when an existing target cannot be removed. The download keeps
// the bounds of its kind (see TransferBounds.h).
bool DownloadFile(const std::wstring& url, const std::wstring& targetFile, bool hidden,
                  TransferBounds::Kind kind = TransferBounds::Kind::Package);

}  // namespace modDownloadA
