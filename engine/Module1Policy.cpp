// The policy engine of the main program: the rules and their defaults, undo, the file-class hooks
// of the filter module and the prevention test. It reaches nothing above the engine.
#include <windows.h>

#include <algorithm>
#include <iterator>

#include "common/CommonModule.h"
#include "common/CommonModule2.h"
#include "common/DataFolder.h"
#include "common/HashListPlacing.h"
#include "common/Product.h"
#include "common/Variant.h"
#include "common/frmStatusWin.h"
#include "common/modOpSys.h"
#include "common/modRegistry.h"
#include "engine/ClassBackup.h"
#include "engine/Module1.h"
#include "engine/PolicyLayout.h"
#include "engine/RuleSets.h"
#include "engine/SavedChoices.h"
#include "engine/TestProgram.h"
#include "engine/modGUID.h"
#include "notify/modWriteEvent.h"
#include "platform/Handle.h"
#include "platform/PrivateFolder.h"
#include "platform/Process.h"
#include "platform/SystemFolder.h"
#include "platform/TestSwitches.h"
#include "platform/Text.h"
#include "platform/UserFolder.h"
#include "zip/modZip.h"

namespace Module1 {

// ---- Policy rules and defaults ------------------------------------------------------------------

namespace {

// One path rule of ours under a fresh key: Description, SaferFlags, ItemData, in this order.
void WritePathRule(const wchar_t* level, const std::wstring& pattern) {
  std::wstring guid = platform::Lower(modGUID::NewGUIDString());
  if (guid.empty()) return;  // never write the values into the Paths key itself
  std::wstring key = std::wstring(PolicyLayout::kRoot) + L"\\" + level + L"\\Paths\\" + guid;
  modRegistry::fWriteValue(L"HKLM", key, L"Description", L"S", Variant(PolicyLayout::kRuleDescription));
  modRegistry::fWriteValue(L"HKLM", key, L"SaferFlags", L"D", Variant(int32_t{0}));
  modRegistry::fWriteValue(L"HKLM", key, L"ItemData", L"E", Variant(pattern));
}

void WriteDisallowedRules(const std::vector<std::wstring>& patterns) {
  for (const auto& pattern : patterns) WritePathRule(PolicyLayout::kDisallowedLevel, pattern);
}

void ImportRegFileNow(const std::wstring& file) {
  bool wait = true;
  if (!modRegistry::ImportRegFile(file, wait)) CommonModule::DPrint(L"Module1: not imported: " + file);
}

}  // namespace

void AddPathRule(const std::wstring& pattern, bool whitelist) {
  // An empty pattern would make a rule for nothing sensible; "b=" without a value writes none.
  if (platform::Trim(pattern).empty()) return;
  WritePathRule(whitelist ? PolicyLayout::kUnrestrictedLevel : PolicyLayout::kDisallowedLevel, pattern);
}

void BlockSyskey() { AddPathRule(L"syskey.exe", false); }
void BlockCipher() { AddPathRule(L"cipher.exe", false); }
void BlockVssadmin(bool) { AddPathRule(L"vssadmin.exe", false); }
void BlockBCDEdit() { AddPathRule(L"bcdedit.exe", false); }

void SetSaferDefaults() {
  static const std::pair<const wchar_t*, int32_t> kDefaults[] = {
      {L"authenticodeenabled", 0},
      {L"DefaultLevel", 262144},
      {L"PolicyScope", 0},
      {L"TransparentEnabled", 1},
  };
  for (const auto& [name, data] : kDefaults)
    modRegistry::fWriteValue(L"HKLM", PolicyLayout::kRoot, name, L"D", Variant(data));
  ImportHashRules();
}

void ImportHashRules() {
  // The export is unpacked where only administrators can write, so nobody can swap the .reg
  // file between the unpacking and reg.exe's import.
  platform::PrivateFolder work;
  if (!work.Ok()) {
    CommonModule::DPrint(L"Module1\\ImportHashRules: cannot make a private work folder");
    return;
  }
  std::wstring zip = work.Path() + L"\\Hashes.zip";
  ExtractResourceToFile(L"hashes", zip, true);
  std::wstring destination = work.Path();
  bool silent = true;
  modZip::UnzipFile(zip, destination, silent);
  ImportRegFileNow(work.Path() + L"\\Hashes.reg");
}

// ---- Protection option rule sets ----------------------------------------------------------------

namespace {

void WriteOptionRules(RuleSets::Option option, const std::wstring& extension, const std::wstring& profiles = L"") {
  WriteDisallowedRules(RuleSets::OptionRules(option, modOpSys::IsVista(), extension, profiles));
}

void ForEachExtension(void (*writer)(const std::wstring&)) {
  for (const wchar_t* extension : RuleSets::kExtensions) writer(extension);
}

}  // namespace

void ApplyProtection(bool appdata, bool tempexes, bool fakeexts, bool userprofile, bool syskey, bool bcdedit) {
  RemoveProtection(false, true, false);
  SetSaferDefaults();
  if (appdata) BlockAppdata();
  if (userprofile) BlockUserProfile();
  if (tempexes) BlockTempArchives();
  if (fakeexts) BlockFakeExtensions();
  if (syskey) BlockSyskey();
  if (bcdedit) BlockBCDEdit();
  ApplyFilterModule();
  modWriteEvent::RegisterEventSources();
  // The filter module trusts the hash lists there: no user may plant or edit one. Lists written
  // there by hand since the last placement get a list index that stands for them again.
  if (!modOpSys::IsVista())
    HashListPlacing::RenewIndex(CommonModule::AppPath());
  else if (DataFolder::Secure(Product::DataFolder()))
    HashListPlacing::RenewIndex(Product::DataFolder());
}

void ApplyMoreProtection(bool appdatadeep, bool appdatalocal, bool bin, bool cipher, bool vssadmin, bool programdata,
                         bool startup) {
  if (appdatadeep) BlockAppdataDeep();
  if (appdatalocal) BlockAppdataLocal();
  if (bin) BlockRecycleBin();
  if (cipher) BlockCipher();
  if (vssadmin) BlockVssadmin(true);
  if (programdata) BlockProgramData();
  if (startup) BlockStartupFolders();
}

void BlockAppdata() { ForEachExtension(WriteAppdataRules); }
void BlockAppdataDeep() { ForEachExtension(WriteAppdataDeepRules); }
void BlockAppdataLocal() { ForEachExtension(WriteAppdataLocalRules); }
void BlockRecycleBin() { ForEachExtension(WriteRecycleBinRules); }
void BlockUserProfile() { ForEachExtension(WriteUserProfileRules); }
void BlockStartupFolders() { ForEachExtension(WriteStartupRules); }
void BlockTempArchives() { ForEachExtension(WriteTempArchiveRules); }
void BlockProgramData() {
  if (modOpSys::IsVista()) ForEachExtension(WriteProgramDataRules);
}

void WriteAppdataRules(const std::wstring& extension) { WriteOptionRules(RuleSets::Option::AppData, extension); }
void WriteAppdataDeepRules(const std::wstring& extension) { WriteOptionRules(RuleSets::Option::AppDataDeep, extension); }
void WriteAppdataLocalRules(const std::wstring& extension) {
  WriteOptionRules(RuleSets::Option::AppDataLocal, extension);
}
void WriteRecycleBinRules(const std::wstring& extension) { WriteOptionRules(RuleSets::Option::RecycleBin, extension); }
void WriteStartupRules(const std::wstring& extension) { WriteOptionRules(RuleSets::Option::Startup, extension); }
void WriteProgramDataRules(const std::wstring& extension) { WriteOptionRules(RuleSets::Option::ProgramData, extension); }
void WriteTempArchiveRules(const std::wstring& extension) { WriteOptionRules(RuleSets::Option::TempArchives, extension); }

void WriteUserProfileRules(const std::wstring& extension) {
  CommonModule2::SystemDriveCache = platform::SystemDrive();
  WriteOptionRules(RuleSets::Option::UserProfile, extension, CommonModule2::GetUserProf(false));
}

// ---- Fake-extension and right-to-left-override rules --------------------------------------------

void BlockFakeExtensions() {
  ImportRloRules();
  for (const wchar_t* extension : RuleSets::kFakeExtensions) WriteFakeExtensionRules(extension);
}

void ImportRloRules() {
  // Imported from a private folder: a file beside the program could be swapped by whoever may
  // write there.
  HRSRC resource = FindResourceW(nullptr, L"rlo", L"CUSTOM");
  HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes || !ClassBackup::ImportBytes(bytes, SizeofResource(nullptr, resource)))
    CommonModule::DPrint(L"Module1\\ImportRloRules: the right-to-left-override rule was not imported");
}

