#pragma once
// The product's identity: its registry keys, folders, update file names and the caption and
// name-and-version text. Every program spells these only through here.
#include <string>

namespace Product {

#define PRODUCT_MAKER_ L"Merrowind IT"
#define PRODUCT_NAME_ L"Ironlatch"

inline constexpr wchar_t kName[] = PRODUCT_NAME_;
// The maker's key under HKLM, the product's key name in it, and the settings key they make.
inline constexpr wchar_t kMakerKey[] = L"Software\\" PRODUCT_MAKER_;
inline constexpr wchar_t kKeyName[] = PRODUCT_NAME_;
inline constexpr wchar_t kSettingsKey[] = L"Software\\" PRODUCT_MAKER_ L"\\" PRODUCT_NAME_;
inline constexpr wchar_t kFilterModuleKey[] = L"Software\\" PRODUCT_MAKER_ L"\\" PRODUCT_NAME_ L"\\FilterModule";
inline constexpr wchar_t kEmailSetupKey[] = L"Software\\" PRODUCT_MAKER_ L"\\" PRODUCT_NAME_ L"\\Email Setup";

// The product's folder below a root (ProgramData, Program Files), with a leading backslash.
inline constexpr wchar_t kFolder[] = L"\\" PRODUCT_MAKER_ L"\\" PRODUCT_NAME_;

#undef PRODUCT_NAME_
#undef PRODUCT_MAKER_

// Files beside the programs.
inline constexpr wchar_t kMainProgram[] = L"Ironlatch.exe";
inline constexpr wchar_t kSettingsIni[] = L"Ironlatch.ini";

// The update server's files: the index (a zip holding the ini), the program package and its
// branded twin.
inline constexpr wchar_t kUpdateIndexZip[] = L"Ironlatch_Updates.zip";
inline constexpr wchar_t kUpdateIndexIni[] = L"Ironlatch_Updates.ini";
inline constexpr wchar_t kProgramPackage[] = L"IronlatchU.zip";
inline constexpr wchar_t kBrandedPackage[] = L"IronlatchBranded.zip";

// The data folder under ProgramData (no trailing backslash); it holds definitions and hash lists
// on Windows Vista and later.
std::wstring DataFolder();

// One copy per program, set by BuildProductTitle at start-up before any box or mail.
extern std::wstring ProductLabel;  // caption of every message box and the mail's sender name
extern std::wstring ProductTitle;  // ProductLabel, "  v" and the main program's four-part file version

void BuildProductTitle();

}  // namespace Product
