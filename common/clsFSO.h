#pragma once
// The file and folder toolbox: path splitting, existence tests, details of files and drives,
// move, copy and delete of single items and folder trees, listings joined with ";", text search,
// temporary names and disk sizes. A caller makes one object where it needs file work; the object
// keeps no file open between calls. Failures come back as false or empty text plus debug-log
// lines; only the replace question of Move_File / Copy_File and IsFileHidden's box reach the user.
#include <windows.h>
#include <wtypes.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

class clsFSO {
 public:
  // The last file that Get_FileInfo or IsFileHidden read, each detail as text. Dates are in the
  // user's date and time format; Attributes holds the letters of Attribute_String.
  struct FileDetailsRecord {
    std::wstring Drive, Path, ParentFolder, Size, Type, Extension, DateLastAccessed, DateLastModified, DateCreated,
        Attributes;
  };
  // The last drive that Drive_Exist accepted. SerialNumber reads "XXXX-XXXX"; DriveType is the
  // number 0 unknown, 1 removable, 2 fixed, 3 network, 4 CD-ROM, 5 RAM disk; IsReady "1" or "0".
  struct DriveDetailsRecord {
    std::wstring DriveLetter, ShareName, Path, RootFolder, SerialNumber, VolumeName, TotalSize, AvailableSpace,
        FreeSpace, DriveType, FileSystem, IsReady;
  };

  clsFSO();

  // Set by a caller (a Cancel button, a CountFiles handler) to stop Get_FileList / Get_DirList:
  // while it is true every listing returns at once with an empty result. Never cleared here.
  bool CancelProcessing = false;

  // Raised by Get_FileList for each file its extension filter takes (the counter, the path) and
  // by Get_Totals for each file it counts (the running total, the path). A handler may change
  // the number it is given.
  std::function<void(double& dblCount, const std::wstring& strPath)> CountFiles;
  std::function<void(double& dblCount, const std::wstring& strText)> CountTotals;

  void Count(double dblData);
  double Count() const;

  const FileDetailsRecord& FileDetails() const { return fileDetails_; }
  const DriveDetailsRecord& DriveDetails() const { return driveDetails_; }

  // ---- Single paths ---------------------------------------------------------------------------

  // Opens the shell's property sheet of the file (recorded instead while rehearsing).
  void Get_FileProperties(const std::wstring& FullPathAndNameOfFile);
  // True only when nothing is left at the path. A file that resists is reset (owner, attributes)
  // and tried once more.
  bool KillFile(const std::wstring& strFile);
  // Deletes the folder with everything in it; with RecreatePath it is made again, empty. True when
  // the folder was not there or is gone (and, when asked, is there again). Refuses a drive or
  // share root and any path that is not full. A tree that resists twice is emptied item by item
  // as far as it goes, and the result is false.
  bool KillDir(const std::wstring& strPath, bool RecreatePath = false);
  std::wstring StripDrive(const std::wstring& strPath);
  bool IsDriveReady(const std::wstring& strDrive);
  bool Create_Dir_Struct(const std::wstring& strPath);
  std::wstring Get_Extension(const std::wstring& strFileName);        // "txt"
  std::wstring Get_FileNoExtension(const std::wstring& strFileName);  // "name"
  std::wstring Get_Filename(const std::wstring& strFileName);         // "name.txt"
  std::wstring Get_Path(const std::wstring& strFileName);             // parent folder, no trailing "\" below a root
  std::wstring Get_Version(const std::wstring& strFileName);          // "1.2.0.7", "" without version
  std::wstring Get_VB_Version(const std::wstring& strFileName);       // "1.2.7"
  bool Drive_Exist(const std::wstring& strSearchData, int32_t& lngDriveType);
  bool File_Exist(const std::wstring& strSearchItem);
  bool Folder_Exist(const std::wstring& strFolder);
  std::vector<std::wstring> Available_Drives();  // "C:\", "D:\", ...
  // True when a probe file cannot be written, appended to and deleted in the folder.
  bool IsThisRestricted(const std::wstring& strPath);
  bool Get_FileInfo(const std::wstring& strFileName);
  bool IsFileHidden(const std::wstring& strFileName);
  std::wstring Attribute_String(int32_t lngValue);
  void Move_Dir(const std::wstring& sSource, const std::wstring& sDestination);
  // A target ending in "\" is a folder that receives the file under its own name. An existing
  // target is replaced in one step (after the replace question unless boolOverwrite); when the
  // move or copy fails the old target is left as it was. The target gets the source's attributes.
  bool Move_File(const std::wstring& strSource, const std::wstring& strTarget, bool boolOverwrite = false);
  bool Copy_File(const std::wstring& strSource, const std::wstring& strTarget, bool boolOverwrite = false);
  // Deletes the folder tree, read-only and hidden items too; links inside are removed as links.
  // True only when the folder is gone. Refuses roots and paths that are not full.
  bool DelTree32(const std::wstring& strPath);
  std::wstring Add_Trailing_Slash(const std::wstring& strPath);     // trimmed, one "\" at the end
  std::wstring Remove_Trailing_Slash(const std::wstring& strPath);  // trimmed, one final "\" dropped

