#pragma once
// Helpers shared by the tests of the key operations, key access lists and ownership procedures:
// scratch keys under HKLM, access lists written and read as SDDL, and the probe program run
// from a scratch folder beside recording fakes of subinacl.exe, DelReg.exe and psexec.exe.
#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/Handle.h"
#include "platform/ProcessAccount.h"
#include "platform/Text.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

namespace keyopstest {

// The SID this process runs as, as text ("S-1-5-21-...").
inline std::wstring CurrentUserSid() {
  platform::UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (!size || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return {};
  platform::UniqueLocal owner(text);
  return text;
}

// Every "USER" in an SDDL text replaced by the SID of this process's account.
inline std::wstring WithUser(const std::wstring& sddl) { return platform::ReplaceAll(sddl, L"USER", CurrentUserSid()); }

// Sets the key's DACL from SDDL ("USER" stands for this process's account).
inline bool SetKeyDacl(HKEY root, const std::wstring& path, const std::wstring& sddl, REGSAM view = KEY_WOW64_64KEY) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(WithUser(sddl).c_str(), SDDL_REVISION_1, &raw, nullptr))
    return false;
  platform::UniqueLocal descriptor(raw);
  platform::UniqueRegKey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, WRITE_DAC | view, key.put()) != ERROR_SUCCESS) return false;
  return RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor.get()) == ERROR_SUCCESS;
}

// A DACL in SDDL as the system writes it back ("USER" for this process's SID), so that lists
// can be compared as text.
inline std::wstring SddlOf(PSECURITY_DESCRIPTOR descriptor) {
  wchar_t* text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                            &text, nullptr))
    return {};
  platform::UniqueLocal owner(text);
  return platform::ReplaceAll(text, CurrentUserSid(), L"USER");
}
inline std::wstring NormalDacl(const std::wstring& sddl) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(WithUser(sddl).c_str(), SDDL_REVISION_1, &raw, nullptr))
    return L"(bad SDDL)";
  platform::UniqueLocal descriptor(raw);
  return SddlOf(raw);
}

// One part of the key's security descriptor as SDDL ("USER" for this process's SID); empty when
// it cannot be read.
inline std::wstring KeySecurityPart(HKEY root, const std::wstring& path, SECURITY_INFORMATION part, REGSAM view) {
  platform::UniqueRegKey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, READ_CONTROL | view, key.put()) != ERROR_SUCCESS) return {};
  DWORD size = 0;
  RegGetKeySecurity(key.get(), part, nullptr, &size);
  std::vector<BYTE> descriptor(size);
  if (!size || RegGetKeySecurity(key.get(), part, descriptor.data(), &size) != ERROR_SUCCESS) return {};
  wchar_t* text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1, part, &text, nullptr))
    return {};
  platform::UniqueLocal owner(text);
  return platform::ReplaceAll(text, CurrentUserSid(), L"USER");
}

// The key's DACL and its control marks, as NormalDacl gives them; empty when it cannot be read.
inline std::wstring KeyDacl(HKEY root, const std::wstring& path, REGSAM view = KEY_WOW64_64KEY) {
  return KeySecurityPart(root, path, DACL_SECURITY_INFORMATION, view);
}

// The key's owner ("O:..."); empty when it cannot be read.
inline std::wstring KeyOwner(HKEY root, const std::wstring& path, REGSAM view = KEY_WOW64_64KEY) {
  return KeySecurityPart(root, path, OWNER_SECURITY_INFORMATION, view);
}

inline bool CreateKey(HKEY root, const std::wstring& path, REGSAM view = KEY_WOW64_64KEY) {
  platform::UniqueRegKey key;
  return RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.put(), nullptr) ==
         ERROR_SUCCESS;
}

inline bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = KEY_WOW64_64KEY) {
  platform::UniqueRegKey key;
  LONG code = RegOpenKeyExW(root, path.c_str(), 0, READ_CONTROL | view, key.put());
  return code == ERROR_SUCCESS;
}

// Removes a key tree whatever its access lists say (each list is opened up first).
inline void RemoveKeyTree(HKEY root, const std::wstring& path, REGSAM view = KEY_WOW64_64KEY) {
  if (!KeyExists(root, path, view)) return;
  SetKeyDacl(root, path, L"D:(A;CI;KA;;;WD)", view);
  std::vector<std::wstring> children;
  {
    platform::UniqueRegKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | view, key.put()) == ERROR_SUCCESS) {
      wchar_t name[256];
      for (DWORD i = 0; RegEnumKeyW(key.get(), i, name, 256) == ERROR_SUCCESS; ++i) children.push_back(name);
    }
  }
  for (const auto& child : children) RemoveKeyTree(root, path + L"\\" + child, view);
  size_t slash = path.find_last_of(L'\\');
  platform::UniqueRegKey parent;
  if (RegOpenKeyExW(root, path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view, parent.put()) == ERROR_SUCCESS)
    RegDeleteKeyExW(parent.get(), path.substr(slash + 1).c_str(), view, 0);
}

