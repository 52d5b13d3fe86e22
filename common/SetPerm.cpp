#include "common/SetPerm.h"

#include <cstddef>
#include <new>

#include "platform/ProcessAccount.h"
#include "platform/Text.h"

namespace SetPerm {

namespace {

// Bytes of an allow or deny ACE before its SID (header and mask).
constexpr DWORD kAceSidOffset = offsetof(ACCESS_ALLOWED_ACE, SidStart);

struct alignas(DWORD) SidBuffer {
  BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
  PSID get() { return bytes; }
};

bool WellKnownSid(WELL_KNOWN_SID_TYPE type, SidBuffer& sid) {
  DWORD size = sizeof sid.bytes;
  return CreateWellKnownSid(type, nullptr, sid.get(), &size) != FALSE;
}

// The four roots a permission may be set under; anything else is refused, never guessed.
HKEY RootOf(const std::wstring& hive) {
  std::wstring upper = platform::Upper(hive);
  if (upper == L"HKCU") return HKEY_CURRENT_USER;
  if (upper == L"HKLM") return HKEY_LOCAL_MACHINE;
  if (upper == L"HKU") return HKEY_USERS;
  if (upper == L"HKCR") return HKEY_CLASSES_ROOT;
  return nullptr;
}

DWORD MaskOf(const std::wstring& rights) {
  if (rights == L"R" || rights == L"Read") return KEY_READ;
  if (rights == L"W" || rights == L"Write") return KEY_WRITE;
  if (rights == L"X" || rights == L"Execute") return KEY_EXECUTE;
  return KEY_ALL_ACCESS;
}

bool OpenForSecurity(const std::wstring& hive, const std::wstring& keyPath, REGSAM viewFlag,
                     platform::UniqueRegKey& key) {
  HKEY root = RootOf(hive);
  return root && RegOpenKeyExW(root, keyPath.c_str(), 0, READ_CONTROL | WRITE_DAC | viewFlag, key.put()) ==
                     ERROR_SUCCESS;
}

// Looks an account name up on this computer into sid.
bool LookUpAccount(const std::wstring& name, std::vector<BYTE>& sid) {
  // An empty name would give the computer's domain SID, which is no account.
  if (name.empty()) return false;
  DWORD sidSize = 0;
  DWORD domainSize = 256;
  std::vector<wchar_t> domain(domainSize);
  SID_NAME_USE use = SidTypeUnknown;
  LookupAccountNameW(nullptr, name.c_str(), nullptr, &sidSize, domain.data(), &domainSize, &use);
  if (sidSize == 0) return false;
  sid.assign(sidSize, 0);
  domain.resize(domainSize > domain.size() ? domainSize : domain.size());
  domainSize = static_cast<DWORD>(domain.size());
  return LookupAccountNameW(nullptr, name.c_str(), sid.data(), &sidSize, domain.data(), &domainSize, &use) != FALSE;
}

// The SID of an old ACE, or null for ACE kinds that keep something else at that place.
PSID SidOfAce(const ACE_HEADER* ace) {
  switch (ace->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
      break;
    default:
      return nullptr;
  }
  if (ace->AceSize < kAceSidOffset + sizeof(SID)) return nullptr;
  auto sid = reinterpret_cast<PSID>(const_cast<BYTE*>(reinterpret_cast<const BYTE*>(ace) + kAceSidOffset));
  if (!IsValidSid(sid) || GetLengthSid(sid) > ace->AceSize - kAceSidOffset) return nullptr;
  return sid;
}

bool CopyAce(PACL dacl, const ACE_HEADER* ace) {
  return AddAce(dacl, dacl->AclRevision, MAXDWORD, const_cast<ACE_HEADER*>(ace), ace->AceSize) != FALSE;
}

bool AddEntries(PACL dacl, const std::vector<AccountAccessEntry>& entries, BYTE aceType) {
  for (const auto& entry : entries) {
    if (entry.AceType == aceType &&
        !ConstructAndAddAce(dacl, entry.AceType, entry.AceFlags, entry.AccessMask, entry.Sid))
      return false;
  }
  return true;
}

bool FillNewDacl(PSECURITY_DESCRIPTOR oldDescriptor, std::vector<AccountAccessEntry>& entries,
                 std::vector<std::vector<BYTE>>& lookedUp, NewKeySecurity& result) {
  result.SecurityDescriptor.reset(LocalAlloc(LPTR, sizeof(SECURITY_DESCRIPTOR)));
  if (!result.SecurityDescriptor) return false;
  PSECURITY_DESCRIPTOR descriptor = result.SecurityDescriptor.get();
  if (!InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION)) return false;

