#pragma once
// The service's product names, as the alert mail and its message boxes use them.
#include "common/Product.h"

namespace Module1 {

using Product::ProductLabel;  // caption of every message box and the mail's sender name
using Product::ProductTitle;  // ProductLabel, "  v" and the main program's four-part file version

// Sets ProductLabel and ProductTitle; runs at start-up before any box or mail.
using Product::BuildProductTitle;

}  // namespace Module1
