#pragma once
// The path patterns of each protection option. A pattern ends in "." and each extension is
// appended to it; one rule is one pattern with one extension.
#include <string>
#include <vector>

#include "common/ProtectionCatalogue.h"

namespace RuleSets {

using ProtectionCatalogue::Choice;

// The option rule sets take their extensions in this order.
inline constexpr const wchar_t* kExtensions[] = {L"exe", L"scr", L"com", L"pif"};

// The patterns of one option's folders for one extension, extension appended, in the order they
// are written: those for every Windows first, then those of the running family. profilesFolder
// is the folder holding all user profiles (used by the user-profile set only; empty when
// unknown). None for a choice without folder patterns.
std::vector<std::wstring> OptionRules(Choice option, bool vistaOrLater, const std::wstring& extension,
                                      const std::wstring& profilesFolder);

// Document and media extensions that an executable may put before its own to pass for a file.
inline constexpr const wchar_t* kFakeExtensions[] = {
    L"pdf", L"doc", L"docx", L"ppt", L"pptx", L"pub", L"xls", L"xlsx", L"rtf", L"txt", L"jpg", L"jpeg", L"gif",
    L"png", L"bmp", L"zip", L"rar", L"7z",  L"mp3", L"wma", L"avi", L"wmv", L"wav", L"divx", L"mp4"};

// The four patterns of one fake extension ("*.pdf*.exe", "*.pdf*.com", "*.pdf*.scr", "*.pdf*.pif").
std::vector<std::wstring> FakeExtensionRules(const std::wstring& fakeExtension);

}  // namespace RuleSets
