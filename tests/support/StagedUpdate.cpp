#include "tests/support/StagedUpdate.h"

#include <algorithm>
#include <cstring>

#include "platform/Text.h"

namespace testsupport {

namespace {

bool Below(const std::wstring& path, const std::wstring& folder) {
  std::wstring prefix = platform::Lower(folder);
  if (!platform::EndsWith(prefix, L"\\")) prefix += L"\\";
  return platform::StartsWith(platform::Lower(path), prefix);
}

// The value's text for a list of moves (REG_MULTI_SZ), as Windows reads it.
std::wstring ValueText(const std::vector<platform::PendingRename>& renames) {
  std::wstring text;
  for (const auto& rename : renames) {
    text += L"\\??\\" + rename.from;
    text += L'\0';
    if (!rename.to.empty()) text += (rename.replace ? L"!\\??\\" : L"\\??\\") + rename.to;
    text += L'\0';
  }
  text += L'\0';
  return text;
}

// Keeps only the recorded moves whose source is not below folder.
void KeepMovesNotFrom(const std::wstring& folder) {
  std::vector<platform::PendingRename> kept = platform::PendingRenames();
  std::erase_if(kept, [&](const platform::PendingRename& rename) { return Below(rename.from, folder); });
  platform::UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, platform::kPendingRenamesKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, key.put()) !=
      ERROR_SUCCESS)
    return;
  if (kept.empty()) {
    RegDeleteValueW(key.get(), platform::kPendingRenamesValue);
    return;
  }
  const std::wstring text = ValueText(kept);
  RegSetValueExW(key.get(), platform::kPendingRenamesValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(text.data()),
                 static_cast<DWORD>(text.size() * sizeof(wchar_t)));
}

}  // namespace

std::vector<platform::PendingRename> RestartMovesFrom(const std::wstring& folder) {
  std::vector<platform::PendingRename> moves = platform::PendingRenames();
  std::erase_if(moves, [&](const platform::PendingRename& rename) { return !Below(rename.from, folder); });
  return moves;
}

void MakeRestartMovesFrom(const std::wstring& folder) {
  for (const auto& move : RestartMovesFrom(folder)) {
    if (move.to.empty()) {
      if (!DeleteFileW(move.from.c_str())) RemoveDirectoryW(move.from.c_str());
    } else {
      MoveFileExW(move.from.c_str(), move.to.c_str(), move.replace ? MOVEFILE_REPLACE_EXISTING : 0);
    }
  }
  KeepMovesNotFrom(folder);
}

void ForgetRestartMovesFrom(const std::wstring& folder) { KeepMovesNotFrom(folder); }

platform::UniqueFileHandle HoldWithoutDeleteSharing(const std::wstring& path) {
  return platform::UniqueFileHandle(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::string WithFileVersion(std::string program, WORD major, WORD minor, WORD build, WORD revision) {
  // VS_FIXEDFILEINFO: the signature, the structure's version, then the file and product
  // versions, each as a most and a least significant double word.
  const char signature[] = {'\xBD', '\x04', '\xEF', '\xFE'};
  const size_t at = program.find(std::string(signature, sizeof signature));
  if (at == std::string::npos || at + 24 > program.size()) return {};
  const DWORD most = MAKELONG(minor, major), least = MAKELONG(revision, build);
  for (size_t offset : {at + 8, at + 16}) {
    std::memcpy(&program[offset], &most, sizeof most);
    std::memcpy(&program[offset + 4], &least, sizeof least);
  }
  return program;
}

std::vector<std::wstring> ChangedFiles(const std::vector<std::pair<std::wstring, std::string>>& expected,
                                       const std::vector<std::pair<std::wstring, std::string>>& actual) {
  std::vector<std::wstring> changed;
  for (const auto& [name, bytes] : expected) {
    const auto found = std::find_if(actual.begin(), actual.end(), [&](const auto& file) { return file.first == name; });
    if (found == actual.end()) changed.push_back(name + L" (missing)");
    else if (found->second != bytes) changed.push_back(name);
  }
  for (const auto& [name, bytes] : actual) {
    if (std::none_of(expected.begin(), expected.end(), [&](const auto& file) { return file.first == name; }))
      changed.push_back(name + L" (added)");
  }
  return changed;
}

}  // namespace testsupport
