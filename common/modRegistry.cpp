#include "common/modRegistry.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "common/CommonModule.h"
#include "common/ErrorReport.h"
#include "common/SavedSecurity.h"
#include "common/SetPerm.h"
#include "common/modTakeOwn.h"
#include "platform/Handle.h"
#include "platform/NativeSystem.h"
#include "platform/ProcessAccount.h"
#include "platform/Procedure.h"
#include "platform/Registry.h"
#include "platform/SystemFolder.h"
#include "platform/Text.h"

namespace modRegistry {

namespace {

constexpr LONG kNothingAttempted = 99;

// A failure the module traps itself, numbered and worded as the rest of the library words them.
struct Trapped {
  long number = 0;
  const wchar_t* text = L"";
};
constexpr Trapped kOverflow{6, L"Overflow"};
constexpr Trapped kOutOfMemory{7, L"Out of memory"};
constexpr Trapped kTypeMismatch{13, L"Type mismatch"};

// A hive text that names one existing file that is neither hidden, system nor a folder.
bool IsNormalFile(const std::wstring& path) {
  // A pattern names no single file; the profile functions could not use it anyway.
  if (path.empty() || path.find_first_of(L"*?") != std::wstring::npos) return false;
  WIN32_FIND_DATAW data;
  platform::UniqueFindHandle find(FindFirstFileW(path.c_str(), &data));
  if (!find) return false;
  return !(data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The value as a whole number between low and high, or the failure a conversion meets.
bool ToNumber(const Variant& value, int32_t low, int32_t high, int32_t& number, Trapped& failure) {
  int64_t wide = 0;
  if (!value.ToLong(number)) {
    failure = value.IsText() && platform::ParseInt64(value.Text(), wide) ? kOverflow : kTypeMismatch;
    return false;
  }
  if (number < low || number > high) {
    failure = kOverflow;
    return false;
  }
  return true;
}

// The view a KeyView's flag names.
platform::RegistryView ViewOf(REGSAM viewFlag) { return static_cast<platform::RegistryView>(viewFlag); }

// The stored text with one terminator dropped: a value stored without it keeps its last character,
// a NUL inside stays.
std::wstring TextOf(const std::vector<BYTE>& data) {
  std::wstring chars(data.size() / sizeof(wchar_t), L'\0');
  std::memcpy(chars.data(), data.data(), chars.size() * sizeof(wchar_t));
  if (!chars.empty() && chars.back() == L'\0') chars.pop_back();
  return chars;
}

// "S" and "M": the stored text with its terminator dropped (a list keeps the NUL after its last
// item). Values of other types come as their bytes in the ANSI code page, less the last byte.
LONG QueryText(const platform::RegistryKey& key, const std::wstring& valueName, std::wstring& text) {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  const LONG code = key.ReadBytes(valueName, type, data);
  if (code != ERROR_SUCCESS) return code;
  if (data.empty())
    text.clear();
  else if (IsTextType(type))
    text = TextOf(data);
  else
    text = platform::FromAnsi(std::string(data.begin(), data.end() - 1));
  return ERROR_SUCCESS;
}

// Reads one value by type letter into result; result is untouched on failure and for letters
// that read nothing.
LONG QueryValue(const platform::RegistryKey& key, const std::wstring& valueName, const std::wstring& letter,
                Variant& result) {
  if (letter == L"S" || letter == L"M") {
    std::wstring text;
    LONG code = QueryText(key, valueName, text);
    if (code == ERROR_SUCCESS) result = text;
    return code;
  }
  if (letter == L"B" || letter == L"D") {
    // As read into a buffer of the type's size, whatever the stored type: a longer value fails with 234.
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    LONG code = key.ReadBytes(valueName, type, data);
    if (code != ERROR_SUCCESS) return code;
    if (data.size() > (letter == L"B" ? 2u : 4u)) return ERROR_MORE_DATA;
    BYTE bytes[4] = {};
    std::copy(data.begin(), data.end(), bytes);
    if (letter == L"D") {
      int32_t number = 0;
      std::memcpy(&number, bytes, sizeof number);
      result = number;
    } else {
      auto truth = static_cast<int16_t>(bytes[0] | (bytes[1] << 8));
      if (truth == 0 || truth == -1) result = truth == -1;
      else result = truth;  // neither True nor False: delivered as stored
    }
    return code;
  }
  return ERROR_SUCCESS;
}

// The list with the value appended as one more item; empty items of the stored list are dropped.
// The text ends with the NUL of the last item; the write adds the NUL that ends the list.
std::wstring AppendedList(const std::wstring& hive, const std::wstring& keyPath, const std::wstring& valueName,
                          const Variant& value) {
  Variant current;
  std::wstring list;
  if (fReadValue(hive, keyPath, valueName, L"M", std::wstring(), current) == ERROR_SUCCESS) {
    for (const auto& item : platform::Split(current.Text(), std::wstring(1, L'\0'))) {
      if (!item.empty()) list += item + L'\0';
    }
  }
  return list + value.Text() + L'\0';
}

// Stores the value by type letter; false with the failure when the value cannot be converted.
bool StoreValue(platform::RegistryKey& key, const std::wstring& hive, const std::wstring& keyPath,
                const std::wstring& valueName, const std::wstring& letter, const Variant& value, LONG& code,
                Trapped& failure) {
  code = ERROR_SUCCESS;
  if (letter == L"S") {
    code = key.WriteText(valueName, value.Text(), REG_SZ);
  } else if (letter == L"E") {
    code = key.WriteText(valueName, value.Text(), REG_EXPAND_SZ);
  } else if (letter == L"M") {
    code = key.WriteText(valueName, AppendedList(hive, keyPath, valueName, value), REG_MULTI_SZ);
  } else if (letter == L"D") {
    int32_t number = 0;
    if (!ToNumber(value, INT32_MIN, INT32_MAX, number, failure)) return false;
    code = key.WriteNumber(valueName, static_cast<DWORD>(number));
  } else if (letter == L"B") {
    // The counterpart of the "B" read: the truth value's 2 bytes.
    int32_t number = 0;
    if (!ToNumber(value, INT16_MIN, INT16_MAX, number, failure)) return false;
    const auto truth = static_cast<int16_t>(number);
    code = key.WriteBytes(valueName, REG_BINARY, &truth, sizeof truth);
  }
  return true;
}

void LogKeyAndValue(const std::wstring& hive, const std::wstring& keyPath, const std::wstring& valueName) {
  CommonModule::DPrint(L"\t- Passed Key: " + hive + L"\\" + keyPath);
  CommonModule::DPrint(L"\t- Passed Value: " + valueName);
}

void LogResultCode(LONG code) { CommonModule::DPrint(L"\t- lResult (0 is successful): " + std::to_wstring(code)); }

// A value whose name speaks of a password or secret (the stored mail password, scrambled or not)
// is never written to the debug log: only that it was read.
bool HoldsSecret(const std::wstring& valueName) {
  const std::wstring name = platform::Lower(valueName);
  for (const wchar_t* word : {L"pass", L"pwd", L"secret"}) {
    if (platform::Contains(name, word)) return true;
  }
  return false;
}

void LogRead(const std::wstring& hive, const std::wstring& keyPath, const std::wstring& valueName,
             const Variant& result, LONG code) {
  LogKeyAndValue(hive, keyPath, valueName);
  CommonModule::DPrint(HoldsSecret(valueName) ? std::wstring(L"\t- Returned Value: (read, not shown)")
                                              : L"\t- Returned Value: " + result.Text());
  LogResultCode(code);
}

void LogWriteFailure(const Trapped& failure, const std::wstring& hive, const std::wstring& keyPath,
                     const std::wstring& valueName, LONG code) {
  ReportTrappedError(L"modRegistry\\fWriteValue -", failure.number, failure.text);
  LogKeyAndValue(hive, keyPath, valueName);
  LogResultCode(code);
}

const struct {
  const wchar_t* name;
  HKEY root;
} kRoots[] = {
    {L"HKCU", HKEY_CURRENT_USER}, {L"HKLM", HKEY_LOCAL_MACHINE},   {L"HKU", HKEY_USERS},
    {L"HKDD", HKEY_DYN_DATA},     {L"HKCC", HKEY_CURRENT_CONFIG}, {L"HKCR", HKEY_CLASSES_ROOT},
};

// The hive text of a root, as the debug lines name it; null for a root without one.
const wchar_t* HiveName(HKEY root) {
  for (const auto& known : kRoots)
    if (known.root == root) return known.name;
  return nullptr;
}

// fReadValue's registry part: the value by type letter under the root that the hive text names.
LONG ReadFromKey(HKEY root, const std::wstring& hive, const std::wstring& keyPath, const std::wstring& valueName,
                 const std::wstring& letter, const Variant& defaultValue, Variant& result) {
  LONG code = kNothingAttempted;
  std::wstring openedPath = keyPath;
  try {
    KeyView view = KeyViewFor(keyPath);
    openedPath = view.keyPath;
    platform::RegistryKey key;
    code = key.Open(root, openedPath, KEY_QUERY_VALUE, ViewOf(view.viewFlag));
    if (code != ERROR_SUCCESS) return code;
    code = QueryValue(key, valueName, letter, result);
    if (code != ERROR_SUCCESS) {
      result = defaultValue;
      return code;
    }
    code = key.Close();
    CommonModule::DPrint(L"modRegistry\\fReadValue: ");
    LogRead(hive, openedPath, valueName, result, code);
    return code;
  } catch (const std::bad_alloc&) {
    result = defaultValue;
    if (code == ERROR_SUCCESS) code = ERROR_NOT_ENOUGH_MEMORY;
    ReportTrappedError(L"modRegistry\\fReadValue -", kOutOfMemory.number, kOutOfMemory.text);
    LogRead(hive, openedPath, valueName, result, code);
    return code;
  }
}

// One setting through fReadValue's registry road, under a root the debug lines can name.
Variant ReadSetting(HKEY root, const std::wstring& keyPath, const std::wstring& valueName, const wchar_t* letter,
                    const Variant& defaultValue) {
  Variant result = defaultValue;
  if (const wchar_t* hive = HiveName(root)) ReadFromKey(root, hive, keyPath, valueName, letter, defaultValue, result);
  return result;
}

}  // namespace

HKEY fTopKey(const std::wstring& hive) {
  try {
    std::wstring upper = platform::Upper(hive);
    for (const auto& root : kRoots) {
      if (upper == root.name) return root.root;
    }
    return IsNormalFile(hive) ? kIniHive : nullptr;
  } catch (const std::bad_alloc&) {
    ReportTrappedError(L"modRegistry\\fTopKey -", kOutOfMemory.number, kOutOfMemory.text);
    CommonModule::DPrint(L"\t- Passed: " + hive);
    CommonModule::DPrint(L"\t- Returned: 0");
    return nullptr;
  }
}

bool Is64BitRegistry() { return platform::WindowsIs64Bit(); }

KeyView KeyViewFor(const std::wstring& keyPath) { return KeyViewFor(keyPath, Is64BitRegistry()); }

KeyView KeyViewFor(const std::wstring& keyPath, bool windows64) {
  if (!windows64) return {keyPath, 0};
  std::wstring lower = platform::Lower(keyPath);
  if (platform::Contains(lower, L"wow6432node") && !platform::Contains(lower, L"guest_"))
    return {CommonModule::Strip(lower, L"wow6432node\\"), KEY_WOW64_32KEY};
  return {keyPath, KEY_WOW64_64KEY};
}

LONG fReadValue(const std::wstring& hive, const std::wstring& keyPath, const std::wstring& valueName,
                const std::wstring& type, const Variant& defaultValue, Variant& result) {
  result = defaultValue;
  HKEY root = nullptr;
  std::wstring letter;
  try {
    root = fTopKey(hive);
    if (!root) return kNothingAttempted;
    letter = platform::Upper(type);
    if (root == kIniHive) {
      // Only text lives in INI files; other letters leave the default.
      if (letter == L"S") {
        wchar_t buffer[255] = {};
        DWORD length = GetPrivateProfileStringW(keyPath.c_str(), valueName.c_str(), defaultValue.Text().c_str(),
                                                buffer, 255, hive.c_str());
        result = std::wstring(buffer, length);
      }
      return ERROR_SUCCESS;
    }
  } catch (const std::bad_alloc&) {
    result = defaultValue;
    ReportTrappedError(L"modRegistry\\fReadValue -", kOutOfMemory.number, kOutOfMemory.text);
    LogRead(hive, keyPath, valueName, result, kNothingAttempted);
    return kNothingAttempted;
  }
  return ReadFromKey(root, hive, keyPath, valueName, letter, defaultValue, result);
}

std::wstring ReadText(HKEY root, const std::wstring& keyPath, const std::wstring& valueName) {
  return ReadSetting(root, keyPath, valueName, L"S", Variant(L"")).Text();
}

int32_t ReadNumber(HKEY root, const std::wstring& keyPath, const std::wstring& valueName) {
  int32_t number = 0;
  return ReadSetting(root, keyPath, valueName, L"D", Variant(int32_t{0})).ToLong(number) ? number : 0;
}

LONG fWriteValue(const std::wstring& hive, const std::wstring& keyPath, const std::wstring& valueName,
                 const std::wstring& type, const Variant& value) {
  LONG code = kNothingAttempted;
  Trapped failure;  // number 0: a failure without a trapped error
  try {
    HKEY root = fTopKey(hive);
    std::wstring letter = platform::Upper(type);
    if (root == kIniHive) {
      if (letter == L"S") {
        if (WritePrivateProfileStringW(keyPath.c_str(), valueName.c_str(), value.Text().c_str(), hive.c_str()))
          return ERROR_SUCCESS;
        // A read-only or locked file keeps its old text: the caller must not take it as written.
        code = static_cast<LONG>(GetLastError());
        if (code == ERROR_SUCCESS) code = ERROR_WRITE_FAULT;
      }
    } else if (root) {
      // Writes take the 64-bit view on 64-bit Windows, whatever the path.
      platform::RegistryKey key;
      code = key.Create(root, keyPath, KEY_CREATE_SUB_KEY | KEY_SET_VALUE, platform::NativeView());
      if (code == ERROR_SUCCESS) {
        if (!StoreValue(key, hive, keyPath, valueName, letter, value, code, failure)) {
          // Nothing was stored: that must not read as success.
          code = ERROR_INVALID_DATA;
        } else if (code != ERROR_SUCCESS) {
          CommonModule::DPrint(L"modRegistry\\fWriteValue: ");
          LogKeyAndValue(hive, keyPath, valueName);
          LogResultCode(code);
          return code;
        } else {
          return key.Close();
        }
      }
    }
  } catch (const std::bad_alloc&) {
    failure = kOutOfMemory;
    if (code == ERROR_SUCCESS) code = ERROR_NOT_ENOUGH_MEMORY;
  }
  LogWriteFailure(failure, hive, keyPath, valueName, code);
  return code;
}

}  // namespace modRegistry

// ---- Key operations --------------------------------------------------------------------------

namespace modRegistry {

namespace {

constexpr wchar_t kQuote = L'"';

std::wstring Quoted(const std::wstring& text) { return kQuote + text + kQuote; }

void LogDeleteResult(LONG code) {
  if (code == ERROR_SUCCESS) CommonModule::DPrint(L"\t- lResult: 0 SUCCESS");
  else if (code == ERROR_FILE_NOT_FOUND) CommonModule::DPrint(L"\t- lResult: 2 NOT FOUND");
  else CommonModule::DPrint(L"\t- lResult (0=Success 2=Not Found): " + std::to_wstring(code));
}

void LogEnum(const std::wstring& hive, const std::wstring& keyPath, const std::wstring& names, LONG lastCode) {
  CommonModule::DPrint(L"\t- Passed Key: " + hive + L"\\" + keyPath);
  CommonModule::DPrint(L"\t- Returned Values: " + platform::ReplaceAll(names, std::wstring(1, L'\0'), L"|"));
  CommonModule::DPrint(L"\t- lResult (0 is successful): " + std::to_wstring(lastCode));
}

void LogOutOfMemory(const wchar_t* where) { ReportTrappedError(where, kOutOfMemory.number, kOutOfMemory.text); }

// Deletes a subkey that has none of its own, in the view the parent was opened in.
LONG DeleteChildKey(HKEY parent, const std::wstring& name, REGSAM viewFlag) {
  using DeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
  // Not on 32-bit XP, where there is only one view anyway.
  static const auto deleteKeyEx = platform::GetLoadedProcedure<DeleteKeyExFn>(L"advapi32.dll", "RegDeleteKeyExW");
  if (deleteKeyEx && viewFlag) return deleteKeyEx(parent, name.c_str(), viewFlag, 0);
  return RegDeleteKeyW(parent, name.c_str());
}

// Runs DelReg.exe from the program folder as SYSTEM, when it is there. Its effect is judged by
// the caller's next look at the registry.
void DelRegAsSystem(const std::wstring& parameter) {
  const std::wstring program = CommonModule::AppPath() + L"DelReg.exe";
  if (!CommonModule::DoesFileExist(program)) return;
  CommonModule::ShellXAsSystem(program, CommonModule::QuoteArgument(parameter), L"True");
}

// subinacl's name of a root for the value delete; empty for a hive it is not used with.
std::wstring SubinaclRoot(const std::wstring& hive) {
  const std::wstring lower = platform::Lower(hive);
  if (lower == L"hklm") return L"hkey_local_machine\\";
  if (lower == L"hkcu") return L"hkey_current_user\\";
  if (lower == L"hku") return L"hkey_users\\";
  if (lower == L"hkcr") return L"hkey_classes_root\\";
  return {};
}

// Ownership and rights on a key whose value would not go: subinacl when it lies beside the
// program, then the key's own list.
void WidenValueKeyRights(const std::wstring& hive, const std::wstring& keyPath, const KeyView& view) {
  const std::wstring root = SubinaclRoot(hive);
  const std::wstring subinacl = CommonModule::AppPath() + L"subinacl.exe";
  if (root.empty()) {
    CommonModule::DPrint(L"modRegistry\\fDeleteValue:  TopKeys supported: HKLM, HKCU, HKU, HKCR");
    CommonModule::DPrint(L"\t- Passed: " + hive);
    CommonModule::DPrint(L"\tThere may be an error in code.");
  } else if (CommonModule::DoesFileExist(subinacl)) {
    // The account this program runs as, from its token.
    const std::wstring account = platform::ProcessAccountName();
    const std::wstring start = Quoted(subinacl) + L" /subkeyreg " + Quoted(root + keyPath) + L" ";
    for (const std::wstring& action : {L"/setowner=" + account, L"/sgrant=" + account + L"=F",
                                       L"/grant=" + account + L"=F"}) {
      std::wstring message;
      CommonModule::ShellAndWaitForTermination(start + CommonModule::QuoteArgument(action), SW_HIDE, message,
                                               CommonModule::kNoTimeLimit, false);
    }
  }
  SetPerm::GetRegKeyPermissions(hive, view.keyPath, view.viewFlag);
}

LONG DeleteValueOnce(HKEY root, const KeyView& view, const std::wstring& valueName) {
  platform::RegistryKey key;
  LONG code = key.Open(root, view.keyPath, KEY_SET_VALUE, ViewOf(view.viewFlag));
  if (code == ERROR_SUCCESS) code = key.DeleteValue(valueName);
  return code;
}

// One attempt at a key and its subtree; the parent is opened in the view given. With saved, the
// rights of each subkey are widened before it is entered, and taken down first.
LONG DeleteKeyOnce(HKEY root, const KeyView& parentView, const std::wstring& name, const std::wstring& hive,
                   SavedSecurity::KeyStates* saved) {
  platform::RegistryKey parent;
  LONG code = parent.Open(root, parentView.keyPath, KEY_CREATE_SUB_KEY, ViewOf(parentView.viewFlag));
  if (code != ERROR_SUCCESS) return code;
  fDeleteSubkeys(root, parentView.keyPath + L"\\" + name, hive, parentView.viewFlag, saved != nullptr, saved);
  return DeleteChildKey(parent.get(), name, parentView.viewFlag);
}

void LogValueFailure(const Trapped& failure, const std::wstring& hive, const std::wstring& keyPath,
                     const std::wstring& valueName, LONG code) {
  ReportTrappedError(L"modRegistry\\fDeleteValue -", failure.number, failure.text);
  CommonModule::DPrint(L"\t- Key: " + hive + L"\\" + keyPath);
  CommonModule::DPrint(L"\t- Value: " + valueName);
  CommonModule::DPrint(L"\t- lResult (0=Success 2=Not Found): " + std::to_wstring(code));
}

void LogKeyFailure(const Trapped& failure, const std::wstring& fullName, LONG code) {
  ReportTrappedError(L"modRegistry\\fDeleteKey -", failure.number, failure.text);
  CommonModule::DPrint(L"\t- Key: " + fullName);
  CommonModule::DPrint(L"\t- lResult (0=Success 2=Not Found): " + std::to_wstring(code));
}

}  // namespace

bool ExportRegKey(const std::wstring& key, const std::wstring& targetFile) {
  try {
    // reg.exe takes both as quoted arguments; a quote inside either would end its argument early.
    if (key.find(kQuote) != std::wstring::npos || targetFile.find(kQuote) != std::wstring::npos) return false;
    // The export runs without an overwrite switch, so an old file must go first: reg.exe would
    // otherwise wait for an answer nobody gives, and the old file would pass for the export.
    if (CommonModule::DoesFileExist(targetFile)) {
      SetFileAttributesW(targetFile.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(targetFile.c_str());
      if (CommonModule::DoesFileExist(targetFile)) {
        CommonModule::DPrint(L"modRegistry\\ExportRegKey:  cannot replace " + targetFile);
        return false;
      }
    }
    int32_t exitCode = -1;
    const bool ended = CommonModule::ShellX(platform::SystemTool(L"reg.exe"), L"export " + Quoted(key) + L" " + Quoted(targetFile), true,
                                            SW_HIDE, exitCode, false, false, CommonModule::kNoTimeLimit);
    if (!ended || exitCode != 0) {
      // A file an unfinished or failed export left is no copy of the key.
      DeleteFileW(targetFile.c_str());
      return false;
    }
    return CommonModule::DoesFileExist(targetFile);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool ImportRegFile(const std::wstring& regFile, bool wait) {
  try {
    if (regFile.find(kQuote) != std::wstring::npos) return false;
    int32_t exitCode = -1;
    const bool ended = CommonModule::ShellX(platform::SystemTool(L"reg.exe"),
                                            L"import " + Quoted(regFile), wait, SW_HIDE, exitCode, false, false,
                                            CommonModule::kNoTimeLimit);
    if (!wait) return ended;
    // An import still running at the limit, or one reg.exe refused, has not happened.
    if (ended && exitCode == 0) return true;
    CommonModule::DPrint(L"modRegistry\\ImportRegFile:  not imported (exit code " + std::to_wstring(exitCode) +
                         L"): " + regFile);
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

LONG fEnumKey(const std::wstring& hive, const std::wstring& keyPath, std::wstring& names) {
  LONG last = kNothingAttempted;
  try {
    HKEY root = fTopKey(hive);
    LONG code = kNothingAttempted;
    platform::RegistryKey key;
    if (root && root != kIniHive) {
      KeyView view = KeyViewFor(keyPath);
      code = key.Open(root, view.keyPath, KEY_ENUMERATE_SUB_KEYS, ViewOf(view.viewFlag));
    }
    if (code != ERROR_SUCCESS) {
      if (!names.empty()) names += L'\0';
      return code;
    }
    // Names are taken exactly as stored: a blank at either end belongs to the name.
    std::vector<std::wstring> listed;
    const LONG listing = key.SubkeyNames(listed);
    last = listing == ERROR_SUCCESS ? ERROR_NO_MORE_ITEMS : listing;  // the code that ended the listing
    for (const std::wstring& name : listed) {
      names += name;
      names += L'\0';
    }
    names += L'\0';
    if (names.size() == 1) names += L'\0';
    code = key.Close();
    CommonModule::DPrint(L"modRegistry\\fEnumKey: ");
    LogEnum(hive, keyPath, names, last);
    return code;
  } catch (const std::bad_alloc&) {
    LogOutOfMemory(L"modRegistry\\fEnumKey -");
    LogEnum(hive, keyPath, names, last);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

LONG fDeleteValue(const std::wstring& hive, const std::wstring& keyPath, const std::wstring& valueName,
                  bool& notFound) {
  LONG code = kNothingAttempted;
  try {
    HKEY root = fTopKey(hive);
    if (!root) {
      LogValueFailure(Trapped{}, hive, keyPath, valueName, code);
      return code;
    }
    LONG returned = ERROR_SUCCESS;
    if (root == kIniHive) {
      // The key stays, empty: the profile functions have no delete that leaves the rest alone.
      code = WritePrivateProfileStringW(keyPath.c_str(), valueName.c_str(), L"", hive.c_str()) ? ERROR_SUCCESS
                                                                                               : GetLastError();
      returned = code;
    } else {
      const KeyView view = KeyViewFor(keyPath);
      SavedSecurity::KeyStates before;
      for (bool secondRun = false;; secondRun = true) {
        code = DeleteValueOnce(root, view, valueName);
        if (code == ERROR_SUCCESS || code == ERROR_FILE_NOT_FOUND) {
          returned = ERROR_SUCCESS;
          break;
        }
        returned = code;
        // Only a refusal of rights is worth widening rights for.
        if (secondRun || !SavedSecurity::IsRefusalOfRights(code)) break;
        before.AddTree(root, view.keyPath, view.viewFlag);
        WidenValueKeyRights(hive, keyPath, view);
        DelRegAsSystem(L"value=" + hive + L"," + keyPath + L"," + valueName);
      }
      // The value stayed: the key gets back the owner and rights it had.
      if (returned != ERROR_SUCCESS) before.PutBack();
    }
    if (code == ERROR_FILE_NOT_FOUND) notFound = true;
    CommonModule::DPrint(L"modRegistry\\fDeleteValue:");
    CommonModule::DPrint(L"\t- Passed Key: " + hive + L"\\" + keyPath);
    CommonModule::DPrint(L"\t- Passed Value: " + valueName);
    LogDeleteResult(code);
    return returned;
  } catch (const std::bad_alloc&) {
    if (code == ERROR_SUCCESS) code = ERROR_NOT_ENOUGH_MEMORY;
    LogValueFailure(kOutOfMemory, hive, keyPath, valueName, code);
    return code;
  }
}

LONG fDeleteKey(const std::wstring& hive, const std::wstring& parentPath, const std::wstring& name, bool& notFound) {
  LONG code = kNothingAttempted;
  std::wstring fullName;
  try {
    // Logs and the outside tools name the key as the caller did: the path through wow6432node
    // is what addresses the 32-bit key from outside this process.
    fullName = hive + L"\\" + parentPath + L"\\" + name;
    HKEY root = fTopKey(hive);
    if (!root || root == kIniHive) {
      LogKeyFailure(Trapped{}, fullName, code);
      return code;
    }
    const std::wstring keyPath = parentPath + L"\\" + name;
    const KeyView parentView = KeyViewFor(parentPath);
    LONG returned = ERROR_SUCCESS;
    SavedSecurity::KeyStates before;
    bool refusedRights = false;
    for (bool secondRun = false;; secondRun = true) {
      if (secondRun) {
        before.AddTree(root, parentView.keyPath + L"\\" + name, parentView.viewFlag);
        std::wstring owner;
        std::wstring grantee;
        modTakeOwn::TakeOwnRegKey(hive, keyPath, owner, grantee);
        SetPerm::GetRegKeyPermissions(hive, parentView.keyPath + L"\\" + name, parentView.viewFlag);
      }
      code = DeleteKeyOnce(root, parentView, name, hive, secondRun ? &before : nullptr);
      if (code == ERROR_SUCCESS || code == ERROR_FILE_NOT_FOUND) {
        returned = ERROR_SUCCESS;
        break;
      }
      returned = code;
      CommonModule::DPrint(L"modRegistry\\fDeleteKey - Error:  " + std::to_wstring(code));
      CommonModule::DPrint(L"\tKey:  " + fullName);
      if (!secondRun) refusedRights = SavedSecurity::IsRefusalOfRights(code);
      if (secondRun || !refusedRights) break;
      CommonModule::DPrint(L"\t- Attempting second run using subinacl...");
    }

    if (returned != ERROR_SUCCESS && refusedRights) {
      CommonModule::DPrint(L"modRegistry\\fDeleteKey:  Still not working, attempting deletion with reg.exe");
      CommonModule::DPrint(L"\tcmd:  reg.exe delete " + Quoted(fullName) + L" /f");
      int32_t exitCode = 0;
      CommonModule::ShellX(L"reg.exe", L"DELETE " + Quoted(fullName) + L" /f", true, SW_HIDE, exitCode, false, false,
                           CommonModule::kNoTimeLimit);
      DelRegAsSystem(L"key=" + hive + L"," + parentPath + L"," + name);
      std::wstring names;
      if (fEnumKey(hive, keyPath, names) == ERROR_FILE_NOT_FOUND) {
        code = ERROR_FILE_NOT_FOUND;
        returned = ERROR_SUCCESS;  // an outside tool removed it
      }
    }
    // The key outlived every attempt: what is left of it gets back its owners and rights.
    if (returned != ERROR_SUCCESS) before.PutBack();
    if (code == ERROR_FILE_NOT_FOUND) notFound = true;
    CommonModule::DPrint(L"modRegistry\\fDeleteKey: ");
    CommonModule::DPrint(L"\t- Key: " + fullName);
    // A key that outlived every attempt is reported with the code that refused it.
    LogDeleteResult(returned != ERROR_SUCCESS ? returned : code);
    return returned;
  } catch (const std::bad_alloc&) {
    if (code == ERROR_SUCCESS) code = ERROR_NOT_ENOUGH_MEMORY;
    LogKeyFailure(kOutOfMemory, fullName, code);
    return code;
  }
}

void fDeleteSubkeys(HKEY root, const std::wstring& keyPath, const std::wstring& hive, REGSAM viewFlag,
                    bool grantRights, SavedSecurity::KeyStates* saved) {
  try {
    CommonModule::DPrint(L"modRegistry\\fDeleteSubkeys passed: " + hive + L"\\" + keyPath);
    platform::RegistryKey key;
    if (key.Open(root, keyPath, KEY_ALL_ACCESS, ViewOf(viewFlag)) != ERROR_SUCCESS) {
      CommonModule::DPrint(L"modRegistry\\fDeleteSubkeys: Error opening key: " + keyPath);
      return;
    }
    // All names first: deleting while enumerating would shift the indexes.
    std::vector<std::wstring> names;
    key.SubkeyNames(names);
    for (const auto& child : names) {
      const std::wstring childPath = keyPath + L"\\" + child;
      if (grantRights) {
        if (saved) saved->Add(root, childPath, viewFlag);
        SetPerm::GetRegKeyPermissions(hive, childPath, viewFlag);
      }
      fDeleteSubkeys(root, childPath, hive, viewFlag, grantRights, saved);
      DeleteChildKey(key.get(), child, viewFlag);
    }
  } catch (const std::bad_alloc&) {
    LogOutOfMemory(L"modRegistry\\fDeleteSubkeys -");
    CommonModule::DPrint(L"\t- Key: " + hive + L"\\" + keyPath);
  }
}

}  // namespace modRegistry