  PACL oldDacl = nullptr;
  ACL_SIZE_INFORMATION oldSize = {};
  DWORD size = sizeof(ACL);
  BYTE revision = ACL_REVISION;
  if (oldDescriptor) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorDacl(oldDescriptor, &present, &oldDacl, &defaulted)) return false;
    if (!present) oldDacl = nullptr;
    if (oldDacl) {
      if (!GetAclInformation(oldDacl, &oldSize, sizeof oldSize, AclSizeInformation)) return false;
      size = oldSize.AclBytesInUse;
      // Object ACEs need the newer revision; the old list's ACEs must fit the new one.
      if (oldDacl->AclRevision > revision) revision = oldDacl->AclRevision;
    }
  }

  for (auto& entry : entries) {
    if (!entry.Sid) {
      lookedUp.emplace_back();
      if (!LookUpAccount(entry.AccountName, lookedUp.back())) return false;
      entry.Sid = lookedUp.back().data();
    }
    size += kAceSidOffset + GetLengthSid(entry.Sid);
  }
  if (size > 0xFFFF) return false;  // the most an ACL can hold

  result.Dacl.reset(LocalAlloc(LPTR, size));
  if (!result.Dacl) return false;
  auto dacl = static_cast<PACL>(result.Dacl.get());
  if (!InitializeAcl(dacl, size, revision)) return false;

  // Canonical order: denies first, explicit before inherited.
  if (!AddEntries(dacl, entries, ACCESS_DENIED_ACE_TYPE)) return false;
  DWORD index = 0;
  for (; oldDacl && index < oldSize.AceCount; ++index) {
    void* raw = nullptr;
    if (!GetAce(oldDacl, index, &raw)) return false;
    auto ace = static_cast<const ACE_HEADER*>(raw);
    if (ace->AceFlags & INHERITED_ACE) break;
    PSID sid = SidOfAce(ace);
    if (sid && IsEqual(entries, sid)) continue;
    if (!CopyAce(dacl, ace)) return false;
  }
  if (!AddEntries(dacl, entries, ACCESS_ALLOWED_ACE_TYPE)) return false;
  for (; oldDacl && index < oldSize.AceCount; ++index) {
    void* raw = nullptr;
    if (!GetAce(oldDacl, index, &raw) || !CopyAce(dacl, static_cast<const ACE_HEADER*>(raw))) return false;
  }

  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD descriptorRevision = 0;
  if (oldDescriptor && GetSecurityDescriptorControl(oldDescriptor, &control, &descriptorRevision)) {
    if ((control & SE_DACL_AUTO_INHERITED) &&
        !SetSecurityDescriptorControl(descriptor, SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED,
                                      SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED))
      return false;
    // A list cut off from its parent stays cut off, or the parent's ACEs could flow in later.
    if ((control & SE_DACL_PROTECTED) && !SetSecurityDescriptorControl(descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
      return false;
  }
  return SetSecurityDescriptorDacl(descriptor, TRUE, dacl, FALSE) != FALSE;
}

bool GrantOnKey(const std::wstring& hive, const std::wstring& keyPath, REGSAM viewFlag,
                std::vector<AccountAccessEntry>& entries) {
  platform::UniqueRegKey key;
  return OpenForSecurity(hive, keyPath, viewFlag, key) && UpdatePermissionsOfRegistryKey(key.get(), entries);
}

}  // namespace

