#pragma once
// The filter module: started by Windows for each launch of a hooked file class, it weighs the file
// against folders and hash lists, asks or blocks, starts it when allowed and reports.
#include <windows.h>

#include <string>

#include "common/Product.h"

namespace Module1 {

// Caption of every message box and the mail sender's name; the name-and-version text of mails.
using Product::ProductLabel;
using Product::ProductTitle;
extern HMODULE Shell32Handle;

// The four hash lists, set at start.
extern std::wstring ExecFilterMd5Path;
extern std::wstring ExecFilterSha256Path;
extern std::wstring UserExecFilterMd5Path;
extern std::wstring UserExecFilterSha256Path;

// How the launch reached us: the mode prefix of the launch command, the file and its arguments.
struct Launch {
  wchar_t mode = 0;  // L'/' EXE/COM, L'*' constant, 0 suspicious
  std::wstring filePath;
  std::wstring arguments;
  std::wstring extension;
};
// Parses the argument text (what follows the module's own path and its separating blanks).
Launch ParseLaunch(const std::wstring& commandLine);

void Main();
using Product::BuildProductTitle;
void InitCommonControlsVB();

void FilterExecutable(const std::wstring& filePath, const std::wstring& arguments, bool alertAllow);
void FilterRestrictedFile(const std::wstring& extension, const std::wstring& filePath, const std::wstring& arguments,
                          bool silentBlock, bool alertAllow, bool constantMode, bool noAllow);
void LaunchProgram(const std::wstring& extension, const std::wstring& filePath, const std::wstring& arguments);
bool IsElevated();

}  // namespace Module1
