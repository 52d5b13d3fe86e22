#pragma once
// The one installer of the installer compiler that the configuration builder may run: its SHA-256,
// fixed when the program is built (CMake option ILATCH_COMPILER_INSTALLER_SHA256; see README).
namespace CompilerInstallerPin {

// Lower-case hexadecimal; "" when the build pins none, and then nothing is fetched.
extern const wchar_t kSha256[];

}  // namespace CompilerInstallerPin
