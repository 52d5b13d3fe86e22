#include "filtermod/LaunchPath.h"

#include <windows.h>

#include "platform/Registry.h"
#include "platform/Text.h"

namespace LaunchPath {

namespace {

using platform::Lower;
using platform::StartsWith;

// A Windows call that fills a buffer and returns the length it needed or wrote; empty on failure.
template <typename Call>
std::wstring Fill(Call call) {
  std::wstring text(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = call(text.data(), static_cast<DWORD>(text.size()));
    if (length == 0) return L"";
    if (length < text.size()) {
      text.resize(length);
      return text;
    }
    text.assign(length + 1, L'\0');
  }
  return L"";
}

// "\\?\C:\x" and "\\.\C:\x" name C:\x, "\\?\UNC\srv\share" names \\srv\share; without the prefix
// the full-path rules below apply to them as well.
std::wstring WithoutDevicePrefix(std::wstring path) {
  const std::wstring lower = Lower(path);
  if (StartsWith(lower, L"\\\\?\\unc\\")) return L"\\\\" + path.substr(8);
  for (const wchar_t* prefix : {L"\\\\?\\", L"\\\\.\\", L"\\??\\"}) {
    const size_t n = wcslen(prefix);
    if (StartsWith(path, prefix) && path.size() > n + 1 && path[n + 1] == L':') return path.substr(n);
  }
  return path;
}

// The long form of the longest leading part that exists, the rest kept as it stands.
std::wstring LongForm(const std::wstring& full) {
  std::wstring head = full, tail;
  for (;;) {
    const std::wstring resolved =
        Fill([&](wchar_t* buffer, DWORD size) { return GetLongPathNameW(head.c_str(), buffer, size); });
    if (!resolved.empty()) return resolved + tail;
    const size_t slash = head.find_last_of(L'\\');
    // Stop before cutting into the root ("C:\", "\\server").
    if (slash == std::wstring::npos || slash < 3) return full;
    tail = head.substr(slash) + tail;
    head.erase(slash);
  }
}

std::wstring WithoutTrailingSlashes(std::wstring path) {
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

std::wstring ReadMachineFolder(const wchar_t* valueName) {
  platform::RegistryKey key;
  std::wstring text;
  DWORD type = REG_NONE;
  if (key.Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", KEY_QUERY_VALUE,
               platform::RegistryView::Bits64) != ERROR_SUCCESS ||
      key.ReadText(valueName, text, type) != ERROR_SUCCESS || type != REG_SZ)
    return L"";
  return text;
}

}  // namespace

std::wstring Canonical(const std::wstring& given) {
  std::wstring path = platform::ReplaceAll(given, L"/", L"\\");
  path = WithoutDevicePrefix(path);
  const std::wstring full =
      Fill([&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(path.c_str(), size, buffer, nullptr); });
  if (full.empty()) return path;
  return LongForm(full);
}

bool IsInside(const std::wstring& path, const std::wstring& folder) {
  if (folder.empty()) return false;
  std::wstring prefix = Lower(WithoutTrailingSlashes(Canonical(folder)));
  if (prefix.back() != L'\\') prefix += L'\\';
  return StartsWith(Lower(path), prefix);
}

std::wstring WindowsFolder() {
  return Fill([](wchar_t* buffer, DWORD size) { return GetSystemWindowsDirectoryW(buffer, size); });
}

std::vector<std::wstring> ProgramFilesFolders() {
  std::vector<std::wstring> folders;
  for (const wchar_t* name : {L"ProgramFilesDir", L"ProgramFilesDir (x86)"}) {
    std::wstring folder = ReadMachineFolder(name);
    if (!folder.empty()) folders.push_back(folder);
  }
  return folders;
}

bool InWindowsFolder(const std::wstring& path) { return IsInside(path, WindowsFolder()); }

bool InProgramFiles(const std::wstring& path) {
  for (const auto& folder : ProgramFilesFolders())
    if (IsInside(path, folder)) return true;
  return false;
}

bool InDataFolder(const std::wstring& path) {
  const std::wstring lower = Lower(path);
  for (const wchar_t* marker : {L"\\application data\\", L"\\appdata\\", L"\\programdata\\"})
    if (platform::Contains(lower, marker)) return true;
  return false;
}

}  // namespace LaunchPath
