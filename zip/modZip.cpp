#include "zip/modZip.h"

#include <windows.h>

#include "common/CommonModule.h"
#include "common/frmStatusWin.h"
#include "zip/ZipExtractionClass.h"

namespace modZip {

namespace {

const std::wstring kLog7z = L"modUnzip\\UnzipWith7z:  ";

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// The folder for 7-Zip's -o switch: a backslash before the closing quote would escape the quote.
std::wstring OutputFolderArgument(const std::wstring& folder) {
  std::wstring path = folder;
  while (path.size() > 1 && path.back() == L'\\') path.pop_back();
  if (!path.empty() && path.back() == L':') path += L"\\.";
  return path;
}

// Runs 7-Zip and waits (bounded by ShellX's longest wait); true when it ended with exit code 0.
bool Run7z(const std::wstring& program, const std::wstring& parameters) {
  int32_t exitCode = -1;
  bool ran = CommonModule::ShellX(program, parameters, true, SW_HIDE, exitCode, false, false, CommonModule::kNoTimeLimit);
  if (ran && exitCode == 0) return true;
  CommonModule::DPrint(kLog7z + L"7zip ended with exit code " + std::to_wstring(exitCode));
  return false;
}

}  // namespace

bool UnzipWith7z(const std::wstring& sFileToUnzip, const std::wstring& sDirToExtractTo, std::wstring& warning) {
  try {
    CommonModule::DPrint(kLog7z + L"Initiated due to Internal Unzip Failure.\r\n\tsFileToUnzip - " + sFileToUnzip +
                         L"\r\n\tsDirToExtractTo - " + sDirToExtractTo);
    const std::wstring tools = CommonModule::AppPath() + L"3rd Party Tools\\Ketarin\\";
    std::wstring program;
    if (CommonModule::DoesFileExist(tools + L"7za.exe")) program = tools + L"7za.exe";
    if (CommonModule::DoesFileExist(tools + L"7z.exe")) program = tools + L"7z.exe";
    if (program.empty()) {
      CommonModule::DPrint(kLog7z + L"7zip executable not found!  Aborting function!");
      return false;
    }
    CommonModule::DPrint(kLog7z + L"7zip executable found:  " + program);
    if (!CommonModule::DoesFileExist(sFileToUnzip)) {
      CommonModule::DPrint(kLog7z + L"sFileToUnzip not found!  Aborting function!");
      return false;
    }

    const std::wstring test = L"t " + Quoted(sFileToUnzip);
    CommonModule::DPrint(kLog7z + L"Testing Zip File Integrity with Command:  \r\n\t" + program + L" " + test);
    // A damaged archive is not extracted: 7-Zip would write the broken files over the good ones.
    if (!Run7z(program, test)) {
      CommonModule::DPrint(kLog7z + L"Zip File Integrity Check FAILED!  Aborting function!");
      warning = L"ZIP file may be corrupted!";
      return false;
    }
    CommonModule::DPrint(kLog7z + L"Zip File Integrity Check PASSED!  Proceeding with extract attempt...");

    const std::wstring extract =
        L"x " + Quoted(sFileToUnzip) + L" -o" + Quoted(OutputFolderArgument(sDirToExtractTo)) + L" -y";
    CommonModule::DPrint(kLog7z + L"Extracting Zip File with Command:  \r\n\t" + program + L" " + extract);
    return Run7z(program, extract);
  } catch (...) {
    return false;
  }
}

bool UnzipFile(const std::wstring& zipFile, std::wstring& destination, bool& silent) {
  bool result = false;
  try {
    if (!silent) frmStatusWin::Show(L"Extracting " + CommonModule::StripPath(zipFile));
    if (!CommonModule::DoesDirExist(destination)) CommonModule::MakeFolder(destination);
    bool refused = false;
    {
      ZipExtractionClass zip;
      zip.ZipError = [&refused](int32_t number, const std::wstring& description) {
        CommonModule::DPrint(L"modZip\\UnzipFile:  Error " + std::to_wstring(number) + L": " + description);
        if (number == ZipExtractionClass::kErrUnsafeName) refused = true;
      };
      if (zip.OpenZip(zipFile)) {
        result = zip.Extract(destination, true, true);
        zip.CloseZip();
      }
    }
    // 7-Zip would quietly rewrite the names the reader refused: a hostile archive stays refused.
    if (!result && !refused) {
      std::wstring warning;
      result = UnzipWith7z(zipFile, destination, warning);
    }
  } catch (...) {
    result = false;
  }
  if (CommonModule::IsFormLoaded(L"frmStatusWin")) frmStatusWin::Unload();
  return result;
}

}  // namespace modZip
