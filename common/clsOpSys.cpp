#include "common/clsOpSys.h"

#include <utility>
#include <vector>

#include "common/CommonModule.h"
#include "common/ErrorReport.h"
#include "common/modRegistry.h"
#include "platform/Com.h"
#include "platform/Text.h"

namespace {

constexpr wchar_t kSkuProcedure[] = L"clsOpSys\\GetOperatingSystemSKU";

bool Failed(HRESULT result, const wchar_t* step) {
  if (SUCCEEDED(result)) return false;
  ReportWindowsError(kSkuProcedure, static_cast<DWORD>(result));
  ReportArgument(L"step", step);
  return true;
}

// OperatingSystemSKU of Win32_OperatingSystem; the last instance read wins, 0 when there is none
// or WMI cannot be asked.
int32_t SkuFromWmi() {
  platform::ComApartment com;
  if (!com.Usable()) {
    Failed(com.Result(), L"CoInitialize");
    return 0;
  }
  int32_t sku = 0;
  const platform::WmiWalkEnd end = platform::WalkWmiRows(
      L"SELECT OperatingSystemSKU FROM Win32_OperatingSystem",
      [&](IWbemServices*, IWbemClassObject* row) {
        platform::ComVariant value;
        const bool readable = !Failed(row->Get(L"OperatingSystemSKU", 0, value.get(), nullptr, nullptr), L"Get") &&
                              !Failed(VariantChangeType(value.get(), value.get(), 0, VT_I4), L"OperatingSystemSKU");
        if (readable) sku = static_cast<int32_t>(V_I4(value.get()));
        return readable;
      },
      [](HRESULT result, const wchar_t* step) { Failed(result, step); });
  if (end == platform::WmiWalkEnd::TimedOut)
    CommonModule::DPrint(std::wstring(kSkuProcedure) + L": no answer from WMI");
  return end == platform::WmiWalkEnd::Finished ? sku : 0;
}

std::wstring ReadBuildLabEx() {
  return modRegistry::ReadText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"BuildLabEx");
}

// Update 1 of Windows 8.1 carries a build lab revision above 17030 ("9600.17031.amd64fre...").
bool IsUpdate1BuildLab(const std::wstring& buildLabEx) {
  if (buildLabEx.empty()) return false;
  std::vector<std::wstring> parts = platform::Split(buildLabEx, L".");
  int64_t revision = 0;
  if (parts.size() < 2 || !platform::ParseInt64(parts[1], revision)) {
    CommonModule::DPrint(L"clsOpSys\\Class_Initialize: BuildLabEx without a revision number");
    ReportArgument(L"BuildLabEx", buildLabEx);
    return false;
  }
  return revision > 17030;
}

const wchar_t* SkuEdition(int32_t sku) {
  switch (sku) {
    case 0: return L" Undefined Edition ";
    case 1: return L" Ultimate ";
    case 2: return L" Home Basic ";
    case 3: return L" Home Premium ";
    case 4: return L" Enterprise ";
    case 5: return L" Home Basic N ";
    case 6: return L" Business ";
    case 7: return L" Standard ";
    case 8: return L" Datacenter ";
    case 9: return L" SBS ";
    case 10: return L" Enterprise ";
    case 11: return L" Starter ";
    case 12: return L" Datacenter Core ";
    case 13: return L" Standard Core ";
    case 14: return L" Enterprise Core ";
    case 15: return L" Enterprise IA64 ";
    case 16: return L" Business N ";
    case 17: return L" Web Server ";
    case 18: return L" Cluster ";
    case 19: return L" Home Server ";
    case 20: return L" Storage Express ";
    case 21: return L" Storage Standard ";
    case 22: return L" Storage Workgroup ";
    case 23: return L" Storage Enterprise ";
    case 24: return L" For Small Business ";
    case 25: return L" SBS Premium ";
    case 42: return L" Hyper-V ";
    case 48: return L" Professional ";
    case 74: return L" Consumer Preview? ";
    case 103: return L" Pro w/Media Center ";
    default: return nullptr;
  }
}

