// Times the event service under the service manager, several rounds each:
//   - from the moment a blocked-program entry is written until its alert lies in the SMTP sink's
//     mail folder (a quick server);
//   - the same for the filter module's alert entry of a blocked launch;
//   - from a stop request, made while a burst of blocked entries waits on a server that never
//     answers, until the service reports STOPPED;
// and once, the service's working set after a burst of 1,000 alert entries for as many programs.
//   service_bench <service exe> <sink folder> <quick port> <silent port> [rounds]
// Prints "alert round=<n> ms=<ms>", "filteralert round=<n> ms=<ms>", "stop round=<n> ms=<ms>" and
// "memory before_mb=<mb> after_mb=<mb> peak_mb=<mb>" lines; exit code 0 when everything finished,
// 1 otherwise. A measurement, not a test: nothing here fails on time.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "notify/AlertEntry.h"
#include "common/Product.h"
#include "platform/EventLog.h"
#include "platform/Handle.h"

namespace {

using platform::UniqueServiceHandle;

const wchar_t kServiceName[] = L"IlSvcBench";
using Product::kSettingsKey;
constexpr const wchar_t* kEmailKey = Product::kEmailSetupKey;
const wchar_t kPolicySource[] = L"Microsoft-Windows-SoftwareRestrictionPolicies";
constexpr int kBurst = 50;
constexpr int kMemoryBurst = 1000;

bool WriteString(const wchar_t* key, const wchar_t* name, const std::wstring& text) {
  platform::UniqueRegKey opened;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, opened.put(),
                      nullptr) != ERROR_SUCCESS)
    return false;
  return RegSetValueExW(opened.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool PointAlertsAt(uint16_t port) {
  return WriteString(kSettingsKey, L"EmailAlerts", L"1") &&
         WriteString(kEmailKey, L"EmailAddress", L"bench@example.test") &&
         WriteString(kEmailKey, L"SMTPServer", L"127.0.0.1") &&
         WriteString(kEmailKey, L"SMTPPort", std::to_wstring(port)) && WriteString(kEmailKey, L"UseSSL", L"0") &&
         WriteString(kEmailKey, L"Authenticate", L"0");
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

DWORD State(SC_HANDLE service) {
  SERVICE_STATUS status{};
  return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

bool WaitForState(SC_HANDLE service, DWORD state, DWORD timeoutMs, DWORD pollMs) {
  const DWORD start = GetTickCount();
  do {
    if (State(service) == state) return true;
    Sleep(pollMs);
  } while (GetTickCount() - start < timeoutMs);
  return State(service) == state;
}

bool WriteBlocked(const std::wstring& text) {
  platform::EventSource source(kPolicySource);
  return source.Ok() && source.Report(platform::kEventWarning, 0, 866, {L"Access to " + text + L" was restricted."});
}

// A filter-module alert entry for a blocked launch of the program, as the module writes it.
bool WriteFilterAlert(const std::wstring& program) {
  return AlertEntry::Write(Product::kFilterModuleEventSource,
                           {L"Restricted program blocked!", program,
                            L"A restricted program was blocked from execution by user click:\r\n\r\n" + program});
}

DWORD ProcessOf(SC_HANDLE service) {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status, &needed)
             ? status.dwProcessId
             : 0;
}

uint64_t CpuTime(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (uint64_t(kernel.dwHighDateTime) << 32 | kernel.dwLowDateTime) +
         (uint64_t(user.dwHighDateTime) << 32 | user.dwLowDateTime);
}

double Megabytes(SIZE_T bytes) { return bytes / (1024.0 * 1024.0); }

bool MailFolderHas(const std::wstring& folder, const std::string& token) {
  WIN32_FIND_DATAW found{};
  platform::UniqueFindHandle search(FindFirstFileW((folder + L"\\*.eml").c_str(), &found));
  if (!search) return false;
  do {
    platform::UniqueFileHandle file(CreateFileW((folder + L"\\" + found.cFileName).c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
    if (!file) continue;
    std::string bytes(64 * 1024, '\0');
    DWORD got = 0;
    if (ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
        bytes.substr(0, got).find(token) != std::string::npos)
      return true;
  } while (FindNextFileW(search.get(), &found));
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: service_bench <service exe> <sink folder> <quick port> <silent port> [rounds]\n");
    return 2;
  }
  const std::wstring exe = argv[1], mailFolder = std::wstring(argv[2]) + L"\\mail";
  const uint16_t quickPort = static_cast<uint16_t>(_wtoi(argv[3])), silentPort = static_cast<uint16_t>(_wtoi(argv[4]));
  const int rounds = argc > 5 ? _wtoi(argv[5]) : 5;

  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return 1;
  const std::wstring binary = L"\"" + exe + L"\" ";
  UniqueServiceHandle service(CreateServiceW(manager.get(), kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                             binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  if (!service) service.reset(OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
  if (!service) return 1;

  bool ok = true;
  SERVICE_STATUS status{};
  for (int round = 1; round <= rounds && ok; ++round) {
    // A quick server: the time from the entry to the delivered alert.
    ok = PointAlertsAt(quickPort) && StartServiceW(service.get(), 0, nullptr) &&
         WaitForState(service.get(), SERVICE_RUNNING, 20000, 50);
    const std::string token = "bench-" + std::to_string(GetTickCount()) + "-" + std::to_string(round);
    LARGE_INTEGER written, arrived;
    QueryPerformanceCounter(&written);
    ok = ok && WriteBlocked(std::wstring(token.begin(), token.end()));
    bool delivered = false;
    for (DWORD start = GetTickCount(); ok && !delivered && GetTickCount() - start < 30000;) {
      delivered = MailFolderHas(mailFolder, token);
      if (!delivered) Sleep(5);
    }
    QueryPerformanceCounter(&arrived);
    if (delivered) std::printf("alert round=%d ms=%.1f\n", round, Milliseconds(written, arrived));
    ok = ok && delivered;

    // The filter module's alert entry for a blocked launch, to its mail.
    const std::string program = "C:\\Users\\bench\\AppData\\Roaming\\" + token + "-blocked.exe";
    QueryPerformanceCounter(&written);
    ok = ok && WriteFilterAlert(std::wstring(program.begin(), program.end()));
    delivered = false;
    for (DWORD start = GetTickCount(); ok && !delivered && GetTickCount() - start < 30000;) {
      delivered = MailFolderHas(mailFolder, token + "-blocked.exe");
      if (!delivered) Sleep(5);
    }
    QueryPerformanceCounter(&arrived);
    if (delivered) std::printf("filteralert round=%d ms=%.1f\n", round, Milliseconds(written, arrived));
    ok = ok && delivered;

    // A server that never answers: a stop request during a burst of entries.
    ok = ok && PointAlertsAt(silentPort);
    for (int i = 0; ok && i < kBurst; ++i) ok = WriteBlocked(L"C:\\burst\\" + std::to_wstring(i) + L".exe");
    Sleep(1000);
    LARGE_INTEGER asked, stopped;
    QueryPerformanceCounter(&asked);
    ok = ok && ControlService(service.get(), SERVICE_CONTROL_STOP, &status) &&
         WaitForState(service.get(), SERVICE_STOPPED, 120000, 5);
    QueryPerformanceCounter(&stopped);
    if (ok) std::printf("stop round=%d ms=%.1f\n", round, Milliseconds(asked, stopped));
    std::fflush(stdout);
  }

  // The working set after a burst of alert entries, each for a program of its own: the service is
  // done with them when its processor time stands still for a second.
  ok = ok && PointAlertsAt(quickPort) && StartServiceW(service.get(), 0, nullptr) &&
       WaitForState(service.get(), SERVICE_RUNNING, 20000, 50);
  platform::UniqueKernelHandle process(
      ok ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ProcessOf(service.get())) : nullptr);
  // One alert first, so that "before" holds what any mail loads.
  const std::string warm = "warm-" + std::to_string(GetTickCount());
  ok = ok && process && WriteBlocked(std::wstring(warm.begin(), warm.end()));
  for (DWORD start = GetTickCount(); ok && !MailFolderHas(mailFolder, warm);) {
    ok = GetTickCount() - start < 30000;
    Sleep(20);
  }
  PROCESS_MEMORY_COUNTERS before{sizeof before}, after{sizeof after};
  ok = ok && GetProcessMemoryInfo(process.get(), &before, sizeof before);
  const std::wstring burst = L"C:\\Users\\bench\\AppData\\Local\\Temp\\m" + std::to_wstring(GetTickCount()) + L"-";
  for (int i = 0; ok && i < kMemoryBurst; ++i) ok = WriteFilterAlert(burst + std::to_wstring(i) + L".exe");
  for (uint64_t last = ~0ull, now = 0; ok && (now = CpuTime(process.get())) != last;) {
    last = now;
    Sleep(1000);
  }
  ok = ok && GetProcessMemoryInfo(process.get(), &after, sizeof after);
  if (ok)
    std::printf("memory before_mb=%.1f after_mb=%.1f peak_mb=%.1f\n", Megabytes(before.WorkingSetSize),
                Megabytes(after.WorkingSetSize), Megabytes(after.PeakWorkingSetSize));
  std::fflush(stdout);

  if (State(service.get()) != SERVICE_STOPPED) {
    ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    WaitForState(service.get(), SERVICE_STOPPED, 20000, 100);
  }
  DeleteService(service.get());
  // What the bench wrote goes again.
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEmailKey);
  platform::UniqueRegKey settings;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, settings.put()) ==
      ERROR_SUCCESS)
    RegDeleteValueW(settings.get(), L"EmailAlerts");
  return ok ? 0 : 1;
}
