#include "tests/support/UnixLink.h"

#include <windows.h>

#include "platform/Procedure.h"
#include "platform/Text.h"

namespace testsupport {

namespace {

// The Unix path of a Windows path: the folder's as Wine gives it, and the last name after it.
std::wstring UnixPath(const std::wstring& path) {
  using UnixNameFn = char*(CDECL*)(const wchar_t*);
  static const auto unixName = platform::GetLoadedProcedure<UnixNameFn>(L"kernel32.dll", "wine_get_unix_file_name");
  const size_t slash = path.find_last_of(L'\\');
  if (!unixName || slash == std::wstring::npos) return L"";
  char* folder = unixName(path.substr(0, slash).c_str());
  if (!folder) return L"";
  const std::wstring result = platform::FromUtf8(folder) + L"/" + path.substr(slash + 1);
  HeapFree(GetProcessHeap(), 0, folder);
  return result;
}

bool LinkThere(const std::wstring& link) {
  WIN32_FIND_DATAW found = {};
  const HANDLE search = FindFirstFileW(link.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

// Starts a Unix tool and waits, up to 10 s, until the link is there or gone as wanted: Wine gives
// no handle to wait for a Unix process on.
bool RunUntil(const std::wstring& commandLine, const std::wstring& link, bool there) {
  STARTUPINFOW startup = {sizeof startup};
  PROCESS_INFORMATION process = {};
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (int waited = 0; waited < 100; ++waited) {
    if (LinkThere(link) == there) return true;
    Sleep(100);
  }
  return false;
}

}  // namespace

UnixLink::UnixLink(const std::wstring& target, const std::wstring& link) : link_(link) {
  const std::wstring from = UnixPath(target), to = UnixPath(link);
  if (from.empty() || to.empty()) return;
  made_ = RunUntil(L"\\\\?\\unix\\bin\\ln -s \"" + from + L"\" \"" + to + L"\"", link, true);
}

UnixLink::~UnixLink() {
  const std::wstring path = UnixPath(link_);
  if (!path.empty() && LinkThere(link_)) RunUntil(L"\\\\?\\unix\\bin\\rm -f \"" + path + L"\"", link_, false);
}

}  // namespace testsupport
