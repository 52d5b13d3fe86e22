#include "engine/ClassBackup.h"

#include <windows.h>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/modRegistry.h"
#include "platform/Handle.h"
#include "platform/PrivateFolder.h"
#include "platform/Text.h"

namespace ClassBackup {

namespace {

constexpr wchar_t kLog[] = L"ClassBackup: ";
constexpr wchar_t kClassesRoot[] = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\";

std::wstring BackupKey() { return std::wstring(Product::kSettingsKey) + L"\\ClassBackups"; }
std::wstring ValueName(const std::wstring& classKeyName) { return platform::Lower(classKeyName); }

bool WriteBytes(const std::wstring& file, const void* bytes, DWORD size) {
  platform::UniqueFileHandle handle(
      CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return handle && WriteFile(handle.get(), bytes, size, &written, nullptr) && written == size;
}

// The text of a reg.exe export: UTF-16 with a byte-order mark, or ANSI.
std::wstring ReadText(const std::wstring& file) {
  platform::UniqueFileHandle handle(
      CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!handle) return {};
  std::string bytes;
  char buffer[8192];
  DWORD got = 0;
  while (ReadFile(handle.get(), buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / sizeof(wchar_t));
  return platform::FromAnsi(bytes);
}

}  // namespace

bool HoldsOnlyClassKeys(const std::wstring& regText, const std::wstring& classKeyName) {
  if (classKeyName.empty() || classKeyName.find_first_of(L"\\[]") != std::wstring::npos) return false;
  const std::wstring own = platform::Lower(kClassesRoot + classKeyName);
  bool header = false;
  bool inKey = false;
  for (std::wstring line : platform::Split(regText, L"\n")) {
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    const std::wstring text = platform::TrimLeft(line);
    if (text.empty() || text.front() == L';') continue;
    if (!header) {
      if (text != L"Windows Registry Editor Version 5.00" && text != L"REGEDIT4") return false;
      header = true;
      continue;
    }
    if (text.front() != L'[') {
      if (!inKey) return false;  // a value before any key would land wherever reg.exe pleases
      continue;
    }
    const std::wstring key = platform::Lower(platform::Trim(text));
    if (key.size() < 2 || key.back() != L']') return false;
    const std::wstring name = key.substr(1, key.size() - 2);  // a "[-..." delete line never matches
    if (name != own && !platform::StartsWith(name, own + L"\\")) return false;
    inKey = true;
  }
  return header && inKey;
}

bool ImportBytes(const void* bytes, size_t size) {
  platform::PrivateFolder work;
  if (!work.Ok()) {
    CommonModule::DPrint(std::wstring(kLog) + L"cannot make a private work folder");
    return false;
  }
  const std::wstring file = work.Path() + L"\\import.reg";
  if (!WriteBytes(file, bytes, static_cast<DWORD>(size))) {
    CommonModule::DPrint(std::wstring(kLog) + L"cannot write " + file);
    return false;
  }
  bool wait = true;
  return modRegistry::ImportRegFile(file, wait);
}

bool ImportText(const std::wstring& regText) {
  std::wstring withMark = L"\xFEFF" + regText;
  return ImportBytes(withMark.data(), withMark.size() * sizeof(wchar_t));
}

std::wstring StoredText(const std::wstring& classKeyName) {
  return modRegistry::ReadText(HKEY_LOCAL_MACHINE, BackupKey(), ValueName(classKeyName));
}

bool Exists(const std::wstring& classKeyName) { return !StoredText(classKeyName).empty(); }

bool Save(const std::wstring& classKeyName) {
  platform::PrivateFolder work;
  if (!work.Ok()) {
    CommonModule::DPrint(std::wstring(kLog) + L"cannot make a private work folder");
    return false;
  }
  const std::wstring file = work.Path() + L"\\backup.reg";
  if (!modRegistry::ExportRegKey(L"HKLM\\SOFTWARE\\Classes\\" + classKeyName, file)) return false;
  const std::wstring text = ReadText(file);
  if (!HoldsOnlyClassKeys(text, classKeyName)) {
    CommonModule::DPrint(std::wstring(kLog) + L"export of " + classKeyName + L" not kept: it names other keys");
    return false;
  }
  return modRegistry::fWriteValue(L"HKLM", BackupKey(), ValueName(classKeyName), L"S", Variant(text)) ==
         ERROR_SUCCESS;
}

bool Restore(const std::wstring& classKeyName) {
  const std::wstring text = StoredText(classKeyName);
  if (text.empty()) return false;
  if (!HoldsOnlyClassKeys(text, classKeyName)) {
    CommonModule::DPrint(std::wstring(kLog) + L"backup of " + classKeyName + L" refused: it names other keys");
    return false;
  }
  return ImportText(text);
}

}  // namespace ClassBackup
