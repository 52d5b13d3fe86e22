#include "platform/Registry.h"

#include <algorithm>
#include <cstring>

#include "platform/NativeSystem.h"

namespace platform {

RegistryView NativeView() { return WindowsIs64Bit() ? RegistryView::Bits64 : RegistryView::Own; }

LONG RegistryKey::Open(HKEY root, const std::wstring& path, REGSAM access, RegistryView view) {
  const LONG code = RegOpenKeyExW(root, path.c_str(), 0, access | static_cast<REGSAM>(view), key_.put());
  if (code != ERROR_SUCCESS) key_.release();  // whatever a failed call left there is no key
  return code;
}

LONG RegistryKey::Create(HKEY root, const std::wstring& path, REGSAM access, RegistryView view) {
  const LONG code = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    access | static_cast<REGSAM>(view), nullptr, key_.put(), nullptr);
  if (code != ERROR_SUCCESS) key_.release();
  return code;
}

LONG RegistryKey::ReadBytes(const std::wstring& name, DWORD& type, std::vector<BYTE>& bytes) const {
  DWORD size = 0;
  LONG code = RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, nullptr, &size);
  // A value that grows between the size and the read is asked for again.
  for (int attempt = 0; code == ERROR_SUCCESS && attempt < 4; ++attempt) {
    bytes.resize(size);
    code = RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, bytes.data(), &size);
    if (code == ERROR_SUCCESS) {
      bytes.resize(size);
      return code;
    }
    if (code == ERROR_MORE_DATA) code = ERROR_SUCCESS;
  }
  return code == ERROR_SUCCESS ? ERROR_MORE_DATA : code;
}

LONG RegistryKey::ReadText(const std::wstring& name, std::wstring& text, DWORD& type) const {
  std::vector<BYTE> bytes;
  const LONG code = ReadBytes(name, type, bytes);
  if (code != ERROR_SUCCESS) return code;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_UNSUPPORTED_TYPE;
  const auto* chars = reinterpret_cast<const wchar_t*>(bytes.data());
  const size_t count = bytes.size() / sizeof(wchar_t);
  text.assign(chars, std::find(chars, chars + count, L'\0'));
  return ERROR_SUCCESS;
}

LONG RegistryKey::ReadText(const std::wstring& name, std::wstring& text) const {
  DWORD type = REG_NONE;
  return ReadText(name, text, type);
}

LONG RegistryKey::ReadNumber(const std::wstring& name, DWORD& number) const {
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
  const LONG code = ReadBytes(name, type, bytes);
  if (code != ERROR_SUCCESS) return code;
  if (type != REG_DWORD) return ERROR_UNSUPPORTED_TYPE;
  if (bytes.size() != sizeof number) return ERROR_INVALID_DATA;
  std::memcpy(&number, bytes.data(), sizeof number);
  return ERROR_SUCCESS;
}

LONG RegistryKey::WriteText(const std::wstring& name, const std::wstring& text, DWORD type) {
  return WriteBytes(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

LONG RegistryKey::WriteNumber(const std::wstring& name, DWORD number) {
  return WriteBytes(name, REG_DWORD, &number, sizeof number);
}

LONG RegistryKey::WriteBytes(const std::wstring& name, DWORD type, const void* bytes, DWORD size) {
  return RegSetValueExW(key_.get(), name.c_str(), 0, type, static_cast<const BYTE*>(bytes), size);
}

LONG RegistryKey::DeleteValue(const std::wstring& name) { return RegDeleteValueW(key_.get(), name.c_str()); }

namespace {

// Lists names by index until Windows says there are no more; room is the longest name and its NUL.
template <typename Enumerate>
LONG ListNames(size_t room, Enumerate enumerate, std::vector<std::wstring>& names) {
  std::vector<wchar_t> name(room);
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    const LONG code = enumerate(index, name.data(), &length);
    if (code == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (code != ERROR_SUCCESS) return code;
    names.emplace_back(name.data(), length);
  }
}

}  // namespace

LONG RegistryKey::SubkeyNames(std::vector<std::wstring>& names) const {
  // Windows keeps key names to 255 characters; the room beyond is for a registry that does not.
  return ListNames(
      2048,
      [this](DWORD index, wchar_t* name, DWORD* length) {
        return RegEnumKeyExW(key_.get(), index, name, length, nullptr, nullptr, nullptr, nullptr);
      },
      names);
}

LONG RegistryKey::ValueNames(std::vector<std::wstring>& names) const {
  return ListNames(
      16384,  // the longest value name Windows allows
      [this](DWORD index, wchar_t* name, DWORD* length) {
        return RegEnumValueW(key_.get(), index, name, length, nullptr, nullptr, nullptr, nullptr);
      },
      names);
}

LONG RegistryKey::Close() { return key_.close(); }

std::wstring ReadRegistryText(HKEY root, const std::wstring& path, const std::wstring& name, RegistryView view) {
  RegistryKey key;
  std::wstring text;
  if (key.Open(root, path, KEY_QUERY_VALUE, view) != ERROR_SUCCESS || key.ReadText(name, text) != ERROR_SUCCESS)
    return {};
  return text;
}

}  // namespace platform
