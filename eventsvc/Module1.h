#pragma once
// The service's product names, as the alert mail and its message boxes use them.
#include <string>

namespace Module1 {

extern std::wstring ProductLabel;  // caption of every message box and the mail's sender name
extern std::wstring ProductTitle;  // ProductLabel, "  v" and the main program's four-part file version

// Sets ProductLabel and ProductTitle; runs at start-up before any box or mail.
void BuildProductTitle();

}  // namespace Module1
