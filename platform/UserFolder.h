#pragma once
// The folders of the user this program runs as, and the all-users ones, as Windows keeps them. The
// environment (%APPDATA%, %LOCALAPPDATA%, %USERPROFILE%, %ProgramData%, %SystemDrive% and the rest)
// belongs to whoever started the program, and a standard user can set it for the elevated program
// started next: a folder found through it would choose where an administrator's program writes,
// deletes and starts, and what it whitelists.
#include <string>

namespace platform {

enum class UserFolder {
  AppData,        // the roaming application-data folder
  LocalAppData,   // the local application-data folder
  Profile,        // the profile folder
  Startup,        // the Start menu's Startup folder
  CommonAppData,  // every user's application data: ProgramData (All Users\Application Data on XP)
  CommonStartup,  // every user's Startup folder
};

// The folder of this process token's user (the common ones are everybody's), a full path without
// a trailing backslash, whether or not it exists; "" when Windows cannot tell.
std::wstring UserFolderPath(UserFolder folder);

// The folder that holds the user profiles, as the profile list under HKLM keeps it
// (ProfilesDirectory, expanded with the system's own folders); "" when it is not there.
std::wstring ProfilesFolder();

}  // namespace platform
