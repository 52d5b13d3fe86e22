#pragma once
// The download progress window: one status label, the caption showing the percentage, and the
// question before the user cancels a running download. The program's single instance; a hidden
// load runs the same download without showing anything.
#include <windows.h>

#include <cstdint>
#include <string>

#include "update/TransferBounds.h"

class frmDownloadAnp {
 public:
  // Creates the window, hidden, when it is not loaded.
  static void Load();
  // Sets the caption and shows the window without making it modal (loading it first if needed).
  static void Show(const std::wstring& caption);
  static void Unload();
  static bool IsLoaded();
  static HWND Handle();  // null when not loaded
  // True when the user closed the window and confirmed the cancel since the window was loaded.
  static bool Cancelled();

  // Runs one download of sURL to the file sFile and returns when it has ended, the window staying
  // live meanwhile. It keeps the bounds of its kind (TransferBounds.h): a transfer larger than the
  // cap, below the minimum rate for the stall time or over the time limit is given up. True when
  // the file arrived whole; a download that failed, was cancelled, given up or got an HTTP error
  // status leaves no file behind.
  static bool StartDownload(const std::wstring& sURL, const std::wstring& sFile, const std::wstring& sReferrer = L"",
                            TransferBounds::Kind kind = TransferBounds::Kind::Package);

  // The status label for a progress report: "12.50Kb  of  100.00Kb".
  static std::wstring StatusText(int32_t receivedBytes, int32_t totalBytes);
  // The caption for a progress report: "Download:  13 Complete."
  static std::wstring ProgressCaption(int32_t percent);
};