bool GetRegKeyPermissions(const std::wstring& hive, const std::wstring& keyPath, REGSAM viewFlag) {
  try {
    SidBuffer system;
    SidBuffer administrators;
    if (!WellKnownSid(WinLocalSystemSid, system) || !WellKnownSid(WinBuiltinAdministratorsSid, administrators))
      return false;
    auto fullControl = [](PSID sid) {
      AccountAccessEntry entry;
      entry.AccessMask = KEY_ALL_ACCESS;
      entry.AceFlags = CONTAINER_INHERIT_ACE;
      entry.Sid = sid;
      entry.SidOwnedByCaller = true;
      return entry;
    };
    std::vector<AccountAccessEntry> entries;
    // The account we run as, but only an administrator: a plain user must gain nothing here.
    std::vector<BYTE> userBuffer;
    PSID user = nullptr;
    BOOL isAdministrator = FALSE;
    if (platform::ProcessUserSid(userBuffer, user) && !EqualSid(user, system.get()) &&
        CheckTokenMembership(nullptr, administrators.get(), &isAdministrator) && isAdministrator)
      entries.push_back(fullControl(user));
    entries.push_back(fullControl(system.get()));
    entries.push_back(fullControl(administrators.get()));
    return GrantOnKey(hive, keyPath, viewFlag, entries);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool RegSetKeyPermission(const std::wstring& hive, const std::wstring& keyPath, std::wstring& account,
                         std::wstring& allowOrDeny, const std::wstring& rights, REGSAM viewFlag) {
  try {
    if (!RootOf(hive)) return false;
    if (allowOrDeny.empty()) allowOrDeny = L"Allow";
    AccountAccessEntry entry;
    // No account given: the one this program runs as, by its token's SID.
    std::vector<BYTE> userBuffer;
    if (account.empty()) {
      PSID user = nullptr;
      if (!platform::ProcessUserSid(userBuffer, user)) return false;
      account = platform::ProcessAccountName();
      entry.Sid = user;
      entry.SidOwnedByCaller = true;
    }
    entry.AccountName = account;
    entry.AccessMask = MaskOf(rights);
    entry.AceFlags = CONTAINER_INHERIT_ACE;
    entry.AceType = allowOrDeny == L"Deny" ? ACCESS_DENIED_ACE_TYPE : ACCESS_ALLOWED_ACE_TYPE;
    std::vector<AccountAccessEntry> entries{entry};
    return GrantOnKey(hive, keyPath, viewFlag, entries);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool UpdatePermissionsOfRegistryKey(HKEY key, std::vector<AccountAccessEntry>& entries) {
  try {
    DWORD size = 0;
    RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
    if (size == 0) return false;
    platform::UniqueLocal oldDescriptor(LocalAlloc(LPTR, size));
    if (!oldDescriptor) return false;
    if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, oldDescriptor.get(), &size) != ERROR_SUCCESS) return false;
    NewKeySecurity security;
    if (!BuildNewDacl(oldDescriptor.get(), entries, security)) return false;
    return RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, security.SecurityDescriptor.get()) == ERROR_SUCCESS;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool BuildNewDacl(PSECURITY_DESCRIPTOR oldDescriptor, std::vector<AccountAccessEntry>& entries,
                  NewKeySecurity& result) {
  result.SecurityDescriptor.reset();
  result.Dacl.reset();
  std::vector<std::vector<BYTE>> lookedUp;  // the SIDs found by name here, freed on return
  bool built = false;
  try {
    built = FillNewDacl(oldDescriptor, entries, lookedUp, result);
  } catch (const std::bad_alloc&) {
    built = false;
  }
  for (auto& entry : entries) {
    if (!entry.SidOwnedByCaller) entry.Sid = nullptr;
  }
  if (!built) {
    result.SecurityDescriptor.reset();
    result.Dacl.reset();
  }
  return built;
}

bool ConstructAndAddAce(PACL dacl, BYTE aceType, BYTE aceFlags, DWORD accessMask, PSID sid) {
  if (!dacl || !sid || !IsValidSid(sid)) return false;
  try {
    const DWORD sidLength = GetLengthSid(sid);
    std::vector<BYTE> buffer(kAceSidOffset + sidLength);
    // Allow and deny ACEs share one layout.
    auto ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(buffer.data());
    ace->Header.AceType = aceType;
    ace->Header.AceFlags = aceFlags;
    ace->Header.AceSize = static_cast<WORD>(buffer.size());
    ace->Mask = accessMask;
    if (!CopySid(sidLength, &ace->SidStart, sid)) return false;
    return AddAce(dacl, dacl->AclRevision, MAXDWORD, buffer.data(), static_cast<DWORD>(buffer.size())) != FALSE;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool IsEqual(const std::vector<AccountAccessEntry>& entries, PSID sid) {
  for (const auto& entry : entries) {
    if (entry.Sid && EqualSid(entry.Sid, sid)) return true;
  }
  return false;
}

}  // namespace SetPerm