// The "Product" line of the system's product file: the first section of the file that holds one.
// (The file also has inventory and version sections, which carry no product name.)
std::wstring ProductLine(const std::wstring& productFile) {
  std::vector<wchar_t> names(4096);
  for (;;) {
    const DWORD length = GetPrivateProfileSectionNamesW(names.data(), static_cast<DWORD>(names.size()),
                                                        productFile.c_str());
    if (length + 2 < names.size()) break;
    names.resize(names.size() * 2);
  }
  for (const wchar_t* section = names.data(); *section; section += wcslen(section) + 1) {
    const std::wstring product = CommonModule::ReadIni(productFile, section, L"Product");
    if (!product.empty()) return product;
  }
  return {};
}

}  // namespace

OSVERSIONINFOEXW clsOpSys::QueryVersion(GetVersionFn getVersion) {
  OSVERSIONINFOEXW record = {};
  record.dwOSVersionInfoSize = sizeof record;
  if (getVersion(reinterpret_cast<OSVERSIONINFOW*>(&record))) return record;
  // Older systems know only the plain record; the extended fields stay 0.
  record = {};
  record.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
  if (getVersion(reinterpret_cast<OSVERSIONINFOW*>(&record))) return record;
  return {};
}

namespace {
BOOL WINAPI WindowsGetVersion(OSVERSIONINFOW* record) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return GetVersionExW(record);
#pragma GCC diagnostic pop
}
}  // namespace

clsOpSys::clsOpSys() : clsOpSys(QueryVersion(WindowsGetVersion), ReadBuildLabEx, SkuFromWmi) {}

clsOpSys::clsOpSys(const OSVERSIONINFOEXW& record, const std::wstring& buildLabEx, int32_t sku)
    : clsOpSys(record, [&buildLabEx] { return buildLabEx; }, [sku] { return sku; }) {}

clsOpSys::clsOpSys(const OSVERSIONINFOEXW& record, const std::function<std::wstring()>& readBuildLabEx,
                   std::function<int32_t()> sku)
    : record_(record), sku_(std::move(sku)) {
  using platform::GetEnv;
  WinDir = GetEnv(L"windir");
  SystemRoot = GetEnv(L"systemroot");
  HomeDrive = GetEnv(L"homedrive");
  SystemDrive = GetEnv(L"systemdrive");
  WinSysDir = WinDir + (GetEnv(L"os") == L"Windows_NT" ? L"\\System32" : L"\\System");
  CurrentUserName = GetEnv(L"username");
  UserProfile = GetEnv(L"userprofile");
  ProgramFilesPath = GetEnv(L"programfiles");
  CommonProgramFilesPath = GetEnv(L"commonprogramfiles");
  TempPath = GetEnv(L"temp");
  TmpPath = GetEnv(L"tmp");

  const size_t csdCapacity = sizeof record_.szCSDVersion / sizeof record_.szCSDVersion[0];
  csdVersion_.assign(record_.szCSDVersion, wcsnlen(record_.szCSDVersion, csdCapacity));

  const DWORD major = record_.dwMajorVersion;
  const DWORD minor = record_.dwMinorVersion;
  const bool server = record_.wProductType > 1;
  if (record_.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    // Major and minor are compared each on its own: 6.2 counts as 2003 and as 7 as well.
    isWinNT_ = true;
    isWin2K_ = major >= 5;
    isWinXP_ = major >= 5 && minor >= 1;
    is2003_ = major >= 5 && minor >= 2;
    isVista_ = major >= 6;
    is2008_ = major >= 6 && server;
    isWin7_ = major >= 6 && minor >= 1;
    is2008R2_ = major >= 6 && minor >= 1 && server;
    isWin8_ = major >= 6 && minor >= 2;
    is2012_ = major >= 6 && minor >= 2 && server;
    isWin81_ = major >= 6 && minor >= 3;
  } else if (record_.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
    isWin95_ = true;
    isWin98_ = minor >= 10;
    isWinME_ = LoWord(static_cast<int32_t>(record_.dwBuildNumber)) >= 3000;
  }
  if (isWin81_) isWin81u1_ = IsUpdate1BuildLab(readBuildLabEx());
  if (isVista_) isWinXP_ = true;
}

int16_t clsOpSys::LoWord(int32_t number) { return static_cast<int16_t>(static_cast<uint32_t>(number) & 0xFFFF); }

