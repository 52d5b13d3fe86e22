#include "filtermod/modEXEScan.h"

#include <windows.h>
#include <wincrypt.h>

#include <iterator>
#include <vector>

#include "common/CommonModule.h"
#include "common/CommonModule2.h"
#include "common/HashListIndex.h"
#include "common/HashListIndexFile.h"
#include "filtermod/Module1.h"
#include "filtermod/Module3.h"
#include "filtermod/UserListCopy.h"
#include "filtermod/clsHash.h"
#include "platform/PromptSeam.h"
#include "platform/Text.h"

namespace modEXEScan {

HashListFile::Entries ExecFilterMd5Hashes;
HashListFile::Entries ExecFilterSha256Hashes;
HashListFile::Entries UserExecFilterMd5Hashes;
HashListFile::Entries UserExecFilterSha256Hashes;

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
  const HashListFile::Entries& entries;
  const wchar_t* label;
};

// The first list, in order, that holds the digest.
const HashList* FindIn(const std::vector<HashList>& lists, const std::wstring& digest) {
  if (digest.empty()) return nullptr;
  const std::string key = platform::ToAnsi(digest);
  for (const auto& list : lists)
    if (list.entries.Holds(key)) return &list;
  return nullptr;
}

std::wstring SystemErrorText(DWORD error) { return L"system error " + std::to_wstring(error); }

}  // namespace

// A check that could not be made blocks like a match: an error must never let a listed file run.
void ReportFailedCheck(const std::wstring& path, const std::wstring& shownPath, bool silent,
                       const std::wstring& cause) {
  CommonModule::DPrint(L"modEXEScan\\CheckHashRules: ", L"- Passed: " + path, L"- Check failed: " + cause);
  if (!silent && !CommonModule2::IsSystemAccount(false))
    platform::ShowMessageBox(nullptr,
                             std::wstring(L"This file could not be checked against the malware hashes!  Aborting "
                                          L"execution!") +
                                 kCrLf + kCrLf + shownPath,
                             Module1::ProductLabel, MB_OK);
  Module3::WriteEventLog(std::wstring(L"A restricted program was blocked because its hash check could not be made:") +
                             kCrLf + kCrLf + shownPath + kCrLf + kCrLf + L"Cause:  " + cause,
                         1);
}

std::wstring GetFileMD5(const std::wstring& path) { return Digest(path, CALG_MD5); }
std::wstring GetFileSHA256(const std::wstring& path) { return Digest(path, kCalgSha256); }

