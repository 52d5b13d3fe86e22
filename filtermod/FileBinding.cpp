#include "filtermod/FileBinding.h"

#include <cwctype>

#include "platform/Text.h"

namespace FileBinding {

namespace {

std::wstring SystemError(DWORD error) { return L" (system error " + std::to_wstring(error) + L")"; }

}  // namespace

Resolved FromResolvedPath(const std::wstring& text) {
  std::wstring path = text;
  if (platform::StartsWith(path, L"\\\\?\\")) {
    path.erase(0, 4);
    if (platform::StartsWith(platform::Lower(path), L"unc\\")) return {Place::Network, L"\\\\" + path.substr(4)};
  } else if (platform::StartsWith(path, L"\\\\")) {
    return {Place::Network, path};
  }
  const bool drive = path.size() >= 3 && iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\';
  return drive ? Resolved{Place::Drive, path} : Resolved{};
}

std::wstring Judge(const Part& part, const platform::FileFacts* hashed) {
  const bool file = hashed != nullptr;
  if (part.openError)
    return (file ? L"the file could not be opened where its path leads:  " : L"a folder on its path could not be held:  ") +
           part.path + SystemError(part.openError);
  const DWORD attributes = part.facts.attributes;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
    return L"a junction, symbolic link or mount point lies on its path:  " + part.path;
  if (((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == file)
    return (file ? L"a folder lies where its path leads:  " : L"a file lies where its path has a folder:  ") + part.path;
  if (file && !part.facts.SameFile(*hashed)) return L"its path leads to another file than the one opened:  " + part.path;
  return L"";
}

}  // namespace FileBinding
