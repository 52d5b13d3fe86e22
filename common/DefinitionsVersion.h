#pragma once
// A definitions version: the whole number that kDefinitionsVersionKey gives in the update index
// and in the installed version file (common/Product.h).
#include <cstdint>
#include <optional>
#include <string>

namespace DefinitionsVersion {

// Digits only, up to 19 of them, blanks around allowed; nullopt for anything else.
std::optional<int64_t> Parse(const std::wstring& text);

// What a version file gives; nullopt when it is missing, cannot be read or gives no version.
std::optional<int64_t> Read(const std::wstring& versionFile);

// Whether the file is there but another program holds it open without sharing, so that it
// cannot be read.
bool Held(const std::wstring& path);

}  // namespace DefinitionsVersion