  // ---- Many items, names, disk ----------------------------------------------------------------

  // The files directly in the folder whose text contains strText, whatever its case; {"N/A", ""}
  // when none does.
  std::vector<std::wstring> TextSearch(const std::wstring& strPath, const std::wstring& strText);
  // intDataType 1: bytes of the files that match the pattern strPattern; 2, 3, 4: the number of
  // files last accessed, modified or created on or after the date text strPattern. "0" on bad input.
  std::wstring Get_Totals(const std::wstring& strPath, int16_t intDataType, const std::wstring& strPattern,
                          bool blnSearchSubfolders);
  // Full paths, each followed by ";". A pattern with "*" (other than "*.*") takes only the files
  // of its extension, counts them and raises CountFiles; any other pattern takes every file.
  // Subfolders are walked depth first; links to folders are not followed.
  std::wstring Get_FileList(const std::wstring& strPath, bool blnSearchSubfolders, const std::wstring& strPattern);
  // Full paths of the subfolders separated by ";" (none at the end); with recursion each folder is
  // followed by its own subfolders. Links to folders are listed, not followed.
  std::wstring Get_DirList(const std::wstring& strPath, bool bRecurseSubs = false);
  void AccessErrNum(int32_t ErrNum);
  int32_t AccessErrNum() const;
  // Makes a new empty file in strTmpFolder (the system's temporary folder when it is blank; the
  // argument then receives that folder, ending in "\") and returns its full path; "" on failure.
  std::wstring Create_Tmp_Filename(std::wstring& strTmpFolder);
  std::wstring Create_Tmp_Filename();
  // Makes a new folder under the temporary folder; its path ends in "\"; "" on failure.
  std::wstring Create_Tmp_Folder();
  // Bytes of all files in the folder tree; nothing when some part of it cannot be read.
  std::optional<double> GetDirSize(const std::wstring& sDir);
  std::wstring Remove_Nulls(const std::wstring& strInput);
  // "_" followed by intLength - 1 digits and small letters; "" below 1.
  std::wstring Create_Tmp_Name(int16_t intLength);
  float Rnd2(float sngLow, float sngHigh);  // from sngLow up to, not including, sngHigh
  // The shell's folder browser; "" when cancelled (and while rehearsing, where it is only recorded).
  std::wstring BrowseForFolder(HWND frm = nullptr, const std::wstring& strPrompt = L"");
  // C:\aaa\bbb\ccc\file.txt with 15 gives C:\...\file.txt.
  std::wstring Shrink_2_Fit(const std::wstring& strPath_to_Resize, int16_t intMaxLen);
  bool Get_Disk_Space(const std::wstring& strPath, double& dblTotalSpace, double& dblFreeSpace, double& dblUsedSpace);
  // The file's lines (ANSI) into TheArray; a missing file is created holding one empty line. An
  // existing empty file leaves TheArray as it was.
  void FileToArray(const std::wstring& Filename, std::vector<std::wstring>& TheArray);
  // Renames the file within its folder; sNewFileNameOnly receives the full new path. With
  // bOverwriteIfExist an existing target is replaced in one step and kept when the rename fails.
  bool RenFile(const std::wstring& sOriginalPathAndFileName, std::wstring& sNewFileNameOnly,
               bool bOverwriteIfExist = false);
  DATE GetFileCreationDate(const std::wstring& sTargetFile);  // 0 when the file is not there
  // Makes a stubborn file or folder deletable: control and ownership to the current user, then
  // the attributes to archive only.
  void ResetAttributes(const std::wstring& sTargetFile);
  std::wstring ReturnNewerFile(const std::wstring& sFile1, const std::wstring& sFile2);
  std::wstring ReturnNewestFileFromSpec(const std::wstring& sFilePath, const std::wstring& sFileSpec,
                                        bool bScanSubDirs = false);

 private:
  bool MoveOrCopy(const std::wstring& source, const std::wstring& target, bool overwrite, bool move);
  bool ReadFileDetails(const std::wstring& fileName);

  double counter_ = 0;
  int32_t accessErrNum_ = 0;
  FileDetailsRecord fileDetails_;
  DriveDetailsRecord driveDetails_;
  std::mt19937 random_;
};
