// Times modZip::UnzipFile extracting one archive, several rounds into a fresh folder each time.
//   zip_bench <zip> <destination folder> [rounds]
// Prints one "round=<n> ms=<milliseconds>" line per round; exit code 0 when every round extracted.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/Handle.h"
#include "zip/modZip.h"

namespace {

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  platform::UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
  if (find) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = folder + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(child);
      else DeleteFileW(child.c_str());
    } while (FindNextFileW(find.get(), &data));
  }
  find.reset();
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: zip_bench <zip> <destination folder> [rounds]\n");
    return 2;
  }
  const std::wstring zip = argv[1];
  const int rounds = argc > 3 ? _wtoi(argv[3]) : 5;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  for (int round = 1; round <= rounds; ++round) {
    std::wstring destination = argv[2];
    RemoveTree(destination);
    bool silent = true;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const bool extracted = modZip::UnzipFile(zip, destination, silent);
    QueryPerformanceCounter(&end);
    if (!extracted) {
      std::fprintf(stderr, "round %d: extraction failed\n", round);
      return 1;
    }
    std::printf("round=%d ms=%.3f\n", round, (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart);
    std::fflush(stdout);
  }
  return 0;
}
