// Where the filter module finds its four hash lists, and whether the folder that holds them is the system's.
#include "common/CommonModule.h"
#include "common/DataFolder.h"
#include "common/Product.h"
#include "common/modOpSys.h"
#include "filtermod/Module1.h"

namespace Module1 {

namespace {

std::wstring HashListPath(const std::wstring& fileName) {
  if (modOpSys::IsVista()) {
    // From the system: the environment of whoever starts the module could point anywhere.
    const std::wstring folder = Product::DataFolder();
    return folder.empty() ? L"" : folder + L"\\" + fileName;
  }
  return CommonModule::AppPath() + fileName;
}

std::wstring HashListFolderProblem() {
  // Before Vista the lists lie beside the program, in a folder the installer made.
  if (!modOpSys::IsVista()) return L"";
  const std::wstring folder = Product::DataFolder();
  if (folder.empty()) return L"";  // no path at all: the lists are reported missing where they are read
  const std::wstring parent = folder.substr(0, folder.find_last_of(L'\\'));
  // The maker's folder first: whoever owns it can swap the data folder inside for another.
  for (const std::wstring& part : {parent, folder}) {
    std::wstring reason;
    switch (DataFolder::CheckForReader(part, reason)) {
      case DataFolder::Presence::Missing: return L"";
      case DataFolder::Presence::Proper: break;
      case DataFolder::Presence::Foreign:
        return L"the folder that holds the hash lists is not the system's:  " + part + L" (" + reason + L")";
    }
  }
  return L"";
}

}  // namespace

HashListPaths FindHashLists() {
  HashListPaths paths;
  paths.definitionsMd5 = HashListPath(Product::kDefinitionsMd5List);
  paths.definitionsSha256 = HashListPath(Product::kDefinitionsSha256List);
  paths.userMd5 = HashListPath(Product::kUserMd5List);
  paths.userSha256 = HashListPath(Product::kUserSha256List);
  paths.folderProblem = HashListFolderProblem();
  return paths;
}

}  // namespace Module1
