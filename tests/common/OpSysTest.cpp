// The Windows version class and its two wrappers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/clsOpSys.h"
#include "common/modOpSys.h"
#include "platform/Text.h"
#include "tests/support/TestSupport.h"

using testsupport::ScratchDir;

namespace {

OSVERSIONINFOEXW Record(DWORD platformId, DWORD major, DWORD minor, DWORD build, BYTE productType = 1,
                        const wchar_t* csd = L"", WORD suiteMask = 0) {
  OSVERSIONINFOEXW record = {};
  record.dwOSVersionInfoSize = sizeof record;
  record.dwPlatformId = platformId;
  record.dwMajorVersion = major;
  record.dwMinorVersion = minor;
  record.dwBuildNumber = build;
  record.wProductType = productType;
  record.wSuiteMask = suiteMask;
  wcsncpy(record.szCSDVersion, csd, 127);
  return record;
}

constexpr DWORD kNT = VER_PLATFORM_WIN32_NT;
constexpr DWORD k9x = VER_PLATFORM_WIN32_WINDOWS;
constexpr BYTE kWorkstation = 1, kDomainController = 2, kServer = 3;

// Every flag that is on, in one fixed order, so a wrong flag shows by name.
std::wstring Flags(const clsOpSys& os) {
  const std::pair<bool, const wchar_t*> flags[] = {
      {os.IsWinNT(), L"NT"},     {os.IsWin2K(), L"2K"},      {os.IsWinXP(), L"XP"},     {os.Is2003(), L"2003"},
      {os.IsVista(), L"Vista"},  {os.Is2008(), L"2008"},     {os.IsWin7(), L"7"},       {os.Is2008R2(), L"2008R2"},
      {os.IsWin8(), L"8"},       {os.Is2012(), L"2012"},     {os.IsWin81(), L"8.1"},    {os.IsWin81u1(), L"8.1u1"},
      {os.IsWin95(), L"95"},     {os.IsWin98(), L"98"},      {os.IsWinME(), L"Me"},     {os.IsWin9x(), L"9x"},
      {os.IsServer(), L"Server"},
  };
  std::wstring text;
  for (const auto& [on, name] : flags) {
    if (!on) continue;
    if (!text.empty()) text += L' ';
    text += name;
  }
  return text;
}

// A Windows folder of our own, so that the edition file of Windows before Vista is what a test
// puts there.
class FakeWindows {
 public:
  FakeWindows() {
    CreateDirectoryW(WinDir().c_str(), nullptr);
    CreateDirectoryW(WinSysDir().c_str(), nullptr);
  }
  std::wstring WinDir() const { return dir_ / L"windows"; }
  std::wstring WinSysDir() const { return dir_ / L"windows\\system32"; }
  clsOpSys Make(const OSVERSIONINFOEXW& record, const std::wstring& buildLabEx = L"", int32_t sku = 0) const {
    clsOpSys os(record, buildLabEx, sku);
    os.WinDir = WinDir();
    os.WinSysDir = WinSysDir();
    return os;
  }
  // The product file as Windows lays it out: an inventory section first, the product line in the
  // section after it, then the version section.
  void WriteProdSpec(const std::string& line) const {
    testsupport::WriteTextFile(WinSysDir() + L"\\prodspec.ini", "[SMS Inventory Identification]\r\nVersion=1.0\r\n\r\n"
                                                                  "[Product Details]\r\n" + line +
                                                                  "\r\nVersion=5.0\r\n\r\n[Version]\r\nDriverVer=07/01/2001\r\n");
  }
  void AddEhtray() const {
    CreateDirectoryW((WinDir() + L"\\ehome").c_str(), nullptr);
    testsupport::WriteTextFile(WinDir() + L"\\ehome\\ehtray.exe", "MZ");
  }

