#pragma once
// The policy editor: lists the whitelist (unrestricted) and blacklist (disallowed) path rules of
// the restriction policy, removes selected ones and adds new ones. Every change is written to the
// registry at once; closing the window after a change refreshes group policy.
#include <string>

class Form6 {
 public:
  // Shows the window modeless; when it is open already, brings that one forward.
  static void Show();

  // Adds the text to the open window's whitelist (whitelist true) or blacklist unless an entry
  // equal to it without regard to case is there already; an empty text or no open window does
  // nothing.
  static void AddIfNotInListBox(const std::wstring& sItemToAdd, bool bWhitelist = false);
};