namespace {

using HashListIndex::List;

struct ListSlot {
  List list;
  const std::wstring* path;
  HashListFile::Entries* entries;
};
const ListSlot kSlots[] = {
    {List::DefinitionsMd5, &Module1::ExecFilterMd5Path, &ExecFilterMd5Hashes},
    {List::DefinitionsSha256, &Module1::ExecFilterSha256Path, &ExecFilterSha256Hashes},
    {List::UserMd5, &Module1::UserExecFilterMd5Path, &UserExecFilterMd5Hashes},
    {List::UserSha256, &Module1::UserExecFilterSha256Path, &UserExecFilterSha256Hashes},
};

// What the entries taken from an index point into: the shared index or this user's copy.
HashListIndex::MappedIndex g_indexInUse;

void Log(const std::wstring& what) { CommonModule::DPrint(L"modEXEScan\\LoadHashLists: ", what); }

std::wstring CouldNotRead(const wchar_t* what, const std::wstring& path, DWORD error) {
  return std::wstring(what) + L" could not be read:  " + path + L" (" + SystemErrorText(error) + L")";
}

void UseIndex(const HashListIndex::View& index) {
  for (const ListSlot& slot : kSlots) slot.entries->UseIndex(index.DigestsOf(slot.list), index.HasEntries(slot.list));
}

// Whether the index stands for every text list as it is now: each one's stamp is the one recorded.
bool StandsForTheLists(const HashListIndex::View& index) {
  for (const ListSlot& slot : kSlots) {
    HashListIndex::Stamp now;
    if (!HashListIndex::ReadStamp(*slot.path, now) || now != index.StampOf(slot.list)) {
      Log(L"- Written since the index was made: " + *slot.path);
      return false;
    }
  }
  return true;
}

// Another program holds a list (or the index) open without sharing: this user's copy is used at
// once, and the entry says so. False when this user has no copy to use.
bool UseCopyPast(const std::wstring& held) {
  if (!UserListCopy::Open(g_indexInUse)) return false;
  UseIndex(g_indexInUse.Index());
  const auto version = g_indexInUse.Index().DefinitionsVersion();
  Module3::WriteEventLog(std::wstring(L"The hash lists are held open by another program; the lists this user last "
                                      L"read were used:") +
                             kCrLf + kCrLf + held + kCrLf + kCrLf + L"Definitions version:  " +
                             (version ? std::to_wstring(*version) : L"none"),
                         2);
  return true;
}

enum class FromIndex { Taken, TextRoad, Failed };

// The lists from the current generation of the index, when there is one that stands for them.
// The generation the pointer names, opened; Missing with no path when none is named. A placement
// that names a newer one meanwhile deletes the one named before (which a module still reading it
// keeps for a moment, about to go): the newer one is taken.
HashListIndex::Opened OpenCurrentIndex(const std::wstring& folder, std::wstring& path) {
  HashListIndex::Opened opened = HashListIndex::Opened::Missing;
  path.clear();
  uint32_t tried = 0;
  for (int attempt = 0; attempt < 4; ++attempt) {
    const uint32_t generation = HashListIndex::CurrentGeneration();
    if (!generation || generation == tried) break;
    tried = generation;
    path = HashListIndex::PathIn(folder, HashListIndex::GenerationName(generation));
    opened = g_indexInUse.Open(path, HashListIndex::Owner::System);
    if (opened != HashListIndex::Opened::Missing && opened != HashListIndex::Opened::Unreadable) break;
  }
  return opened;
}

FromIndex TakeSharedIndex(const std::wstring& folder, std::wstring& failure) {
  std::wstring path;
  HashListIndex::Opened opened = OpenCurrentIndex(folder, path);
  if (opened == HashListIndex::Opened::Held) {
    if (UseCopyPast(path)) return FromIndex::Taken;
    // No copy: waited for as a held list is.
    for (int retry = 0; opened == HashListIndex::Opened::Held && retry < HashListFile::kSharingRetries; ++retry) {
      Sleep(HashListFile::kSharingRetryMs);
      opened = g_indexInUse.Open(path, HashListIndex::Owner::System);
    }
  }
  switch (opened) {
    case HashListIndex::Opened::Usable: break;
    case HashListIndex::Opened::Missing: return FromIndex::TextRoad;
    case HashListIndex::Opened::Foreign:
    case HashListIndex::Opened::Damaged:
      Log(L"- Index not used: " + path + L" (" + g_indexInUse.Reason() + L")");
      return FromIndex::TextRoad;
    case HashListIndex::Opened::Held:
    case HashListIndex::Opened::Unreadable:
      failure = CouldNotRead(L"hash list index", path, g_indexInUse.Error());
      return FromIndex::Failed;
  }
  if (!StandsForTheLists(g_indexInUse.Index())) {
    g_indexInUse.Close();
    return FromIndex::TextRoad;
  }
  UseIndex(g_indexInUse.Index());
  UserListCopy::Refresh(g_indexInUse.Index());
  return FromIndex::Taken;
}

// The lists from their text files; a list held without sharing sends this user to their copy at
// once, or is waited for.
std::wstring ReadTextLists() {
  using HashListFile::ReadResult;
  ReadResult results[std::size(kSlots)];
  for (size_t i = 0; i < std::size(kSlots); ++i) {
    results[i] = kSlots[i].entries->Read(*kSlots[i].path, false);
    // Only a holder sends the user to the copy: a list that cannot be read decides nothing.
    if (results[i] == ReadResult::Unreadable)
      return CouldNotRead(L"hash list", *kSlots[i].path, kSlots[i].entries->LastError());
    if (results[i] == ReadResult::Held && UseCopyPast(*kSlots[i].path)) return L"";
  }
  for (size_t i = 0; i < std::size(kSlots); ++i) {
    if (results[i] == ReadResult::Held) results[i] = kSlots[i].entries->Read(*kSlots[i].path, true);
    if (results[i] == ReadResult::Held || results[i] == ReadResult::Unreadable)
      return CouldNotRead(L"hash list", *kSlots[i].path, kSlots[i].entries->LastError());
  }
  return L"";
}

}  // namespace

