#pragma once
// The group values of older versions: one value under the settings key that stood for several of
// today's values.
#include <string>
#include <vector>

namespace LegacyGroup {

// The saved texts of the members, in their order. When the group holds a box value (0, 1 or 2),
// every member takes it: the members are saved with it first, and only when all were saved does
// the group value go, so that no choice is lost. A group text that is no box value counts as
// absent: each member's own text is read (empty when missing) and the group is left as it was.
std::vector<std::wstring> ReadGroup(const wchar_t* group, const std::vector<std::wstring>& members);

}  // namespace LegacyGroup
