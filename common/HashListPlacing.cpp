#include "common/HashListPlacing.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "common/CommonModule.h"
#include "common/DefinitionsVersion.h"
#include "common/HashListIndex.h"
#include "common/HashListIndexFile.h"
#include "common/HashListText.h"
#include "common/Product.h"
#include "platform/Handle.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace HashListPlacing {

namespace {

using HashListIndex::kLists;
using HashListIndex::List;

void Log(const std::wstring& what, DWORD error = 0) {
  CommonModule::DPrint(L"HashListPlacing: ", what, static_cast<uint32_t>(error));
}

std::wstring ListPath(const std::wstring& folder, List list) {
  return HashListIndex::PathIn(folder, HashListIndex::FileName(list));
}

// The whole text of a list, shared with other readers; false when it cannot be read.
bool ReadText(const std::wstring& path, std::string_view& text, std::unique_ptr<char[]>& buffer) {
  platform::UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  size_t size = 0;
  if (!file || HashListText::ReadWhole(file.get(), buffer, size) != ERROR_SUCCESS) {
    Log(L"- Cannot read " + path, GetLastError());
    return false;
  }
  text = std::string_view(buffer.get(), size);
  return true;
}

// The current generation opened, when it is one that can be used.
bool OpenCurrent(const std::wstring& folder, HashListIndex::MappedIndex& current) {
  const uint32_t generation = HashListIndex::CurrentGeneration();
  return generation &&
         current.Open(HashListIndex::PathIn(folder, HashListIndex::GenerationName(generation)),
                      HashListIndex::Owner::System) == HashListIndex::Opened::Usable;
}

std::wstring VersionFile(const std::wstring& folder) {
  return HashListIndex::PathIn(folder, Product::kDefinitionsVersionFile);
}

// The version file's version; while another program holds it, the current index's, as long as
// the file is still the one that index recorded.
std::optional<int64_t> InstalledVersion(const std::wstring& folder, const HashListIndex::MappedIndex* current) {
  const std::wstring file = VersionFile(folder);
  if (!DefinitionsVersion::Held(file)) return DefinitionsVersion::Read(file);
  HashListIndex::Stamp now;
  if (!current || !HashListIndex::ReadStamp(file, now) || now != current->Index().VersionFileStamp()) return std::nullopt;
  return current->Index().DefinitionsVersion();
}

// The generations lying in the folder, by their number.
std::vector<uint32_t> GenerationsIn(const std::wstring& folder) {
  std::vector<uint32_t> numbers;
  const std::wstring prefix = Product::kListIndexPrefix, suffix = Product::kListIndexSuffix;
  WIN32_FIND_DATAW found = {};
  platform::UniqueFindHandle search(FindFirstFileW(HashListIndex::PathIn(folder, prefix + L"*" + suffix).c_str(), &found));
  if (!search) return numbers;
  do {
    const std::wstring name = found.cFileName;
    if (name.size() <= prefix.size() + suffix.size() || !platform::StartsWith(platform::Lower(name), platform::Lower(prefix)) ||
        !platform::EndsWith(platform::Lower(name), platform::Lower(suffix)))
      continue;
    const std::wstring digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    int64_t number = 0;
    if (digits.size() > 10 || digits.find_first_not_of(L"0123456789") != std::wstring::npos ||
        !platform::ParseInt64(digits, number) || number <= 0 || number > UINT32_MAX)
      continue;
    numbers.push_back(static_cast<uint32_t>(number));
  } while (FindNextFileW(search.get(), &found));
  return numbers;
}

// Writes a new generation under its own name, given the folder's file rights before a byte is in
// it; nobody reads it before the pointer names it.
bool WriteGeneration(const std::wstring& path, const std::string& bytes) {
  bool ok = false;
  {
    platform::UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE | READ_CONTROL | WRITE_DAC | WRITE_OWNER, 0,
                                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    ok = file && DataFolder::GiveRights(file.get(), path, DataFolder::kFileRights, true);
    std::string_view rest = bytes;
    while (ok && !rest.empty()) {
      DWORD written = 0;
      ok = WriteFile(file.get(), rest.data(), static_cast<DWORD>(std::min<size_t>(rest.size(), 1 << 20)), &written,
                     nullptr) &&
           written > 0;
      rest.remove_prefix(written);
    }
    ok = ok && FlushFileBuffers(file.get());
  }
  if (!ok) {
    Log(L"- Cannot write " + path, GetLastError());
    DeleteFileW(path.c_str());
  }
  return ok;
}

bool PointAt(uint32_t generation) {
  platform::RegistryKey key;
  LONG status = key.Create(HKEY_LOCAL_MACHINE, Product::kSettingsKey, KEY_SET_VALUE, platform::RegistryView::Bits64);
  if (status == ERROR_SUCCESS) status = key.WriteNumber(Product::kListIndexValue, generation);
  if (status != ERROR_SUCCESS) {
    Log(L"- Cannot name the current list index", static_cast<DWORD>(status));
    return false;
  }
  return true;
}

void DeleteOtherGenerations(const std::wstring& folder, uint32_t kept) {
  for (const uint32_t number : GenerationsIn(folder)) {
    if (number == kept) continue;
    const std::wstring path = HashListIndex::PathIn(folder, HashListIndex::GenerationName(number));
    if (!DeleteFileW(path.c_str())) Log(L"- Kept for a later placement (in use): " + path, GetLastError());
  }
}

// What one list of the new generation holds, and, for a list no placement touches, the stamp it
// had when its content was taken: it must still have it when the index is written.
struct Planned {
  HashListIndex::ListContent content;
  std::optional<HashListIndex::Stamp> basis;
};

// A list no placement touches: taken from the current index while it stands for the text, else
// read from the text.
bool PlanUntouched(const std::wstring& path, List list, const HashListIndex::MappedIndex* current, Planned& planned) {
  HashListIndex::Stamp now;
  if (!HashListIndex::ReadStamp(path, now)) {
    Log(L"- Cannot read the facts of " + path, GetLastError());
    return false;
  }
  planned.basis = now;
  if (current && current->Index().StampOf(list) == now) {
    planned.content = HashListIndex::FromDigests(current->Index().DigestsOf(list), current->Index().HasEntries(list));
    return true;
  }
  if (!now.present) return true;
  std::unique_ptr<char[]> buffer;
  std::string_view text;
  if (!ReadText(path, text, buffer)) return false;
  planned.content = HashListIndex::ParseText(text, list);
  return true;
}

}  // namespace

