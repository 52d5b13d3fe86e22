#include "common/SavedSecurity.h"

#include "common/SetOwnerFS.h"
#include "platform/Handle.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace SavedSecurity {

namespace {

constexpr SECURITY_INFORMATION kOwnerAndDacl = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// Naming an owner other than ourselves needs the restore privilege; it is put back as found.
class RestorePrivilege {
 public:
  RestorePrivilege() : change_(SetOwnerFS::ChangeOwnPrivilege(L"SeRestorePrivilege", true)) {}
  ~RestorePrivilege() { SetOwnerFS::RestoreOwnPrivilege(change_); }
  RestorePrivilege(const RestorePrivilege&) = delete;
  RestorePrivilege& operator=(const RestorePrivilege&) = delete;

 private:
  SetOwnerFS::PrivilegeChange change_;
};

bool SameOwner(PSECURITY_DESCRIPTOR a, PSECURITY_DESCRIPTOR b) {
  PSID ownerA = nullptr, ownerB = nullptr;
  BOOL defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(a, &ownerA, &defaulted) || !GetSecurityDescriptorOwner(b, &ownerB, &defaulted))
    return false;
  return ownerA && ownerB && EqualSid(ownerA, ownerB);
}

bool ReadFileDescriptor(const std::wstring& path, std::vector<BYTE>& descriptor) {
  DWORD size = 0;
  GetFileSecurityW(path.c_str(), kOwnerAndDacl, nullptr, 0, &size);
  if (!size) return false;
  descriptor.assign(size, 0);
  return GetFileSecurityW(path.c_str(), kOwnerAndDacl, descriptor.data(), size, &size) != FALSE;
}

bool ReadKeyDescriptor(HKEY key, std::vector<BYTE>& descriptor) {
  DWORD size = 0;
  RegGetKeySecurity(key, kOwnerAndDacl, nullptr, &size);
  if (!size) return false;
  descriptor.assign(size, 0);
  return RegGetKeySecurity(key, kOwnerAndDacl, descriptor.data(), &size) == ERROR_SUCCESS;
}

}  // namespace

bool FileStates::Add(const std::wstring& path) {
  Item item;
  item.path = path;
  item.attributes = GetFileAttributesW(path.c_str());
  if (item.attributes == INVALID_FILE_ATTRIBUTES || !ReadFileDescriptor(path, item.descriptor)) return false;
  items_.push_back(std::move(item));
  return true;
}

void FileStates::PutBack() const {
  RestorePrivilege privilege;
  for (auto item = items_.rbegin(); item != items_.rend(); ++item) {
    if (GetFileAttributesW(item->path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;  // it went after all
    // Attributes first: the list put back may take away the right to change them.
    SetFileAttributesW(item->path.c_str(), item->attributes);
    auto saved = const_cast<BYTE*>(item->descriptor.data());
    std::vector<BYTE> now;
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
    if (!ReadFileDescriptor(item->path, now) || !SameOwner(now.data(), saved)) what |= OWNER_SECURITY_INFORMATION;
    SetFileSecurityW(item->path.c_str(), what, saved);
  }
}

bool KeyStates::Add(HKEY root, const std::wstring& keyPath, REGSAM viewFlag) {
  for (const auto& item : items_) {
    if (item.root == root && item.viewFlag == viewFlag && platform::EqualsNoCase(item.keyPath, keyPath)) return true;
  }
  platform::UniqueRegKey key;
  if (RegOpenKeyExW(root, keyPath.c_str(), 0, READ_CONTROL | viewFlag, key.put()) != ERROR_SUCCESS) return false;
  Item item{root, keyPath, viewFlag, {}};
  if (!ReadKeyDescriptor(key.get(), item.descriptor)) return false;
  items_.push_back(std::move(item));
  return true;
}

void KeyStates::AddTree(HKEY root, const std::wstring& keyPath, REGSAM viewFlag) {
  Add(root, keyPath, viewFlag);
  std::vector<std::wstring> children;
  {
    platform::RegistryKey key;
    if (key.Open(root, keyPath, KEY_ENUMERATE_SUB_KEYS, static_cast<platform::RegistryView>(viewFlag)) != ERROR_SUCCESS)
      return;
    key.SubkeyNames(children);
  }
  for (const auto& child : children) AddTree(root, keyPath + L"\\" + child, viewFlag);
}

void KeyStates::PutBack() const {
  RestorePrivilege privilege;
  for (auto item = items_.rbegin(); item != items_.rend(); ++item) {
    // Owner first, while the widened list still lets us; then the list, which may shut us out.
    platform::UniqueRegKey key;
    if (RegOpenKeyExW(item->root, item->keyPath.c_str(), 0, READ_CONTROL | WRITE_DAC | WRITE_OWNER | item->viewFlag,
                      key.put()) != ERROR_SUCCESS &&
        RegOpenKeyExW(item->root, item->keyPath.c_str(), 0, READ_CONTROL | WRITE_DAC | item->viewFlag, key.put()) !=
            ERROR_SUCCESS)
      continue;  // gone, or out of reach
    auto saved = const_cast<BYTE*>(item->descriptor.data());
    std::vector<BYTE> now;
    if (!ReadKeyDescriptor(key.get(), now) || !SameOwner(now.data(), saved))
      RegSetKeySecurity(key.get(), OWNER_SECURITY_INFORMATION, saved);
    RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, saved);
  }
}

}  // namespace SavedSecurity
