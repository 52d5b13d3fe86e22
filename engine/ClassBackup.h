#pragma once
// The copy of a file class as Windows had it before its first hook, and the .reg texts that
// reg.exe imports. A copy is kept in the settings key, which only administrators can write; a
// .reg file exists only inside a private folder (administrators and SYSTEM), for the moment
// reg.exe reads it, so nobody can swap what is imported.
#include <string>

namespace ClassBackup {

// The class key's name under HKLM\SOFTWARE\Classes, as the backups name it ("cplfile").
// True when a copy of that class is kept.
bool Exists(const std::wstring& classKeyName);

// Exports HKLM\SOFTWARE\Classes\<classKeyName> and keeps it, when it holds nothing but that
// class's keys. False when nothing was kept.
bool Save(const std::wstring& classKeyName);

// The kept copy's text, "" when there is none.
std::wstring StoredText(const std::wstring& classKeyName);

// Imports the kept copy when it holds nothing but that class's keys; false when nothing was
// imported (no copy, a refused copy, or reg.exe did not finish its import).
bool Restore(const std::wstring& classKeyName);

// Whether a registry-export text names no key but HKLM\SOFTWARE\Classes\<classKeyName> and its
// subkeys, deletes none of them and sets no value outside them.
bool HoldsOnlyClassKeys(const std::wstring& regText, const std::wstring& classKeyName);

// Writes a registry-export text into a fresh private folder, imports it with reg.exe and removes
// it. True when reg.exe finished the import.
bool ImportText(const std::wstring& regText);

// Writes raw bytes (a carried resource, say) the same way and imports them.
bool ImportBytes(const void* bytes, size_t size);

}  // namespace ClassBackup
