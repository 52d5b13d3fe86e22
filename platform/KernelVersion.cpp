#include "platform/KernelVersion.h"

#include <cstdint>
#include <string>

#include "platform/TestSwitches.h"
#include "platform/Text.h"

namespace platform {

namespace {

// Where NtMajorVersion and NtMinorVersion lie in the shared page, the same on every NT since 4.0,
// for 32-bit and 64-bit programs alike.
constexpr uintptr_t kSharedPage = 0x7FFE0000;
constexpr uintptr_t kMajorOffset = 0x26C;
constexpr uintptr_t kMinorOffset = 0x270;

DWORD SharedPageValue(uintptr_t offset) {
  // Read through a variable, so that the compiler takes the address as the run-time value it is.
  volatile uintptr_t address = kSharedPage + offset;
  return *reinterpret_cast<const volatile DWORD*>(address);
}

// "major.minor", each a whole number.
bool ParseVersion(const std::wstring& text, KernelVersion& version) {
  const size_t dot = text.find(L'.');
  int64_t major = 0, minor = 0;
  if (dot == std::wstring::npos || !ParseInt64(text.substr(0, dot), major) ||
      !ParseInt64(text.substr(dot + 1), minor) || major < 0 || minor < 0 || major > 0xFFFF || minor > 0xFFFF)
    return false;
  version.major = static_cast<DWORD>(major);
  version.minor = static_cast<DWORD>(minor);
  return true;
}

}  // namespace

KernelVersion RunningKernelVersion() {
  KernelVersion version;
  if (!ParseVersion(TestSwitch(kSwitchWindowsVersion), version)) {
    version.major = SharedPageValue(kMajorOffset);
    version.minor = SharedPageValue(kMinorOffset);
  }
  if (version.major > 6 || (version.major == 6 && version.minor > 3)) {
    version.major = 6;
    version.minor = 3;
  }
  return version;
}

}  // namespace platform
