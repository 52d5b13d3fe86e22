#pragma once
// The web pages that the program's windows open, all on the maker's site (placeholder addresses
// until the site is fixed), and the one outside page the About window links to.
#include "platform/ProductName.h"

namespace WebPages {

#define WEBPAGES_SITE_ L"https://" ILATCH_MAKER_WEB_HOST L"/"
#define WEBPAGES_PAGE_(page) WEBPAGES_SITE_ ILATCH_PRODUCT_WEB_FOLDER L"/" page

inline constexpr wchar_t kMakerSite[] = WEBPAGES_SITE_;
inline constexpr wchar_t kProductPage[] = WEBPAGES_PAGE_(L"");
inline constexpr wchar_t kWhiteLabel[] = WEBPAGES_PAGE_(L"white-label.html");
inline constexpr wchar_t kFalsePositives[] = WEBPAGES_PAGE_(L"false-positives.html");
inline constexpr wchar_t kSupportForum[] = WEBPAGES_PAGE_(L"forum/");
inline constexpr wchar_t kTechnicalInformation[] = WEBPAGES_PAGE_(L"technical-information.html");
inline constexpr wchar_t kAutomaticUpdates[] = WEBPAGES_PAGE_(L"automatic-updates.html");
inline constexpr wchar_t kSecurityWarnings[] = WEBPAGES_PAGE_(L"security-software-warnings.html");
inline constexpr wchar_t kEmailSetupHelp[] = WEBPAGES_PAGE_(L"email-setup-faq.html");

#undef WEBPAGES_PAGE_
#undef WEBPAGES_SITE_

inline constexpr wchar_t kRansomwareFieldGuide[] = L"https://fieldnotes.example/ransomware-field-guide";

}  // namespace WebPages
