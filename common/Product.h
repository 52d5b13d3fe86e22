#pragma once
// The product's identity: its registry keys, folders, program and update file names, the maker's
// servers, and the caption and name-and-version text. Every program spells these only through here.
#include <string>

#include "platform/ProductName.h"

namespace Product {

#define PRODUCT_MAKER_ ILATCH_MAKER_NAME
#define PRODUCT_NAME_ ILATCH_PRODUCT_NAME

inline constexpr wchar_t kName[] = PRODUCT_NAME_;
// The protection's own name: every policy rule's description, the custom installer's application
// name, and the name the apply questions give it.
inline constexpr wchar_t kProtectionName[] = ILATCH_PROTECTION_NAME;
// The maker's key under HKLM, the product's key name in it, and the settings key they make.
inline constexpr wchar_t kMakerKey[] = L"Software\\" PRODUCT_MAKER_;
inline constexpr wchar_t kKeyName[] = PRODUCT_NAME_;
inline constexpr wchar_t kSettingsKey[] = L"Software\\" PRODUCT_MAKER_ L"\\" PRODUCT_NAME_;
inline constexpr wchar_t kFilterModuleKey[] = L"Software\\" PRODUCT_MAKER_ L"\\" PRODUCT_NAME_ L"\\FilterModule";
// The file classes whose open command the filter module takes over, in the order of the main
// window's boxes: each one's mode is a value of its name in the Suspicious and Constant keys
// below kFilterModuleKey.
inline constexpr const wchar_t* kHookedClasses[] = {L"CPL", L"SCR", L"PIF"};
inline constexpr wchar_t kEmailSetupKey[] = L"Software\\" PRODUCT_MAKER_ L"\\" PRODUCT_NAME_ L"\\Email Setup";
// The mail password: DPAPI-protected in a key of its own below Email Setup that only
// Administrators and SYSTEM may open (the rest of Email Setup stays readable by every user).
// Earlier versions kept it scrambled in Email Setup itself, under kScrambledPasswordValue.
inline constexpr wchar_t kEmailPasswordKey[] =
    L"Software\\" PRODUCT_MAKER_ L"\\" PRODUCT_NAME_ L"\\Email Setup\\Protected";
inline constexpr wchar_t kEmailPasswordValue[] = L"Password";
inline constexpr wchar_t kScrambledPasswordValue[] = L"EmailPassword";

// The product's folder below a root (ProgramData, Program Files), with a leading backslash.
inline constexpr wchar_t kFolder[] = L"\\" PRODUCT_MAKER_ L"\\" PRODUCT_NAME_;
// The folder the custom installer installs into, directly below Program Files.
inline constexpr wchar_t kInstallerFolder[] = L"\\" PRODUCT_NAME_;

// The three programs, the files beside them, and the event service's name.
inline constexpr wchar_t kMainProgram[] = PRODUCT_NAME_ L".exe";
inline constexpr wchar_t kFilterModuleProgram[] = PRODUCT_NAME_ L"FilterMod.exe";
inline constexpr wchar_t kServiceProgram[] = PRODUCT_NAME_ L"EventSvc.exe";
inline constexpr wchar_t kServiceName[] = PRODUCT_NAME_ L"EventSvc";
inline constexpr wchar_t kSettingsIni[] = PRODUCT_NAME_ L".ini";
inline constexpr wchar_t kWhitelistFile[] = PRODUCT_NAME_ L"_Whitelist.txt";
// What an update appends to a program's file name for the backup it leaves beside the new one.
inline constexpr wchar_t kBackupEnding[] = L"_old.exe";
// The folder beside the programs where a program package waits for the restart when another
// program holds one of the files it replaces.
inline constexpr wchar_t kStagedUpdateFolder[] = PRODUCT_NAME_ L"_StagedUpdate";

// The hash lists the filter module weighs a program against, in the data folder: the maker's
// definitions and the administrator's own list, each as MD5 and as SHA-256 digests.
inline constexpr wchar_t kDefinitionsMd5List[] = L"ExecFilter.md5";
inline constexpr wchar_t kDefinitionsSha256List[] = L"ExecFilter.sha256";
inline constexpr wchar_t kUserMd5List[] = L"UserExecFilter.md5";
inline constexpr wchar_t kUserSha256List[] = L"UserExecFilter.sha256";
// The list index that stands for those four (common/HashListIndex.h): each generation a file of
// its own in the same folder, kListIndexPrefix, its number and kListIndexSuffix; the current one
// is the number in the REG_DWORD value kListIndexValue of kSettingsKey, which only administrators
// can write. The filter module keeps the index it last used whole, per user, as kUserListCopy in
// the user's local application data folder below kFolder.
inline constexpr wchar_t kListIndexPrefix[] = L"HashLists.";
inline constexpr wchar_t kListIndexSuffix[] = L".idx";
inline constexpr wchar_t kListIndexValue[] = L"HashListIndex";
inline constexpr wchar_t kUserListCopy[] = L"HashLists.idx";

// The event sources the main program and the filter module write under (each its own program's
// name), and the message file beside the programs that turns their entries into text.
inline constexpr wchar_t kEventSource[] = PRODUCT_NAME_;
inline constexpr wchar_t kFilterModuleEventSource[] = PRODUCT_NAME_ L"FilterMod";
inline constexpr wchar_t kEventMessageDll[] = ILATCH_MAKER_SHORT_NAME L"EventLogMsgHelper.dll";

// The custom installer, as the configuration builder compiles it (base names) and the maker
// serves it, in its plain form and the one that applies the protection silently.
inline constexpr wchar_t kSetupBaseName[] = PRODUCT_NAME_ L"Setup";
inline constexpr wchar_t kSilentSetupBaseName[] = PRODUCT_NAME_ L"SetupSilent";
inline constexpr wchar_t kSetupProgram[] = PRODUCT_NAME_ L"Setup.exe";
inline constexpr wchar_t kSilentSetupProgram[] = PRODUCT_NAME_ L"SetupSilent.exe";

// The scheduled update tasks, their descriptions and the author they carry.
inline constexpr wchar_t kDefsUpdateTask[] = PRODUCT_NAME_ L" Update";
inline constexpr wchar_t kAppUpdateTask[] = PRODUCT_NAME_ L" App Update";
inline constexpr wchar_t kDefsUpdateTaskDescription[] = PRODUCT_NAME_ L" Automatic Definition Updates";
inline constexpr wchar_t kAppUpdateTaskDescription[] = PRODUCT_NAME_ L" Automatic Application Updates";
inline constexpr wchar_t kTaskAuthor[] = PRODUCT_MAKER_ L" LLC";

// The maker's servers, each the host of one road: the web host that serves the installer and the
// program package, the web host of the update index, and the FTP update server with the update
// account's user name.
inline constexpr wchar_t kDownloadHost[] = L"www." ILATCH_MAKER_SERVER_DOMAIN;
inline constexpr wchar_t kUpdateIndexHost[] = L"updates." ILATCH_MAKER_SERVER_DOMAIN;
inline constexpr wchar_t kFtpUpdateServer[] = L"update." ILATCH_MAKER_SERVER_DOMAIN;
inline constexpr wchar_t kFtpUpdateUser[] = PRODUCT_NAME_ L"User";

// The update server's files: the index (a zip holding the ini, whose section is the product's
// name), the program package and its branded twin, and the version file of the definitions.
inline constexpr wchar_t kUpdateIndexZip[] = PRODUCT_NAME_ L"_Updates.zip";
inline constexpr wchar_t kUpdateIndexIni[] = PRODUCT_NAME_ L"_Updates.ini";
inline constexpr wchar_t kUpdateIndexSection[] = PRODUCT_NAME_;
inline constexpr wchar_t kProgramPackage[] = PRODUCT_NAME_ L"U.zip";
inline constexpr wchar_t kBrandedPackage[] = PRODUCT_NAME_ L"Branded.zip";
inline constexpr wchar_t kDefinitionsVersionFile[] = PRODUCT_NAME_ L".Def";
// The key, in the section kUpdateIndexSection, that gives the definitions version: in the update
// index's ini (the published one) and in kDefinitionsVersionFile (the installed one).
inline constexpr wchar_t kDefinitionsVersionKey[] = L"CurrentDefs";
// The name a downloaded program package is kept under in its private download folder.
inline constexpr wchar_t kDownloadedPackage[] = PRODUCT_NAME_ L".zip";

#undef PRODUCT_NAME_
#undef PRODUCT_MAKER_

// The data folder under the all-users application data (no trailing backslash); it holds the
// definitions and the hash lists on Windows Vista and later. The root comes from the system, not
// from %programdata%: the caller's environment could point an elevated program's writes and
// deletes anywhere. Empty when Windows does not say.
std::wstring DataFolder();

// One copy per program, set by BuildProductTitle at start-up before any box or mail.
extern std::wstring ProductLabel;  // caption of every message box and the mail's sender name
extern std::wstring ProductTitle;  // ProductLabel, "  v" and the main program's four-part file version

void BuildProductTitle();

}  // namespace Product
