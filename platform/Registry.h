#pragma once
// The registry through typed calls: a key opened or created under a root in a chosen view, its
// values read and written as texts, numbers or bytes, its subkeys listed. Every call answers with
// the Windows error code: 0 success, 2 a missing key or value, 1630 (ERROR_UNSUPPORTED_TYPE) a
// value of another type than asked for, as RegGetValue answers, and so on.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Handle.h"

namespace platform {

// Which registry a key is looked up in. On 64-bit Windows each program sees the view of its own
// kind unless it names one; 32-bit Windows has one view and takes no flag.
enum class RegistryView : REGSAM {
  Own = 0,
  Bits64 = KEY_WOW64_64KEY,
  Bits32 = KEY_WOW64_32KEY,
};
// The machine's own view, whatever this program's kind: the 64-bit view on 64-bit Windows.
RegistryView NativeView();

class RegistryKey {
 public:
  // Opens an existing key with the access given (KEY_QUERY_VALUE, ...) in the view.
  LONG Open(HKEY root, const std::wstring& path, REGSAM access, RegistryView view);
  // Opens the key, creating it and the keys on its way that are missing.
  LONG Create(HKEY root, const std::wstring& path, REGSAM access, RegistryView view);

  // The value's type and bytes as stored, whatever the type.
  LONG ReadBytes(const std::wstring& name, DWORD& type, std::vector<BYTE>& bytes) const;
  // A REG_SZ or REG_EXPAND_SZ value (not expanded): its text up to the first NUL, or all of it
  // when it was stored without one; type tells which of the two types it was.
  LONG ReadText(const std::wstring& name, std::wstring& text, DWORD& type) const;
  LONG ReadText(const std::wstring& name, std::wstring& text) const;
  // A REG_DWORD value.
  LONG ReadNumber(const std::wstring& name, DWORD& number) const;

  // Stores the text and the NUL that ends it, as REG_SZ, REG_EXPAND_SZ or (a text of items each
  // followed by NUL) REG_MULTI_SZ.
  LONG WriteText(const std::wstring& name, const std::wstring& text, DWORD type = REG_SZ);
  LONG WriteNumber(const std::wstring& name, DWORD number);
  LONG WriteBytes(const std::wstring& name, DWORD type, const void* bytes, DWORD size);
  LONG DeleteValue(const std::wstring& name);

  // The names of the subkeys, in the order Windows lists them; 0 when every one was listed, else
  // the code that stopped the listing (the names listed before it stay).
  LONG SubkeyNames(std::vector<std::wstring>& names) const;
  // The names of the values, the same way.
  LONG ValueNames(std::vector<std::wstring>& names) const;

  // Closes the key at once: the close's own code.
  LONG Close();
  HKEY get() const { return key_.get(); }
  explicit operator bool() const { return static_cast<bool>(key_); }

 private:
  UniqueRegKey key_;
};

// One text value read whole: "" when the key or the value is missing or holds no text.
std::wstring ReadRegistryText(HKEY root, const std::wstring& path, const std::wstring& name,
                              RegistryView view = NativeView());

}  // namespace platform
