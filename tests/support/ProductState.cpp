#include "tests/support/ProductState.h"

#include "tests/support/TestSupport.h"

namespace testsupport {

void ClearedProductTest::Clean() { ClearProductAndPolicy(); }

GpUpdateStandIn::GpUpdateStandIn() {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  path_ = std::wstring(system) + L"\\gpupdate.exe";
}

bool GpUpdateStandIn::Install() {
  if (!CopyProgram(L"fakeprog.exe", path_)) return false;
  DeleteFileW(CallsLog().c_str());
  return true;
}

void GpUpdateStandIn::Remove() {
  if (!FileExists(path_)) return;
  // A stand-in left running by a test holds its file for a moment after it is killed.
  RunProcess(L"taskkill.exe /f /im gpupdate.exe", {}, 10000);
  for (int i = 0; i < 50 && FileExists(path_) && !DeleteFileW(path_.c_str()); ++i) Sleep(100);
  DeleteFileW(CallsLog().c_str());
  DeleteFileW((Base() + L".fake.ini").c_str());
}

std::vector<std::wstring> GpUpdateStandIn::Calls() const { return Lines(ReadTextFile(CallsLog())); }

}  // namespace testsupport
