// The decisions that bind a hashed file to the path it is started by, on the facts the module reads
// of each part of the resolved path. Wine makes neither junctions nor mount points, and shows a
// Unix link on the way only as the folder it leads to: those parts are tested on their facts here,
// the link that Wine can make end to end in FilterModTest.
#include <gtest/gtest.h>

#include <string>

#include "filtermod/FileBinding.h"
#include "platform/Text.h"

namespace {

using FileBinding::Place;

TEST(FileBinding, TheResolvedPathIsStartedOnlyByADriveOrANetworkName) {
  struct Case {
    const wchar_t* resolved;
    Place place;
    const wchar_t* started;
  } cases[] = {
      {L"\\\\?\\C:\\Users\\u\\AppData\\x.exe", Place::Drive, L"C:\\Users\\u\\AppData\\x.exe"},
      {L"C:\\Users\\u\\x.exe", Place::Drive, L"C:\\Users\\u\\x.exe"},  // before Vista: the path given
      {L"\\\\?\\UNC\\srv\\share\\x.exe", Place::Network, L"\\\\srv\\share\\x.exe"},
      {L"\\\\?\\unc\\srv\\share\\x.exe", Place::Network, L"\\\\srv\\share\\x.exe"},
      {L"\\\\srv\\share\\x.exe", Place::Network, L"\\\\srv\\share\\x.exe"},
      // A volume mounted in a folder that has no drive letter of its own.
      {L"\\\\?\\Volume{6f1c0a2e-0000-0000-0000-100000000000}\\x.exe", Place::Unknown, L""},
      // Wine's name for a file outside every drive.
      {L"\\\\?\\unix\\tmp\\x.exe", Place::Unknown, L""},
      {L"x.exe", Place::Unknown, L""},
      {L"", Place::Unknown, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.resolved));
    const FileBinding::Resolved resolved = FileBinding::FromResolvedPath(c.resolved);
    EXPECT_EQ(resolved.place, c.place);
    EXPECT_EQ(resolved.path, c.started);
  }
}

TEST(FileBinding, OnlyHeldFoldersThatAreNoReparsePointsAndTheHashedFileItselfBind) {
  const platform::FileFacts hashed{FILE_ATTRIBUTE_ARCHIVE, 0x43000000, 0x52806e};
  const platform::FileFacts folder{FILE_ATTRIBUTE_DIRECTORY, 0x43000000, 0x528000};
  const DWORD link = FILE_ATTRIBUTE_REPARSE_POINT;
  struct Case {
    const char* what;
    bool file;  // the last part, judged against the hashed file
    DWORD openError;
    platform::FileFacts facts;
    const wchar_t* cause;  // "" when it binds, else a part of the cause
  } cases[] = {
      {"a folder", false, 0, folder, L""},
      {"a junction or a volume mounted there", false, 0, {FILE_ATTRIBUTE_DIRECTORY | link, 0x43000000, 1},
       L"a junction, symbolic link or mount point lies on its path:  "},
      {"a symbolic link to a folder", false, 0, {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE | link, 0x43000000, 2},
       L"a junction, symbolic link or mount point lies on its path:  "},
      {"a folder that cannot be held", false, ERROR_SHARING_VIOLATION, {},
       L"a folder on its path could not be held:  "},
      {"a file where the path has a folder", false, 0, hashed, L"a file lies where its path has a folder:  "},
      {"the hashed file", true, 0, hashed, L""},
      {"the hashed file, read-only and hidden", true, 0,
       {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, hashed.volumeSerial, hashed.fileIndex}, L""},
      {"a symbolic link in the file's place", true, 0, {link, hashed.volumeSerial, hashed.fileIndex},
       L"a junction, symbolic link or mount point lies on its path:  "},
      {"another file", true, 0, {FILE_ATTRIBUTE_ARCHIVE, hashed.volumeSerial, hashed.fileIndex + 1},
       L"its path leads to another file than the one opened:  "},
      {"the same index on another volume", true, 0, {FILE_ATTRIBUTE_ARCHIVE, 0x44000000, hashed.fileIndex},
       L"its path leads to another file than the one opened:  "},
      {"a folder in the file's place", true, 0, folder, L"a folder lies where its path leads:  "},
      {"a file that cannot be opened there", true, ERROR_ACCESS_DENIED, {},
       L"the file could not be opened where its path leads:  "},
  };
  const std::wstring path = L"C:\\Users\\u\\AppData\\x";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring cause = FileBinding::Judge({path, c.openError, c.facts}, c.file ? &hashed : nullptr);
    if (std::wstring(c.cause).empty()) {
      EXPECT_EQ(cause, L"");
      continue;
    }
    // The cause names the part, and the Windows error when there is one.
    const std::wstring expected = c.cause + path + (c.openError ? L" (system error " + std::to_wstring(c.openError) + L")" : L"");
    EXPECT_EQ(cause, expected);
  }
}

}  // namespace
