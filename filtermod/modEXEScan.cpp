#include "filtermod/modEXEScan.h"

#include <windows.h>
#include <wincrypt.h>

#include "alerts/modEmailSvc.h"
#include "common/CommonModule.h"
#include "common/CommonModule2.h"
#include "common/clsFSO.h"
#include "filtermod/Module1.h"
#include "filtermod/clsHash.h"
#include "platform/PromptSeam.h"
#include "platform/Text.h"

namespace modEXEScan {

std::vector<std::wstring> ExecFilterMd5Hashes;
std::vector<std::wstring> ExecFilterSha256Hashes;
std::vector<std::wstring> UserExecFilterMd5Hashes;
std::vector<std::wstring> UserExecFilterSha256Hashes;

namespace {

const wchar_t kCrLf[] = L"\r\n";
// Not declared for an XP target; the AES provider knows it from XP SP3 on.
constexpr ALG_ID kCalgSha256 = 0x800C;

std::wstring Digest(const std::wstring& path, ALG_ID algorithm) {
  clsHash hash;
  if (hash.Error().number) return L"";
  return hash.HashFile(path, algorithm);
}

struct HashList {
  const std::wstring& path;
  const std::vector<std::wstring>& lines;
  const wchar_t* label;
};

}  // namespace

std::wstring GetFileMD5(const std::wstring& path) { return Digest(path, CALG_MD5); }
std::wstring GetFileSHA256(const std::wstring& path) { return Digest(path, kCalgSha256); }

void LoadHashLists() {
  clsFSO fso;
  const std::pair<const std::wstring*, std::vector<std::wstring>*> lists[] = {
      {&Module1::ExecFilterMd5Path, &ExecFilterMd5Hashes},
      {&Module1::ExecFilterSha256Path, &ExecFilterSha256Hashes},
      {&Module1::UserExecFilterMd5Path, &UserExecFilterMd5Hashes},
      {&Module1::UserExecFilterSha256Path, &UserExecFilterSha256Hashes},
  };
  for (const auto& [path, lines] : lists) {
    if (CommonModule::DoesFileExist(*path)) fso.FileToArray(*path, *lines);
  }
}

bool ListHolds(const std::vector<std::wstring>& lines, const std::wstring& digest) {
  if (digest.empty()) return false;
  for (const auto& line : lines) {
    const std::wstring entry = platform::Upper(platform::Trim(line));
    if (entry.empty() || entry[0] == L';') continue;
    if (entry == digest) return true;
  }
  return false;
}

bool CheckHashRules(const std::wstring& path, bool silent) {
  LoadHashLists();
  const std::wstring caption = Module1::ProductLabel;

  const HashList md5Lists[] = {
      {Module1::ExecFilterMd5Path, ExecFilterMd5Hashes, L"MD5 Hash:  "},
      {Module1::UserExecFilterMd5Path, UserExecFilterMd5Hashes, L"User-defined MD5 Hash:  "},
  };
  const HashList shaLists[] = {
      {Module1::ExecFilterSha256Path, ExecFilterSha256Hashes, L"SHA256 Hash:  "},
      {Module1::UserExecFilterSha256Path, UserExecFilterSha256Hashes, L"User-defined SHA256 Hash:  "},
  };

  const HashList* matched = nullptr;
  std::wstring digest = platform::Upper(platform::Trim(GetFileMD5(path)));
  for (const auto& list : md5Lists) {
    if (CommonModule::DoesFileExist(list.path) && ListHolds(list.lines, digest)) {
      matched = &list;
      break;
    }
  }
  // The SHA-256 pass reads the file again, so only when the MD5 lists did not decide.
  if (!matched) {
    digest = platform::Upper(platform::Trim(GetFileSHA256(path)));
    for (const auto& list : shaLists) {
      if (CommonModule::DoesFileExist(list.path) && ListHolds(list.lines, digest)) {
        matched = &list;
        break;
      }
    }
  }
  if (!matched) return false;

  CommonModule::DPrint(L"modEXEScan\\CheckHashRules: ", L"- Passed: " + path, std::wstring(L"- Matched: ") + matched->label + digest);
  if (!silent && !CommonModule2::IsSystemAccount(false))
    platform::ShowMessageBox(nullptr, L"This file matches a malware hash!  Aborting execution!", caption, MB_OK);
  modEmailSvc::SendEmail(L"Restricted program blocked by HASH rule!",
                         std::wstring(L"A restricted program was blocked from execution by a HASH rule:") + kCrLf + kCrLf +
                             path + kCrLf + kCrLf + matched->label + digest);
  return true;
}

}  // namespace modEXEScan
