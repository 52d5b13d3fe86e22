#pragma once
// Whether Windows itself is 64-bit, as the kernel tells it. The environment (ProgramFiles(x86)
// and the like) belongs to whoever started the program: a standard user who clears it for the
// elevated program started next must not send its registry writes into the 32-bit view or keep
// file-system redirection on.
namespace platform {

bool WindowsIs64Bit();

}  // namespace platform