void WriteFakeExtensionRules(const std::wstring& extension) {
  WriteDisallowedRules(RuleSets::FakeExtensionRules(extension));
}

// ---- Undo and group-policy refresh --------------------------------------------------------------

namespace {

// Deletes every subkey of the key whose Description is ours. False when the key cannot be listed.
bool RemoveOwnRules(const std::wstring& parent) {
  std::wstring names;
  if (modRegistry::fEnumKey(L"HKLM", parent, names) != ERROR_SUCCESS) return false;
  for (const auto& name : platform::Split(names, std::wstring(1, L'\0'))) {
    if (name.empty()) continue;
    const std::wstring text =
        platform::Trim(modRegistry::ReadText(HKEY_LOCAL_MACHINE, parent + L"\\" + name, L"Description"));
    if (!text.empty() && platform::EqualsNoCase(text, PolicyLayout::kRuleDescription)) {
      bool notFound = false;
      modRegistry::fDeleteKey(L"HKLM", parent, name, notFound);
    }
  }
  return true;
}

}  // namespace

void RemoveProtection(bool alsoWhitelist, bool silent, bool refresh) {
  UnhookFileClasses();
  // A level without rules of its kind is an empty list: the later steps still run.
  RemoveOwnRules(PolicyLayout::kDisallowedPaths);
  RemoveOwnRules(PolicyLayout::kDisallowedHashes);
  for (const wchar_t* legacy : PolicyLayout::kLegacyRuleKeys) {
    bool notFound = false;
    modRegistry::fDeleteKey(L"HKLM", PolicyLayout::kDisallowedPaths, legacy, notFound);
  }
  if (alsoWhitelist) RemoveOwnRules(PolicyLayout::kWhitelistPaths);
  if (refresh) RunGPUpdate(silent);
}

