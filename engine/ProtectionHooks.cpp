// The filter module's file-class hooks: each hooked class's commands, their backups, the modes
// the INI sets, and the EXE/COM filter.
#include <windows.h>

#include <iterator>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/Variant.h"
#include "common/modRegistry.h"
#include "engine/ClassBackup.h"
#include "engine/Protection.h"
#include "engine/SavedChoices.h"
#include "platform/Text.h"

namespace Protection {

// ---- Filter-module file-class hooks -------------------------------------------------------------

namespace {

constexpr const wchar_t* kFilterModuleExe = Product::kFilterModuleProgram;
const wchar_t kPlainCommand[] = L"\"%1\" %*";
const wchar_t kPlainControlPanelCommand[] = L"%SystemRoot%\\System32\\control.exe \"%1\",%*";
const wchar_t kClassesKey[] = L"SOFTWARE\\Classes\\";
// What the shell runs for a verb's elevated start on Vista and later, in place of the verb's
// command: hooked along with the run-as command, or "Run as administrator" would skip the module.
const wchar_t kIsolatedCommand[] = L"IsolatedCommand";
const wchar_t* const kFilterSettingsKey = Product::kFilterModuleKey;
constexpr auto& kHookedClasses = Product::kHookedClasses;

bool WriteCommand(const std::wstring& key, const std::wstring& valueName, const std::wstring& command) {
  return modRegistry::fWriteValue(L"HKLM", key, valueName, L"S", Variant(command)) == ERROR_SUCCESS;
}

std::wstring FilterModulePath() { return CommonModule::AppPath() + kFilterModuleExe; }

bool NamesFilterModule(const std::wstring& text) {
  return platform::Contains(platform::Lower(text), platform::Lower(kFilterModuleExe));
}

std::wstring OpenCommandOf(const std::wstring& classKeyName) {
  return modRegistry::ReadText(HKEY_LOCAL_MACHINE,
                               kClassesKey + platform::Lower(classKeyName) + L"\\shell\\open\\command", L"");
}

// Backs the class key up once. A class that already points at the filter module is not what
// Windows had, so it is never taken as the backup.
void BackUpClass(const std::wstring& classKeyName) {
  if (ClassBackup::Exists(classKeyName) || NamesFilterModule(OpenCommandOf(classKeyName))) return;
  ClassBackup::Save(classKeyName);
}

// Imports a class backup, unless it holds our own hook: then the Windows commands just written
// stay. True when a backup was imported.
bool RestoreClass(const std::wstring& classKeyName) {
  if (NamesFilterModule(ClassBackup::StoredText(classKeyName))) {
    CommonModule::DPrint(L"Module1\\UnhookFileClasses: backup holds the filter module, not restored: " + classKeyName);
    return false;
  }
  return ClassBackup::Restore(classKeyName);
}

}  // namespace

void ApplyFilterModule() {
  if (!CommonModule::DoesFileExist(FilterModulePath())) return;
  for (bool constant : {false, true}) {
    std::wstring key = std::wstring(kFilterSettingsKey) + (constant ? L"\\Constant" : L"\\Suspicious");
    for (const wchar_t* fileClass : kHookedClasses) {
      if (modRegistry::ReadText(HKEY_LOCAL_MACHINE, key, fileClass) == L"1") HookFileClass(fileClass, constant);
    }
  }
}

void HookFileClass(const std::wstring& fileClass, bool constant) {
  const std::wstring lower = platform::Lower(fileClass);
  const std::wstring mode = constant ? L" *" : L" ";
  const std::wstring tail = lower == L"scr" ? L" /S %*" : L" %*";
  const std::wstring hook = L"\"" + FilterModulePath() + L"\"" + mode + L"\"%1\"" + tail;

  BackUpClass(fileClass + L"file");
  const std::wstring classKey = kClassesKey + lower + L"file\\shell\\";
  WriteCommand(classKey + L"open\\command", L"", hook);
  if (lower != L"cpl") {
    WriteCommand(classKey + L"runas\\command", L"", hook);
    WriteCommand(classKey + L"runas\\command", kIsolatedCommand, hook);
  }
}

void ApplyFilterIniSettings(const std::wstring& iniPath, bool force) {
  // Each class's mode as shipped, in the order of the hooked classes: an INI value that says the
  // other word is taken, anything else gives the shipped one.
  struct ClassModes {
    bool suspicious, constant;
  };
  static const ClassModes kShipped[] = {{true, false}, {true, false}, {false, true}};
  static_assert(std::size(kShipped) == std::size(kHookedClasses));
  static const struct {
    const wchar_t* subkey;
    const wchar_t* section;
    bool ClassModes::*shipped;
  } kModes[] = {{L"Suspicious", L"FilterSuspicious", &ClassModes::suspicious},
                {L"Constant", L"FilterConstant", &ClassModes::constant}};
  for (const auto& mode : kModes) {
    const std::wstring key = std::wstring(kFilterSettingsKey) + L"\\" + mode.subkey;
    for (size_t i = 0; i < std::size(kHookedClasses); ++i) {
      const wchar_t* fileClass = kHookedClasses[i];
      if (!force && !modRegistry::ReadText(HKEY_LOCAL_MACHINE, key, fileClass).empty()) continue;
      const bool on = kShipped[i].*mode.shipped;
      const wchar_t* shipped = on ? L"1" : L"0";
      const wchar_t* other = on ? L"0" : L"1";
      const std::wstring fromIni = CommonModule::ReadIni(iniPath, mode.section, fileClass);
      modRegistry::fWriteValue(L"HKLM", key, fileClass, L"S", Variant(fromIni == other ? other : shipped));
    }
  }
}

void UnhookFileClasses() {
  bool notFound = false;
  const bool controlPanelHooked = NamesFilterModule(OpenCommandOf(L"cplfile"));
  modRegistry::fDeleteKey(L"HKLM", L"SOFTWARE\\Classes\\piffile\\Shell", L"runas", notFound);
  modRegistry::fDeleteKey(L"HKLM", L"SOFTWARE\\Classes\\scrfile\\Shell", L"runas", notFound);
  modRegistry::fDeleteKey(L"HKLM", L"SOFTWARE\\Classes\\cplfile\\Shell", L"Open", notFound);
  WriteCommand(L"SOFTWARE\\Classes\\piffile\\Shell\\Open\\Command", L"", kPlainCommand);
  WriteCommand(L"SOFTWARE\\Classes\\scrfile\\Shell\\Open\\Command", L"", L"\"%1\" /S");
  const bool controlPanelRestored = RestoreClass(L"cplfile");
  // Without a backup, a control-panel file that was hooked still opens: with Windows' own tool.
  if (controlPanelHooked && !controlPanelRestored)
    modRegistry::fWriteValue(L"HKLM", L"SOFTWARE\\Classes\\cplfile\\shell\\open\\command", L"", L"E",
                             Variant(kPlainControlPanelCommand));
  RestoreClass(L"scrfile");
  RestoreClass(L"piffile");
  SetExeComFilter(false);
}

bool SetExeComFilter(bool on) {
  static const wchar_t* const kProgramClassKeys[] = {
      L"SOFTWARE\\Classes\\exefile\\Shell\\Open\\Command", L"SOFTWARE\\Classes\\comfile\\Shell\\Open\\Command",
      L"SOFTWARE\\Classes\\exefile\\Shell\\runas\\Command", L"SOFTWARE\\Classes\\comfile\\Shell\\runas\\Command"};
  static const wchar_t* const kProgramClasses[] = {L"exefile", L"comfile"};
  // Pointed at a missing filter module, every program started from the shell would fail.
  if (on && !CommonModule::DoesFileExist(FilterModulePath())) {
    CommonModule::DPrint(L"Module1\\SetExeComFilter: ",
                         L"- Error: filter module missing, not hooked: " + FilterModulePath());
    return false;
  }
  if (on) {
    for (const wchar_t* programClass : kProgramClasses) BackUpClass(programClass);
    const std::wstring hook = L"\"" + FilterModulePath() + L"\" /\"%1\" %*";
    bool hooked = true;
    // Both verbs' isolated commands too: Windows keeps a plain one under each, and the shell runs
    // it for an elevated start.
    for (const wchar_t* key : kProgramClassKeys) {
      hooked = WriteCommand(key, L"", hook) && hooked;
      hooked = WriteCommand(key, kIsolatedCommand, hook) && hooked;
    }
    if (!hooked) {
      // Half hooked is worse than off.
      SetExeComFilter(false);
      return false;
    }
    return SavedChoices::Write(SavedChoices::Choice::ExeComFilter, L"1");
  }
  for (const wchar_t* key : kProgramClassKeys) {
    WriteCommand(key, L"", kPlainCommand);
    // The hook's isolated command goes (without one the shell's elevated start runs the plain
    // command); Windows' own comes back with the class, where it had one.
    const std::wstring isolated = modRegistry::ReadText(HKEY_LOCAL_MACHINE, key, kIsolatedCommand);
    bool notFound = false;
    if (NamesFilterModule(isolated)) modRegistry::fDeleteValue(L"HKLM", key, kIsolatedCommand, notFound);
  }
  for (const wchar_t* programClass : kProgramClasses) RestoreClass(programClass);
  SavedChoices::Write(SavedChoices::Choice::ExeComFilter, L"0");
  return true;
}

}  // namespace Protection
