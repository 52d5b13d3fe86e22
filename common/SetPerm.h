#pragma once
// Rewrites the access-control list of a registry key so that chosen accounts get the access asked
// for. Nothing here logs, shows or throws: every procedure answers true or false, and a failure
// leaves the key's list as it was.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Handle.h"

namespace SetPerm {

// One requested permission.
struct AccountAccessEntry {
  std::wstring AccountName;  // looked up when Sid is null
  DWORD AccessMask = 0;
  BYTE AceFlags = 0;         // inheritance flags of the new ACE
  BYTE AceType = ACCESS_ALLOWED_ACE_TYPE;  // ACCESS_ALLOWED_ACE_TYPE or ACCESS_DENIED_ACE_TYPE
  PSID Sid = nullptr;        // null on entry: BuildNewDacl looks the name up and clears it again
  bool SidOwnedByCaller = false;  // a non-null Sid stays the caller's and stays set
};

// The new security descriptor and the list it points to; both local-heap buffers.
struct NewKeySecurity {
  platform::UniqueLocal SecurityDescriptor;
  platform::UniqueLocal Dacl;
};

// Full control (inherited by subkeys) for SYSTEM, Administrators and the account this program
// runs as when that account is an administrator. Hive texts "HKCU", "HKLM", "HKU", "HKCR" (any
// case); any other hive grants nothing. viewFlag chooses the registry view (0: the process's own).
// True when every grant was written.
bool GetRegKeyPermissions(const std::wstring& hive, const std::wstring& keyPath, REGSAM viewFlag = 0);

// One ACE for one account. An empty account becomes %username%, an empty allowOrDeny "Allow";
// only "Deny" gives a deny ACE. Rights "R"/"Read", "W"/"Write", "X"/"Execute", anything else full
// control. False for a hive outside the four, a key that cannot be opened or an unknown account.
bool RegSetKeyPermission(const std::wstring& hive, const std::wstring& keyPath, std::wstring& account,
                         std::wstring& allowOrDeny, const std::wstring& rights, REGSAM viewFlag = 0);

// Reads the key's list, merges the entries in (BuildNewDacl) and writes it back. The key must be
// open with READ_CONTROL and WRITE_DAC.
bool UpdatePermissionsOfRegistryKey(HKEY key, std::vector<AccountAccessEntry>& entries);

// The new list, in order: the deny entries, the old explicit ACEs of every other account, the
// allow entries, the old inherited ACEs. Explicit ACEs of the entries' accounts are dropped. The
// old descriptor's auto-inherited or protected mark is carried over. oldDescriptor may be null.
bool BuildNewDacl(PSECURITY_DESCRIPTOR oldDescriptor, std::vector<AccountAccessEntry>& entries,
                  NewKeySecurity& result);

// Appends one allow or deny ACE at the end of the list.
bool ConstructAndAddAce(PACL dacl, BYTE aceType, BYTE aceFlags, DWORD accessMask, PSID sid);

// Whether the SID is the Sid of one of the entries.
bool IsEqual(const std::vector<AccountAccessEntry>& entries, PSID sid);

}  // namespace SetPerm
