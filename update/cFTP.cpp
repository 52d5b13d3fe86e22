#include "update/cFTP.h"

#include <vector>

#include "common/CommonModule.h"
#include "platform/Forms.h"
#include "platform/Text.h"

namespace {

constexpr wchar_t kAgent[] = L"Quarn FTP Client";

// Port of "host:port" (1-65535); 0 for a text that is no port.
INTERNET_PORT ParsePort(const std::wstring& text) {
  if (text.empty() || text.size() > 5) return 0;
  unsigned long value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return 0;
    value = value * 10 + static_cast<unsigned long>(c - L'0');
  }
  return value <= 65535 ? static_cast<INTERNET_PORT>(value) : 0;
}

std::wstring ReplaceBlanks(std::wstring text) {
  for (auto& c : text)
    if (c == L' ') c = L'?';
  return text;
}

// A search without matches: Windows says ERROR_NO_MORE_FILES, Wine fails without an error number.
bool NothingFound(DWORD error) { return error == ERROR_NO_MORE_FILES || error == ERROR_SUCCESS; }

}  // namespace

std::shared_ptr<cDirList> cFTP::Directory() {
  if (!dirList_) dirList_ = std::make_shared<cDirList>();
  return dirList_;
}

void cFTP::RecordError(DWORD errorNumber, const std::wstring& label) {
  if (errorNumber == ERROR_INTERNET_EXTENDED_ERROR) {
    std::vector<wchar_t> buffer(2048, L'\0');
    DWORD serverError = 0;
    DWORD length = static_cast<DWORD>(buffer.size());
    if (InternetGetLastResponseInfoW(&serverError, buffer.data(), &length))
      lastError_.assign(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
    else
      lastError_.clear();
  } else {
    // wininet's own table first; the system's for the file errors that its calls pass through
    wchar_t message[256] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   GetModuleHandleW(L"wininet.dll"), errorNumber, 0, message, 256, nullptr);
    std::wstring text(message);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
    lastError_ = label + L" error code: " + std::to_wstring(errorNumber) + L" Message: " + text;
  }
  CommonModule::DPrint(L"cFTP: ", lastError_);
}

bool cFTP::Check(BOOL ok, const std::wstring& label) {
  if (!ok) RecordError(GetLastError(), label);
  return ok != FALSE;
}

void cFTP::RaiseProgress(LONG current, LONG total) {
  if (FileTransferProgress) FileTransferProgress(current, total);
}

