// Where the filter module finds its four hash lists. The scan reads them; start-up sets them.
#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/modOpSys.h"
#include "filtermod/Module1.h"

namespace Module1 {

std::wstring ExecFilterMd5Path;
std::wstring ExecFilterSha256Path;
std::wstring UserExecFilterMd5Path;
std::wstring UserExecFilterSha256Path;

namespace {

std::wstring HashListPath(const std::wstring& fileName) {
  if (modOpSys::IsVista()) {
    // From the system: the environment of whoever starts the module could point anywhere.
    const std::wstring folder = Product::DataFolder();
    return folder.empty() ? L"" : folder + L"\\" + fileName;
  }
  return CommonModule::AppPath() + fileName;
}

}  // namespace

void SetHashListPaths() {
  ExecFilterMd5Path = HashListPath(Product::kDefinitionsMd5List);
  ExecFilterSha256Path = HashListPath(Product::kDefinitionsSha256List);
  UserExecFilterMd5Path = HashListPath(Product::kUserMd5List);
  UserExecFilterSha256Path = HashListPath(Product::kUserSha256List);
}

}  // namespace Module1
