#pragma once
// The one HTTP download call of the main program.
#include <string>

namespace modDownloadA {

// Downloads url to targetFile, with a progress window unless hidden. True when the target file
// exists afterwards; false at once when an existing target cannot be removed.
bool DownloadFile(const std::wstring& url, const std::wstring& targetFile, bool hidden);

}  // namespace modDownloadA
