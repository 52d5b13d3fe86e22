#pragma once
// The account this program runs as, read from its own token. %USERNAME% is whatever the starting
// user put in the environment, so it never names the account that is given rights.
#include <windows.h>

#include <string>
#include <vector>

namespace platform {

// The token's user SID, in buffer (which holds the TOKEN_USER it points into). False when the
// token cannot be read.
bool ProcessUserSid(std::vector<BYTE>& buffer, PSID& sid);

// The token's account as "DOMAIN\name" (for SYSTEM "NT AUTHORITY\SYSTEM", as Windows names it);
// "" when the token or the name cannot be read.
std::wstring ProcessAccountName();

}  // namespace platform
