#include "update/ProgramSwap.h"

#include <windows.h>

#include <cstdint>
#include <vector>

#include "alerts/modService.h"
#include "common/CommonModule.h"
#include "common/Product.h"
#include "platform/PrivateFolder.h"
#include "platform/Text.h"
#include "update/StagedSwap.h"
#include "zip/modZip.h"

namespace ProgramSwap {

namespace {

bool RenameFile(const std::wstring& from, const std::wstring& to, bool replace) {
  BOOL moved = FALSE;
  DWORD error = 0;
  {
    const CommonModule::RedirectionOff off;
    moved = MoveFileExW(from.c_str(), to.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0);
    error = moved ? 0 : GetLastError();
  }
  if (!moved) CommonModule::DPrint(L"ProgramSwap\\RenameFile: ", from, to, L"- Error: ", static_cast<uint32_t>(error));
  return moved != FALSE;
}

// A program's version in the index's form; "" when it carries no version resource.
std::wstring ProgramVersion(const std::wstring& path) {
  bool fourParts = true;
  const std::wstring text = CommonModule::FileVersionNo(path, fourParts);
  if (text.empty()) return L"";
  const std::vector<std::wstring> words = platform::Split(text, L".");
  auto word = [&](size_t i) { return i < words.size() ? words[i] : std::wstring(L"0"); };
  return word(0) + L"." + word(1) + L"." + word(3);
}

bool SameVersion(const std::wstring& a, const std::wstring& b) {
  return !CommonModule::IsNewerVersion(a, b) && !CommonModule::IsNewerVersion(b, a);
}

constexpr wchar_t kPackageWithoutVersion[] = L"- The package's program carries no version";

// Why a program of this version may not come in; nullptr when it may. announced is the version the
// index gave; the install roads, which have no index, pass nullptr.
const wchar_t* RefusalOf(const std::wstring& version, const wchar_t* withoutVersion, const std::wstring* announced,
                         VersionRule rule) {
  const std::wstring running = RunningVersion();
  if (version.empty()) return withoutVersion;
  if (announced && (!IsVersionText(*announced) || !SameVersion(version, *announced)))
    return L"- Not the version the index announced";
  if (CommonModule::IsNewerVersion(running, version)) return nullptr;
  if (rule == VersionRule::NewerOrEqual && SameVersion(running, version)) return nullptr;
  return rule == VersionRule::Newer ? L"- Not newer than the running program" : L"- Older than the running program";
}

// The refused file goes at once; the debug log keeps which version it was and why.
void Refuse(const wchar_t* check, const std::wstring& file, const std::wstring& version, const wchar_t* refusal,
            const std::wstring* announced) {
  CommonModule::DPrint(check, L"- Refused version", version.empty() ? L"(none)" : version, refusal,
                       (announced ? L"announced " + *announced + L", " : std::wstring()) + L"running " +
                           RunningVersion());
  CommonModule::DeleteFileQuietly(file);
}

// A package's program (program: its file name) against the rule. Unpacked into a private folder
// of its own: only the program's version resource is read.
PackageCheck JudgePackage(const wchar_t* check, const std::wstring& packageZip, const std::wstring& program,
                          const std::wstring* announced, VersionRule rule) {
  bool unpacked = false;
  std::wstring packaged;
  {
    platform::PrivateFolder work;
    std::wstring folder = work.Path() + L"\\package";
    bool silent = true;
    unpacked = work.Ok() && modZip::UnzipFile(packageZip, folder, silent);
    if (unpacked) packaged = ProgramVersion(folder + L"\\" + program);
  }
  const wchar_t* refusal =
      unpacked ? RefusalOf(packaged, kPackageWithoutVersion, announced, rule) : L"- The package cannot be unpacked";
  if (!refusal) return PackageCheck::Accepted;
  Refuse(check, packageZip, packaged, refusal, announced);
  return unpacked ? PackageCheck::WrongVersion : PackageCheck::Unreadable;
}

}  // namespace

std::wstring RunningVersion() {
  const std::wstring version = ProgramVersion(CommonModule::AppExeFullPath());
  return version.empty() ? L"0.0.0" : version;
}

PackageCheck CheckPackageVersion(const std::wstring& packageZip, const std::wstring& announced, VersionRule rule) {
  return JudgePackage(L"ProgramSwap\\CheckPackageVersion: ", packageZip,
                      CommonModule::StripPath(CommonModule::AppExeFullPath()), &announced, rule);
}

PackageCheck CheckInstallPackageVersion(const std::wstring& packageZip) {
  return JudgePackage(L"ProgramSwap\\CheckInstallPackageVersion: ", packageZip, Product::kMainProgram, nullptr,
                      VersionRule::NewerOrEqual);
}

bool CheckSetupVersion(const std::wstring& setup) {
  const std::wstring version = ProgramVersion(setup);
  const wchar_t* refusal = RefusalOf(version, L"- The setup carries no version", nullptr, VersionRule::NewerOrEqual);
  if (!refusal) return true;
  Refuse(L"ProgramSwap\\CheckSetupVersion: ", setup, version, refusal, nullptr);
  return false;
}

bool IsVersionText(const std::wstring& text) {
  const std::vector<std::wstring> parts = platform::Split(text, L".");
  if (text.empty() || parts.size() > 4) return false;
  for (const std::wstring& part : parts) {
    if (part.empty() || part.size() > 5 || part.find_first_not_of(L"0123456789") != std::wstring::npos) return false;
    if (std::stoul(part) > 65535) return false;
  }
  return true;
}

std::wstring ProgramBackupPath() { return CommonModule::AppPath() + CommonModule::AppExeName() + Product::kBackupEnding; }
std::wstring ServiceExePath() { return CommonModule::AppPath() + Product::kServiceProgram; }
std::wstring ServiceBackupPath() { return CommonModule::AppPath() + Product::kServiceName + Product::kBackupEnding; }

void DeleteSwapBackups() {
  CommonModule::DeleteFileQuietly(ProgramBackupPath());
  CommonModule::DeleteFileQuietly(ServiceBackupPath());
}

SwapResult SwapInProgramPackage(const std::wstring& packageZip, bool withService) {
  const wchar_t kLog[] = L"ProgramSwap\\SwapInProgramPackage: ";
  const std::wstring program = CommonModule::AppExeFullPath();
  DeleteSwapBackups();
  // Replacing the files that could be replaced now would leave a mixed release that may not run:
  // when one is held, all of them wait for the restart and the old ones stay in use until then.
  const StagedSwap::Staging staging = StagedSwap::Unpack(packageZip);
  if (!staging.held.empty()) {
    for (const std::wstring& held : staging.held)
      CommonModule::DPrint(kLog, L"- Held by another program: ", CommonModule::AppPath() + held);
    if (!StagedSwap::RecordMovesForRestart(staging)) {
      CommonModule::DPrint(kLog, L"- The update cannot wait for the restart either");
      return {};
    }
    CommonModule::DPrint(kLog, AtRestartNotice(staging.held.front()), StagedSwap::Folder());
    return {SwapOutcome::AtRestart, staging.held.front()};
  }
  StagedSwap::Discard();
  // A running executable can be renamed but not overwritten: the package then writes fresh files.
  // Only what was renamed here is given back: a backup that could not be deleted is an older one.
  const bool programMoved = RenameFile(program, ProgramBackupPath(), false);
  const bool serviceMoved = withService && RenameFile(ServiceExePath(), ServiceBackupPath(), false);
  std::wstring folder = CommonModule::AppPath();
  bool silent = false;
  const bool extracted = modZip::UnzipFile(packageZip, folder, silent);
  if (!extracted || !CommonModule::DoesFileExist(program)) {
    CommonModule::DPrint(kLog,
                         extracted ? L"- The package holds no program, restoring " : L"- Extraction failed, restoring ",
                         program);
    // What a broken extraction wrote under the old names must give way to the working programs.
    if (programMoved) RenameFile(ProgramBackupPath(), program, true);
    if (serviceMoved) RenameFile(ServiceBackupPath(), ServiceExePath(), true);
    return {};
  }
  // A package without the service keeps the old one.
  if (serviceMoved && !CommonModule::DoesFileExist(ServiceExePath()))
    RenameFile(ServiceBackupPath(), ServiceExePath(), false);
  return {SwapOutcome::Swapped, L""};
}

SwapResult SwapWithServiceStopped(const std::wstring& packageZip, bool withService, ServiceRestart restart) {
  modService::RemoveEventService(false, true);
  const SwapResult result = SwapInProgramPackage(packageZip, withService);
  if (result.outcome != SwapOutcome::Swapped || restart == ServiceRestart::Always) modService::InstallEventService();
  return result;
}

std::wstring AtRestartNotice(const std::wstring& heldFile) {
  return L"The file " + heldFile +
         L" is in use by another program, so the update will be completed when the PC restarts.";
}

StagedUpdate CheckStagedUpdate() {
  switch (StagedSwap::CheckAtStart()) {
    case StagedSwap::State::None: return StagedUpdate::None;
    case StagedSwap::State::Completed: return StagedUpdate::Completed;
    case StagedSwap::State::Pending: break;
  }
  const std::wstring program = CommonModule::StripPath(CommonModule::AppExeFullPath());
  const std::wstring staged = ProgramVersion(StagedSwap::Folder() + L"\\" + program);
  if (!staged.empty() && CommonModule::IsNewerVersion(RunningVersion(), staged)) return StagedUpdate::Pending;
  CommonModule::DPrint(L"ProgramSwap\\CheckStagedUpdate: ", L"- Discarded, not newer than the running program",
                       staged.empty() ? L"(none)" : staged);
  StagedSwap::Discard();
  return StagedUpdate::None;
}

}  // namespace ProgramSwap
