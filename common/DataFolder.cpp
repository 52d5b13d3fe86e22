#include "common/DataFolder.h"

#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "common/DataFolderPrivileges.h"
#include "common/Product.h"
#include "platform/Handle.h"
#include "platform/PrivateFolder.h"

namespace DataFolder {

namespace {

// While a folder is being secured nobody else may rename or delete it.
constexpr DWORD kHoldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool Missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

enum class Part { Maker, Data };

// One part of the path, checked, set aside when foreign, made with the rights given at creation
// when missing, and its rights set through the handle that was checked. Empty on failure. A data
// folder that went aside for its rights alone is named in looseAside.
platform::UniqueFileHandle SecurePart(const std::wstring& part, PSECURITY_DESCRIPTOR descriptor, Part role,
                                      std::wstring& looseAside) {
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  for (int attempt = 0; attempt < 3; ++attempt) {
    platform::UniqueFileHandle handle = OpenUnfollowed(part, kHoldShare);
    bool made = false;
    if (!handle) {
      const DWORD error = GetLastError();
      if (!Missing(error)) {
        // A folder the administrators cannot even open is no folder of theirs.
        if (error == ERROR_SHARING_VIOLATION || !SetAside(part, L"cannot be opened: " + std::to_wstring(error)))
          return {};
        continue;
      }
      if (!CreateDirectoryW(part.c_str(), &attributes)) {
        if (GetLastError() == ERROR_ALREADY_EXISTS) continue;  // made by someone else meanwhile: judged next round
        CommonModule::DPrint(L"DataFolder: cannot create " + part, std::to_wstring(GetLastError()));
        return {};
      }
      handle = OpenUnfollowed(part, kHoldShare);
      if (!handle) return {};
      made = true;
    }
    Facts facts;
    if (!ReadFacts(handle.get(), facts, part)) return {};
    std::wstring reason;
    // A folder made just now has the rights it was given; only its kind is checked again (Wine
    // reports no owner it was given).
    Verdict verdict = Verdict::Proper;
    if (!made) {
      verdict = Judge(facts, true, reason);
    } else if (!(facts.attributes & FILE_ATTRIBUTE_DIRECTORY) || (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
               facts.elsewhere) {
      verdict = Verdict::Foreign;
      reason = L"not the folder just made";
    }
    if (verdict == Verdict::Loose && role == Part::Maker) {
      CommonModule::DPrint(L"DataFolder: " + part + L" stays (" + reason + L"): its rights are replaced");
      verdict = Verdict::Proper;
    }
    if (verdict == Verdict::Proper) {
      if (!GiveRights(handle.get(), part, kRights, false)) return {};
      return handle;
    }
    if (facts.elsewhere) {
      // Renamed by its path, such a link would move what it leads to.
      CommonModule::DPrint(L"DataFolder: not used " + part + L" (" + reason + L")");
      return {};
    }
    handle.reset();
    std::wstring aside;
    if (!SetAside(part, reason, &aside)) return {};
    if (verdict == Verdict::Loose) looseAside = aside;
  }
  return {};
}

// Every entry of the data folder: a proper file keeps its place and gets what the folder hands
// down, through the handle that checked it; anything else is renamed aside in the folder and
// never given rights, and an entry set aside earlier is left as it is. False when an entry
// cannot be set aside by itself (a link the system follows would move what it leads to, a file
// held open could not be renamed), or the entries cannot be listed; why then says so.
bool SettleEntries(const std::wstring& folder, std::wstring& why) {
  WIN32_FIND_DATAW found = {};
  platform::UniqueFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!search) {
    why = L"its entries cannot be listed: " + std::to_wstring(GetLastError());
    return false;
  }
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L".." || IsSetAsideName(name)) continue;
    const std::wstring path = folder + L"\\" + name;
    platform::UniqueFileHandle handle = OpenUnfollowed(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    Facts facts;
    std::wstring reason;
    bool proper = false;
    if (!handle) {
      if (Missing(GetLastError())) continue;
      reason = L"cannot be opened: " + std::to_wstring(GetLastError());
    } else if (!ReadFacts(handle.get(), facts, path)) {
      reason = L"what it is cannot be read: " + std::to_wstring(GetLastError());
    } else if (Judge(facts, false, reason) == Verdict::Proper) {
      proper = GiveRights(handle.get(), path, kFileRights, true);
      if (!proper) reason = L"its rights did not hold";
    }
    if (proper) continue;
    handle.reset();
    if (facts.elsewhere || !SetAside(path, reason)) {
      why = L"holds " + path + L" (" + reason + L"), which cannot be set aside by itself";
      return false;
    }
  } while (FindNextFileW(search.get(), &found));
  return true;
}

// Copies what the handle reads to a new file.
bool CopyThrough(HANDLE source, const std::wstring& to) {
  platform::UniqueFileHandle target(
      CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!target) return false;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    DWORD got = 0, written = 0;
    if (!ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return false;
    if (got == 0) return true;
    if (!WriteFile(target.get(), buffer.data(), got, &written, nullptr) || written != got) return false;
  }
}

// The administrator's own lists from a data folder that went aside: each one that passes the file
// check is read through the handle that checked it (nobody may write it meanwhile) and placed into
// the new folder; one that does not stays in the folder set aside. The maker's definitions and
// their version file are not taken: the next update brings them again.
void CarryOverUserLists(const std::wstring& from, const std::wstring& to) {
  for (const wchar_t* name : {Product::kUserMd5List, Product::kUserSha256List}) {
    const std::wstring source = from + L"\\" + name;
    const std::wstring target = to + L"\\" + name;
    platform::UniqueFileHandle handle(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    Facts facts;
    std::wstring reason;
    if (!handle) {
      if (Missing(GetLastError())) continue;
      reason = L"cannot be opened: " + std::to_wstring(GetLastError());
    } else if (!ReadFacts(handle.get(), facts, source)) {
      reason = L"what it is cannot be read";
    } else if (Judge(facts, false, reason) == Verdict::Proper) {
      platform::PrivateFolder work;
      const std::wstring copy = work.Path() + L"\\" + name;
      if (work.Ok() && CopyThrough(handle.get(), copy) && PlaceFiles({{copy, target}})) {
        CommonModule::DPrint(L"DataFolder: carried over " + source + L" as " + target);
        continue;
      }
      reason = L"it could not be copied";
    }
    CommonModule::DPrint(L"DataFolder: not carried over " + source + L" (" + reason + L"): it stays there");
  }
}

}  // namespace

bool Secure(const std::wstring& folder) {
  const size_t slash = folder.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash < 3) return false;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kRights, SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  platform::UniqueLocal owned(descriptor);
  const BackupAndRestore privileges;
  // The parent is held, checked, while the data folder inside is checked and made.
  std::wstring looseAside;
  platform::UniqueFileHandle maker = SecurePart(folder.substr(0, slash), descriptor, Part::Maker, looseAside);
  platform::UniqueFileHandle data;
  std::wstring carryFrom;
  for (int round = 0; maker && round < 2; ++round) {
    data = SecurePart(folder, descriptor, Part::Data, looseAside);
    if (!looseAside.empty()) carryFrom = looseAside;
    std::wstring why;
    if (!data || SettleEntries(folder, why)) break;
    data.reset();
    std::wstring aside;
    if (!SetAside(folder, why, &aside)) break;
    carryFrom = aside;
  }
  if (data && !carryFrom.empty()) CarryOverUserLists(carryFrom, folder);
  return static_cast<bool>(data);
}

}  // namespace DataFolder
