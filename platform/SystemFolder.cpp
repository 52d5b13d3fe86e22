#include "platform/SystemFolder.h"

#include <windows.h>

#include "platform/Text.h"

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

std::wstring SystemDrive() {
  const std::wstring windows = WindowsFolder();
  return windows.size() >= 2 && windows[1] == L':' ? windows.substr(0, 2) : std::wstring();
}

bool ExpandSystemPath(const std::wstring& text, std::wstring& expanded) {
  expanded.clear();
  for (size_t at = 0; at < text.size();) {
    const size_t open = text.find(L'%', at);
    if (open == std::wstring::npos) {
      expanded += text.substr(at);
      break;
    }
    const size_t close = text.find(L'%', open + 1);
    if (close == std::wstring::npos) return false;
    const std::wstring name = Lower(text.substr(open + 1, close - open - 1));
    std::wstring folder;
    if (name == L"systemroot" || name == L"windir") folder = WindowsFolder();
    else if (name == L"systemdrive") folder = SystemDrive();
    if (folder.empty()) return false;
    expanded += text.substr(at, open - at) + folder;
    at = close + 1;
  }
  return true;
}

std::wstring SystemTool(const std::wstring& fileName) {
  const std::wstring folder = SystemFolder();
  return folder.empty() ? std::wstring() : folder + L"\\" + fileName;
}

}  // namespace platform
