#pragma once
// A small FTP client over WinInet: one session, one connection, whole-file and chunked transfers
// with progress, remote folders and listings. Failures leave a readable text in GetLastErrorMessage.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/Handle.h"
#include "update/TransferBounds.h"
#include "update/cDirList.h"

class cFTP {
 public:
  // Raised by the chunked transfers after each chunk and once at the end (both values the length).
  using ProgressHandler = std::function<void(LONG& lCurrentBytes, LONG& lTotalBytes)>;

  // How long one connect, send or receive may wait before WinInet gives up.
  static constexpr DWORD kTimeoutMs = 15000;
  static constexpr DWORD kChunkSize = 255;

  std::shared_ptr<cDirList> Directory();
  const std::wstring& GetLastErrorMessage() const { return lastError_; }

  bool OpenConnection(const std::wstring& sServer, const std::wstring& sUser, const std::wstring& sPassword);
  void CloseConnection();
  bool SimpleFTPPutFile(const std::wstring& sLocal, const std::wstring& sRemote);
  bool RenameFTPFile(const std::wstring& sExisting, const std::wstring& sNewName);
  bool CreateFTPDirectory(const std::wstring& sDirectory);
  bool RemoveFTPDirectory(const std::wstring& sDirectory);
  bool DeleteFTPFile(const std::wstring& sRemote);
  // The chunked transfers trim blanks off the caller's texts.
  bool FTPUploadFile(std::wstring& sLocal, std::wstring& sRemote);
  bool FTPDownloadFile(std::wstring& sLocal, std::wstring& sRemote);
  // The same within the bounds of guard: a file over its cap, below its rate or past its deadline
  // is given up. One guard can span several attempts at one file.
  bool FTPDownloadFile(std::wstring& sLocal, std::wstring& sRemote, TransferBounds::Guard& guard);
  bool SimpleFTPGetFile(const std::wstring& sLocal, const std::wstring& sRemote);
  std::wstring GetFTPDirectory();
  bool SetFTPDirectory(const std::wstring& sDir);
  LONG GetFTPFileSize(const std::wstring& sFile);  // -1 when absent, -2 on error
  std::shared_ptr<cDirList> GetDirectoryListing(const std::wstring& sFilter);  // none when nothing matches
  void SetTransferASCII() { transferType_ = FTP_TRANSFER_TYPE_ASCII; }
  void SetTransferBinary() { transferType_ = FTP_TRANSFER_TYPE_BINARY; }
  void SetModeActive() { connectFlags_ = 0; }
  void SetModePassive() { connectFlags_ = INTERNET_FLAG_PASSIVE; }

  ProgressHandler FileTransferProgress;

  // Local-time date (days since 30 December 1899) of a file time.
  static DATE FileTimeToDate(const FILETIME& time);

 private:
  void RecordError(DWORD errorNumber, const std::wstring& label);
  bool Check(BOOL ok, const std::wstring& label);
  void RaiseProgress(LONG current, LONG total);
  // Moves total bytes in chunks, with progress after each full one; false at the first failed chunk.
  bool MoveChunks(LONG total, const std::function<bool(char*, DWORD, const wchar_t*)>& moveChunk,
                  const wchar_t* fullLabel, const wchar_t* lastLabel);

  platform::UniqueInternetHandle session_;
  platform::UniqueInternetHandle connection_;
  platform::UniqueInternetHandle file_;
  DWORD transferType_ = FTP_TRANSFER_TYPE_ASCII;
  DWORD connectFlags_ = 0;
  std::wstring lastError_;
  std::shared_ptr<cDirList> dirList_;
};
