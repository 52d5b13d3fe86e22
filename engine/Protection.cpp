// The protection engine's undo, its group-policy refresh and the prevention test. It reaches
// nothing above the engine.
#include "engine/Protection.h"

#include <windows.h>

#include "common/CommonModule.h"
#include "common/frmStatusWin.h"
#include "common/modRegistry.h"
#include "engine/PolicyLayout.h"
#include "engine/TestProgram.h"
#include "platform/Process.h"
#include "platform/TestSwitches.h"
#include "platform/Text.h"
#include "platform/UserFolder.h"

namespace Protection {

// ---- Undo and group-policy refresh --------------------------------------------------------------

namespace {

// Set by "/nogpupdate" for the rest of the run, the windows it opens included.
bool noGPUpdate = false;

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

void SetNoGPUpdate(bool skip) { noGPUpdate = skip; }

void RunGPUpdate(bool silent) {
  if (noGPUpdate) return;
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

}  // namespace Protection