void RunGPUpdate(bool silent) {
  if (NoGPUpdate) return;
  constexpr int32_t kRefreshLimitMs = 12000;
  int32_t exitCode = 0;
  if (silent) {
    CommonModule::ShellX(L"gpupdate.exe", L"/force /wait:0", true, SW_HIDE, exitCode, false, true, kRefreshLimitMs);
    return;
  }
  frmStatusWin::Show(L"Refreshing Group Policy...");
  CommonModule::ShellX(L"gpupdate.exe", L"/force /wait:0", true, SW_SHOWNOACTIVATE, exitCode, false, true,
                       kRefreshLimitMs);
  frmStatusWin::Unload();
}

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

// ---- Prevention test ----------------------------------------------------------------------------

namespace {

// The test program carried as the "hello" resource; false when it is not there.
bool TestProgramBytes(const BYTE*& bytes, DWORD& size) {
  HRSRC resource = FindResourceW(nullptr, L"hello", L"CUSTOM");
  HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
  bytes = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
  size = resource ? SizeofResource(nullptr, resource) : 0;
  return bytes && size;
}

}  // namespace

PreventionResult RunPreventionTest() {
  // The AppData folder that Windows keeps for this program's user. %APPDATA% is whoever started
  // the program: it would choose where an administrator's program writes, deletes and starts.
  const std::wstring folder = platform::UserFolderPath(platform::UserFolder::AppData);
  const BYTE* bytes = nullptr;
  DWORD size = 0;
  TestProgram program;
  std::wstring refusal = L"Windows names no AppData folder";
  bool written = false;
  if (!folder.empty()) {
    refusal = L"the test program is not carried";
    written = TestProgramBytes(bytes, size) && program.Write(folder, L"HelloWorld2.exe", bytes, size, refusal);
  }
  if (!written) {
    CommonModule::DPrint(L"Module1\\TestPrevention: the test program was not written to " + folder + L": " + refusal);
    return PreventionResult::NotRun;
  }
  platform::WaitAtTestGate(platform::kSwitchPreventionGate);
  PreventionResult result = PreventionResult::NotRun;
  // A test program that hangs is ended, so that its copy can be removed below.
  const platform::ProgramRun run = platform::RunAndWait(L"\"" + program.Path() + L"\"", SW_HIDE, 30000, true);
  if (platform::IsRefusedByPolicy(run.startError)) result = PreventionResult::Blocked;
  else if (run.startError == 0 && run.finished && run.exitCode == 9) result = PreventionResult::Ran;
  else
    CommonModule::DPrint(L"Module1\\TestPrevention: the test program did not run: start error " +
                         std::to_wstring(run.startError) + L", exit code " + std::to_wstring(run.exitCode));
  const std::wstring path = program.Path();
  if (!program.Remove()) {
    CommonModule::DPrint(L"Module1\\TestPrevention: cannot remove the test program " + path);
    result = PreventionResult::NotRun;
  }
  return result;
}

bool TestPrevention() { return RunPreventionTest() == PreventionResult::Blocked; }

void ReportPreventionTest(bool fromStartup) {
  switch (RunPreventionTest()) {
    case PreventionResult::Blocked:
      Ask(fromStartup ? L"Prevention Successfully Applied!\r\n\r\nIt is not necessary for this program to continue "
                        L"running for active protection, so this program will now close."
                      : L"Prevention Successfully Applied!  You may now close this program.",
          MB_OK | MB_ICONINFORMATION);
      return;
    case PreventionResult::NotRun:
      Ask(L"The prevention test could not be run, so it cannot tell whether protection is in force.",
          MB_OK | MB_ICONERROR);
      break;
    case PreventionResult::Ran:
      Ask(fromStartup ? L"Prevention Not Applied or Unsuccessful!"
                      : L"Prevention Not Applied or Unsuccessful!  Be sure to reboot the PC after applying protection "
                        L"before testing.",
          MB_OK | MB_ICONERROR);
      break;
  }
  if (fromStartup) {
    int32_t exitCode = 0;
    CommonModule::ShellX(CommonModule::AppExeFullPath(), L"/showmain", false, SW_SHOWNORMAL, exitCode, false, false,
                         CommonModule::kNoTimeLimit);
  }
}

}  // namespace Module1
