#pragma once
// A plain window that holds the place of a window still to come: it shows its caption and says
// that it is not available yet. It counts as a loaded form under the given name.
#include <string>

namespace ui {

void ShowStandInWindow(const std::wstring& formName, const std::wstring& caption);

}  // namespace ui