 private:
  ScratchDir dir_;
};

class OpSysTest : public ::testing::Test {
 protected:
  clsOpSys Make(const OSVERSIONINFOEXW& record, const std::wstring& buildLabEx = L"", int32_t sku = 0) const {
    return windows_.Make(record, buildLabEx, sku);
  }
  FakeWindows windows_;
};

struct VersionCase {
  const wchar_t* name;
  OSVERSIONINFOEXW record;
  const wchar_t* buildLabEx;
  int32_t sku;
  const wchar_t* flags;
  const wchar_t* platform;
  const wchar_t* version;
};

TEST_F(OpSysTest, EachWindowsGetsItsFlagsPlatformAndVersionText) {
  const wchar_t* kUpdate1Lab = L"9600.17031.amd64fre.winblue_gdr.140221-1952";
  const VersionCase cases[] = {
      {L"XP SP3", Record(kNT, 5, 1, 2600, kWorkstation, L"Service Pack 3"), L"", 0, L"NT 2K XP",
       L"Windows XP Undefined Edition ", L"Windows XP Undefined Edition  Service Pack 3 (Version 5.1, Build 2600)"},
      {L"Server 2003 / XP x64", Record(kNT, 5, 2, 3790, kServer, L"Service Pack 2"), L"", 0, L"NT 2K XP 2003 Server",
       L"Windows Server 2003", L"Windows Server 2003 Service Pack 2 (Version 5.2, Build 3790)"},
      {L"Vista SP2", Record(kNT, 6, 0, 6002, kWorkstation, L"Service Pack 2"), L"", 3, L"NT 2K XP Vista",
       L"Windows Vista Home Premium ", L"Windows Vista Home Premium  Service Pack 2 (Version 6.0, Build 6002)"},
      {L"Server 2008", Record(kNT, 6, 0, 6002, kServer, L"Service Pack 2"), L"", 8, L"NT 2K XP Vista 2008 Server",
       L"Windows Server 2008 Datacenter ", L"Windows Server 2008 Datacenter  Service Pack 2 (Version 6.0, Build 6002)"},
      {L"7 SP1", Record(kNT, 6, 1, 7601, kWorkstation, L"Service Pack 1"), L"", 48, L"NT 2K XP Vista 7",
       L"Windows 7 Professional ", L"Windows 7 Professional  Service Pack 1 (Version 6.1, Build 7601)"},
      {L"Server 2008 R2 (domain controller)", Record(kNT, 6, 1, 7601, kDomainController, L"Service Pack 1"), L"", 7,
       L"NT 2K XP Vista 2008 7 2008R2 Server", L"Windows Server 2008 R2 Standard ",
       L"Windows Server 2008 R2 Standard  Service Pack 1 (Version 6.1, Build 7601)"},
      {L"8", Record(kNT, 6, 2, 9200), L"", 4, L"NT 2K XP 2003 Vista 7 8", L"Windows 8 Enterprise ",
       L"Windows 8 Enterprise   (Version 6.2, Build 9200)"},
      {L"Server 2012", Record(kNT, 6, 2, 9200, kServer), L"", 8, L"NT 2K XP 2003 Vista 2008 7 2008R2 8 2012 Server",
       L"Windows Server 2012 Datacenter ", L"Windows Server 2012 Datacenter   (Version 6.2, Build 9200)"},
      {L"8.1", Record(kNT, 6, 3, 9600), L"9600.16384.amd64fre.winblue_rtm.130821-1623", 48,
       L"NT 2K XP 2003 Vista 7 8 8.1", L"Windows 8.1 Professional ",
       L"Windows 8.1 Professional   (Version 6.3, Build 9600)"},
      {L"8.1 Update 1", Record(kNT, 6, 3, 9600), kUpdate1Lab, 103, L"NT 2K XP 2003 Vista 7 8 8.1 8.1u1",
       L"Windows 8.1 Update 1 Pro w/Media Center ",
       L"Windows 8.1 Update 1 Pro w/Media Center   (Version 6.3, Build 9600)"},
      {L"Server 2012 R2", Record(kNT, 6, 3, 9600, kServer), kUpdate1Lab, 7,
       L"NT 2K XP 2003 Vista 2008 7 2008R2 8 2012 8.1 8.1u1 Server", L"Windows Server 2012 Standard ",
       L"Windows Server 2012 Standard   (Version 6.3, Build 9600)"},
      {L"2000 SP4", Record(kNT, 5, 0, 2195, kWorkstation, L"Service Pack 4"), L"", 0, L"NT 2K", L"Windows 2000",
       L"Windows 2000 Service Pack 4 (Version 5.0, Build 2195)"},
      {L"NT 4", Record(kNT, 4, 0, 1381, kWorkstation, L"Service Pack 6"), L"", 0, L"NT", L"Windows NT",
       L"Windows NT Service Pack 6 (Version 4.0, Build 1381)"},
      // The 9x build number carries major and minor in its high word.
      {L"95", Record(k9x, 4, 0, 0x040003B6, 0), L"", 0, L"95 9x", L"Windows 95",
       L"Windows 95  (Version 4.0, Build 950)"},
      {L"98 SE", Record(k9x, 4, 10, 0x040A08AE, 0, L" A "), L"", 0, L"95 98 9x", L"Windows 98",
       L"Windows 98 A (Version 4.10, Build 2222)"},
      {L"Me", Record(k9x, 4, 90, 0x045A0BB8, 0, L" "), L"", 0, L"95 98 Me 9x", L"Windows Me",
       L"Windows Me  (Version 4.90, Build 3000)"},
      {L"failed version query", OSVERSIONINFOEXW{}, kUpdate1Lab, 48, L"", L"", L"  (Version 0.0, Build 0)"},
      {L"unknown platform", Record(3, 6, 3, 9600, kServer), kUpdate1Lab, 48, L"Server", L"",
       L"  (Version 6.3, Build 9600)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << platform::ToUtf8(c.name));
    clsOpSys os = Make(c.record, c.buildLabEx, c.sku);
    EXPECT_EQ(Flags(os), c.flags);
    EXPECT_EQ(os.Platform(), c.platform);
    EXPECT_EQ(os.Version(), c.version);
    EXPECT_EQ(os.VistaSKU(), L"");
  }
}

TEST_F(OpSysTest, EditionFromSkuNumber) {
  const struct {
    int32_t sku;
    const wchar_t* edition;
  } cases[] = {
      {0, L" Undefined Edition "},  {1, L" Ultimate "},          {4, L" Enterprise "},
      {10, L" Enterprise "},        {25, L" SBS Premium "},      {26, L" Unknown (SKU Bit 26) "},
      {27, L" Unknown (SKU Bit 27) "}, {42, L" Hyper-V "},       {48, L" Professional "},
      {74, L" Consumer Preview? "}, {103, L" Pro w/Media Center "}, {-1, L" Unknown (SKU Bit -1) "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "sku " << c.sku);
    EXPECT_EQ(Make(Record(kNT, 6, 0, 6002), L"", c.sku).Platform(), std::wstring(L"Windows Vista") + c.edition);
  }
}

TEST(OpSysEdition, BeforeVistaComesFromProdSpecIni) {
  const struct {
    const char* productLine;  // nullptr: no prodspec.ini
    bool ehtray;
    const wchar_t* edition;
  } cases[] = {
      {nullptr, false, L" Undefined Edition "},
      {"Product=Microsoft Windows XP Home Edition", false, L" Home "},
      {"Product=Microsoft Windows XP PROFESSIONAL", false, L" Professional "},
      {"Product=Microsoft Windows XP Professional", true, L" Media Center "},
      {"Product=Microsoft Windows XP Media Center Edition", false, L" Media Center "},
      {"Product=Windows XP Home Media", false, L" Media Center "},          // the later match wins
      {"Product=Media Center Professional", false, L" Professional "},     // ... also over media
      {"Product=Microsoft Windows XP Tablet PC Edition", false, L""},
      {"Other=Professional", false, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "product " << (c.productLine ? c.productLine : "(no file)"));
    FakeWindows windows;
    if (c.productLine) windows.WriteProdSpec(c.productLine);
    if (c.ehtray) windows.AddEhtray();
    EXPECT_EQ(windows.Make(Record(kNT, 5, 1, 2600), L"", 48).Platform(), std::wstring(L"Windows XP") + c.edition);
  }
}

TEST_F(OpSysTest, ProdSpecIniNamesNoEditionFor2000Or2003) {
  windows_.WriteProdSpec("Product=Microsoft Windows Professional");
  EXPECT_EQ(Make(Record(kNT, 5, 0, 2195)).Platform(), L"Windows 2000");
  EXPECT_EQ(Make(Record(kNT, 5, 2, 3790)).Platform(), L"Windows Server 2003");
  EXPECT_EQ(Make(Record(kNT, 5, 1, 2600)).Platform(), L"Windows XP Professional ");
}

TEST_F(OpSysTest, Update1IsTheBuildLabRevisionAbove17030) {
  const struct {
    const wchar_t* buildLabEx;
    bool update1;
  } cases[] = {
      {L"9600.17031.amd64fre.winblue_gdr.140221-1952", true},
      {L"9600.17030.amd64fre.winblue_gdr.140221-1952", false},
      {L"9600.16384.amd64fre.winblue_rtm.130821-1623", false},
      {L"9600.40000.amd64fre.winblue_ltsb.200101-0000", true},  // beyond 16 bits: still later
      {L"9600. 17031 .x", true},
      {L"", false},
      {L"9600", false},
      {L"9600..x", false},
      {L"9600.abc.x", false},
      {L"9600.17031abc.x", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "BuildLabEx [" << platform::ToUtf8(c.buildLabEx) << "]");
    clsOpSys os = Make(Record(kNT, 6, 3, 9600), c.buildLabEx, 48);
    EXPECT_EQ(os.IsWin81u1(), c.update1);
    EXPECT_EQ(os.Platform(), c.update1 ? L"Windows 8.1 Update 1 Professional " : L"Windows 8.1 Professional ");
  }
  // Only Windows 8.1 looks at the build lab.
  EXPECT_FALSE(Make(Record(kNT, 6, 2, 9200), L"9600.17031.x", 48).IsWin81u1());
}

TEST_F(OpSysTest, ServicePackTextEndsAtFirstNulAndLosesOuterBlanks) {
  OSVERSIONINFOEXW record = Record(kNT, 6, 1, 7601);
  wcscpy(record.szCSDVersion, L"  Service Pack 1 ");
  wcscpy(record.szCSDVersion + 20, L"left over");
  EXPECT_EQ(Make(record).CSDVersion(), L"Service Pack 1");

  record.szCSDVersion[0] = L'\0';
  EXPECT_EQ(Make(record).CSDVersion(), L"");

  // Without any NUL the whole field is the text.
  std::fill(std::begin(record.szCSDVersion), std::end(record.szCSDVersion), L'x');
  EXPECT_EQ(Make(record).CSDVersion(), std::wstring(128, L'x'));
}

TEST_F(OpSysTest, NumbersAreTheRecordsFieldsAndBuildIsItsSignedLowWord) {
  OSVERSIONINFOEXW record = Record(kNT, 6, 1, 7601, kServer, L"", 0x8000);
  record.wServicePackMajor = 1;
  record.wServicePackMinor = 2;
  clsOpSys os = Make(record);
  EXPECT_EQ(os.MajorVersion(), 6);
  EXPECT_EQ(os.MinorVersion(), 1);
  EXPECT_EQ(os.PlatformID(), 2);
  EXPECT_EQ(os.ProductType(), 3);
  EXPECT_EQ(os.ServicePackMajor(), 1);
  EXPECT_EQ(os.ServicePackMinor(), 2);
  EXPECT_EQ(os.SuiteMask(), -32768);
  EXPECT_EQ(os.BuildNumber(), 7601);

  EXPECT_EQ(Make(Record(k9x, 4, 90, 0x045A0BB8)).BuildNumber(), 3000);
  EXPECT_EQ(Make(Record(kNT, 6, 1, 40000)).BuildNumber(), 40000 - 65536);
  // A 9x build whose low word reads negative is not Windows Me.
  EXPECT_FALSE(Make(Record(k9x, 4, 90, 0x045AC000)).IsWinME());
}

TEST_F(OpSysTest, SuiteBitsAndProductTypeNames) {
  const struct {
    WORD bit;
    bool (clsOpSys::*has)() const;
  } bits[] = {
      {0x1, &clsOpSys::HasSBS}, {0x2, &clsOpSys::HasAS},    {0x4, &clsOpSys::HasBO},
      {0x10, &clsOpSys::HasTS}, {0x20, &clsOpSys::HasSBSr}, {0x80, &clsOpSys::HasDC},
  };
  for (const auto& b : bits) {
    SCOPED_TRACE(testing::Message() << "bit " << b.bit);
    EXPECT_TRUE((Make(Record(kNT, 6, 1, 7601, 1, L"", b.bit)).*b.has)());
    EXPECT_FALSE((Make(Record(kNT, 6, 1, 7601, 1, L"", static_cast<WORD>(~b.bit))).*b.has)());
  }

  const wchar_t* names[] = {L"Unknown", L"NT Workstation", L"Domain Controller", L"NT Server", L""};
  for (BYTE type = 0; type < 5; ++type) {
    SCOPED_TRACE(testing::Message() << "product type " << int{type});
    clsOpSys os = Make(Record(kNT, 6, 1, 7601, type));
    EXPECT_EQ(os.ProductTypeName(), names[type]);
    EXPECT_EQ(os.IsServer(), type > 1);
  }
}

// Stand-ins for the version query: which sizes were asked, and how each answers.
std::vector<DWORD> g_askedSizes;

BOOL WINAPI OnlyPlainRecord(OSVERSIONINFOW* record) {
  g_askedSizes.push_back(record->dwOSVersionInfoSize);
  if (record->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW)) {
    // A refusing query may still have scribbled on the extended fields.
    reinterpret_cast<OSVERSIONINFOEXW*>(record)->wServicePackMajor = 9;
    reinterpret_cast<OSVERSIONINFOEXW*>(record)->wProductType = 3;
    return FALSE;
  }
  record->dwMajorVersion = 5;
  record->dwPlatformId = VER_PLATFORM_WIN32_NT;
  record->dwBuildNumber = 2195;
  return TRUE;
}

BOOL WINAPI ExtendedRecord(OSVERSIONINFOW* record) {
  g_askedSizes.push_back(record->dwOSVersionInfoSize);
  record->dwMajorVersion = 6;
  reinterpret_cast<OSVERSIONINFOEXW*>(record)->wProductType = 3;
  return TRUE;
}

BOOL WINAPI NoRecord(OSVERSIONINFOW* record) {
  g_askedSizes.push_back(record->dwOSVersionInfoSize);
  record->dwMajorVersion = 6;
  return FALSE;
}

TEST(OpSysQuery, ExtendedRecordFirstThenPlainThenNothing) {
  g_askedSizes.clear();
  OSVERSIONINFOEXW record = clsOpSys::QueryVersion(ExtendedRecord);
  EXPECT_EQ(g_askedSizes, std::vector<DWORD>{sizeof(OSVERSIONINFOEXW)});
  EXPECT_EQ(record.dwMajorVersion, 6u);
  EXPECT_EQ(record.wProductType, 3);

  g_askedSizes.clear();
  record = clsOpSys::QueryVersion(OnlyPlainRecord);
  EXPECT_EQ(g_askedSizes, (std::vector<DWORD>{sizeof(OSVERSIONINFOEXW), sizeof(OSVERSIONINFOW)}));
  EXPECT_EQ(record.dwMajorVersion, 5u);
  EXPECT_EQ(record.dwBuildNumber, 2195u);
  EXPECT_EQ(record.wServicePackMajor, 0);
  EXPECT_EQ(record.wProductType, 0);
  clsOpSys os(record, L"", 0);
  EXPECT_EQ(Flags(os), L"NT 2K");

  g_askedSizes.clear();
  record = clsOpSys::QueryVersion(NoRecord);
  EXPECT_EQ(g_askedSizes.size(), 2u);
  OSVERSIONINFOEXW zero = {};
  EXPECT_EQ(std::memcmp(&record, &zero, sizeof record), 0);
}

// ---- What Windows (here Wine, which reports Windows 7 SP1 unless told otherwise) says ----------

TEST(OpSysLive, DefaultConstructorReportsTheRunningWindows) {
  clsOpSys os;
  EXPECT_EQ(os.MajorVersion(), 6);
  EXPECT_EQ(os.MinorVersion(), 1);
  EXPECT_EQ(os.BuildNumber(), 7601);
  EXPECT_EQ(os.PlatformID(), 2);
  EXPECT_EQ(os.CSDVersion(), L"Service Pack 1");
  EXPECT_EQ(Flags(os), L"NT 2K XP Vista 7");
  // Wine's WMI gives SKU 28, which has no name of its own; 0 would mean WMI was not reached.
  EXPECT_EQ(os.Platform(), L"Windows 7 Unknown (SKU Bit 28) ");
  EXPECT_EQ(os.Version(), L"Windows 7 Unknown (SKU Bit 28)  Service Pack 1 (Version 6.1, Build 7601)");
  EXPECT_EQ(os.WindowsMode(), 0);
  EXPECT_TRUE(modOpSys::IsVista());
  EXPECT_TRUE(modOpSys::IsWin7());
}

TEST(OpSysLive, FoldersComeFromTheEnvironment) {
  using platform::GetEnv;
  clsOpSys os;
  ASSERT_FALSE(GetEnv(L"windir").empty());
  EXPECT_EQ(os.WinDir, GetEnv(L"windir"));
  EXPECT_EQ(os.SystemRoot, GetEnv(L"systemroot"));
  EXPECT_EQ(os.HomeDrive, GetEnv(L"homedrive"));
  EXPECT_EQ(os.SystemDrive, GetEnv(L"systemdrive"));
  EXPECT_EQ(os.CurrentUserName, GetEnv(L"username"));
  EXPECT_EQ(os.UserProfile, GetEnv(L"userprofile"));
  EXPECT_EQ(os.ProgramFilesPath, GetEnv(L"programfiles"));
  EXPECT_EQ(os.CommonProgramFilesPath, GetEnv(L"commonprogramfiles"));
  EXPECT_EQ(os.TempPath, GetEnv(L"temp"));
  EXPECT_EQ(os.TmpPath, GetEnv(L"tmp"));
  EXPECT_EQ(os.AllUsersProfile, L"");
  EXPECT_EQ(GetEnv(L"os"), L"Windows_NT");
  EXPECT_EQ(os.WinSysDir, os.WinDir + L"\\System32");
}

TEST(OpSysLive, SystemFolderOfA9xEnvironmentIsSystem) {
  // "os" must read exactly Windows_NT; changed in this process only, and restored.
  const std::wstring original = platform::GetEnv(L"os");
  for (const wchar_t* value : {L"windows_nt", L""}) {
    SCOPED_TRACE(testing::Message() << "os=[" << platform::ToUtf8(value) << "]");
    SetEnvironmentVariableW(L"os", *value ? value : nullptr);
    clsOpSys os;
    SetEnvironmentVariableW(L"os", original.c_str());
    EXPECT_EQ(os.WinSysDir, os.WinDir + L"\\System");
  }
}

// The probe program under its own name in a scratch folder, told a Windows version through
// Wine's per-program setting (removed again afterwards), and given the test runs' stand-in for
// the kernel's version when asked.
class ProbeRun {
 public:
  explicit ProbeRun(const std::wstring& wineVersion, const std::wstring& kernelStandIn = L"")
      : kernelStandIn_(kernelStandIn) {
    std::wstring folder = dir_.Path().substr(0, dir_.Path().size() - 1);
    exeName_ = L"osprobe_" + folder.substr(folder.find_last_of(L'\\') + 1) + L".exe";
    if (!wineVersion.empty()) told_ = std::make_unique<testsupport::WineProgramVersion>(exeName_, wineVersion);
  }

