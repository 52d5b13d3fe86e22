#include "common/modOpSys.h"

#include <windows.h>

#include "common/clsOpSys.h"
#include "platform/KernelVersion.h"

// Each question builds a fresh version object of the kernel's version: its flags follow the one
// table of clsOpSys, major and minor compared each on its own.
namespace modOpSys {

namespace {

clsOpSys KernelOpSys() {
  const platform::KernelVersion kernel = platform::RunningKernelVersion();
  OSVERSIONINFOEXW record = {};
  record.dwOSVersionInfoSize = sizeof record;
  record.dwMajorVersion = kernel.major;
  record.dwMinorVersion = kernel.minor;
  record.dwPlatformId = kernel.platformId;
  return clsOpSys(record, L"", 0);
}

}  // namespace

bool IsVista() { return KernelOpSys().IsVista(); }
bool IsWin7() { return KernelOpSys().IsWin7(); }

}  // namespace modOpSys
