// What goes out through the shell: a web page to the browser, a file or folder shown in Explorer,
// and copies made by the shell's file operation.
#include "common/CommonModule.h"

#include <shellapi.h>

#include "common/CommonModuleInternal.h"
#include "common/modOpSys.h"
#include "platform/PromptSeam.h"
#include "platform/SystemFolder.h"
#include "platform/Text.h"

namespace CommonModule {

using detail::kCrLf;

void OpenWebPage(const std::wstring& webPage) {
  // A rehearsed run opens no browser: it records the page.
  if (platform::IsRehearsal()) {
    platform::RecordPrompt(L"web", {webPage});
    return;
  }
  ShellExecuteW(nullptr, nullptr, webPage.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void OpenFilePath(const std::wstring& fileAndPath, bool quiet) {
  std::wstring text = platform::Lower(Strip(fileAndPath, L"\""));
  // The Windows folder as Windows names it; the others are the caller's own places.
  const std::pair<const wchar_t*, std::wstring> prefixes[] = {
      {L"%homedrive%\\", platform::GetEnv(L"homedrive")},
      {L"%windir%\\", platform::WindowsFolder()},
      {L"%systemroot%\\", platform::WindowsFolder()},
      {L"%programfiles%\\", platform::GetEnv(L"programfiles")},
      {L"%commonprogramfiles%\\", platform::GetEnv(L"commonprogramfiles")},
  };
  for (const auto& [prefix, folder] : prefixes) {
    if (!platform::StartsWith(text, prefix)) continue;
    text = platform::ReplaceAll(text, prefix, folder + L"\\");
  }

  if (DoesFileExist(text) || DoesDirExist(text)) {
    // A rehearsed run opens no Explorer window (it would outlive the run): it records the item.
    if (platform::IsRehearsal()) {
      platform::RecordPrompt(L"explorer", {text});
      return;
    }
    int32_t exitCode = 0;
    const RedirectionOff off;
    ShellX(L"explorer.exe", L"/select," + QuoteArgument(text), false, SW_SHOWNORMAL, exitCode, false, false,
           kNoTimeLimit);
    return;
  }

  DPrint(L"OpenFilePath - File does not exist (not using FSO to test):");
  DPrint(L"\t" + text);
  if (quiet) return;
  std::wstring folder = StripEndOfString(text, L"\\", false, false, false);
  const std::wstring caption = AppTitle();
  if (DoesDirExist(folder)) {
    int answer = platform::ShowMessageBox(
        nullptr,
        text + kCrLf + kCrLf +
            L"File does not exist in the specified location, but the path exists.  Click OK to open the file path.",
        caption, MB_OKCANCEL | MB_ICONQUESTION);
    if (answer == IDOK) OpenFilePath(folder, false);
  } else {
    platform::ShowMessageBox(nullptr, text + kCrLf + kCrLf + L"File does not exist in the specified location.",
                             caption, MB_OK);
  }
}

bool CopyFiles(const std::wstring& source, const std::wstring& destination, bool overwrite, bool,
               bool renameOnCollision) {
  FILEOP_FLAGS flags = FOF_NOCONFIRMMKDIR | FOF_NOERRORUI | FOF_NOCOPYSECURITYATTRIBS;
  if (renameOnCollision) flags |= FOF_RENAMEONCOLLISION;
  else if (overwrite) flags |= FOF_NOCONFIRMATION;
  // The shell takes lists ended by two NULs.
  std::wstring from = source + L'\0';
  std::wstring to = destination + L'\0';
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_COPY;
  operation.pFrom = from.c_str();
  operation.pTo = to.c_str();
  operation.fFlags = flags | FOF_SILENT;
  int result = 0;
  {
    const RedirectionOff off;
    result = SHFileOperationW(&operation);
  }
  if (result != 0 && modOpSys::IsVista() && !modOpSys::IsWin7()) result = SHFileOperationW(&operation);
  return result == 0;
}

}  // namespace CommonModule
