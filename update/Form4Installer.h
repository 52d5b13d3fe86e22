#pragma once
// The installer compiler the configuration builder needs, fetched and installed on request.
namespace Module1 {

// Downloads the compiler's installer into a private folder and runs it silently, only when its
// SHA-256 is the one pinned in the build; true once it ran and the compiler is there. Without a
// pin nothing is fetched; then, as when the download fails or brings another file, the user is
// told and sent to the tool maker's download page.
bool EnsureInnoSetup();

}  // namespace Module1
