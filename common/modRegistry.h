#pragma once
// One interface for reading and writing a single setting, in the registry or in an INI file.
// Result codes are Windows error codes (0, 2 not found, 234 more data) and 99 when nothing
// was attempted.
#include <windows.h>

#include <string>

#include "common/Variant.h"

namespace SavedSecurity {
class KeyStates;
}

namespace modRegistry {

// What fTopKey gives for a hive text that names an INI file. Never a key to close.
inline const HKEY kIniHive = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(1));

// "HKCU", "HKLM", "HKU", "HKDD", "HKCC", "HKCR" (any case) give their root; the path of an
// existing normal file gives kIniHive; anything else nullptr.
HKEY fTopKey(const std::wstring& hive);

// Whether Windows is 64-bit, which decides the registry view of every call.
bool Is64BitRegistry();

// Where a read, listing or delete looks. On 64-bit Windows a path through "wow6432node" (outside
// a mounted "guest_" hive) is lower-cased, stripped of every "wow6432node\" and opened in the
// 32-bit view; everything else in the 64-bit view. On 32-bit Windows the path stays and no view
// flag is added. Open with base access | viewFlag.
struct KeyView {
  std::wstring keyPath;  // the path as it is opened
  REGSAM viewFlag = 0;   // KEY_WOW64_32KEY, KEY_WOW64_64KEY or 0
};
KeyView KeyViewFor(const std::wstring& keyPath);
// The same on Windows of the given kind (the decision on its own, for tests of either kind).
KeyView KeyViewFor(const std::wstring& keyPath, bool windows64);

// Type letters: "S" text, "M" list (items each followed by NUL), "B" 2-byte truth value,
// "D" 32-bit number; any other letter reads nothing. result always receives the value read or
// defaultValue. In INI mode only "S" reads the file (at most 254 characters).
LONG fReadValue(const std::wstring& hive, const std::wstring& keyPath, const std::wstring& valueName,
                const std::wstring& type, const Variant& defaultValue, Variant& result);

// One setting read whole under a registry root (HKEY_LOCAL_MACHINE, ...): its text, or its number,
// as the "S" and "D" reads above give them with an empty or 0 default, logged as they log. "" and
// 0 when there is none, or for a root without a hive text.
std::wstring ReadText(HKEY root, const std::wstring& keyPath, const std::wstring& valueName);
int32_t ReadNumber(HKEY root, const std::wstring& keyPath, const std::wstring& valueName);

// Type letters: "S", "E" (stored unexpanded), "D", "M" (appends one item), "B" (2 bytes);
// writes always use the 64-bit view on 64-bit Windows. In INI mode only "S" (else 99); a write
// the file refuses (read-only, locked) gives that Windows error, never 0.
LONG fWriteValue(const std::wstring& hive, const std::wstring& keyPath, const std::wstring& valueName,
                 const std::wstring& type, const Variant& value);

// Exports a key, named as reg.exe takes it ("HKLM\\Software\\..."), to a .reg file that it
// replaces; true when reg.exe ended with exit code 0 and the file exists (a failed export leaves
// no file).
bool ExportRegKey(const std::wstring& key, const std::wstring& targetFile);

// Imports a .reg file with Windows' reg.exe. Waiting, true only when reg.exe ended within its
// time limit with exit code 0; not waiting, true when it was started.
bool ImportRegFile(const std::wstring& regFile, bool wait);

// Appends every subkey name of the key, each followed by NUL, and one more NUL (an empty key
// gives two); 0 when the key exists and was listed, else the open's code (2: missing) or 99.
LONG fEnumKey(const std::wstring& hive, const std::wstring& keyPath, std::wstring& names);

// Delete one value, or a key with its whole subtree (given as parent path and name). A missing
// value or key counts as deleted and sets notFound. A delete refused for want of rights (access
// denied, and nothing else) is retried once after ownership and rights were taken (subinacl when
// present, the key's own access list); the value delete also runs DelReg.exe as SYSTEM before its
// retry, the key delete reg.exe and then DelReg.exe after a refused retry. When the value or key
// still stays, every key whose owner or rights the fallbacks touched gets them back. 0 on
// success, else the code of the refused (re)try.
LONG fDeleteValue(const std::wstring& hive, const std::wstring& keyPath, const std::wstring& valueName,
                  bool& notFound);
LONG fDeleteKey(const std::wstring& hive, const std::wstring& parentPath, const std::wstring& name, bool& notFound);

// Deletes every subkey below keyPath (deepest first), opened in viewFlag's view; the key itself
// stays. grantRights widens the rights on each subkey before it is entered; saved, when given,
// takes down each subkey's owner and rights before they are widened.
void fDeleteSubkeys(HKEY root, const std::wstring& keyPath, const std::wstring& hive, REGSAM viewFlag,
                    bool grantRights, SavedSecurity::KeyStates* saved = nullptr);

}  // namespace modRegistry
