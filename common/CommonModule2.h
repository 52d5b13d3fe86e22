#pragma once
// User profiles and the SYSTEM account.
#include <string>
#include <vector>

namespace CommonModule2 {

// The system drive ("C:") of the installation the profile procedures work on; callers set it.
extern std::wstring SystemDriveCache;

// The profile folders that GetUserList found (full paths), replaced on each call.
extern std::vector<std::wstring> UserProfileList;

// The folder that holds the user profiles (C:\Users, C:\Documents and Settings), "" when none
// is found. ask: let the user pick the folder when it cannot be found (callers pass false). On the
// drive Windows runs from it is the profile list's folder, or else the parent of this program's
// user's profile, both as Windows keeps them: never taken from the environment.
std::wstring GetUserProf(bool ask);
std::wstring GetUserProfOld(bool ask);

// Fills UserProfileList with the folders directly under GetUserProf(ask); empty when there is
// no profiles folder.
void GetUserList(bool ask);

// True when SystemDriveCache's drive has the Vista-style profile layout.
bool IsNewProfileLayout();

// The shell's folder picker: file-system folders only, with an edit box. A start folder that
// exists becomes the root the user cannot leave; otherwise the desktop is. "" when cancelled.
// While rehearsing nothing is shown: a "folderpicker" record with the title is written and the
// answer is "".
std::wstring BrowseForFolder(const std::wstring& title, const std::wstring& startFolder);

// True when this process's token is LocalSystem's (as in a preinstallation environment too);
// the environment variables are not consulted.
bool IsSystemAccount(bool showMessage);

// The text cut before its first NUL character.
std::wstring TrimNull(const std::wstring& text);

}  // namespace CommonModule2
