#include "common/modOpSys.h"

#include <windows.h>

// Provisional: answers from the raw version query until the version class is in.
namespace modOpSys {

namespace {
OSVERSIONINFOW Query() {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(&info);
#pragma GCC diagnostic pop
  return info;
}
}  // namespace

bool IsVista() { return Query().dwMajorVersion >= 6; }
bool IsWin7() {
  OSVERSIONINFOW info = Query();
  return info.dwMajorVersion >= 6 && info.dwMinorVersion >= 1;
}

}  // namespace modOpSys
