#include "platform/FileIdentity.h"

#include "platform/Procedure.h"

namespace platform {

bool ReadFileFacts(HANDLE handle, FileFacts& facts) {
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(handle, &info)) return false;
  facts.attributes = info.dwFileAttributes;
  facts.volumeSerial = info.dwVolumeSerialNumber;
  facts.fileIndex = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

std::wstring FinalPathName(HANDLE handle, DWORD& error) {
  using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
  static const auto finalPath = GetLoadedProcedure<FinalPathFn>(L"kernel32.dll", "GetFinalPathNameByHandleW");
  error = 0;
  if (!finalPath) {
    error = ERROR_CALL_NOT_IMPLEMENTED;
    return L"";
  }
  constexpr DWORD kNormalizedDosName = 0;  // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS
  std::wstring text(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = finalPath(handle, text.data(), static_cast<DWORD>(text.size()), kNormalizedDosName);
    if (length == 0) {
      error = GetLastError();
      return L"";
    }
    if (length < text.size()) {
      text.resize(length);
      return text;
    }
    text.assign(length + 1, L'\0');
  }
  error = ERROR_INSUFFICIENT_BUFFER;
  return L"";
}

}  // namespace platform
