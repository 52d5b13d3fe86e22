#pragma once
// The one road by which a program reads a test switch: an ILATCH_* environment value that points
// downloads at a local server, answers questions from a list, records prompts to a file and the
// like.
//
// The environment belongs to whoever started the program, and a standard user can set it for the
// elevated program started next. So a switch is heeded only by a program that lies in a folder an
// administrator listed for test runs: each text value under HKLM "Software\Ironlatch Test Runs"
// (64-bit view) names one such folder, with everything below it. Without that key, as on every
// machine that does not run the tests, every switch reads as empty.
#include <string>

namespace platform {

// The names of the switches. Every reader passes one of these.
extern const wchar_t kSwitchPromptLog[];       // file the prompt records go to (see PromptSeam.h)
extern const wchar_t kSwitchPromptAnswers[];   // comma-separated answers for the boxes
extern const wchar_t kSwitchKeepWindows[];     // recorded windows stay open
extern const wchar_t kSwitchOpenFileAnswer[];  // the file the open-file dialog "chooses"
extern const wchar_t kSwitchWebRoot[];         // "host:port[/folder]" serving every outside address
extern const wchar_t kSwitchUpdateHost[];      // the web host of the update index
extern const wchar_t kSwitchUpdateServer[];    // the FTP update server, "host[:port]"
extern const wchar_t kSwitchStallSeconds[];    // how long a download may receive nothing
extern const wchar_t kSwitchDownloadSeconds[]; // how long a download may take in all
extern const wchar_t kSwitchDataRoot[];        // the all-users data root, in place of the system's
extern const wchar_t kSwitchNoInstallerPin[];  // acts as a build that pins no compiler installer
extern const wchar_t kSwitchTrustedOwner[];    // one more owner SID the data folder may carry
extern const wchar_t kSwitchRightsLog[];       // file the rights given in the data folder are recorded to
extern const wchar_t kSwitchWindowsVersion[];  // "major.minor" in place of the kernel's version
extern const wchar_t kSwitchPreventionGate[];  // file the prevention test waits on between write and start

// True when this program's folder is listed for test runs.
bool TestSwitchesAllowed();

// The switch's value, or "" when it is unset or this program may not take test switches.
std::wstring TestSwitch(const wchar_t* name);

// A time limit in milliseconds: the switch's whole number of seconds (1 to 86399) where it gives
// one, else the seconds given.
unsigned long TestSwitchLimitMs(const wchar_t* name, unsigned long seconds);

// A moment at which a test acts on the program from outside: when the switch names a file, the
// file is made and the program waits until the test deletes it, 30 seconds at most. Without the
// switch it returns at once.
void WaitAtTestGate(const wchar_t* name);

}  // namespace platform
