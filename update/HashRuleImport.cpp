#include "update/HashRuleImport.h"

#include <windows.h>

#include <cstdint>
#include <cwctype>
#include <vector>

#include "common/CommonModule.h"
#include "platform/Handle.h"
#include "platform/Text.h"

namespace HashRuleImport {

namespace {

const std::wstring kHashesKey = L"SOFTWARE\\Policies\\Microsoft\\Windows\\safer\\codeidentifiers\\0\\Hashes";
const std::wstring kRootName = L"HKEY_LOCAL_MACHINE\\";

// The values a hash rule holds, by its key and by their registry type.
struct AllowedValue {
  const wchar_t* name;
  DWORD type;
  bool onRule;    // on the GUID key
  bool onSha256;  // on its SHA256 subkey
};
const AllowedValue kAllowed[] = {
    {L"LastModified", REG_QWORD, true, false}, {L"Description", REG_SZ, true, false},
    {L"FriendlyName", REG_SZ, true, false},    {L"SaferFlags", REG_DWORD, true, false},
    {L"ItemSize", REG_QWORD, true, false},     {L"ItemData", REG_BINARY, true, true},
    {L"HashAlg", REG_DWORD, true, true},
};

void Log(const std::wstring& what, const std::wstring& item) {
  CommonModule::DPrint(L"HashRuleImport\\ImportFile: ", what, item);
}

std::wstring DecodeText(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i)
      text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                     static_cast<unsigned char>(bytes[3 + 2 * i]) << 8);
    return text;
  }
  std::string body = bytes;
  if (body.size() >= 3 && body.compare(0, 3, "\xEF\xBB\xBF") == 0) return platform::FromUtf8(body.substr(3));
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, body.data(), static_cast<int>(body.size()), nullptr, 0) > 0)
    return platform::FromUtf8(body);
  return platform::FromAnsi(body);
}

// Logical lines: a line ending in "\" goes on in the next (long hex values).
std::vector<std::wstring> LogicalLines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::wstring current;
  bool continued = false;
  for (const std::wstring& raw : platform::Split(platform::ReplaceAll(text, L"\r\n", L"\n"), L"\n")) {
    std::wstring line = continued ? platform::Trim(raw) : platform::TrimRight(raw);
    current += line;
    continued = !current.empty() && current.back() == L'\\' && current.find(L'=') != std::wstring::npos &&
                current.front() != L'[';
    if (continued) {
      current.pop_back();
      continue;
    }
    lines.push_back(current);
    current.clear();
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

bool IsBracedGuid(const std::wstring& name) {
  if (name.size() != 38 || name.front() != L'{' || name.back() != L'}') return false;
  for (size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? name[i] != L'-' : !std::iswxdigit(name[i])) return false;
  }
  return true;
}

enum class KeyKind { Refused, HashesRoot, Rule, Sha256 };

// Where a key line points, and the key below HKLM it names.
KeyKind Classify(const std::wstring& fullName, std::wstring& subkey) {
  if (!platform::StartsWith(platform::Upper(fullName), platform::Upper(kRootName))) return KeyKind::Refused;
  subkey = fullName.substr(kRootName.size());
  const std::wstring upper = platform::Upper(subkey), hashes = platform::Upper(kHashesKey);
  if (upper == hashes) return KeyKind::HashesRoot;
  if (!platform::StartsWith(upper, hashes + L"\\")) return KeyKind::Refused;
  const std::vector<std::wstring> rest = platform::Split(subkey.substr(kHashesKey.size() + 1), L"\\");
  if (rest.empty() || !IsBracedGuid(rest[0])) return KeyKind::Refused;
  if (rest.size() == 1) return KeyKind::Rule;
  if (rest.size() == 2 && platform::Upper(rest[1]) == L"SHA256") return KeyKind::Sha256;
  return KeyKind::Refused;
}

bool ParseHexBytes(const std::wstring& text, std::vector<BYTE>& bytes) {
  bytes.clear();
  if (platform::Trim(text).empty()) return true;
  for (const std::wstring& piece : platform::Split(text, L",")) {
    const std::wstring hex = platform::Trim(piece);
    if (hex.empty() || hex.size() > 2 || hex.find_first_not_of(L"0123456789abcdefABCDEF") != std::wstring::npos)
      return false;
    bytes.push_back(static_cast<BYTE>(std::wcstoul(hex.c_str(), nullptr, 16)));
  }
  return true;
}

