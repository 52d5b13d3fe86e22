// The check of one part of the data folder's path and the rights given through its handle.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <string>

#include "common/CommonModule.h"
#include "common/DataFolder.h"
#include "platform/FileIdentity.h"
#include "platform/Handle.h"
#include "platform/TestSwitches.h"
#include "platform/Text.h"

namespace DataFolder {

const wchar_t kRights[] = L"O:BAG:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
const wchar_t kFileRights[] = L"O:BAG:BAD:AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;0x1200a9;;;BU)";

namespace {

// Who may own the folder and its files, and change them: Administrators and SYSTEM.
const wchar_t* const kTrustedSids[] = {L"S-1-5-32-544", L"S-1-5-18"};
// Groups every standard user holds: none of them may change a list, and one must be able to read.
const wchar_t* const kEveryUserSids[] = {L"S-1-5-32-545", L"S-1-1-0", L"S-1-5-11", L"S-1-5-4"};

constexpr ACCESS_MASK kChangeAccess = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                      FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                      GENERIC_ALL;
constexpr ACCESS_MASK kReadAccess = FILE_READ_DATA | GENERIC_READ | GENERIC_ALL;

bool Listed(const std::wstring& sid, const wchar_t* const* begin, const wchar_t* const* end) {
  for (const wchar_t* const* s = begin; s != end; ++s)
    if (platform::EqualsNoCase(sid, *s)) return true;
  return false;
}

// Wine reports its one Unix account as the owner of every file: the tests name it here.
bool Trusted(const std::wstring& sid) {
  if (sid.empty()) return false;
  if (Listed(sid, std::begin(kTrustedSids), std::end(kTrustedSids))) return true;
  const std::wstring test = platform::TestSwitch(platform::kSwitchTrustedOwner);
  return !test.empty() && platform::EqualsNoCase(sid, test);
}

std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!sid || !ConvertSidToStringSidW(sid, &text)) return L"";
  platform::UniqueLocal owned(text);
  return text;
}

// Whether an entry of the DACL lets someone other than Administrators and SYSTEM change the object
// (or, in a folder, create, delete or rename what is inside). An entry that only passes to what
// is made inside does not count, a denying one takes away and never gives, and an allowing one of
// a kind not read here counts against.
bool LetsOthersChange(const ACE_HEADER* header) {
  if (header->AceFlags & INHERIT_ONLY_ACE) return false;
  switch (header->AceType) {
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE: return false;
    default: break;
  }
  const auto* entry = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);  // every kind has its mask here
  if (!(entry->Mask & kChangeAccess)) return false;
  if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return true;
  return !Trusted(SidText(const_cast<DWORD*>(&entry->SidStart)));
}

// No DACL at all lets everyone do everything.
bool OthersMayChange(const ACL* dacl) {
  if (!dacl) return true;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(const_cast<ACL*>(dacl), i, &ace) || LetsOthersChange(static_cast<ACE_HEADER*>(ace))) return true;
  }
  return false;
}

// Whether one of the groups every standard user holds may read, and none of them is denied it.
bool EveryUserMayRead(const ACL* dacl) {
  bool read = false;
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(const_cast<ACL*>(dacl), i, &ace)) return false;
    const auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE) continue;
    const auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);  // both kinds share this layout
    if (!(entry->Mask & kReadAccess) ||
        !Listed(SidText(const_cast<DWORD*>(&entry->SidStart)), std::begin(kEveryUserSids), std::end(kEveryUserSids)))
      continue;
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) return false;
    read = true;
  }
  return read;
}

// The rights read back from a file: owned by a trusted account, changed by nobody else, read by every user.
bool UsersReadOnly(PSECURITY_DESCRIPTOR descriptor) {
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  PSID owner = nullptr;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !Trusted(SidText(owner))) return false;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) return false;
  return !OthersMayChange(dacl) && EveryUserMayRead(dacl);
}

