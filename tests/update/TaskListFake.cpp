// Stands in for schtasks.exe when a test needs a task listing: writes "<name>.listing.txt" from
// beside itself to its standard output, and nothing when there is none.
#include <windows.h>

#include <string>

int wmain() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring listing = path;
  listing.resize(listing.find_last_of(L'.'));
  listing += L".listing.txt";
  HANDLE file = CreateFileW(listing.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  char buffer[4096];
  DWORD read = 0, written = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), buffer, read, &written, nullptr);
  CloseHandle(file);
  return 0;
}
