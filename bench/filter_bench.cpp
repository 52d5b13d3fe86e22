// Times the filter module as a user meets it, for scripts/run-bench.sh: each run is a process
// started and waited for inside Wine.
//   filter_bench launch <IronlatchFilterMod.exe> <Ironlatch.exe> <program> <big program> <floor> <data folder> [rounds]
//     The lists are placed as a user gets them: written into the data folder, then an apply of the
//     main program (which builds the list index), then one launch that is not counted (the
//     module's first after a new index also writes this user's copy of it; it is reported as
//     "fullfirst" for the 100,000-line lists). In each round: a hooked EXE launch of the 1 MB
//     program with 100,000-line MD5 and SHA-256 definitions lists ("full"); the same lists written
//     again by hand, so that the index no longer stands for them and the module reads their text
//     ("text"); the launch with empty lists ("empty"); the floor program, a do-nothing GUI program
//     importing the module's system libraries ("floor"); a hooked launch of the big program with
//     empty lists ("bigempty") and with one-line lists of both kinds, so that both digests are
//     taken but there is no list to speak of ("bigfull"): the difference is the hashing; and the
//     1 MB program with those one-line lists ("oneline"), which hashes it as "full" does. Every
//     hooked launch must have started its program, or the run fails: a check that failed would
//     time nothing. Prints "case=<name> round=<n> ms=<milliseconds>" per run.
//   filter_bench hash <file>
//     Both digests of the file from one read, as the module takes them, to check them against
//     coreutils. Prints "md5=... sha256=...".
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>

#include "common/HashListIndexFile.h"
#include "filtermod/clsHash.h"
#include "platform/Handle.h"

namespace {

constexpr int kListLines = 100000;
constexpr DWORD kSettleMs = 2000;

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

// The recording fake program writes each start into <name>.calls.log beside it.
std::wstring CallsLog(const std::wstring& program) { return program.substr(0, program.find_last_of(L'.')) + L".calls.log"; }

bool Started(const std::wstring& program) {
  for (int i = 0; i < 200; ++i) {
    if (GetFileAttributesW(CallsLog(program).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    Sleep(25);
  }
  return false;
}

// The digest lines of a list as RandomList writes it: every line but the comment.
uint32_t Lines(const std::string& list) {
  uint32_t lines = 0;
  for (const char c : list) lines += c == '\n';
  return lines > 0 ? lines - 1 : 0;
}

class Bench {
 public:
  Bench(const std::wstring& module, const std::wstring& main, const std::wstring& data)
      : module_(module), main_(main), data_(data) {}

  // Writes the two definitions lists by hand; with apply, the main program then builds the index
  // for them (which must hold the digests written: a data folder the apply set aside would leave
  // empty lists to time), and one launch of the program brings this user's copy up to it.
  bool Lists(const std::string& md5, const std::string& sha, bool apply, const std::wstring& program) {
    if (!WriteBytes(data_ + L"\\ExecFilter.md5", md5) || !WriteBytes(data_ + L"\\ExecFilter.sha256", sha)) {
      std::fprintf(stderr, "cannot write the lists in %ls\n", data_.c_str());
      return false;
    }
    if (!apply) return true;
    const uint32_t before = HashListIndex::CurrentGeneration();
    if (TimeRun(L"\"" + main_ + L"\" /apply /silent /nogpupdate") < 0) return false;
    // The apply rewrites the whole policy: what Wine does after it (saving the registry, telling
    // the desktop of the changed file classes) settles before anything is timed.
    Sleep(kSettleMs);
    const uint32_t generation = HashListIndex::CurrentGeneration();
    HashListIndex::MappedIndex index;
    if (generation == before ||
        index.Open(HashListIndex::PathIn(data_, HashListIndex::GenerationName(generation)),
                   HashListIndex::Owner::System) != HashListIndex::Opened::Usable ||
        index.Index().DigestsOf(HashListIndex::List::DefinitionsMd5).count != Lines(md5) ||
        index.Index().DigestsOf(HashListIndex::List::DefinitionsSha256).count != Lines(sha)) {
      std::fprintf(stderr, "the apply placed no list index of the lists written in %ls\n", data_.c_str());
      return false;
    }
    firstLaunch_ = Hooked(program);
    return firstLaunch_ >= 0;
  }
  double FirstLaunch() const { return firstLaunch_; }

  // A hooked EXE launch of the program, which must then have started.
  double Hooked(const std::wstring& program) {
    DeleteFileW(CallsLog(program).c_str());
    const double ms = TimeRun(L"\"" + module_ + L"\" /\"" + program + L"\"");
    if (ms >= 0 && !Started(program)) {
      std::fprintf(stderr, "the module did not start %ls: its hash check failed\n", program.c_str());
      return -1;
    }
    return ms;
  }

 private:
  std::wstring module_, main_, data_;
  double firstLaunch_ = -1;
};

int Launch(const std::wstring& module, const std::wstring& main, const std::wstring& program,
           const std::wstring& bigProgram, const std::wstring& floor, const std::wstring& data, int rounds) {
  const std::string md5List = RandomList(32, 1, kListLines), shaList = RandomList(64, 2, kListLines);
  const std::string md5Line = RandomList(32, 3, 1), shaLine = RandomList(64, 4, 1);
  Bench bench(module, main, data);
  const auto print = [](const char* name, int round, double ms) {
    if (ms < 0) {
      std::fprintf(stderr, "round %d, %s: the run failed\n", round, name);
      return false;
    }
    std::printf("case=%s round=%d ms=%.3f\n", name, round, ms);
    std::fflush(stdout);
    return true;
  };
  for (int round = 1; round <= rounds; ++round) {
    if (!bench.Lists(md5List, shaList, true, program) || !print("fullfirst", round, bench.FirstLaunch()) ||
        !print("full", round, bench.Hooked(program)) || !bench.Lists(md5List, shaList, false, program) ||
        !print("text", round, bench.Hooked(program)) || !bench.Lists("", "", true, program) ||
        !print("empty", round, bench.Hooked(program)) || !print("floor", round, TimeRun(L"\"" + floor + L"\"")) ||
        !print("bigempty", round, bench.Hooked(bigProgram)) || !bench.Lists(md5Line, shaLine, true, program) ||
        !print("oneline", round, bench.Hooked(program)) || !print("bigfull", round, bench.Hooked(bigProgram)))
      return 1;
  }
  DeleteFileW((data + L"\\ExecFilter.md5").c_str());
  DeleteFileW((data + L"\\ExecFilter.sha256").c_str());
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
  if (mode == L"launch" && argc >= 8)
    return Launch(argv[2], argv[3], argv[4], argv[5], argv[6], argv[7], argc > 8 ? _wtoi(argv[8]) : 11);
  if (mode == L"hash" && argc >= 3) return Hash(argv[2]);
  std::fprintf(stderr,
               "usage: filter_bench launch <IronlatchFilterMod.exe> <Ironlatch.exe> <program> <big program> <floor> "
               "<data folder> [rounds]\n"
               "       filter_bench hash <file>\n");
  return 2;
}
