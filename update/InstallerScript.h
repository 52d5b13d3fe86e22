#pragma once
// The installer script ("Setup.iss") that packs the product's files of the program folder, with its
// settings, into a custom installer, and the names the script uses.
#include <string>
#include <vector>

namespace InstallerScript {

inline constexpr wchar_t kScriptName[] = L"Setup.iss";

// The builder window's choices that the script depends on.
struct Options {
  std::wstring publisher;  // [Reg] RegName
  std::wstring website;    // the start-menu URL, as typed
  std::wstring eula, preInfo, postInfo;  // file names in the program folder
  bool advanced = false;         // shortcut to the main window instead of the test
  bool applySilent = false;      // the installer applies the protection without questions
  bool rebootSilent = false;     // ... and restarts
  bool updateOnInstall = false;  // the installer checks for updates before applying
};

// The website with "http://" in front when it holds no "http" (any case).
std::wstring FullUrl(const std::wstring& website);
// The website as a shortcut name: unchanged without "/", else without its schemes and cut before
// its last "/".
std::wstring SiteForm(const std::wstring& website);
// Product::kSilentSetupBaseName with the silent apply, else Product::kSetupBaseName.
std::wstring OutputBaseName(bool applySilent);

// Every line of the script for the program folder (with a trailing backslash) as it is now.
std::vector<std::wstring> Lines(const std::wstring& programFolder, const Options& options);

}  // namespace InstallerScript
