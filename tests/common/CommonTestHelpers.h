#pragma once
// Helpers shared by the tests of the library's start-up, file and program-running procedures.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "tests/support/TestSupport.h"

namespace commontest {

// A debug-log line without the time of day that opens it, so it starts with its first TAB.
inline std::wstring WithoutTime(const std::wstring& line) {
  size_t tab = line.find(L'\t');
  return tab == std::wstring::npos ? std::wstring() : line.substr(tab);
}

inline std::vector<std::wstring> LogLinesWithoutTime(const std::wstring& logFile) {
  std::vector<std::wstring> lines;
  for (const auto& line : testsupport::Lines(testsupport::ReadTextFile(logFile))) lines.push_back(WithoutTime(line));
  return lines;
}

// Turns file logging on into a scratch file for the life of the object.
class DebugCapture {
 public:
  DebugCapture() : oldToFile_(CommonModule::DebugToFile), oldPath_(CommonModule::DebugLogPath) {
    CommonModule::DebugToFile = true;
    CommonModule::DebugLogPath = Path();
  }
  ~DebugCapture() {
    CommonModule::DebugToFile = oldToFile_;
    CommonModule::DebugLogPath = oldPath_;
  }
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  std::wstring Path() const { return dir_ / L"debug.log"; }
  std::vector<std::wstring> Lines() const { return LogLinesWithoutTime(Path()); }
  void Clear() const { DeleteFileW(Path().c_str()); }

 private:
  testsupport::ScratchDir dir_;
  bool oldToFile_;
  std::wstring oldPath_;
};

// The probe program (commonprobe.exe) copied into a scratch folder, so that "the program's own
// folder" is one the test may fill.
class Probe {
 public:
  Probe() { CopyFileW((testsupport::TestsDir() + L"commonprobe.exe").c_str(), Exe().c_str(), FALSE); }
  const std::wstring& Folder() const { return dir_.Path(); }
  std::wstring Exe() const { return dir_ / L"commonprobe.exe"; }

  // Runs the probe and returns its name=value lines.
  std::map<std::wstring, std::wstring> Run(const std::wstring& arguments, const std::vector<std::wstring>& env = {}) {
    DeleteFileW((dir_ / L"probe.out").c_str());
    testsupport::RunResult run = testsupport::RunProcess(L"\"" + Exe() + L"\" " + arguments, env, 60000);
    EXPECT_TRUE(run.finished) << "probe " << arguments;
    std::map<std::wstring, std::wstring> values;
    for (const auto& line : testsupport::Lines(testsupport::ReadTextFile(dir_ / L"probe.out"))) {
      size_t equals = line.find(L'=');
      if (equals != std::wstring::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
  }
  std::vector<std::wstring> LogLines() const { return LogLinesWithoutTime(dir_ / L"probe.log"); }

 private:
  testsupport::ScratchDir dir_;
};

// Sets environment variables of this process for the life of the object (nullptr: unset),
// then puts back what was there.
class EnvironmentGuard {
 public:
  void Set(const wchar_t* name, const wchar_t* value) {
    if (saved_.find(name) == saved_.end()) {
      DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
      std::wstring old(size, L'\0');
      bool present = size > 0 && GetEnvironmentVariableW(name, old.data(), size) < size;
      if (present) old.resize(wcslen(old.c_str()));
      saved_[name] = {present, old};
    }
    SetEnvironmentVariableW(name, value);
  }
  ~EnvironmentGuard() {
    for (const auto& [name, old] : saved_)
      SetEnvironmentVariableW(name.c_str(), old.first ? old.second.c_str() : nullptr);
  }

 private:
  std::map<std::wstring, std::pair<bool, std::wstring>> saved_;
};

// Waits until the file exists (a program started without waiting writes it a moment later).
inline bool WaitForFile(const std::wstring& path, DWORD timeoutMs = 10000) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    if (testsupport::FileExists(path)) return true;
    Sleep(50);
  }
  return testsupport::FileExists(path);
}

// Waits until no process of this executable name runs any more, so a test leaves nothing behind.
inline void WaitForProgramsToEnd(const std::wstring& exeName, DWORD timeoutMs = 30000) {
  platform::UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (!platform::EqualsNoCase(entry.szExeFile, exeName)) continue;
    platform::UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID));
    if (process) WaitForSingleObject(process.get(), timeoutMs);
  }
}

}  // namespace commontest