bool PlaceLists(const std::wstring& folder, const std::vector<DataFolder::Placement>& files,
                DataFolder::HeldTarget heldTargets, std::vector<std::wstring>& held) {
  HashListIndex::MappedIndex currentFile;
  const HashListIndex::MappedIndex* current = OpenCurrent(folder, currentFile) ? &currentFile : nullptr;
  const auto placementFor = [&](const std::wstring& target) -> const DataFolder::Placement* {
    for (const auto& file : files)
      if (platform::EqualsNoCase(file.second, target)) return &file;
    return nullptr;
  };

  // What the lists will hold, read before the sources are moved in.
  Planned planned[HashListIndex::kListCount];
  for (const List list : kLists) {
    const std::wstring path = ListPath(folder, list);
    Planned& plan = planned[HashListIndex::IndexOf(list)];
    if (const DataFolder::Placement* placement = placementFor(path)) {
      std::unique_ptr<char[]> buffer;
      std::string_view text;
      if (!ReadText(placement->first, text, buffer)) return false;
      plan.content = HashListIndex::ParseText(text, list);
    } else if (!PlanUntouched(path, list, current, plan)) {
      return false;
    }
  }
  const DataFolder::Placement* versionFile = placementFor(VersionFile(folder));
  const std::optional<int64_t> version =
      versionFile ? DefinitionsVersion::Read(versionFile->first) : InstalledVersion(folder, current);

  std::vector<uint32_t> existing = GenerationsIn(folder);
  existing.push_back(HashListIndex::CurrentGeneration());
  const uint32_t generation = *std::max_element(existing.begin(), existing.end()) + 1;
  const std::wstring indexPath = HashListIndex::PathIn(folder, HashListIndex::GenerationName(generation));

  const auto writeIndex = [&](const std::vector<bool>& left) {
    for (size_t i = 0; i < files.size(); ++i)
      if (left[i]) held.push_back(files[i].second);
    HashListIndex::Contents contents;
    contents.generation = generation;
    contents.definitionsVersion = version;
    if (!HashListIndex::ReadStamp(VersionFile(folder), contents.versionFile)) return false;
    for (const List list : kLists) {
      const int i = HashListIndex::IndexOf(list);
      // A placed list's stamp is the new file's; a held one's is the old file's, which stays.
      if (!HashListIndex::ReadStamp(ListPath(folder, list), contents.stamps[i])) return false;
      if (planned[i].basis && *planned[i].basis != contents.stamps[i]) {
        Log(L"- Changed while the index was made: " + ListPath(folder, list));
        return false;
      }
      contents.lists[i] = std::move(planned[i].content);
    }
    currentFile.Close();  // the old generation may go once the new one is named
    if (!WriteGeneration(indexPath, HashListIndex::Build(contents))) return false;
    if (!PointAt(generation)) {
      DeleteFileW(indexPath.c_str());
      return false;
    }
    return true;
  };
  if (!DataFolder::PlaceFiles(files, heldTargets, writeIndex)) return false;
  Log(L"- Current list index: " + indexPath);
  DeleteOtherGenerations(folder, generation);
  return true;
}

bool RenewIndex(const std::wstring& folder) {
  {
    HashListIndex::MappedIndex current;
    if (OpenCurrent(folder, current)) {
      HashListIndex::Stamp version;
      bool standing = HashListIndex::ReadStamp(VersionFile(folder), version) && version == current.Index().VersionFileStamp();
      for (const List list : kLists) {
        HashListIndex::Stamp now;
        standing = standing && HashListIndex::ReadStamp(ListPath(folder, list), now) && now == current.Index().StampOf(list);
      }
      if (standing) return true;
    }
  }
  std::vector<std::wstring> held;
  return PlaceLists(folder, {}, DataFolder::HeldTarget::FailsAll, held);
}

std::optional<int64_t> InstalledDefinitions(const std::wstring& folder) {
  HashListIndex::MappedIndex currentFile;
  return InstalledVersion(folder, OpenCurrent(folder, currentFile) ? &currentFile : nullptr);
}

}  // namespace HashListPlacing
