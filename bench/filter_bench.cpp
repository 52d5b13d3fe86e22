// Times the filter module as a user meets it, for scripts/run-bench.sh: each run is a process
// started and waited for inside Wine.
//   filter_bench launch <IronlatchFilterMod.exe> <program> <big program> <floor> <data folder> [rounds]
//     In each round: a hooked EXE launch of the program with 100,000-line MD5 and SHA-256
//     definitions lists ("full") and with empty lists ("empty"); the floor program, a do-nothing GUI
//     program importing the module's system libraries ("floor"); a hooked launch of the big program
//     with one-line lists of both kinds, so that both digests are taken but there is no list to
//     speak of ("bigfull"), and with empty lists ("bigempty"): the difference is the hashing.
//     Prints "case=<name> round=<n> ms=<milliseconds>" per run.
//   filter_bench hash <file>
//     Both digests of the file from one read, as the module takes them, to check them against
//     coreutils. Prints "md5=... sha256=...".
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>

#include "filtermod/clsHash.h"
#include "platform/Handle.h"

namespace {

constexpr int kListLines = 100000;

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart * 1000.0 / frequency.QuadPart;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  platform::UniqueFileHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

// Digests that match nothing, as the definitions update delivers them: a comment line, then
// upper-case hex text of the given length from a fixed sequence, CR LF after each line.
std::string RandomList(size_t digits, uint32_t seed, int lines) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string list = "; definitions\r\n";
  list.reserve(lines * (digits + 2) + list.size());
  uint32_t x = seed;
  for (int line = 0; line < lines; ++line) {
    for (size_t i = 0; i < digits; ++i) {
      x = x * 1664525u + 1013904223u;
      list += kHex[x >> 28];
    }
    list += "\r\n";
  }
  return list;
}

// Runs a command line and waits for it; its time in milliseconds, negative when it failed.
double TimeRun(const std::wstring& commandLine) {
  std::wstring line = commandLine;
  STARTUPINFOW startup = {sizeof startup};
  PROCESS_INFORMATION info = {};
  const double start = NowMs();
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return -1;
  platform::UniqueKernelHandle process(info.hProcess), thread(info.hThread);
  if (WaitForSingleObject(process.get(), 120000) != WAIT_OBJECT_0) return -1;
  return NowMs() - start;
}

int Launch(const std::wstring& module, const std::wstring& program, const std::wstring& bigProgram,
           const std::wstring& floor, const std::wstring& data, int rounds) {
  const std::wstring md5 = data + L"\\ExecFilter.md5", sha = data + L"\\ExecFilter.sha256";
  const std::string md5List = RandomList(32, 1, kListLines), shaList = RandomList(64, 2, kListLines);
  const std::string md5Line = RandomList(32, 3, 1), shaLine = RandomList(64, 4, 1);
  static const std::string kEmpty;
  const std::wstring hooked = L"\"" + module + L"\" /\"" + program + L"\"";
  const std::wstring hookedBig = L"\"" + module + L"\" /\"" + bigProgram + L"\"";
  const std::wstring floorRun = L"\"" + floor + L"\"";
  struct Case {
    const char* name;
    const std::string* md5;
    const std::string* sha;
    const std::wstring* command;
  };
  const Case cases[] = {{"full", &md5List, &shaList, &hooked},
                        {"empty", &kEmpty, &kEmpty, &hooked},
                        {"floor", &kEmpty, &kEmpty, &floorRun},
                        {"bigfull", &md5Line, &shaLine, &hookedBig},
                        {"bigempty", &kEmpty, &kEmpty, &hookedBig}};
  for (int round = 1; round <= rounds; ++round) {
    for (const auto& c : cases) {
      if (!WriteBytes(md5, *c.md5) || !WriteBytes(sha, *c.sha)) {
        std::fprintf(stderr, "cannot write the lists in %ls\n", data.c_str());
        return 1;
      }
      const double ms = TimeRun(*c.command);
      if (ms < 0) {
        std::fprintf(stderr, "round %d, %s: the program did not run\n", round, c.name);
        return 1;
      }
      std::printf("case=%s round=%d ms=%.3f\n", c.name, round, ms);
      std::fflush(stdout);
    }
  }
  DeleteFileW(md5.c_str());
  DeleteFileW(sha.c_str());
  return 0;
}

int Hash(const std::wstring& file) {
  constexpr ALG_ID kSha256 = 0x800C;
  clsHash hash;
  const auto digests = hash.HashFileAll(file, {CALG_MD5, kSha256});
  if (digests.size() != 2) {
    std::fprintf(stderr, "hashing failed\n");
    return 1;
  }
  std::printf("md5=%ls sha256=%ls\n", digests[0].c_str(), digests[1].c_str());
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"launch" && argc >= 7)
    return Launch(argv[2], argv[3], argv[4], argv[5], argv[6], argc > 7 ? _wtoi(argv[7]) : 5);
  if (mode == L"hash" && argc >= 3) return Hash(argv[2]);
  std::fprintf(stderr,
               "usage: filter_bench launch <IronlatchFilterMod.exe> <program> <big program> <floor> <data folder> "
               "[rounds]\n"
               "       filter_bench hash <file>\n");
  return 2;
}