bool cFTP::OpenConnection(const std::wstring& sServer, const std::wstring& sUser, const std::wstring& sPassword) {
  // A new connection gets a new session: the old one would otherwise stay open until the process ends.
  file_.reset();
  connection_.reset();
  session_.reset();
  if (!InternetAutodial(INTERNET_AUTODIAL_FORCE_ONLINE, nullptr)) return false;

  session_.reset(InternetOpenW(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session_) {
    RecordError(GetLastError(), L"InternetOpen");
  } else {
    // Every connect, command and data transfer waits a bounded time.
    DWORD timeout = kTimeoutMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
      InternetSetOptionW(session_.get(), option, &timeout, sizeof(timeout));
  }

  std::wstring host = sServer;
  INTERNET_PORT port = INTERNET_DEFAULT_FTP_PORT;
  const size_t colon = sServer.rfind(L':');
  if (colon != std::wstring::npos) {
    host = sServer.substr(0, colon);
    port = ParsePort(sServer.substr(colon + 1));
    if (port == 0) {  // a port that is no number must not quietly become the default one
      RecordError(ERROR_INTERNET_INVALID_URL, L"InternetConnect");
      return false;
    }
  }

  connection_.reset(InternetConnectW(session_.get(), host.c_str(), port, sUser.c_str(), sPassword.c_str(),
                                     INTERNET_SERVICE_FTP, connectFlags_, 0));
  if (connection_) return true;
  RecordError(GetLastError(), L"InternetConnect");
  return false;
}

void cFTP::CloseConnection() {
  file_.reset();
  connection_.reset();
  session_.reset();
}

bool cFTP::SimpleFTPPutFile(const std::wstring& sLocal, const std::wstring& sRemote) {
  return Check(FtpPutFileW(connection_.get(), sLocal.c_str(), sRemote.c_str(), transferType_, 0), L"SimpleFtpPutFile");
}

bool cFTP::RenameFTPFile(const std::wstring& sExisting, const std::wstring& sNewName) {
  return Check(FtpRenameFileW(connection_.get(), sExisting.c_str(), sNewName.c_str()), L"RenameFTPFile");
}

bool cFTP::CreateFTPDirectory(const std::wstring& sDirectory) {
  return Check(FtpCreateDirectoryW(connection_.get(), sDirectory.c_str()), L"CreateFTPDirectory");
}

bool cFTP::RemoveFTPDirectory(const std::wstring& sDirectory) {
  return Check(FtpRemoveDirectoryW(connection_.get(), sDirectory.c_str()), L"RemoveFTPDirectory");
}

bool cFTP::DeleteFTPFile(const std::wstring& sRemote) {
  return Check(FtpDeleteFileW(connection_.get(), sRemote.c_str()), L"DeleteFTPFile");
}

bool cFTP::SimpleFTPGetFile(const std::wstring& sLocal, const std::wstring& sRemote) {
  return Check(FtpGetFileW(connection_.get(), sRemote.c_str(), sLocal.c_str(), FALSE, FILE_ATTRIBUTE_NORMAL,
                           transferType_ | INTERNET_FLAG_RELOAD, 0),
               L"SimpleFtpGetFile");
}

bool cFTP::SetFTPDirectory(const std::wstring& sDir) {
  return Check(FtpSetCurrentDirectoryW(connection_.get(), sDir.c_str()), L"FtpSetCurrentDirectory");
}

std::wstring cFTP::GetFTPDirectory() {
  std::vector<wchar_t> buffer(1024, L'\0');
  DWORD length = static_cast<DWORD>(buffer.size());
  if (!FtpGetCurrentDirectoryW(connection_.get(), buffer.data(), &length)) {
    RecordError(GetLastError(), L"FtpGetCurrentDirectory");
    return L"";
  }
  return std::wstring(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
}

LONG cFTP::GetFTPFileSize(const std::wstring& sFile) {
  const std::wstring pattern = ReplaceBlanks(sFile);
  WIN32_FIND_DATAW found = {};
  platform::UniqueInternetHandle find(FtpFindFirstFileW(connection_.get(), pattern.c_str(), &found, 0, 0));
  if (find) return static_cast<LONG>(found.nFileSizeLow);
  const DWORD error = GetLastError();
  if (NothingFound(error)) return -1;
  RecordError(error, L"FtpFindFirstFile");
  return -2;
}

std::shared_ptr<cDirList> cFTP::GetDirectoryListing(const std::wstring& sFilter) {
  dirList_.reset();
  WIN32_FIND_DATAW found = {};
  platform::UniqueInternetHandle find(FtpFindFirstFileW(connection_.get(), sFilter.c_str(), &found, 0, 0));
  if (!find) {
    const DWORD error = GetLastError();
    if (!NothingFound(error)) RecordError(error, L"FtpFindFirstFile");
    return nullptr;
  }
  for (;;) {
    const std::wstring name(found.cFileName, wcsnlen(found.cFileName, MAX_PATH));
    Directory()->Add(found.dwFileAttributes, FileTimeToDate(found.ftCreationTime),
                     FileTimeToDate(found.ftLastAccessTime), FileTimeToDate(found.ftLastWriteTime),
                     static_cast<LONG>(found.nFileSizeLow), name);
    found = {};
    if (!InternetFindNextFileW(find.get(), &found)) {
      const DWORD error = GetLastError();
      if (error == ERROR_NO_MORE_FILES) return dirList_;
      RecordError(error, L"InternetFindNextFile");
      return nullptr;
    }
  }
}

bool cFTP::MoveChunks(LONG total, const std::function<bool(char*, DWORD, const wchar_t*)>& moveChunk,
                      const wchar_t* fullLabel, const wchar_t* lastLabel) {
  char buffer[kChunkSize];
  LONG done = 0;
  const LONG fullChunks = total / static_cast<LONG>(kChunkSize);
  for (LONG i = 0; i < fullChunks; ++i) {
    if (!moveChunk(buffer, kChunkSize, fullLabel)) return false;
    platform::DoEvents();
    done += kChunkSize;
    RaiseProgress(done, total);
  }
  const DWORD rest = static_cast<DWORD>(total % static_cast<LONG>(kChunkSize));
  return rest == 0 || moveChunk(buffer, rest, lastLabel);
}

bool cFTP::FTPDownloadFile(std::wstring& sLocal, std::wstring& sRemote) {
  TransferBounds::Guard guard(TransferBounds::Kind::Package);
  return FTPDownloadFile(sLocal, sRemote, guard);
}

bool cFTP::FTPDownloadFile(std::wstring& sLocal, std::wstring& sRemote, TransferBounds::Guard& guard) {
  sLocal = platform::Trim(sLocal);
  sRemote = platform::Trim(sRemote);
  if (sLocal.empty() || sRemote.empty()) return false;
  const LONG total = GetFTPFileSize(sRemote);
  if (total <= 0) return false;
  // WinInet's time-outs end a server that stops sending, not one that trickles or sends too much:
  // the guard ends those, the listed size first.
  uint64_t received = 0;
  auto withinBounds = [&](const wchar_t* label) {
    const TransferBounds::Verdict verdict = guard.Check(received, static_cast<uint64_t>(total));
    if (verdict == TransferBounds::Verdict::Go) return true;
    CommonModule::DPrint(L"cFTP\\FTPDownloadFile: ", TransferBounds::Describe(verdict), sRemote);
    RecordError(verdict == TransferBounds::Verdict::TooLarge ? ERROR_FILE_TOO_LARGE : ERROR_TIMEOUT, label);
    return false;
  };
  if (!withinBounds(L"FtpOpenFile:GetFile")) return false;

  // Always from the server, and no copy left in the URL cache.
  file_.reset(FtpOpenFileW(connection_.get(), sRemote.c_str(), GENERIC_READ,
                           transferType_ | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
  if (!file_) {
    RecordError(GetLastError(), L"FtpOpenFile:GetFile");
    return false;
  }
  // A longer file left from before would otherwise keep its tail.
  platform::UniqueFileHandle local(
      CreateFileW(sLocal.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!local) {
    RecordError(GetLastError(), L"CreateFile");
    file_.reset();
    return false;
  }

  // Reads exactly count bytes; the end of the remote file before that is a failure, not a short file.
  auto readChunk = [&](char* buffer, DWORD count, const wchar_t* label) -> bool {
    DWORD done = 0;
    while (done < count) {
      if (!withinBounds(label)) return false;
      DWORD got = 0;
      if (!InternetReadFile(file_.get(), buffer + done, count - done, &got)) {
        RecordError(GetLastError(), label);
        return false;
      }
      if (got == 0) {
        RecordError(ERROR_HANDLE_EOF, label);
        return false;
      }
      done += got;
      received += got;
    }
    DWORD written = 0;
    if (!WriteFile(local.get(), buffer, count, &written, nullptr) || written != count) {
      RecordError(GetLastError(), L"WriteFile");
      return false;
    }
    return true;
  };

  const bool moved = MoveChunks(total, readChunk, L"InternetReadFile", L"InternetReadFile2");
  local.reset();
  if (moved) RaiseProgress(total, total);
  file_.reset();
  return moved;
}

bool cFTP::FTPUploadFile(std::wstring& sLocal, std::wstring& sRemote) {
  sLocal = platform::Trim(sLocal);
  sRemote = platform::Trim(sRemote);
  if (sLocal.empty() || sRemote.empty()) return false;
  // The local file first: a missing one must not leave an empty file on the server.
  platform::UniqueFileHandle local(CreateFileW(sLocal.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!local) {
    RecordError(GetLastError(), L"CreateFile");
    return false;
  }
  const LONG length = static_cast<LONG>(GetFileSize(local.get(), nullptr));

  file_.reset(FtpOpenFileW(connection_.get(), sRemote.c_str(), GENERIC_WRITE, transferType_, 0));
  if (!file_) {
    RecordError(GetLastError(), L"FtpOpenFile:PutFile");
    return false;
  }

  auto writeChunk = [&](char* buffer, DWORD count, const wchar_t* label) -> bool {
    DWORD got = 0;
    if (!ReadFile(local.get(), buffer, count, &got, nullptr) || got != count) {
      RecordError(got != count ? ERROR_HANDLE_EOF : GetLastError(), L"ReadFile");
      return false;
    }
    DWORD done = 0;
    while (done < count) {
      DWORD written = 0;
      if (!InternetWriteFile(file_.get(), buffer + done, count - done, &written) || written == 0) {
        RecordError(GetLastError(), label);
        return false;
      }
      done += written;
    }
    return true;
  };

  const bool moved = MoveChunks(length, writeChunk, L"InternetWriteFile", L"InternetWriteFile2");
  local.reset();
  if (moved) RaiseProgress(length, length);
  file_.reset();
  return moved;
}

DATE cFTP::FileTimeToDate(const FILETIME& time) {
  FILETIME local = {};
  if (!FileTimeToLocalFileTime(&time, &local)) {
    // Logged, not shown: the scheduled update runs with nobody to answer a box.
    CommonModule::DPrint(L"cFTP.FileTimeToDate: error ", std::to_wstring(GetLastError()));
    return 0;
  }
  const ULONGLONG units = (static_cast<ULONGLONG>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
  return static_cast<double>(units) / 10000.0 / 86400000.0 - 109205.0;
}
