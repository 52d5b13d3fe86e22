#pragma once
// Where the Software Restriction Policy lives in HKLM and how the rules of this system are marked.
#include "common/Product.h"

namespace PolicyLayout {

inline constexpr wchar_t kRoot[] = L"SOFTWARE\\Policies\\Microsoft\\Windows\\safer\\codeidentifiers";
inline constexpr wchar_t kDisallowedLevel[] = L"0";
inline constexpr wchar_t kUnrestrictedLevel[] = L"262144";
inline constexpr wchar_t kDisallowedPaths[] = L"SOFTWARE\\Policies\\Microsoft\\Windows\\safer\\codeidentifiers\\0\\Paths";
inline constexpr wchar_t kDisallowedHashes[] =
    L"SOFTWARE\\Policies\\Microsoft\\Windows\\safer\\codeidentifiers\\0\\Hashes";
inline constexpr wchar_t kWhitelistPaths[] =
    L"SOFTWARE\\Policies\\Microsoft\\Windows\\safer\\codeidentifiers\\262144\\Paths";

// Every rule this system writes carries this description; undo removes what carries it.
inline constexpr const auto& kRuleDescription = Product::kProtectionName;

// Rule keys of fixed GUIDs that earlier versions wrote; undo removes them whatever they hold.
inline constexpr const wchar_t* kLegacyRuleKeys[] = {
    L"{25531e2d-fd9e-48ac-a990-4e853a46ef7a}", L"{66179b83-8f7c-49e6-a22b-b78fd832cfc2}",
    L"{7e4d0e46-a959-4c30-8bb7-769a09d0c274}", L"{a66f0de1-a05c-4f3c-a7a1-ab248ff96b64}",
    L"{cae944f9-189d-4eae-b1b3-4e051f3cfb46}", L"{d2267c12-949f-4b24-a9ef-568d824dbfb7}",
    L"{fb2fb8b3-e5ad-4120-998e-ec692cff49f1}", L"{fff88769-0b74-4a26-8ea6-3b977d96de8c}",
};

}  // namespace PolicyLayout
