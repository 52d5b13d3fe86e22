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

// Each list: its place in the index, where it lies and what was read of it.
struct ListSlot {
  List list;
  std::wstring HashListPaths::*path;
  HashListFile::Entries HashLists::*entries;
};
const ListSlot kSlots[] = {
    {List::DefinitionsMd5, &HashListPaths::definitionsMd5, &HashLists::definitionsMd5},
    {List::DefinitionsSha256, &HashListPaths::definitionsSha256, &HashLists::definitionsSha256},
    {List::UserMd5, &HashListPaths::userMd5, &HashLists::userMd5},
    {List::UserSha256, &HashListPaths::userSha256, &HashLists::userSha256},
};

void Log(const std::wstring& what) { CommonModule::DPrint(L"modEXEScan\\LoadHashLists: ", what); }

std::wstring CouldNotRead(const wchar_t* what, const std::wstring& path, DWORD error) {
  return std::wstring(what) + L" could not be read:  " + path + L" (" + SystemErrorText(error) + L")";
}

// The entries from lists.index, the shared index or this user's copy.
void UseIndex(HashLists& lists) {
  const HashListIndex::View& index = lists.index.Index();
  for (const ListSlot& slot : kSlots)
    (lists.*slot.entries).UseIndex(index.DigestsOf(slot.list), index.HasEntries(slot.list));
}

// Whether the index stands for every text list as it is now: each one's stamp is the one recorded.
bool StandsForTheLists(const HashListIndex::View& index, const HashListPaths& paths) {
  for (const ListSlot& slot : kSlots) {
    HashListIndex::Stamp now;
    const std::wstring& path = paths.*slot.path;
    if (!HashListIndex::ReadStamp(path, now) || now != index.StampOf(slot.list)) {
      Log(L"- Written since the index was made: " + path);
      return false;
    }
  }
  return true;
}

// Another program holds a list (or the index) open without sharing: this user's copy is used at
// once, and the entry says so. False when this user has no copy to use.
bool UseCopyPast(const std::wstring& held, HashLists& lists) {
  if (!UserListCopy::Open(lists.index)) return false;
  UseIndex(lists);
  const auto version = lists.index.Index().DefinitionsVersion();
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
HashListIndex::Opened OpenCurrentIndex(const std::wstring& folder, HashListIndex::MappedIndex& index,
                                       std::wstring& path) {
  HashListIndex::Opened opened = HashListIndex::Opened::Missing;
  path.clear();
  uint32_t tried = 0;
  for (int attempt = 0; attempt < 4; ++attempt) {
    const uint32_t generation = HashListIndex::CurrentGeneration();
    if (!generation || generation == tried) break;
    tried = generation;
    path = HashListIndex::PathIn(folder, HashListIndex::GenerationName(generation));
    opened = index.Open(path, HashListIndex::Owner::System);
    if (opened != HashListIndex::Opened::Missing && opened != HashListIndex::Opened::Unreadable) break;
  }
  return opened;
}

FromIndex TakeSharedIndex(const std::wstring& folder, const HashListPaths& paths, HashLists& lists) {
  std::wstring path;
  HashListIndex::Opened opened = OpenCurrentIndex(folder, lists.index, path);
  if (opened == HashListIndex::Opened::Held) {
    if (UseCopyPast(path, lists)) return FromIndex::Taken;
    // No copy: waited for as a held list is.
    for (int retry = 0; opened == HashListIndex::Opened::Held && retry < HashListFile::kSharingRetries; ++retry) {
      Sleep(HashListFile::kSharingRetryMs);
      opened = lists.index.Open(path, HashListIndex::Owner::System);
    }
  }
  switch (opened) {
    case HashListIndex::Opened::Usable: break;
    case HashListIndex::Opened::Missing: return FromIndex::TextRoad;
    case HashListIndex::Opened::Foreign:
    case HashListIndex::Opened::Damaged:
      Log(L"- Index not used: " + path + L" (" + lists.index.Reason() + L")");
      return FromIndex::TextRoad;
    case HashListIndex::Opened::Held:
    case HashListIndex::Opened::Unreadable:
      lists.failure = CouldNotRead(L"hash list index", path, lists.index.Error());
      return FromIndex::Failed;
  }
  if (!StandsForTheLists(lists.index.Index(), paths)) {
    lists.index.Close();
    return FromIndex::TextRoad;
  }
  UseIndex(lists);
  UserListCopy::Refresh(lists.index.Index());
  return FromIndex::Taken;
}

// The lists from their text files; a list held without sharing sends this user to their copy at
// once, or is waited for.
std::wstring ReadTextLists(const HashListPaths& paths, HashLists& lists) {
  using HashListFile::ReadResult;
  ReadResult results[std::size(kSlots)];
  for (size_t i = 0; i < std::size(kSlots); ++i) {
    const std::wstring& path = paths.*kSlots[i].path;
    HashListFile::Entries& entries = lists.*kSlots[i].entries;
    results[i] = entries.Read(path, false);
    // Only a holder sends the user to the copy: a list that cannot be read decides nothing.
    if (results[i] == ReadResult::Unreadable) return CouldNotRead(L"hash list", path, entries.LastError());
    if (results[i] == ReadResult::Held && UseCopyPast(path, lists)) return L"";
  }
  for (size_t i = 0; i < std::size(kSlots); ++i) {
    const std::wstring& path = paths.*kSlots[i].path;
    HashListFile::Entries& entries = lists.*kSlots[i].entries;
    if (results[i] == ReadResult::Held) results[i] = entries.Read(path, true);
    if (results[i] == ReadResult::Held || results[i] == ReadResult::Unreadable)
      return CouldNotRead(L"hash list", path, entries.LastError());
  }
  return L"";
}

std::wstring ReadLists(const HashListPaths& paths, HashLists& lists) {
  if (!paths.folderProblem.empty()) return paths.folderProblem;
  for (const ListSlot& slot : kSlots)
    if ((paths.*slot.path).empty()) return L"the data folder that holds the hash lists could not be found";
  const std::wstring& first = paths.definitionsMd5;
  switch (TakeSharedIndex(first.substr(0, first.find_last_of(L'\\')), paths, lists)) {
    case FromIndex::Taken: return L"";
    case FromIndex::Failed: return lists.failure;
    case FromIndex::TextRoad: break;
  }
  return ReadTextLists(paths, lists);
}

}  // namespace

void LoadHashLists(const HashListPaths& paths, HashLists& lists) {
  lists.index.Close();
  for (const ListSlot& slot : kSlots) (lists.*slot.entries).Clear();
  lists.failure = ReadLists(paths, lists);
}

bool CheckHashRules(const HashLists& lists, const std::wstring& path, const std::wstring& shownPath, bool silent,
                    HeldFile& held) {
  if (!lists.failure.empty()) {
    ReportFailedCheck(path, shownPath, silent, lists.failure);
    return true;
  }
  const std::vector<HashList> md5Lists = {
      {lists.definitionsMd5, L"MD5 Hash:  "},
      {lists.userMd5, L"User-defined MD5 Hash:  "},
  };
  const std::vector<HashList> shaLists = {
      {lists.definitionsSha256, L"SHA256 Hash:  "},
      {lists.userSha256, L"User-defined SHA256 Hash:  "},
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