std::wstring LoadHashLists() {
  g_indexInUse.Close();
  for (const ListSlot& slot : kSlots) slot.entries->Clear();
  if (std::wstring problem = Module1::HashListFolderProblem(); !problem.empty()) return problem;
  for (const ListSlot& slot : kSlots)
    if (slot.path->empty()) return L"the data folder that holds the hash lists could not be found";
  const std::wstring& first = Module1::ExecFilterMd5Path;
  std::wstring failure;
  switch (TakeSharedIndex(first.substr(0, first.find_last_of(L'\\')), failure)) {
    case FromIndex::Taken: return L"";
    case FromIndex::Failed: return failure;
    case FromIndex::TextRoad: break;
  }
  return ReadTextLists();
}

bool CheckHashRules(const std::wstring& path, const std::wstring& shownPath, bool silent, HeldFile& held) {
  if (const std::wstring failure = LoadHashLists(); !failure.empty()) {
    ReportFailedCheck(path, shownPath, silent, failure);
    return true;
  }
  const std::vector<HashList> md5Lists = {
      {ExecFilterMd5Hashes, L"MD5 Hash:  "},
      {UserExecFilterMd5Hashes, L"User-defined MD5 Hash:  "},
  };
  const std::vector<HashList> shaLists = {
      {ExecFilterSha256Hashes, L"SHA256 Hash:  "},
      {UserExecFilterSha256Hashes, L"User-defined SHA256 Hash:  "},
  };
  const auto anyEntries = [](const std::vector<HashList>& lists) {
    for (const auto& list : lists)
      if (!list.entries.Empty()) return true;
    return false;
  };
  const bool md5Wanted = anyEntries(md5Lists);
  const bool shaWanted = anyEntries(shaLists);
  if (!md5Wanted && !shaWanted) return false;

  if (const DWORD openError = held.Open(path)) {
    ReportFailedCheck(path, shownPath, silent,
                      L"the file could not be opened for hashing (" + SystemErrorText(openError) + L")");
    return true;
  }
  // A file that cannot be bound to what would start could be swapped for another after the check.
  if (!held.Problem().empty()) {
    ReportFailedCheck(path, shownPath, silent, held.Problem());
    return true;
  }
  std::vector<ALG_ID> algorithms;
  if (md5Wanted) algorithms.push_back(CALG_MD5);
  if (shaWanted) algorithms.push_back(kCalgSha256);
  std::vector<std::wstring> digests;
  {
    clsHash hash;
    if (!hash.Error().number) digests = hash.HashOpenFile(held.File(), algorithms);
    if (digests.size() != algorithms.size()) {
      ReportFailedCheck(path, shownPath, silent, hash.Error().description);
      return true;
    }
  }

  std::wstring digest;
  const HashList* matched = nullptr;
  if (md5Wanted) {
    digest = digests[0];
    matched = FindIn(md5Lists, digest);
  }
  if (!matched && shaWanted) {
    digest = digests.back();
    matched = FindIn(shaLists, digest);
  }
  if (!matched) return false;

  CommonModule::DPrint(L"modEXEScan\\CheckHashRules: ", L"- Passed: " + path,
                       std::wstring(L"- Matched: ") + matched->label + digest);
  if (!silent && !CommonModule2::IsSystemAccount(false))
    platform::ShowMessageBox(nullptr, L"This file matches a malware hash!  Aborting execution!", Module1::ProductLabel,
                             MB_OK);
  Module3::SendAlert(L"Restricted program blocked by HASH rule!",
                         std::wstring(L"A restricted program was blocked from execution by a HASH rule:") + kCrLf +
                             kCrLf + shownPath + kCrLf + kCrLf + matched->label + digest);
  return true;
}

}  // namespace modEXEScan
