#pragma once
// The machine state that tests of the programs start from: the restriction policy's key, a
// fixture that clears the product's settings and the policy around each test, and the recording
// stand-in for the group-policy refresh program.
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testsupport {

// The restriction policy under HKLM; its levels "0" (disallowed) and "262144" (unrestricted)
// each hold "Paths" and "Hashes".
inline constexpr wchar_t kRestrictionPolicyKey[] = L"SOFTWARE\\Policies\\Microsoft\\Windows\\safer\\codeidentifiers";

// The maker's and the product's names, as the programs must spell them; every name a test uses
// is built from these two here, and spelled nowhere else in the tests. The Python helpers
// (product_names.py) and tests/CMakeLists.txt read them from these two lines, so each stays one
// #define of one quoted text. Narrow, so that each is part of wide and narrow literals alike:
// L"a" "b" is the wide L"ab".
#define TESTSUPPORT_MAKER_ "Merrowind IT"
#define TESTSUPPORT_PRODUCT_ "Ironlatch"
inline constexpr wchar_t kMakerName[] = L"" TESTSUPPORT_MAKER_;
inline constexpr wchar_t kProductName[] = L"" TESTSUPPORT_PRODUCT_;
// The product's name in the programs' narrow texts (mail, ini and .reg files a test writes or reads).
inline constexpr char kProductNameA[] = TESTSUPPORT_PRODUCT_;
// The author of the scheduled update tasks.
inline constexpr wchar_t kTaskAuthor[] = L"" TESTSUPPORT_MAKER_ " LLC";

// The description every restriction rule of the product carries (the name of its prevention in
// the program's texts too), wide and narrow.
#define TESTSUPPORT_RULES_ "Latchward"
inline constexpr wchar_t kRuleDescription[] = L"" TESTSUPPORT_RULES_;
inline constexpr char kRuleDescriptionA[] = TESTSUPPORT_RULES_;
#undef TESTSUPPORT_RULES_

// The product's keys under HKLM and its folder below a root (the all-users data root, Program
// Files), as the programs must write them.
inline constexpr wchar_t kMakerKey[] = L"Software\\" TESTSUPPORT_MAKER_;
inline constexpr wchar_t kSettingsKey[] = L"Software\\" TESTSUPPORT_MAKER_ L"\\" TESTSUPPORT_PRODUCT_;
inline constexpr wchar_t kFilterModuleKey[] = L"Software\\" TESTSUPPORT_MAKER_ L"\\" TESTSUPPORT_PRODUCT_ L"\\FilterModule";
inline constexpr wchar_t kEmailSetupKey[] = L"Software\\" TESTSUPPORT_MAKER_ L"\\" TESTSUPPORT_PRODUCT_ L"\\Email Setup";
// The mail password: DPAPI-protected (machine scope) in this value, under a key only
// Administrators and SYSTEM may open.
inline constexpr wchar_t kEmailPasswordKey[] =
    L"Software\\" TESTSUPPORT_MAKER_ L"\\" TESTSUPPORT_PRODUCT_ L"\\Email Setup\\Protected";
inline constexpr wchar_t kEmailPasswordValue[] = L"Password";
inline constexpr wchar_t kMakerFolder[] = L"\\" TESTSUPPORT_MAKER_;
inline constexpr wchar_t kProductFolder[] = L"\\" TESTSUPPORT_MAKER_ L"\\" TESTSUPPORT_PRODUCT_;

// The programs, the files beside them and what an update leaves there.
inline constexpr wchar_t kMainProgram[] = TESTSUPPORT_PRODUCT_ L".exe";
inline constexpr wchar_t kFilterModuleProgram[] = TESTSUPPORT_PRODUCT_ L"FilterMod.exe";
inline constexpr wchar_t kServiceProgram[] = TESTSUPPORT_PRODUCT_ L"EventSvc.exe";
inline constexpr wchar_t kServiceName[] = TESTSUPPORT_PRODUCT_ L"EventSvc";
inline constexpr wchar_t kMainBackup[] = TESTSUPPORT_PRODUCT_ L"_old.exe";
inline constexpr wchar_t kServiceBackup[] = TESTSUPPORT_PRODUCT_ L"EventSvc_old.exe";
// The folder in the program folder where a program update waits for the restart.
inline constexpr wchar_t kStagedUpdateFolder[] = TESTSUPPORT_PRODUCT_ L"_StagedUpdate";
inline constexpr wchar_t kSettingsIni[] = TESTSUPPORT_PRODUCT_ L".ini";
inline constexpr wchar_t kWhitelistFile[] = TESTSUPPORT_PRODUCT_ L"_Whitelist.txt";
inline constexpr wchar_t kDebugLog[] = TESTSUPPORT_PRODUCT_ L".log";
// What the recording fake writes beside itself when it stands in as the main program.
inline constexpr wchar_t kStandInCallsLog[] = TESTSUPPORT_PRODUCT_ L".calls.log";
inline constexpr wchar_t kEventMessageDll[] = L"MerrowindEventLogMsgHelper.dll";
inline constexpr wchar_t kSetupProgram[] = TESTSUPPORT_PRODUCT_ L"Setup.exe";
inline constexpr wchar_t kSilentSetupProgram[] = TESTSUPPORT_PRODUCT_ L"SetupSilent.exe";
// The installers' names without ".exe", as the installer script's output names them.
inline constexpr wchar_t kSetupBaseName[] = TESTSUPPORT_PRODUCT_ L"Setup";
inline constexpr wchar_t kSilentSetupBaseName[] = TESTSUPPORT_PRODUCT_ L"SetupSilent";
// The event sources of the main program and the filter module.
inline constexpr wchar_t kEventSource[] = L"" TESTSUPPORT_PRODUCT_;
inline constexpr wchar_t kFilterModuleEventSource[] = TESTSUPPORT_PRODUCT_ L"FilterMod";
// The kernel objects the programs name: the event journal's lock, the service's one-instance mark.
inline constexpr wchar_t kEventJournalMutex[] = L"Global\\" TESTSUPPORT_PRODUCT_ L"EventJournal";
inline constexpr wchar_t kServiceInstanceMutex[] = L"Global\\" TESTSUPPORT_PRODUCT_ L"EventSvc.Instance";
// The RunOnce value that queues the prevention test, and the two scheduled update tasks.
inline constexpr wchar_t kRestartTestValue[] = L"*" TESTSUPPORT_PRODUCT_ L" Test";
inline constexpr wchar_t kDefsUpdateTask[] = TESTSUPPORT_PRODUCT_ L" Update";
inline constexpr wchar_t kAppUpdateTask[] = TESTSUPPORT_PRODUCT_ L" App Update";
// The same two as Windows' task tools list them (narrow output).
inline constexpr char kDefsUpdateTaskA[] = TESTSUPPORT_PRODUCT_ " Update";
inline constexpr char kAppUpdateTaskA[] = TESTSUPPORT_PRODUCT_ " App Update";

// The four hash lists; the list index that stands for them, each generation a file named by its
// number, the current one in a REG_DWORD under the settings key; and the copy the filter module
// keeps of it per user, in the user's local application data below kProductFolder.
inline constexpr const wchar_t* kHashLists[] = {L"ExecFilter.md5", L"ExecFilter.sha256", L"UserExecFilter.md5",
                                                L"UserExecFilter.sha256"};
inline constexpr wchar_t kListIndexValue[] = L"HashListIndex";
inline constexpr wchar_t kListIndexPrefix[] = L"HashLists.";
inline constexpr wchar_t kListIndexSuffix[] = L".idx";
inline std::wstring ListIndexName(unsigned long generation) {
  return kListIndexPrefix + std::to_wstring(generation) + kListIndexSuffix;
}
inline constexpr wchar_t kUserListCopy[] = L"HashLists.idx";

// The update server's files: the index zip and its ini (section: the product's name), the
// program package and its branded twin, the definitions' version file, and the name the
// downloaded package is saved under.
inline constexpr wchar_t kUpdateIndexZip[] = TESTSUPPORT_PRODUCT_ L"_Updates.zip";
inline constexpr wchar_t kUpdateIndexIni[] = TESTSUPPORT_PRODUCT_ L"_Updates.ini";
inline constexpr wchar_t kUpdateIndexSection[] = L"[" TESTSUPPORT_PRODUCT_ L"]";
inline constexpr char kUpdateIndexSectionA[] = "[" TESTSUPPORT_PRODUCT_ "]";
inline constexpr wchar_t kProgramPackage[] = TESTSUPPORT_PRODUCT_ L"U.zip";
inline constexpr wchar_t kBrandedPackage[] = TESTSUPPORT_PRODUCT_ L"Branded.zip";
inline constexpr wchar_t kDefinitionsVersionFile[] = TESTSUPPORT_PRODUCT_ L".Def";
inline constexpr wchar_t kDownloadedPackage[] = TESTSUPPORT_PRODUCT_ L".zip";

// The maker's web host and the product's folder on it, where the programs' web pages are; and
// the host the forced install downloads from (a host of its own today).
inline constexpr wchar_t kMakerWebHost[] = L"www.merrowind-it.example";
inline constexpr wchar_t kProductWebFolder[] = L"ironlatch";
inline constexpr wchar_t kInstallDownloadHost[] = L"www.merrowind-it.com";

// A key of the tests' own, beside the product's, for what a test plants.
inline constexpr wchar_t kTestsKeyName[] = TESTSUPPORT_PRODUCT_ L"Tests";
inline constexpr wchar_t kTestsKey[] = L"Software\\" TESTSUPPORT_PRODUCT_ L"Tests";

#undef TESTSUPPORT_PRODUCT_
#undef TESTSUPPORT_MAKER_

// Every test starts and ends with neither the product's settings nor any restriction policy. A
// fixture whose tests leave more behind extends Clean.
class ClearedProductTest : public testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  virtual void Clean();
};

// The generation the pointer names; 0 when there is none.
unsigned long CurrentListIndex();
// This user's copy of the list index (its folder made by the filter module), and the removal of
// the copy with its folder: the state before this user's first launch.
std::wstring UserListCopyPath();
void RemoveUserListCopy();

// gpupdate.exe is not part of Wine: while installed, a recording stand-in takes its place in the
// system folder. Each start of it adds one line to CallsLog.
class GpUpdateStandIn {
 public:
  GpUpdateStandIn();
  ~GpUpdateStandIn() { Remove(); }
  GpUpdateStandIn(const GpUpdateStandIn&) = delete;
  GpUpdateStandIn& operator=(const GpUpdateStandIn&) = delete;

  bool Install();  // false when the stand-in could not be copied into place
  void Remove();   // ends a stand-in still running and removes it with what it wrote

  std::wstring Path() const { return path_; }
  // The stand-in's file name without ".exe": "<base>.calls.log" is its record, "<base>.fake.ini"
  // what it is told to do.
  std::wstring Base() const { return path_.substr(0, path_.size() - 4); }
  std::wstring CallsLog() const { return Base() + L".calls.log"; }
  std::vector<std::wstring> Calls() const;

 private:
  std::wstring path_;
};

}  // namespace testsupport
