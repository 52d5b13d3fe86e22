#include "common/modTakeOwn.h"

#include <new>

#include "common/CommonModule.h"
#include "common/CommonModule2.h"
#include "platform/ProcessAccount.h"
#include "platform/SystemFolder.h"
#include "platform/Text.h"

namespace modTakeOwn {

namespace {

constexpr wchar_t kQuote = L'"';

// The last of the places that holds subinacl.exe, so a copy beside the program beats Windows'
// own; empty when none does. Windows' folders as Windows names them, never as the environment does.
std::wstring LocateSubinacl(bool withThirdPartyTools) {
  const std::wstring app = CommonModule::AppPath();
  const std::wstring candidates[] = {platform::WindowsFolder() + L"\\subinacl.exe", platform::SystemTool(L"subinacl.exe"),
                                     app + L"subinacl.exe", app + L"..\\3rd Party Tools\\subinacl.exe"};
  const size_t count = withThirdPartyTools ? 4 : 3;
  std::wstring found;
  for (size_t i = 0; i < count; ++i) {
    if (CommonModule::DoesFileExist(candidates[i])) found = candidates[i];
  }
  return found;
}

// Runs one subinacl command line and waits; its outcome is judged by the caller's retry.
void RunSubinacl(const std::wstring& program, const std::wstring& action, const std::wstring& object,
                 const std::wstring& owner, const std::wstring& grantee, const std::wstring& right, int windowStyle) {
  std::wstring message;
  CommonModule::ShellAndWaitForTermination(kQuote + program + kQuote + L" " + action + L" " + kQuote + object + kQuote +
                                               L" " + CommonModule::QuoteArgument(L"/setowner=" + owner) + L" " +
                                               CommonModule::QuoteArgument(L"/grant=" + grantee + L"=" + right),
                                           windowStyle, message, CommonModule::kNoTimeLimit, false);
}

std::wstring LongRootName(const std::wstring& hive) {
  static const struct {
    const wchar_t* hive;
    const wchar_t* root;
  } kRoots[] = {
      {L"HKCU", L"HKEY_CURRENT_USER\\"},  {L"HKLM", L"HKEY_LOCAL_MACHINE\\"},   {L"HKU", L"HKEY_USERS\\"},
      {L"HKDD", L"HKEY_DYN_DATA\\"},      {L"HKCC", L"HKEY_CURRENT_CONFIG\\"}, {L"HKCR", L"HKEY_CLASSES_ROOT\\"},
  };
  const std::wstring upper = platform::Upper(hive);
  for (const auto& root : kRoots) {
    if (upper == root.hive) return root.root;
  }
  return {};
}

}  // namespace

void TakeOwnRegKey(const std::wstring& hive, const std::wstring& keyPath, std::wstring& owner, std::wstring& grantee) {
  try {
    const std::wstring root = LongRootName(hive);
    if (root.empty()) return;
    const std::wstring userName = platform::ProcessAccountName();
    if (owner.empty() && platform::Upper(hive) == L"HKCU") owner = userName;
    if (owner.empty()) owner = L"administrators";
    if (grantee.empty()) grantee = userName.empty() ? L"System" : userName;
    const std::wstring program = LocateSubinacl(false);
    if (program.empty()) return;
    const std::wstring fullKey = root + keyPath;
    RunSubinacl(program, L"/keyreg", fullKey, owner, grantee, L"f", SW_HIDE);
    RunSubinacl(program, L"/subkeyreg", fullKey, owner, grantee, L"f", SW_HIDE);
  } catch (const std::bad_alloc&) {
    // Best effort: the caller's retry tells.
  }
}

void TakeControl(const std::wstring& path, bool& recurse, int windowStyle, std::wstring& owner, std::wstring& grantee) {
  try {
    const std::wstring program = LocateSubinacl(true);
    if (program.empty()) return;
    const std::wstring kind = CommonModule::GetPathKind(path);
    if (kind == L"file") recurse = false;
    else if (kind != L"dir") return;

    // The account is the token's, never %USERNAME%; run as SYSTEM the owner is always "System".
    const std::wstring userName = platform::ProcessAccountName();
    if (owner.empty()) owner = userName.empty() ? L"System" : userName;
    if (CommonModule2::IsSystemAccount(false)) owner = L"System";
    // Never a wider group: the account that needs the object is enough.
    if (grantee.empty()) grantee = owner;

    const std::wstring target = CommonModule::StripTrailingCharacters(path, L"\\");
    RunSubinacl(program, L"/file", target, owner, grantee, L"F", windowStyle);
    if (recurse) RunSubinacl(program, L"/subdirectories", target + L"\\*.*", owner, grantee, L"F", windowStyle);
    CommonModule::DPrint(L"TakeControl:  " + target);
  } catch (const std::bad_alloc&) {
    // Best effort: the caller's retry tells.
  }
}

}  // namespace modTakeOwn
