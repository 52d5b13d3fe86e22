#pragma once
// The web pages that the program's windows open, all on the maker's site (placeholder addresses
// until the site is fixed), and the one outside page the About window links to.
namespace WebPages {

inline constexpr wchar_t kMakerSite[] = L"https://www.merrowind-it.example/";
inline constexpr wchar_t kProductPage[] = L"https://www.merrowind-it.example/ironlatch/";
inline constexpr wchar_t kWhiteLabel[] = L"https://www.merrowind-it.example/ironlatch/white-label.html";
inline constexpr wchar_t kFalsePositives[] = L"https://www.merrowind-it.example/ironlatch/false-positives.html";
inline constexpr wchar_t kSupportForum[] = L"https://www.merrowind-it.example/ironlatch/forum/";
inline constexpr wchar_t kTechnicalInformation[] =
    L"https://www.merrowind-it.example/ironlatch/technical-information.html";
inline constexpr wchar_t kAutomaticUpdates[] = L"https://www.merrowind-it.example/ironlatch/automatic-updates.html";
inline constexpr wchar_t kSecurityWarnings[] =
    L"https://www.merrowind-it.example/ironlatch/security-software-warnings.html";
inline constexpr wchar_t kEmailSetupHelp[] = L"https://www.merrowind-it.example/ironlatch/email-setup-faq.html";

inline constexpr wchar_t kRansomwareFieldGuide[] = L"https://fieldnotes.example/ransomware-field-guide";

}  // namespace WebPages
