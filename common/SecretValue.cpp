#include "common/SecretValue.h"

#include <windows.h>
#include <sddl.h>
#include <wincrypt.h>

#include <vector>

#include "common/modRegistry.h"
#include "platform/CryptHandle.h"
#include "platform/Handle.h"

namespace SecretValue {
namespace {

REGSAM View() { return modRegistry::Is64BitRegistry() ? KEY_WOW64_64KEY : 0; }

// The owner too: an owner may always read and change the rights, whatever they say.
bool GiveRights(HKEY key, PSECURITY_DESCRIPTOR descriptor) {
  return RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
}

}  // namespace

bool Write(const std::wstring& keyPath, const std::wstring& valueName, const std::wstring& secret) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kRights, SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  const platform::UniqueLocal descriptorOwned(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  platform::UniqueRegKey key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE | KEY_QUERY_VALUE | READ_CONTROL | WRITE_DAC | WRITE_OWNER | View(), &attributes, key.put(),
                      nullptr) != ERROR_SUCCESS)
    return false;
  // A key that was there before keeps no rights of its own: whoever could read it must not.
  if (!GiveRights(key.get(), descriptor)) return false;

  DATA_BLOB clear{static_cast<DWORD>(secret.size() * sizeof(wchar_t)),
                  reinterpret_cast<BYTE*>(const_cast<wchar_t*>(secret.data()))};
  platform::WipedDataBlob sealed;
  if (!CryptProtectData(&clear, nullptr, nullptr, nullptr, nullptr,
                        CRYPTPROTECT_LOCAL_MACHINE | CRYPTPROTECT_UI_FORBIDDEN, sealed.put()))
    return false;
  return RegSetValueExW(key.get(), valueName.c_str(), 0, REG_BINARY, sealed.data(), sealed.size()) == ERROR_SUCCESS;
}

ReadResult Read(const std::wstring& keyPath, const std::wstring& valueName, std::wstring& secret) {
  platform::UniqueRegKey key;
  const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE | View(), key.put());
  if (opened == ERROR_FILE_NOT_FOUND) return ReadResult::Missing;
  if (opened != ERROR_SUCCESS) return ReadResult::Unreadable;
  DWORD type = 0, size = 0;
  LONG queried = RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size);
  if (queried == ERROR_FILE_NOT_FOUND) return ReadResult::Missing;
  // Far more than any password needs: a value grown beyond it is no secret of ours.
  constexpr DWORD kMaxSealed = 64 * 1024;
  if (queried != ERROR_SUCCESS || type != REG_BINARY || size == 0 || size > kMaxSealed) return ReadResult::Unreadable;
  std::vector<BYTE> bytes(size);
  if (RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, bytes.data(), &size) != ERROR_SUCCESS ||
      type != REG_BINARY)
    return ReadResult::Unreadable;
  DATA_BLOB sealed{size, bytes.data()};
  platform::WipedDataBlob clear;
  if (!CryptUnprotectData(&sealed, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, clear.put()) ||
      clear.size() % sizeof(wchar_t) != 0)
    return ReadResult::Unreadable;
  secret.assign(reinterpret_cast<const wchar_t*>(clear.data()), clear.size() / sizeof(wchar_t));
  return ReadResult::Found;
}

}  // namespace SecretValue
