#pragma once
// The bounds every download of the update roads keeps, over HTTP and FTP alike: a size cap fixed
// by what is fetched, checked while the bytes arrive; one deadline for the whole fetch (a second
// attempt included); and a minimum rate, below which a transfer that crawls on for a minute is
// given up as a stall, as one that sends nothing at all is.
#include <cstdint>

namespace TransferBounds {

// What a download fetches: its kind fixes its size cap.
enum class Kind {
  Index,      // the update index zip
  Signature,  // a detached signature beside a download
  Package,    // a program, definitions or installer package
};

// The cap of a kind, in bytes.
uint64_t SizeCap(Kind kind);

// Below this many bytes a second, averaged over the stall time, a transfer is stalled.
constexpr uint64_t kMinimumBytesPerSecond = 1024;

enum class Verdict { Go, TooLarge, Stalled, TooLong };

// The clock of one fetch, started when it is made. The stall time (60 s) and the deadline (an
// hour) are shortened for tests by ILATCH_STALL_SECONDS and ILATCH_DOWNLOAD_SECONDS.
class Guard {
 public:
  explicit Guard(Kind kind);

  uint64_t Cap() const { return cap_; }
  // Judges the transfer by the bytes received so far and the length announced (0 when unknown).
  Verdict Check(uint64_t received, uint64_t announced);
  // The milliseconds left before the deadline; 0 once it has passed.
  uint32_t MsLeft() const;

 private:
  uint64_t cap_;
  uint32_t started_, stallMs_, longestMs_;
  // The start of the current stall window and the bytes received at that time.
  uint32_t windowStart_;
  uint64_t windowBytes_ = 0;
};

// The debug log's words for a verdict.
const wchar_t* Describe(Verdict verdict);

}  // namespace TransferBounds
