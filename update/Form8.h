#pragma once
// The scheduled program update over FTP: signs in to the update server with the update account,
// fetches the update index and, when it names a newer version, the program package, each checked
// against the size the server lists and fetched once more when it does not match, and each with
// the maker's signature beside it, into a private folder; then swaps the program files in. Shows nothing; progress goes to the debug log.
//
// It has no controls and is never shown, so it is no window at all: loading it is creating one,
// unloading it is letting it go.
#include <memory>
#include <string>

#include "update/TransferBounds.h"

class cFTP;

class Form8 {
 public:
  Form8();
  ~Form8();
  Form8(const Form8&) = delete;
  Form8& operator=(const Form8&) = delete;

  // The whole run; bBranded fetches the white-label package. True when a new program was installed.
  bool StartUpdate(bool bBranded = false);

  // The update server, as "host" or "host:port". Tests point it at a local server through the
  // test switch ILATCH_UPDATE_SERVER (platform/TestSwitches.h).
  static std::wstring UpdateServer();

 private:
  bool InstallUpdate();
  bool CheckUpdate();
  // Both attempts at one file keep the bounds of its kind, under one deadline.
  bool DownloadAndVerify(const std::wstring& localPath, TransferBounds::Kind kind);
  // The signed-download rule over FTP: the file and its signature, each by DownloadAndVerify.
  bool DownloadSigned(const std::wstring& localPath, TransferBounds::Kind kind);
  // One attempt's outcome: true when it downloaded and the local file's length, as decimal text, is
  // the size the server lists. Logs both sizes, or the line that says what went wrong.
  bool Verified(bool downloaded, const std::wstring& localPath, const std::wstring& remoteName,
                const wchar_t* failedLine, const wchar_t* badSizeLine);

  std::unique_ptr<cFTP> ftp_;
  std::wstring folder_;  // the run's private download folder, with a trailing backslash
  std::wstring announced_;  // the index's CurrentVersion
};