// The rights in SDDL, weighed: false when they are no rights at all.
bool ReadRights(const std::wstring& sddl, bool& othersMayChange) {
  // No DACL at all, spelled out (Wine reads it back as an empty one, which would deny everyone).
  if (sddl.find(L"NO_ACCESS_CONTROL") != std::wstring::npos) {
    othersMayChange = true;
    return true;
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (sddl.empty() ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  platform::UniqueLocal owned(descriptor);
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present) return false;
  othersMayChange = OthersMayChange(dacl);
  return true;
}

// The path the system gives the object behind a handle, in its "\\?\" form, without a trailing
// backslash; empty when it cannot say (error tells why).
std::wstring FinalPath(HANDLE handle, DWORD& error) {
  std::wstring path = platform::FinalPathName(handle, error);
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

// Windows opens a reparse point as itself when told to, but Wine follows its Unix symbolic links
// all the same: such a handle leads into another folder than its path's. Before Vista there is no
// link but a reparse point, which the attributes show.
bool LeadsElsewhere(HANDLE handle, const std::wstring& path) {
  DWORD error = 0;
  const std::wstring own = FinalPath(handle, error);
  if (error == ERROR_CALL_NOT_IMPLEMENTED) return false;
  const size_t slash = path.find_last_of(L'\\');
  if (own.empty() || slash == std::wstring::npos || slash + 1 == path.size()) return true;
  std::wstring parentPath = path.substr(0, slash);
  if (!parentPath.empty() && parentPath.back() == L':') parentPath += L'\\';
  const platform::UniqueFileHandle parent(CreateFileW(parentPath.c_str(), FILE_READ_ATTRIBUTES,
                                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const std::wstring folder = parent ? FinalPath(parent.get(), error) : L"";
  return folder.empty() || !platform::EqualsNoCase(own, folder + L"\\" + path.substr(slash + 1));
}

// Tests read what was given from here: Wine keeps no rights on files.
void RecordRights(const std::wstring& path, const wchar_t* rights) {
  const std::wstring log = platform::TestSwitch(platform::kSwitchRightsLog);
  if (log.empty()) return;
  platform::UniqueFileHandle file(CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  const std::string line = platform::ToUtf8(path + L"\t" + rights + L"\r\n");
  DWORD written = 0;
  WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

const wchar_t kSetAsideMark[] = L" (set aside ";

std::wstring Stamp() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  wchar_t text[32] = {};
  swprintf(text, 32, L"%04u-%02u-%02u %02u.%02u.%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
           now.wSecond);
  return text;
}

}  // namespace

Verdict Judge(const Facts& facts, bool folder, std::wstring& reason) {
  bool othersMayChange = true;
  if (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    reason = L"a reparse point (junction, symbolic link or mount point)";
  } else if (facts.elsewhere) {
    reason = L"a link that leads elsewhere";
  } else if (((facts.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != folder) {
    reason = folder ? L"not a folder" : L"a folder";
  } else if (!folder && facts.links != 1) {
    reason = L"a file with " + std::to_wstring(facts.links) + L" names (hard links)";
  } else if (!Trusted(facts.ownerSid)) {
    reason = facts.ownerSid.empty() ? L"its owner cannot be read" : L"owned by " + facts.ownerSid;
  } else if (!ReadRights(facts.rights, othersMayChange)) {
    reason = L"its rights cannot be read";
  } else if (othersMayChange) {
    reason = (folder ? L"its rights let other accounts create or change what is in it: " : L"its rights let other accounts change it: ") + facts.rights;
    return Verdict::Loose;
  } else {
    return Verdict::Proper;
  }
  return Verdict::Foreign;
}

platform::UniqueFileHandle OpenUnfollowed(const std::wstring& path, DWORD share) {
  return platform::UniqueFileHandle(CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
                                                share, nullptr, OPEN_EXISTING,
                                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool ReadFacts(HANDLE handle, Facts& facts, const std::wstring& path) {
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(handle, &info)) return false;
  facts.attributes = info.dwFileAttributes;
  facts.links = info.nNumberOfLinks;
  facts.ownerSid.clear();
  facts.rights.clear();
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                      nullptr, nullptr, &descriptor) == ERROR_SUCCESS) {
    platform::UniqueLocal owned(descriptor);
    facts.ownerSid = SidText(owner);
    wchar_t* text = nullptr;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &text, nullptr)) {
      platform::UniqueLocal textOwned(text);
      facts.rights = text;
    }
  }
  facts.elsewhere = !path.empty() && LeadsElsewhere(handle, path);
  return true;
}

Presence CheckForReader(const std::wstring& path, std::wstring& reason) {
  const platform::UniqueFileHandle handle(CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                      OPEN_EXISTING,
                                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Presence::Missing;
    reason = L"it could not be opened (system error " + std::to_wstring(error) + L")";
    return Presence::Foreign;
  }
  Facts facts;
  if (!ReadFacts(handle.get(), facts, path)) {
    reason = L"what it is could not be read (system error " + std::to_wstring(GetLastError()) + L")";
    return Presence::Foreign;
  }
  return Judge(facts, true, reason) == Verdict::Proper ? Presence::Proper : Presence::Foreign;
}

bool SetAside(const std::wstring& path, const std::wstring& reason, std::wstring* aside) {
  const std::wstring base = path + kSetAsideMark + Stamp();
  for (int n = 1; n <= 9; ++n) {
    const std::wstring name = base + (n == 1 ? L"" : L" " + std::to_wstring(n)) + L")";
    // No copy: a junction or link is renamed itself, never what it points to.
    if (MoveFileExW(path.c_str(), name.c_str(), 0)) {
      CommonModule::DPrint(L"DataFolder: set aside " + path + L" (" + reason + L") as " + name);
      if (aside) *aside = name;
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  CommonModule::DPrint(L"DataFolder: cannot set aside " + path + L" (" + reason + L")",
                       std::to_wstring(GetLastError()));
  return false;
}

bool IsSetAsideName(const std::wstring& name) { return name.find(kSetAsideMark) != std::wstring::npos; }

bool GiveRights(HANDLE handle, const std::wstring& path, const wchar_t* rights, bool file) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(rights, SDDL_REVISION_1, &descriptor, nullptr)) return false;
  platform::UniqueLocal owned(descriptor);
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  PSID owner = nullptr;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) ||
      !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
      !GetSecurityDescriptorControl(descriptor, &control, &revision))
    return false;
  const SECURITY_INFORMATION inheritance =
      (control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION;
  const DWORD error = SetSecurityInfo(handle, SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION | inheritance, owner,
                                      nullptr, dacl, nullptr);
  if (error != ERROR_SUCCESS) {
    CommonModule::DPrint(L"DataFolder: rights not set on " + path, std::to_wstring(error));
    return false;
  }
  RecordRights(path, rights);
  if (!file) return true;
  PSECURITY_DESCRIPTOR given = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                      nullptr, nullptr, &given) != ERROR_SUCCESS)
    return false;
  platform::UniqueLocal givenOwned(given);
  if (UsersReadOnly(given)) return true;
  CommonModule::DPrint(L"DataFolder: the rights of " + path + L" did not hold");
  return false;
}

}  // namespace DataFolder