int32_t clsOpSys::BuildNumber() const { return LoWord(static_cast<int32_t>(record_.dwBuildNumber)); }
std::wstring clsOpSys::CSDVersion() const { return platform::Trim(csdVersion_); }
int32_t clsOpSys::MajorVersion() const { return static_cast<int32_t>(record_.dwMajorVersion); }
int32_t clsOpSys::MinorVersion() const { return static_cast<int32_t>(record_.dwMinorVersion); }
int32_t clsOpSys::PlatformID() const { return static_cast<int32_t>(record_.dwPlatformId); }
int32_t clsOpSys::ProductType() const { return record_.wProductType; }
int16_t clsOpSys::ServicePackMajor() const { return static_cast<int16_t>(record_.wServicePackMajor); }
int16_t clsOpSys::ServicePackMinor() const { return static_cast<int16_t>(record_.wServicePackMinor); }
int16_t clsOpSys::SuiteMask() const { return static_cast<int16_t>(record_.wSuiteMask); }
int16_t clsOpSys::WindowsMode() const { return static_cast<int16_t>(GetSystemMetrics(SM_CLEANBOOT)); }
bool clsOpSys::HasSBS() const { return record_.wSuiteMask & 0x1; }
bool clsOpSys::HasAS() const { return record_.wSuiteMask & 0x2; }
bool clsOpSys::HasBO() const { return record_.wSuiteMask & 0x4; }
bool clsOpSys::HasTS() const { return record_.wSuiteMask & 0x10; }
bool clsOpSys::HasSBSr() const { return record_.wSuiteMask & 0x20; }
bool clsOpSys::HasDC() const { return record_.wSuiteMask & 0x80; }
bool clsOpSys::IsServer() const { return record_.wProductType > 1; }
bool clsOpSys::IsWin9x() const { return isWin95_ || isWin98_ || isWinME_; }

std::wstring clsOpSys::ProductTypeName() const {
  switch (record_.wProductType) {
    case 0: return L"Unknown";
    case 1: return L"NT Workstation";
    case 2: return L"Domain Controller";
    case 3: return L"NT Server";
    default: return {};
  }
}

std::wstring clsOpSys::Platform() const {
  // First match wins; edition texts bring their own blanks.
  if (isWinME_) return L"Windows Me";
  if (isWin98_) return L"Windows 98";
  if (isWin95_) return L"Windows 95";
  const wchar_t* name = nullptr;
  if (is2012_) name = L"Windows Server 2012";
  else if (is2008R2_) name = L"Windows Server 2008 R2";
  else if (isWin81u1_) name = L"Windows 8.1 Update 1";
  else if (isWin81_) name = L"Windows 8.1";
  else if (isWin8_) name = L"Windows 8";
  else if (isWin7_) name = L"Windows 7";
  else if (is2008_) name = L"Windows Server 2008";
  else if (isVista_) name = L"Windows Vista";
  else if (is2003_) return L"Windows Server 2003";
  else if (isWinXP_) name = L"Windows XP";
  else if (isWin2K_) return L"Windows 2000";
  else if (isWinNT_) return L"Windows NT";
  else return {};
  return name + GetEditionName();
}

std::wstring clsOpSys::Version() const {
  return Platform() + L" " + CSDVersion() + L" (Version " + std::to_wstring(MajorVersion()) + L"." +
         std::to_wstring(MinorVersion()) + L", Build " + std::to_wstring(BuildNumber()) + L")";
}

std::wstring clsOpSys::GetEditionName() const {
  if (record_.dwMajorVersion >= 6) {
    if (const wchar_t* edition = SkuEdition(GetOperatingSystemSKU())) return edition;
    return L" Unknown (SKU Bit " + std::to_wstring(GetOperatingSystemSKU()) + L") ";
  }
  const std::wstring prodSpec = WinSysDir + L"\\prodspec.ini";
  if (!CommonModule::DoesFileExist(prodSpec)) return L" Undefined Edition ";
  const std::wstring product = platform::Lower(ProductLine(prodSpec));
  std::wstring edition;
  if (platform::Contains(product, L"home")) edition = L" Home ";
  if (platform::Contains(product, L"media")) edition = L" Media Center ";
  if (platform::Contains(product, L"professional"))
    edition = CommonModule::DoesFileExist(WinDir + L"\\ehome\\ehtray.exe") ? L" Media Center " : L" Professional ";
  return edition;
}