// "name"=data: the name, the type and the bytes to write; false when the line is no value line.
bool ParseValue(const std::wstring& line, std::wstring& name, DWORD& type, std::vector<BYTE>& data) {
  if (line.size() < 3 || line[0] != L'"') return false;
  size_t at = 1;
  for (; at < line.size() && line[at] != L'"'; ++at) {
    if (line[at] == L'\\' && at + 1 < line.size()) ++at;
    name += line[at];
  }
  if (at + 1 >= line.size() || line[at + 1] != L'=') return false;
  const std::wstring value = line.substr(at + 2);
  if (!value.empty() && value[0] == L'"') {
    if (value.size() < 2 || value.back() != L'"') return false;
    std::wstring text;
    for (size_t i = 1; i + 1 < value.size(); ++i) {
      if (value[i] == L'\\' && i + 2 < value.size()) ++i;
      text += value[i];
    }
    type = REG_SZ;
    const BYTE* raw = reinterpret_cast<const BYTE*>(text.c_str());
    data.assign(raw, raw + (text.size() + 1) * sizeof(wchar_t));
    return true;
  }
  const std::wstring lower = platform::Lower(value);
  if (platform::StartsWith(lower, L"dword:")) {
    const std::wstring hex = value.substr(6);
    if (hex.empty() || hex.size() > 8 || hex.find_first_not_of(L"0123456789abcdefABCDEF") != std::wstring::npos)
      return false;
    const DWORD number = static_cast<DWORD>(std::wcstoul(hex.c_str(), nullptr, 16));
    type = REG_DWORD;
    data.assign(reinterpret_cast<const BYTE*>(&number), reinterpret_cast<const BYTE*>(&number) + sizeof number);
    return true;
  }
  if (platform::StartsWith(lower, L"hex:")) {
    type = REG_BINARY;
    return ParseHexBytes(value.substr(4), data);
  }
  if (platform::StartsWith(lower, L"hex(b):")) {
    type = REG_QWORD;
    return ParseHexBytes(value.substr(7), data) && data.size() == 8;
  }
  type = REG_NONE;  // deletions ("=-") and every other type: no value a hash rule holds
  return true;
}

bool Allowed(KeyKind kind, const std::wstring& name, DWORD type, const std::vector<BYTE>& data) {
  for (const AllowedValue& a : kAllowed) {
    if (!platform::EqualsNoCase(name, a.name) || a.type != type) continue;
    if (!(kind == KeyKind::Rule ? a.onRule : kind == KeyKind::Sha256 && a.onSha256)) return false;
    if (platform::EqualsNoCase(name, L"ItemData")) return data.size() == (kind == KeyKind::Rule ? 16u : 32u) ||
                                                          (kind == KeyKind::Rule && data.size() == 20u);
    return true;
  }
  return false;
}

}  // namespace

Result ImportFile(const std::wstring& regFile) {
  Result result;
  platform::UniqueFileHandle file(CreateFileW(regFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string bytes;
  if (file) {
    char buffer[16384];
    DWORD got = 0;
    while (bytes.size() < (16u << 20) && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got)
      bytes.append(buffer, got);
  }
  const std::vector<std::wstring> lines = LogicalLines(DecodeText(bytes));
  size_t first = 0;
  while (first < lines.size() && platform::Trim(lines[first]).empty()) ++first;
  if (first == lines.size() ||
      (lines[first] != L"Windows Registry Editor Version 5.00" && lines[first] != L"REGEDIT4")) {
    Log(L"- Not a registry export: ", regFile);
    return result;
  }
  result.read = true;

  KeyKind kind = KeyKind::Refused;
  bool inKey = false;
  platform::UniqueRegKey key;
  for (size_t i = first + 1; i < lines.size(); ++i) {
    const std::wstring line = platform::Trim(lines[i]);
    if (line.empty() || line[0] == L';') continue;
    if (line.front() == L'[') {
      key.reset();
      inKey = true;
      std::wstring subkey;
      kind = line.size() > 2 && line.back() == L']' && line[1] != L'-'
                 ? Classify(line.substr(1, line.size() - 2), subkey)
                 : KeyKind::Refused;
      if (kind == KeyKind::Refused) {
        ++result.refused;
        Log(L"- Refused key: ", line);
        continue;
      }
      if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS) {
        result.failed = true;
        Log(L"- Cannot create key: ", line);
      }
      continue;
    }
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    const bool parsed = ParseValue(line, name, type, data);
    if (!inKey || !parsed || kind == KeyKind::Refused || kind == KeyKind::HashesRoot || !Allowed(kind, name, type, data)) {
      if (kind != KeyKind::Refused || !inKey) {
        ++result.refused;
        Log(L"- Refused value: ", line);
      }
      continue;
    }
    if (!key || RegSetValueExW(key.get(), name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())) !=
                    ERROR_SUCCESS) {
      result.failed = true;
      Log(L"- Cannot write value: ", line);
      continue;
    }
    ++result.written;
  }
  CommonModule::DPrint(L"HashRuleImport\\ImportFile: ", regFile, L"- values written:", result.written,
                       L"refused:", result.refused);
  return result;
}

}  // namespace HashRuleImport
