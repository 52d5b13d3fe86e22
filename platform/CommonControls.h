#pragma once
// The common controls of the programs' windows, initialised while shell32 is held loaded for a
// road that shows windows or boxes.
#include "platform/Handle.h"

namespace platform {

// Loads shell32 and initialises the common controls. The owner returned holds shell32 for the
// road that keeps it, and frees it when it goes.
[[nodiscard]] UniqueModule InitCommonControlsVB();

}  // namespace platform
