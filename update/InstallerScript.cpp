#include "update/InstallerScript.h"

#include <cwchar>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "platform/Text.h"

namespace InstallerScript {
namespace {

constexpr const wchar_t* kAltName = Product::kProtectionName;
const std::wstring kMainExe = std::wstring(L"{app}\\") + Product::kMainProgram;

std::wstring Quoted(const std::wstring& text) {
  // The script language writes a quote inside a quoted value twice.
  return L"\"" + platform::ReplaceAll(text, L"\"", L"\"\"") + L"\"";
}

// A text of the user's in the script: "{" opens a constant there, so a brace meant as one is doubled.
std::wstring Literal(const std::wstring& text) { return platform::ReplaceAll(text, L"{", L"{{"); }

// Files of the program folder that are no part of the product: outputs of this build, the
// installer compiler's installer, what updates, backups and logs leave behind, and files that hold
// this machine's own state.
bool IsPackedFile(const std::wstring& lowerName) {
  for (const wchar_t* name : {L"setup.iss", Product::kSetupProgram, Product::kSilentSetupProgram, L"innosetup.exe",
                              L"hashes.reg", L"ileventsvc.reg", L"bulk.ini"}) {
    if (lowerName == platform::Lower(name)) return false;
  }
  for (const wchar_t* ending : {L"_backup.reg", Product::kBackupEnding, L".log", L".zip"}) {
    if (platform::EndsWith(lowerName, ending)) return false;
  }
  return true;
}

bool ShippedText(const std::wstring& programFolder, const std::wstring& name) {
  return !name.empty() && CommonModule::DoesFileExist(programFolder + name);
}

std::wstring FileFlags(const std::wstring& lowerName) {
  if (lowerName == platform::Lower(Product::kServiceProgram)) return L"; Flags: restartreplace";
  if (lowerName == platform::Lower(Product::kEventMessageDll)) return L"; Flags: onlyifdoesntexist";
  return L"; Flags: ignoreversion";
}

}  // namespace

std::wstring FullUrl(const std::wstring& website) {
  if (platform::Contains(platform::Lower(website), L"http")) return website;
  return L"http://" + website;
}

std::wstring SiteForm(const std::wstring& website) {
  if (!platform::Contains(website, L"/")) return website;
  // A scheme typed in capitals goes too: "HTTP:/" would be no name for a shortcut.
  std::wstring site = website;
  for (const wchar_t* scheme : {L"http://", L"https://"}) {
    for (size_t at; (at = platform::Lower(site).find(scheme)) != std::wstring::npos;) site.erase(at, wcslen(scheme));
  }
  return CommonModule::StripEndOfString(site, L"/", false, false, false);
}

std::wstring OutputBaseName(bool applySilent) {
  return applySilent ? Product::kSilentSetupBaseName : Product::kSetupBaseName;
}

std::vector<std::wstring> Lines(const std::wstring& programFolder, const Options& options) {
  const std::wstring site = SiteForm(options.website);
  bool fourParts = true;
  std::vector<std::wstring> lines = {
      L"[Setup]",
      L"AppId={{7D80BE23-2834-4457-95A9-F896C24C1FDB}",
      std::wstring(L"AppName=") + kAltName,
      std::wstring(L"AppVerName=") + kAltName,
      L"AppPublisher=" + Literal(options.publisher),
      L"AppPublisherURL=" + Literal(site),
      L"AppSupportURL=" + Literal(site),
      L"AppUpdatesURL=" + Literal(site),
      std::wstring(L"DefaultDirName={pf}") + Product::kInstallerFolder,
      L"DisableDirPage=yes",
      L"DefaultGroupName=" + Literal(options.publisher) + L"\\" + kAltName,
      L"DisableProgramGroupPage=yes",
      L"OutputDir=.",
      L"OutputBaseFilename=" + OutputBaseName(options.applySilent),
      L"Compression=lzma",
      L"SolidCompression=yes",
      L"UninstallRestartComputer=yes",
      L"VersionInfoVersion=" + CommonModule::FileVersionNo(programFolder + Product::kMainProgram, fourParts),
      L"PrivilegesRequired=admin",
      L"MinVersion=0,5.0",
  };
  if (ShippedText(programFolder, options.eula)) lines.push_back(L"LicenseFile=" + Literal(options.eula));
  if (ShippedText(programFolder, options.preInfo)) lines.push_back(L"InfoBeforeFile=" + Literal(options.preInfo));
  if (ShippedText(programFolder, options.postInfo)) lines.push_back(L"InfoAfterFile=" + Literal(options.postInfo));

  lines.insert(lines.end(), {L"", L"[Languages]", L"Name: \"english\"; MessagesFile: \"compiler:Default.isl\""});

  lines.insert(lines.end(), {L"", L"[Files]"});
  std::vector<std::wstring> files;
  CommonModule::FindFiles(programFolder, L"*.*", files, false);
  for (const auto& path : files) {
    const std::wstring name = platform::Lower(CommonModule::StripPath(path));
    if (!IsPackedFile(name)) continue;
    lines.push_back(L"Source: " + Quoted(Literal(path)) + L"; DestDir: \"{app}\"" + FileFlags(name));
  }

  lines.insert(lines.end(), {L"", L"[Icons]"});
  const std::wstring icon = CommonModule::DoesFileExist(programFolder + L"applogo.ico")
                                ? L"; IconFilename: \"{app}\\applogo.ico\""
                                : L"";
  auto shortcut = [&](const std::wstring& name, const std::wstring& parameters) {
    lines.push_back(L"Name: " + Quoted(L"{group}\\" + name) + L"; Filename: " + Quoted(kMainExe) +
                    L"; Parameters: " + Quoted(parameters) + icon);
  };
  if (!site.empty())
    lines.push_back(L"Name: " + Quoted(L"{group}\\..\\" + Literal(site)) + L"; Filename: " +
                    Quoted(Literal(FullUrl(options.website))));
  shortcut(std::wstring(L"Apply ") + kAltName, L"/applyini");
  shortcut(std::wstring(L"Undo ") + kAltName, L"/undo");
  if (options.advanced) shortcut(L"Advanced Options", L"/showmain");
  else shortcut(std::wstring(L"Test ") + kAltName, L"/test");
  lines.push_back(L"Name: " + Quoted(std::wstring(L"{group}\\{cm:UninstallProgram,") + kAltName + L"}") +
                  L"; Filename: \"{uninstallexe}\"");

  const std::wstring silent = options.applySilent ? L" /silent" : L"";
  const std::wstring reboot = options.rebootSilent ? L" /reboot" : L"";
  lines.insert(lines.end(), {L"", L"[Run]"});
  lines.push_back(L"Filename: " + Quoted(kMainExe) + L"; Parameters: \"/installer\"; Flags: runascurrentuser");
  if (options.updateOnInstall)
    lines.push_back(L"Filename: " + Quoted(kMainExe) + L"; Parameters: " + Quoted(L"/updateandapply" + silent + reboot) +
                    L"; Description: " + Quoted(std::wstring(L"Check for Updates and Apply ") + kAltName) +
                    L"; Flags: postinstall runascurrentuser");
  else
    lines.push_back(L"Filename: " + Quoted(kMainExe) + L"; Parameters: " + Quoted(L"/applyini" + silent + reboot) +
                    L"; Description: " + Quoted(std::wstring(L"Apply ") + kAltName) +
                    L"; Flags: postinstall runascurrentuser");

  lines.insert(lines.end(), {L"", L"[UninstallRun]"});
  lines.push_back(L"Filename: " + Quoted(kMainExe) + L"; Parameters: \"/uninstallerb\"; Flags: runascurrentuser");
  lines.insert(lines.end(), {L"", L"[UninstallDelete]", L"Type: filesandordirs; Name: \"{app}\""});
  return lines;
}

}  // namespace InstallerScript
