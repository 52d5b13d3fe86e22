#include "update/TransferBounds.h"

#include <windows.h>

#include "platform/TestSwitches.h"

namespace TransferBounds {

namespace {

// The index is one small INI file zipped; a signature is as long as the key; the packages carry
// the programs with room to grow.
constexpr uint64_t kIndexCap = 256u * 1024;
constexpr uint64_t kSignatureCap = 16u * 1024;
constexpr uint64_t kPackageCap = 128u * 1024 * 1024;

constexpr unsigned long kStallSeconds = 60;
constexpr unsigned long kLongestSeconds = 60 * 60;

}  // namespace

uint64_t SizeCap(Kind kind) {
  switch (kind) {
    case Kind::Index: return kIndexCap;
    case Kind::Signature: return kSignatureCap;
    case Kind::Package: break;
  }
  return kPackageCap;
}

Guard::Guard(Kind kind)
    : cap_(SizeCap(kind)),
      started_(GetTickCount()),
      stallMs_(platform::TestSwitchLimitMs(platform::kSwitchStallSeconds, kStallSeconds)),
      longestMs_(platform::TestSwitchLimitMs(platform::kSwitchDownloadSeconds, kLongestSeconds)),
      windowStart_(started_) {}

Verdict Guard::Check(uint64_t received, uint64_t announced) {
  if (received > cap_ || announced > cap_) return Verdict::TooLarge;
  const uint32_t now = GetTickCount();
  if (now - started_ >= longestMs_) return Verdict::TooLong;
  // A window closes once it brought the minimum; one that did not within the stall time is a stall.
  const uint64_t needed = kMinimumBytesPerSecond * stallMs_ / 1000;
  if (received < windowBytes_) windowBytes_ = received;  // a new attempt counts from its own start
  if (received - windowBytes_ >= needed) {
    windowStart_ = now;
    windowBytes_ = received;
  } else if (now - windowStart_ >= stallMs_) {
    return Verdict::Stalled;
  }
  return Verdict::Go;
}

uint32_t Guard::MsLeft() const {
  const uint32_t spent = GetTickCount() - started_;
  return spent >= longestMs_ ? 0 : longestMs_ - spent;
}

const wchar_t* Describe(Verdict verdict) {
  switch (verdict) {
    case Verdict::TooLarge: return L"- Given up, larger than its size cap: ";
    case Verdict::Stalled: return L"- Given up, below the minimum rate for the whole stall time: ";
    case Verdict::TooLong: return L"- Given up, over its time limit: ";
    case Verdict::Go: break;
  }
  return L"";
}

}  // namespace TransferBounds
