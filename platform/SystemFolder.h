#pragma once
// Windows' own folders as Windows reports them. The environment (%SystemRoot%, %windir%,
// %ComSpec%, PATH) belongs to whoever started the program, and a standard user can set it for the
// elevated program started next: a tool found through it would run with the administrator's token.
#include <string>

namespace platform {

// The system folder (System32), without a trailing backslash; "" when Windows cannot tell.
std::wstring SystemFolder();

// The Windows folder, without a trailing backslash; "" when Windows cannot tell.
std::wstring WindowsFolder();

// The drive Windows is installed on ("C:"), from the Windows folder; "" when Windows cannot tell.
std::wstring SystemDrive();

// A path the system stores unexpanded (REG_EXPAND_SZ), with %SystemRoot%, %windir% and
// %SystemDrive% (in any letter case) replaced by the folders above. False when it names any other
// variable or a folder is unknown: the rest could only come from the environment.
bool ExpandSystemPath(const std::wstring& text, std::wstring& expanded);

// The full path of one of Windows' own tools in the system folder ("reg.exe" gives
// C:\Windows\System32\reg.exe), whether or not it is there: a missing tool fails to start rather
// than a stranger starting in its place. "" when the system folder is unknown.
std::wstring SystemTool(const std::wstring& fileName);

}  // namespace platform
