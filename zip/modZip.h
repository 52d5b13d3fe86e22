#pragma once
// The one unzip call of the main program: the program's own reader first, 7-Zip as the fallback.
#include <string>

namespace modZip {

// Extracts every entry into the destination (created when missing), keeping the entries' paths
// and replacing existing files. Unless silent, the status window shows "Extracting <zip name>"
// meanwhile. True when the whole archive was extracted.
bool UnzipFile(const std::wstring& zipFile, std::wstring& destination, bool& silent);

// Runs the 7-Zip program under "3rd Party Tools\Ketarin" in the program folder: an integrity
// test, then the extraction. True only when both ran and ended with exit code 0; warning gets
// "ZIP file may be corrupted!" when the test failed.
bool UnzipWith7z(const std::wstring& sFileToUnzip, const std::wstring& sDirToExtractTo, std::wstring& warning);

}  // namespace modZip