  std::wstring AppDefaultsKey() const { return L"Software\\Wine\\AppDefaults\\" + exeName_; }

  std::map<std::wstring, std::wstring> Run() {
    std::map<std::wstring, std::wstring> values;
    std::wstring exe = dir_ / exeName_;
    std::wstring report = dir_ / L"report.txt";
    if (told_ && !told_->Ok()) return values;
    if (!CopyFileW((testsupport::TestsDir() + L"fakes\\osprobe.exe").c_str(), exe.c_str(), FALSE)) return values;
    testsupport::RunResult result =
        testsupport::RunProcess(L"\"" + exe + L"\" \"" + report + L"\"", {testsupport::KernelVersionStandIn::Entry(kernelStandIn_)});
    if (!result.finished || result.exitCode != 0) return values;
    for (const auto& line : testsupport::Lines(testsupport::ReadTextFile(report))) {
      size_t at = line.find(L'=');
      if (at != std::wstring::npos) values[line.substr(0, at)] = line.substr(at + 1);
    }
    return values;
  }

 private:
  ScratchDir dir_;
  std::wstring exeName_;
  std::wstring kernelStandIn_;
  std::unique_ptr<testsupport::WineProgramVersion> told_;
};

// What Windows tells a program follows what its user sets for it (here Wine's per-program
// version): it names the version, and decides nothing. The wrappers, which choose folders and
// roads, answer from the kernel's version (Wine's own, Windows 7), whatever the program is told.
TEST(OpSysLive, WhatAProgramIsToldNamesTheVersionAndTheWrappersAnswerFromTheKernel) {
  const struct {
    const wchar_t* wineVersion;  // empty: Wine's default
    const wchar_t* major;
    const wchar_t* minor;
    const wchar_t* platformId;
    const wchar_t* vista;
    const wchar_t* win7;
    const wchar_t* platformStart;
  } cases[] = {
      {L"", L"6", L"1", L"2", L"True", L"True", L"Windows 7 "},
      {L"winxp", L"5", L"1", L"2", L"False", L"False", L"Windows XP"},
      {L"winxp64", L"5", L"2", L"2", L"False", L"False", L"Windows Server 2003"},
      {L"vista", L"6", L"0", L"2", L"True", L"False", L"Windows Vista "},
      {L"win81", L"6", L"3", L"2", L"True", L"True", L"Windows 8.1 "},
      // Later Windows is reported as 8.1, the newest one the manifest names.
      {L"win10", L"6", L"3", L"2", L"True", L"True", L"Windows 8.1 "},
      {L"win95", L"4", L"0", L"1", L"False", L"False", L"Windows 95"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "Wine version [" << platform::ToUtf8(c.wineVersion) << "]");
    std::map<std::wstring, std::wstring> seen;
    std::wstring key;
    {
      ProbeRun probe(c.wineVersion);
      key = probe.AppDefaultsKey();
      seen = probe.Run();
    }
    EXPECT_FALSE(testsupport::RegKeyExists(HKEY_CURRENT_USER, key)) << "the per-program version was left behind";
    ASSERT_FALSE(seen.empty()) << "the probe wrote no report";
    EXPECT_EQ(seen[L"MajorVersion"], c.major);
    EXPECT_EQ(seen[L"MinorVersion"], c.minor);
    EXPECT_EQ(seen[L"PlatformID"], c.platformId);
    EXPECT_EQ(seen[L"IsVista"], c.vista);
    EXPECT_EQ(seen[L"IsWin7"], c.win7);
    EXPECT_TRUE(platform::StartsWith(seen[L"Platform"], c.platformStart)) << platform::ToUtf8(seen[L"Platform"]);
    EXPECT_EQ(seen[L"Kernel"], L"6.1");
    EXPECT_EQ(seen[L"modOpSys.IsVista"], L"True");
    EXPECT_EQ(seen[L"modOpSys.IsWin7"], L"True");
    EXPECT_EQ(seen[L"ShutDownMod.IsNTPlatform"], L"True");
  }
}

// The kernel's version as the wrappers see it is capped at 8.1, as the manifest caps what a
// program is told: they compare major and minor each on its own, and 10.0 must still count as 7
// and later. The test runs' stand-in takes the kernel's place (and nothing else's).
TEST(OpSysLive, TheKernelsVersionIsCappedAt81) {
  const struct {
    const wchar_t* standIn;
    const wchar_t* kernel;
    const wchar_t* vista;
    const wchar_t* win7;
  } cases[] = {
      {L"5.1", L"5.1", L"False", L"False"}, {L"6.0", L"6.0", L"True", L"False"},
      {L"6.2", L"6.2", L"True", L"True"},   {L"6.4", L"6.3", L"True", L"True"},
      {L"10.0", L"6.3", L"True", L"True"},  {L"ten", L"6.1", L"True", L"True"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "stand-in [" << platform::ToUtf8(c.standIn) << "]");
    ProbeRun probe(L"", c.standIn);
    std::map<std::wstring, std::wstring> seen = probe.Run();
    ASSERT_FALSE(seen.empty()) << "the probe wrote no report";
    EXPECT_EQ(seen[L"Kernel"], c.kernel);
    EXPECT_EQ(seen[L"modOpSys.IsVista"], c.vista);
    EXPECT_EQ(seen[L"modOpSys.IsWin7"], c.win7);
    EXPECT_EQ(seen[L"MajorVersion"] + L"." + seen[L"MinorVersion"], L"6.1") << "what the program is told stays";
  }
}

}  // namespace
