#pragma once
// The version of the running Windows as its kernel keeps it, in the page the kernel shares
// read-only with every process. What GetVersionEx and RtlGetVersion tell a program follows that
// program's compatibility settings, which the user who starts it can set; no setting of any
// process changes this page.
#include <windows.h>

namespace platform {

struct KernelVersion {
  DWORD major = 0;
  DWORD minor = 0;
  // The page is the NT kernel's, and these programs run on no other.
  DWORD platformId = VER_PLATFORM_WIN32_NT;
};

// The kernel's version, capped at 6.3 as the programs' manifests cap what Windows tells them:
// the version tests compare major and minor each on its own, so 10.0 would read as older than 7.
// A program listed for test runs takes ILATCH_WINDOWS_VERSION ("5.1") in place of the kernel's.
KernelVersion RunningKernelVersion();

}  // namespace platform
