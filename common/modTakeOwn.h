#pragma once
// Makes a registry key or a file-system object deletable through subinacl.exe: sets its owner and
// grants full control to one account. Best effort: the tool is run when it is found, waited for,
// and its outcome is not read; callers judge success by retrying their own operation.
#include <windows.h>

#include <string>

namespace modTakeOwn {

// The key and all its subkeys. An empty owner becomes "administrators" (%username% under HKCU),
// an empty grantee %username% ("System" when that is unset); both receive what was used. Hive
// texts "HKCU", "HKLM", "HKU", "HKDD", "HKCC", "HKCR"; any other does nothing.
void TakeOwnRegKey(const std::wstring& hive, const std::wstring& keyPath, std::wstring& owner, std::wstring& grantee);

// A file, or a folder and (recurse) everything below it; recurse is cleared for a file. An empty
// owner becomes %username% ("System" when unset or when running as SYSTEM), an empty grantee the
// owner. windowStyle is the tool's show state (0 hidden).
void TakeControl(const std::wstring& path, bool& recurse, int windowStyle, std::wstring& owner, std::wstring& grantee);

}  // namespace modTakeOwn
