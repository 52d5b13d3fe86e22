#include "platform/SystemFolder.h"

#include <windows.h>

namespace platform {

namespace {

std::wstring FolderFrom(UINT (WINAPI *query)(LPWSTR, UINT)) {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = query(folder, MAX_PATH);
  return length && length < MAX_PATH ? std::wstring(folder, length) : std::wstring();
}

}  // namespace

std::wstring SystemFolder() { return FolderFrom(GetSystemDirectoryW); }

std::wstring WindowsFolder() { return FolderFrom(GetWindowsDirectoryW); }

std::wstring SystemTool(const std::wstring& fileName) {
  const std::wstring folder = SystemFolder();
  return folder.empty() ? std::wstring() : folder + L"\\" + fileName;
}

}  // namespace platform
