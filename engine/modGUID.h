#pragma once
// Names for new policy rule keys.
#include <string>

namespace modGUID {

// A new GUID as its 38-character braced text, upper-case hex digits; callers lower-case it.
std::wstring NewGUIDString();

}  // namespace modGUID
