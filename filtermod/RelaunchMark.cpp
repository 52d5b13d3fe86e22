#include "filtermod/RelaunchMark.h"

#include <cstdint>
#include <cstdio>

#include "platform/ProductName.h"
#include "platform/Text.h"

namespace RelaunchMark {

namespace {

std::wstring EventName(const std::wstring& canonicalPath) {
  // FNV-1a over the lower-cased path: a name of fixed length for any path. A collision can only
  // take a fallback away.
  uint64_t hash = 14695981039346656037ull;
  for (const wchar_t c : platform::Lower(canonicalPath)) {
    hash ^= static_cast<uint16_t>(c);
    hash *= 1099511628211ull;
  }
  wchar_t text[17] = {};
  swprintf(text, 17, L"%016llx", static_cast<unsigned long long>(hash));
  return std::wstring(L"Local\\" ILATCH_PRODUCT_NAME L"FilterRelaunch-") + text;
}

}  // namespace

Mark::Mark(const std::wstring& canonicalPath)
    : event_(CreateEventW(nullptr, TRUE, FALSE, EventName(canonicalPath).c_str())) {}

void Mark::WaitUntilSeen(HANDLE startedProcess, DWORD timeoutMs) const {
  if (!event_) return;
  const HANDLE handles[] = {event_.get(), startedProcess};
  WaitForMultipleObjects(startedProcess ? 2 : 1, handles, FALSE, timeoutMs);
}

bool ClaimRelaunch(const std::wstring& canonicalPath) {
  platform::UniqueKernelHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, EventName(canonicalPath).c_str()));
  if (!event) return false;
  SetEvent(event.get());
  return true;
}

}  // namespace RelaunchMark
