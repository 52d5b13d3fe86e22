#include "tests/support/MailPasswordChecks.h"

#include <gtest/gtest.h>
#include <wincrypt.h>
#include <sddl.h>

#include "platform/Handle.h"
#include "platform/Text.h"
#include "tests/support/AccessCheck.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

namespace testsupport {
namespace {

std::vector<BYTE> KeySecurity(const std::wstring& key) {
  platform::UniqueRegKey k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, READ_CONTROL | KEY_WOW64_64KEY, k.put()) != ERROR_SUCCESS)
    return {};
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  RegGetKeySecurity(k.get(), what, nullptr, &size);
  std::vector<BYTE> descriptor(size);
  if (size == 0 || RegGetKeySecurity(k.get(), what, descriptor.data(), &size) != ERROR_SUCCESS) return {};
  return descriptor;
}

std::string Sddl(std::vector<BYTE>& descriptor) {
  wchar_t* text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor.data(), SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr))
    return "?";
  const std::string shown = platform::ToUtf8(text);
  LocalFree(text);
  return shown;
}

void Walk(const std::wstring& key, HANDLE user, const std::vector<std::string>& forms) {
  std::vector<BYTE> descriptor = KeySecurity(key);
  ASSERT_FALSE(descriptor.empty()) << platform::ToUtf8(key);
  if (Granted(user, descriptor.data(), KEY_QUERY_VALUE, kKeyMapping)) {
    platform::UniqueRegKey k;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, k.put()),
              ERROR_SUCCESS);
    for (DWORD i = 0;; ++i) {
      wchar_t name[16384];
      DWORD nameSize = 16384, type = 0, dataSize = 0;
      if (RegEnumValueW(k.get(), i, name, &nameSize, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS) break;
      std::vector<BYTE> data(dataSize);
      nameSize = 16384;
      ASSERT_EQ(RegEnumValueW(k.get(), i, name, &nameSize, nullptr, &type, data.data(), &dataSize), ERROR_SUCCESS);
      const std::string bytes(data.begin(), data.begin() + dataSize);
      const std::string nameBytes(reinterpret_cast<const char*>(name), nameSize * sizeof(wchar_t));
      for (const std::string& form : forms) {
        EXPECT_EQ(bytes.find(form), std::string::npos)
            << "the value " << platform::ToUtf8(key + L"\\" + name) << ", readable by users, holds the password";
        EXPECT_EQ(nameBytes.find(form), std::string::npos) << platform::ToUtf8(key);
      }
    }
  }
  // Every key is looked at, whatever its parent's rights: a key can be opened by name without
  // listing the key above it.
  for (const std::wstring& sub : RegSubkeys(HKEY_LOCAL_MACHINE, key)) Walk(key + L"\\" + sub, user, forms);
}

}  // namespace

bool StoredMailPassword(std::wstring& password) {
  DWORD type = 0;
  std::vector<BYTE> sealed;
  if (!RegReadRaw(HKEY_LOCAL_MACHINE, kEmailPasswordKey, kEmailPasswordValue, type, sealed) || type != REG_BINARY)
    return false;
  DATA_BLOB in{static_cast<DWORD>(sealed.size()), sealed.data()}, out{};
  if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) return false;
  password.assign(reinterpret_cast<const wchar_t*>(out.pbData), out.cbData / sizeof(wchar_t));
  LocalFree(out.pbData);
  return true;
}

void ExpectPasswordKeyClosedToUsers() {
  std::vector<BYTE> descriptor = KeySecurity(kEmailPasswordKey);
  ASSERT_FALSE(descriptor.empty()) << "the protected key is missing";
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.data(), &control, &revision));
  SCOPED_TRACE("the key's rights: " + Sddl(descriptor));
  EXPECT_TRUE(control & SE_DACL_PROTECTED) << "the key's rights must not come from its parent";
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted));
  EXPECT_TRUE(present && dacl) << "a key without an access list is open to everyone";

  const auto user = TestToken(true);
  const auto admin = TestToken(false);
  ASSERT_TRUE(user && admin);
  const struct {
    const char* name;
    DWORD access;
  } rights[] = {
      {"read a value", KEY_QUERY_VALUE}, {"list the values and subkeys", KEY_ENUMERATE_SUB_KEYS},
      {"set a value", KEY_SET_VALUE},    {"make a subkey", KEY_CREATE_SUB_KEY},
      {"read the rights", READ_CONTROL}, {"change the rights", WRITE_DAC},
      {"take the key over", WRITE_OWNER}, {"delete the key", DELETE},
      {"be told of changes", KEY_NOTIFY},
  };
  for (const auto& r : rights) {
    SCOPED_TRACE(r.name);
    EXPECT_FALSE(Granted(user.get(), descriptor.data(), r.access, kKeyMapping)) << "a standard user may";
    EXPECT_TRUE(Granted(admin.get(), descriptor.data(), r.access, kKeyMapping)) << "administrators keep full control";
  }
}

std::vector<std::string> TextForms(const std::wstring& text) {
  return {std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)),
          platform::ToUtf8(text)};
}

void ExpectNoUserReadableValueHolds(const std::vector<std::string>& forms) {
  const auto user = TestToken(true);
  ASSERT_TRUE(user);
  Walk(kMakerKey, user.get(), forms);
}

}  // namespace testsupport
