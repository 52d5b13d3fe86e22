#pragma once
// Runs a console program hidden and returns what it wrote to its standard output and/or error.
#include <windows.h>

#include <string>

namespace modCmdOutput {

// How long a capture waits for the program's output to end by default.
constexpr DWORD kDefaultTimeoutMs = 120000;

// The command line names the program (searched on the path when it has no folder) and its
// arguments. With both captures on, both streams go into one pipe in the order written; with one,
// the other stream is not connected. oemConversion reads the bytes in the OEM code page (console
// programs), else in the ANSI code page.
// Empty text when neither capture is asked for or the pipe cannot be made; when the program
// cannot be started, "Failed to create process, check the path of the command line:", CR LF and
// the command line. A program whose output has not ended after timeoutMs is ended and what it
// wrote until then is returned.
std::wstring GetCommandOutput(const std::wstring& commandLine, bool captureStdOut, bool captureStdErr,
                              bool oemConversion, DWORD timeoutMs = kDefaultTimeoutMs);

}  // namespace modCmdOutput
