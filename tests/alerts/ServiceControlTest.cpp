// The event monitoring service installed, started, stopped and removed by the main program's
// deployment roads, as the service manager and the registry see it.
#include <windows.h>

#include <gtest/gtest.h>


#include "platform/EventLog.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "tests/support/EventService.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

const std::wstring kServiceKey = std::wstring(L"SYSTEM\\CurrentControlSet\\services\\") + kServiceName;
const std::wstring kSafeBootKey =
    std::wstring(L"SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Network\\") + kServiceName;
const std::wstring kSourcesKey = L"SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\";
const wchar_t* const kSources[] = {kEventSource, kFilterModuleEventSource};

// The first action type of the recovery settings (1 restart, 0 none); -1 when there are none.
int FirstFailureAction() {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!RegReadRaw(HKEY_LOCAL_MACHINE, kServiceKey, L"FailureActions", type, data) || data.size() != 44) return -1;
  EXPECT_EQ(*reinterpret_cast<const DWORD*>(data.data() + 12), 3u) << "three actions";
  return static_cast<int>(*reinterpret_cast<const DWORD*>(data.data() + 20));
}

const char kBulkIni[] =
    "[Config]\r\nEmailAlerts=1\r\n"
    "[EmailConfig]\r\nEmailAlerts=1\r\nSMTPServer=127.0.0.1\r\nSMTPPort=47025\r\nSendToEmail=it@example.test\r\n"
    "FromEmail=alerts@example.test\r\nSMTPUserName=alerts@example.test\r\nSMTPAuth=0\r\nUseSSL=0\r\n";

class ServiceControlTest : public ClearedProductTest {
 protected:
  void SetUp() override {
    ClearedProductTest::SetUp();
    ASSERT_TRUE(CopyProgram(kServiceProgram, program_.Folder() + kServiceProgram));
  }
  void Clean() override {
    eventservice::Remove();
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kSafeBootKey);
    ClearedProductTest::Clean();
  }
  void Run(const std::wstring& arguments) { ASSERT_TRUE(program_.Run(arguments, L"", 120000).finished); }

  InstalledProgram program_;
};

}  // namespace

TEST_F(ServiceControlTest, WithoutCompleteAlertSettingsNothingIsInstalled) {
  ASSERT_TRUE(WriteTextFile(program_.Folder() + L"bulk.ini", "[Config]\r\nEmailAlerts=0\r\n"));
  Run(L"/bulkinstaller");
  EXPECT_FALSE(eventservice::Query().exists);
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kSafeBootKey));
}

TEST_F(ServiceControlTest, TheBulkRoadInstallsAndStartsTheServiceAndTheUninstallerRemovesIt) {
  ASSERT_TRUE(WriteTextFile(program_.Folder() + L"bulk.ini", kBulkIni));
  Run(L"/bulkinstaller");

  eventservice::State installed = eventservice::Query();
  ASSERT_TRUE(installed.exists);
  EXPECT_EQ(installed.binaryPath, L"\"" + program_.Folder() + kServiceProgram + L"\" ")
      << "the quoted program and one blank";
  EXPECT_EQ(installed.startType, static_cast<DWORD>(SERVICE_AUTO_START));
  std::wstring safeBoot;
  EXPECT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kSafeBootKey, L"", safeBoot));
  EXPECT_EQ(safeBoot, L"Service");
  EXPECT_EQ(FirstFailureAction(), 1) << "restart on failure";
  EXPECT_TRUE(eventservice::WaitForState(SERVICE_RUNNING, 30000)) << "the service was started";
  EXPECT_FALSE(FileExists(program_.Folder() + L"ILEventSvc.reg"));
  for (const wchar_t* source : kSources) {
    std::wstring file;
    EXPECT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kSourcesKey + source, L"EventMessageFile", file)) << source;
    EXPECT_EQ(file, program_.Folder() + kEventMessageDll) << source;
  }

  const DWORD before = platform::NewestEventRecord(L"Application");
  Run(L"/uninstallerb /nogpupdate");
  EXPECT_FALSE(eventservice::Query().exists) << "stopped and deleted";
  bool noticed = false;
  for (const auto& entry : platform::ReadEventsFrom(L"Application", before + 1)) {
    for (const auto& text : entry.strings)
      noticed |= text == (std::wstring(kProductName) + L" - stopping event service...");
  }
  EXPECT_TRUE(noticed) << "the stop notice is written before the stop";
  EXPECT_FALSE(FileExists(program_.Folder() + L"ILEventSvc.reg"));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kSafeBootKey)) << "the Safe-Mode start goes with the service";
  for (const wchar_t* source : kSources)
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kSourcesKey + source)) << "the uninstaller removes " << source;
}

// A service registered before, for another folder and another start, is taken over: after the
// install it runs this copy's program, starts automatically and restarts on failure.
TEST_F(ServiceControlTest, AnExistingServiceIsCorrectedToThisCopy) {
  {
    platform::UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager);
    const std::wstring elsewhere = std::wstring(L"\"C:\\Elsewhere\\") + kServiceProgram + L"\" /old";
    platform::UniqueServiceHandle service(CreateServiceW(
        manager.get(), eventservice::kServiceName, L"Old", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
        SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, elsewhere.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(service);
  }
  ASSERT_TRUE(WriteTextFile(program_.Folder() + L"bulk.ini", kBulkIni));
  Run(L"/bulkinstaller");
  const eventservice::State installed = eventservice::Query();
  ASSERT_TRUE(installed.exists);
  EXPECT_EQ(installed.binaryPath, L"\"" + program_.Folder() + kServiceProgram + L"\" ");
  EXPECT_EQ(installed.startType, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(FirstFailureAction(), 1) << "restart on failure";
  EXPECT_TRUE(eventservice::WaitForState(SERVICE_RUNNING, 30000)) << "this copy's service was started";
}
