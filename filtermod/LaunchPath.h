#pragma once
// The launched file's path in one canonical form, and the folder tests that decide on it. Windows
// accepts many spellings of one file ("/" for "\", "..", 8.3 names, "\\?\" prefixes); every test
// compares the one form, so no spelling walks around a folder rule.
#include <string>
#include <vector>

namespace LaunchPath {

// The full path with "/" read as "\", "." and ".." resolved, a "\\?\", "\\.\" or "\??\" prefix
// dropped and every component of the part that exists in its long form. When Windows cannot
// resolve it, the given text with "/" read as "\".
std::wstring Canonical(const std::wstring& given);

// True when the canonical path lies inside the folder, compared as whole folder names without
// regard to case: "C:\Windows" does not take in "C:\Windows2\x".
bool IsInside(const std::wstring& path, const std::wstring& folder);

// The Windows folder; Program Files and, on 64-bit Windows, its x86 twin. Read from the system,
// never from the environment, which whoever starts the module can set.
std::wstring WindowsFolder();
std::vector<std::wstring> ProgramFilesFolders();

bool InWindowsFolder(const std::wstring& path);
bool InProgramFiles(const std::wstring& path);
// The per-user and all-users data folders, found by their names anywhere in the path.
bool InDataFolder(const std::wstring& path);

}  // namespace LaunchPath