// A fresh key path under HKLM's kTestsKey (in both views), removed again at the end.
class ScratchKey {
 public:
  explicit ScratchKey(const std::wstring& tag = L"KeyOps") {
    static int counter = 0;
    path_ = std::wstring(testsupport::kTestsKey) + L"\\" + tag + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
  }
  ~ScratchKey() {
    RemoveKeyTree(HKEY_LOCAL_MACHINE, path_, KEY_WOW64_64KEY);
    RemoveKeyTree(HKEY_LOCAL_MACHINE, path_, KEY_WOW64_32KEY);
  }
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;
  const std::wstring& Path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// The probe program (keyopsprobe.exe) copied into a scratch folder, with the recording fakes the
// test places beside it. The fakes' call logs are hard links to the probe's debug log, so the
// one file "timeline.log" shows the debug lines and the outside programs' calls in their order.
class KeyOpsProbe {
 public:
  // The probe lies in subfolder of a scratch folder (empty: in the scratch folder itself).
  explicit KeyOpsProbe(const std::wstring& subfolder = L"") : folder_(dir_.Path()) {
    if (!subfolder.empty()) {
      folder_ += subfolder + L"\\";
      CreateDirectoryW(folder_.c_str(), nullptr);
    }
    CopyFileW((testsupport::TestsDir() + L"keyopsprobe.exe").c_str(), Exe().c_str(), FALSE);
    testsupport::WriteTextFile(Timeline(), "");
  }
  const std::wstring& Root() const { return dir_.Path(); }
  const std::wstring& Folder() const { return folder_; }
  std::wstring Exe() const { return folder_ + L"keyopsprobe.exe"; }
  std::wstring Timeline() const { return folder_ + L"timeline.log"; }
  void ClearTimeline() const { testsupport::WriteTextFile(Timeline(), ""); }

  // Places the fake at a path under the scratch folder ("subinacl.exe", "3rd Party Tools\\psexec.exe"
  // beside the probe; relativeToRoot: from the scratch folder's top) and returns its full path.
  std::wstring PlaceFake(const std::wstring& relativeName, bool relativeToRoot = false) {
    const std::wstring path = (relativeToRoot ? dir_.Path() : folder_) + relativeName;
    SHCreateDirectoryExW(nullptr, path.substr(0, path.find_last_of(L'\\')).c_str(), nullptr);
    EXPECT_TRUE(testsupport::CopyProgram(L"fakeprog.exe", path)) << platform::ToUtf8(path);
    const std::wstring callsLog = path.substr(0, path.size() - 4) + L".calls.log";
    EXPECT_TRUE(CreateHardLinkW(callsLog.c_str(), Timeline().c_str(), nullptr)) << platform::ToUtf8(callsLog);
    return path;
  }
  void PlaceAllFakes() {
    PlaceFake(L"subinacl.exe");
    PlaceFake(L"DelReg.exe");
    PlaceFake(L"3rd Party Tools\\psexec.exe");
  }

  // Runs the probe and returns its name=value lines.
  std::map<std::wstring, std::wstring> Run(const std::vector<std::wstring>& arguments,
                                           const std::vector<std::wstring>& env = {}) {
    DeleteFileW((folder_ + L"probe.out").c_str());
    std::wstring commandLine = L"\"" + Exe() + L"\"";
    for (const auto& argument : arguments) {
      // Backslashes before the closing quote are doubled, or the quote would be taken as text.
      size_t last = argument.find_last_not_of(L'\\');
      size_t trailing = last == std::wstring::npos ? argument.size() : argument.size() - last - 1;
      commandLine += L" \"" + argument + std::wstring(trailing, L'\\') + L"\"";
    }
    testsupport::RunResult run = testsupport::RunProcess(commandLine, env, 60000);
    EXPECT_TRUE(run.finished) << platform::ToUtf8(commandLine);
    std::map<std::wstring, std::wstring> values;
    for (const auto& line : testsupport::Lines(testsupport::ReadTextFile(folder_ + L"probe.out"))) {
      size_t equals = line.find(L'=');
      if (equals != std::wstring::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
  }

  // The timeline: debug lines from their first TAB on (the time of day before it varies), the
  // fakes' recorded command lines as they are.
  std::vector<std::wstring> TimelineLines() const {
    std::vector<std::wstring> lines;
    for (const auto& line : testsupport::Lines(testsupport::ReadTextFile(Timeline()))) {
      size_t tab = line.find(L'\t');
      bool debugLine = tab != std::wstring::npos && line.substr(0, tab).find_first_of(L"\\\"") == std::wstring::npos;
      lines.push_back(debugLine ? line.substr(tab) : line);
    }
    return lines;
  }
  // The recorded calls of the fakes only (lines that are not debug lines).
  std::vector<std::wstring> Calls() const {
    std::vector<std::wstring> calls;
    for (const auto& line : TimelineLines()) {
      if (line.empty() || line.front() != L'\t') calls.push_back(line);
    }
    return calls;
  }

 private:
  testsupport::ScratchDir dir_;
  std::wstring folder_;
};

inline std::string Dump(const std::vector<std::wstring>& lines) {
  std::string text;
  for (const auto& line : lines) text += platform::ToUtf8(line) + "\n";
  return text;
}

// Each expected line occurs in lines, after the one before it.
inline void ExpectInOrder(const std::vector<std::wstring>& lines, const std::vector<std::wstring>& expected) {
  size_t at = 0;
  for (const auto& want : expected) {
    while (at < lines.size() && lines[at] != want) ++at;
    if (at == lines.size()) {
      ADD_FAILURE() << "missing, or out of order: " << platform::ToUtf8(want) << "\n--- timeline:\n" << Dump(lines);
      return;
    }
    ++at;
  }
}

inline size_t CountOf(const std::vector<std::wstring>& lines, const std::wstring& wanted) {
  size_t count = 0;
  for (const auto& line : lines) count += line == wanted;
  return count;
}

}  // namespace keyopstest
