#include "engine/modGUID.h"

#include <objbase.h>

namespace modGUID {

std::wstring NewGUIDString() {
  GUID guid;
  if (FAILED(CoCreateGuid(&guid))) return {};
  wchar_t text[40] = {};
  int length = StringFromGUID2(guid, text, 40);
  return length > 0 ? std::wstring(text, static_cast<size_t>(length - 1)) : std::wstring();
}

}  // namespace modGUID
