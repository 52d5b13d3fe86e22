#include "tests/support/PlantedFolders.h"

#include <windows.h>
#include <shlobj.h>

#include <functional>

#include "platform/Handle.h"

namespace testsupport {

bool PlantedFolders::PlantProgram(const std::wstring& relative) const {
  const std::wstring path = folder_ / relative;
  const std::wstring parent = path.substr(0, path.find_last_of(L'\\'));
  const int made = SHCreateDirectoryExW(nullptr, parent.c_str(), nullptr);
  return (made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS) && CopyProgram(L"fakeprog.exe", path);
}

std::vector<std::wstring> PlantedFolders::Environment() const {
  std::vector<std::wstring> entries;
  for (const wchar_t* name : {L"APPDATA", L"LOCALAPPDATA", L"USERPROFILE", L"PROGRAMDATA"})
    entries.push_back(std::wstring(name) + L"=" + Folder());
  entries.push_back(L"FAKEPROG_HOME=" + records_.Path().substr(0, records_.Path().size() - 1));
  return entries;
}

std::vector<std::wstring> PlantedFolders::StartsRecorded() const {
  std::vector<std::wstring> names;
  for (const auto& [name, bytes] : FolderContents(records_.Path())) names.push_back(name);
  return names;
}

namespace {

void Collect(const std::wstring& folder, const std::wstring& relative, std::map<std::wstring, std::string>& contents) {
  WIN32_FIND_DATAW found = {};
  platform::UniqueFindHandle find(FindFirstFileW((folder + relative + L"*").c_str(), &found));
  if (!find) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      contents[relative + name] = "<folder>";
      Collect(folder, relative + name + L"\\", contents);
    } else {
      // A digest keeps a failure's message short; any change of the bytes changes it.
      const std::string bytes = ReadFileBytes(folder + relative + name);
      contents[relative + name] =
          std::to_string(bytes.size()) + " bytes, hash " + std::to_string(std::hash<std::string>()(bytes));
    }
  } while (FindNextFileW(find.get(), &found));
}

}  // namespace

std::map<std::wstring, std::string> FolderContents(const std::wstring& folder) {
  std::map<std::wstring, std::string> contents;
  Collect(folder.back() == L'\\' ? folder : folder + L"\\", L"", contents);
  return contents;
}

std::wstring OwnFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

}  // namespace testsupport
