// The configuration INI road, the prevention test, the Sidebar policy and the uninstall roads,
// run through the main program as installers and administrators run it.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "notify/modBase85.h"
#include "platform/Text.h"
#include "tests/support/MailPasswordChecks.h"
#include "tests/support/ProductState.h"
#include "tests/support/StandardUserAccess.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UnixLink.h"

using namespace testsupport;

namespace {

const std::wstring kRoot = kRestrictionPolicyKey;
const std::wstring kDisallowedPaths = kRoot + L"\\0\\Paths";
const std::wstring kWhitelistPaths = kRoot + L"\\262144\\Paths";
const std::wstring kSidebarKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Windows\\Sidebar";

class IniRoadTest : public ClearedProductTest {
 protected:
  void Clean() override {
    ClearedProductTest::Clean();
    RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kSidebarKey);
  }
  void WriteFile(const std::wstring& name, const std::string& text) {
    ASSERT_TRUE(WriteTextFile(program_.Folder() + name, text));
  }
  std::vector<PromptRecord> Run(const std::wstring& arguments, const std::wstring& answers = L"") {
    RunResult result = program_.Run(arguments, answers);
    EXPECT_TRUE(result.finished);
    auto prompts = program_.Prompts();
    DeleteFileW(program_.PromptLog().c_str());
    return prompts;
  }

  InstalledProgram program_;
};

}  // namespace

TEST_F(IniRoadTest, ApplyIniCopiesTheChoicesAndAppliesOnlyWhatTheyChoose) {
  WriteFile(kSettingsIni,
            "[Config]\r\nAppdata=1\r\nNoRestartPrompt=yes\r\nSidebar=0\r\nBlockSyskey=1\r\n"
            "[FilterModule]\r\nNoAllow=1\r\n[FilterSuspicious]\r\nSCR=0\r\n");
  WriteFile(kWhitelistFile, "Vendor\\tool.exe\r\n\r\n   \r\nother.exe\r\n");
  EXPECT_TRUE(Run(L"/applyini /silent /nogpupdate").empty());

  EXPECT_EQ(ProductSetting(L"Installed"), L"1");
  EXPECT_EQ(ProductSetting(L"Appdata"), L"1");
  EXPECT_EQ(ProductSetting(L"syskey"), L"1");
  EXPECT_EQ(ProductSetting(L"AppdataDeep"), L"") << "an absent key is stored as an empty text";
  EXPECT_EQ(ProductSetting(L"NoRestartPrompt"), L"0") << "only \"1\" counts";
  EXPECT_EQ(ProductSetting(L"Sidebar"), L"0");
  EXPECT_EQ(ProductSetting(L"NoAllow", L"\\FilterModule"), L"1");
  EXPECT_EQ(ProductSetting(L"SCR", L"\\FilterModule\\Suspicious"), L"0");
  EXPECT_EQ(ProductSetting(L"CPL", L"\\FilterModule\\Suspicious"), L"1") << "defaults fill what the INI leaves out";
  EXPECT_EQ(ProductSetting(L"PIF", L"\\FilterModule\\Constant"), L"1");
  EXPECT_EQ(ProductSetting(L"BulkInstall"), L"<missing>");

  auto blocked = RuleItemData(kDisallowedPaths);
  EXPECT_EQ(blocked.size(), 12u + 1u) << "AppData's rules and syskey";
  EXPECT_TRUE(std::binary_search(blocked.begin(), blocked.end(), L"syskey.exe"));
  // Blank whitelist lines write nothing; each other line is an AppData item.
  auto allowed = RuleItemData(kWhitelistPaths);
  EXPECT_EQ(allowed.size(), 8u);
  EXPECT_TRUE(std::binary_search(allowed.begin(), allowed.end(), L"%appdata%\\vendor\\tool.exe"));
  EXPECT_TRUE(std::binary_search(allowed.begin(), allowed.end(), L"%appdata%\\other.exe"));
  DWORD sidebar = 0;
  EXPECT_FALSE(RegReadDword(HKEY_LOCAL_MACHINE, kSidebarKey, L"TurnOffSidebar", sidebar));
}

TEST_F(IniRoadTest, BulkInstallerTakesTheEmailSettingsAndDeletesBulkIni) {
  WriteFile(L"bulk.ini",
            "[Config]\r\nClientName=Acme\r\nSidebar=1\r\nEmailAlerts=1\r\nScheduledHour=9\r\n"
            "[EmailConfig]\r\nSMTPServer=mail.example\r\nSMTPPort=587\r\nSendToEmail=it@example\r\n"
            "SMTPPassword=" + platform::ToUtf8(modBase85::ScrambleString(L"bulk pa55", modBase85::kScrambleKey)) +
                "\r\n");
  WriteFile(kWhitelistFile, "Acme\\agent.exe\r\n");
  // Nothing is asked. The closing update check shows its download window, which a rehearsal closes
  // at once; the question that close raises is the only box.
  for (const auto& shown : Run(L"/bulkinstaller")) {
    const bool downloadWindow = shown.kind == L"window" && shown.fields.at(0) == L"frmDownloadAnp";
    const bool itsCloseQuestion =
        shown.kind == L"box" && shown.fields.at(2) == L"Are you sure you wish to cancel any active downloads and exit?";
    EXPECT_TRUE(downloadWindow || itsCloseQuestion) << testing::PrintToString(shown.fields);
  }
  auto allowed = RuleItemData(kWhitelistPaths);
  EXPECT_TRUE(std::binary_search(allowed.begin(), allowed.end(), L"%appdata%\\acme\\agent.exe"));
  EXPECT_EQ(ProductSetting(L"BulkInstall"), L"1");
  EXPECT_EQ(ProductSetting(L"ClientName"), L"Acme");
  EXPECT_EQ(ProductSetting(L"ScheduleEnabled"), L"1");
  EXPECT_EQ(ProductSetting(L"EmailAlerts"), L"1");
  EXPECT_EQ(ProductSetting(L"SMTPServer", L"\\Email Setup"), L"mail.example");
  // The password goes to the protected key only, never where every user reads it.
  EXPECT_EQ(ProductSetting(L"EmailPassword", L"\\Email Setup"), L"<missing>");
  std::wstring password;
  EXPECT_TRUE(StoredMailPassword(password));
  EXPECT_EQ(password, L"bulk pa55");
  ExpectPasswordKeyClosedToUsers();
  std::vector<std::string> forms = TextForms(L"bulk pa55");
  forms.push_back(platform::ToUtf8(modBase85::ScrambleString(L"bulk pa55", modBase85::kScrambleKey)));
  ExpectNoUserReadableValueHolds(forms);
  EXPECT_EQ(ProductSetting(L"SendToEmail", L"\\Email Setup"), L"it@example");
  DWORD sidebar = 0;
  EXPECT_TRUE(RegReadDword(HKEY_LOCAL_MACHINE, kSidebarKey, L"TurnOffSidebar", sidebar));
  EXPECT_EQ(sidebar, 1u);
  EXPECT_FALSE(FileExists(program_.Folder() + L"bulk.ini"));

  // The uninstall takes the protected key with the rest: nothing the system wrote stays.
  EXPECT_TRUE(Run(L"/bulkuninstaller /nogpupdate").empty());
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kEmailPasswordKey));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
}

TEST_F(IniRoadTest, StartingWithoutArgumentsOffersToApplyTheIni) {
  WriteFile(kSettingsIni, "[Config]\r\nAppdata=1\r\n");
  // Wine does not enforce the policy, so the test program runs: "apply now?" is the question.
  auto shown = Run(L"", L"no");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].fields[2], std::wstring(L"Apply ") + kRuleDescription + L" now?");
  EXPECT_TRUE(RuleItemData(kDisallowedPaths).empty()) << "No changes nothing";

  shown = Run(L"", L"yes,no");
  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(shown.back().fields[2],
            L"Protection applied, you should restart your PC for the changes to take effect!  Restart Now?");
  EXPECT_EQ(RuleItemData(kDisallowedPaths).size(), 12u);
}

TEST_F(IniRoadTest, ThePreventionTestSaysHonestlyThatWineDoesNotEnforceThePolicy) {
  const std::wstring planted = platform::GetEnv(L"appdata") + L"\\HelloWorld2.exe";
  // Someone else's file of that name is never what runs.
  ASSERT_TRUE(WriteTextFile(planted, "not a program"));
  auto shown = Run(L"/test");
  ASSERT_GE(shown.size(), 1u);
  EXPECT_EQ(shown[0].fields[2], L"Prevention Not Applied or Unsuccessful!");
  EXPECT_EQ(shown[0].fields[1], L"0x10");
  EXPECT_FALSE(FileExists(planted)) << "the test program is removed again";
}

TEST_F(IniRoadTest, SidebarSwitchesSetAndClearThePolicy) {
  Run(L"/disablesidebar");
  DWORD value = 0;
  ASSERT_TRUE(RegReadDword(HKEY_LOCAL_MACHINE, kSidebarKey, L"TurnOffSidebar", value));
  EXPECT_EQ(value, 1u);
  Run(L"/enablesidebar");
  EXPECT_FALSE(RegReadDword(HKEY_LOCAL_MACHINE, kSidebarKey, L"TurnOffSidebar", value));
}

TEST_F(IniRoadTest, UninstallRoadsLeaveNothingOfOursBehind) {
  Run(L"/disablesidebar");
  Run(L"/silent /nogpupdate /appdata /fakeexts /w=tool.exe /installer");
  Run(L"/silent /nogpupdate /appdata /fakeexts /w=tool.exe");
  ASSERT_FALSE(RuleItemData(kDisallowedPaths).empty());

  // The installer's own uninstaller asks nothing and keeps the Sidebar policy.
  EXPECT_TRUE(Run(L"/uninstallerb /nogpupdate").empty());
  EXPECT_TRUE(RuleItemData(kDisallowedPaths).empty());
  EXPECT_TRUE(RuleItemData(kWhitelistPaths).empty());
  EXPECT_EQ(ProductSetting(L"Installed"), L"<missing>");
  DWORD value = 0;
  EXPECT_TRUE(RegReadDword(HKEY_LOCAL_MACHINE, kSidebarKey, L"TurnOffSidebar", value));

  Run(L"/silent /nogpupdate /appdata /installer");
  EXPECT_TRUE(Run(L"/bulkuninstaller /nogpupdate").empty());
  EXPECT_TRUE(RuleItemData(kDisallowedPaths).empty());
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kSettingsKey)) << "deleted after the undo, not re-created by it";

  // The interactive uninstaller asks about the Sidebar and about keeping the settings.
  Run(L"/silent /nogpupdate /appdata /installer");
  auto shown = Run(L"/uninstaller /nogpupdate", L"no,no");
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_NE(shown[0].fields[2].find(L"Would you like to keep them disabled"), std::wstring::npos);
  EXPECT_FALSE(RegReadDword(HKEY_LOCAL_MACHINE, kSidebarKey, L"TurnOffSidebar", value));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
}

// The uninstall deletes the data folder that the system names. The environment belongs to whoever
// starts the program: a %programdata% pointed at a folder of the user's choosing must not turn
// into an elevated delete of it.
TEST_F(IniRoadTest, UninstallDeletesTheSystemsDataFolderNotOneTheEnvironmentNames) {
  // A root without its trailing backslash, and the product's data folder made under it.
  auto dataFolderUnder = [](const ScratchDir& dir, std::wstring& root) {
    root = dir.Path().substr(0, dir.Path().size() - 1);
    CreateDirectoryW((root + kMakerFolder).c_str(), nullptr);
    CreateDirectoryW((root + kProductFolder).c_str(), nullptr);
    return root + kProductFolder;
  };
  ScratchDir chosenDir, dataDir;
  std::wstring chosenRoot, dataRoot;
  const std::wstring chosen = dataFolderUnder(chosenDir, chosenRoot);
  const std::wstring ours = dataFolderUnder(dataDir, dataRoot);
  ASSERT_TRUE(WriteTextFile(chosen + L"\\keep.txt", "the user's own file"));
  ASSERT_TRUE(WriteTextFile(ours + L"\\UserExecFilter.md5", "; a list\r\n"));

  const RunResult result =
      RunProcess(L"\"" + program_.ExePath() + L"\" /uninstallerb /nogpupdate",
                 {L"ILATCH_PROMPT_LOG=" + program_.PromptLog(), L"PROGRAMDATA=" + chosenRoot, L"ILATCH_DATA_ROOT=" + dataRoot});
  ASSERT_TRUE(result.finished);
  EXPECT_TRUE(FileExists(chosen + L"\\keep.txt"));
  EXPECT_FALSE(FolderExists(ours)) << "the data folder the program keeps its lists in goes with it";
}

// The uninstall deletes the data folder without following anything planted on the way. Wine makes
// no junctions, but it follows a Unix symbolic link without showing a reparse point: a link inside
// the folder, or in the maker's or the data folder's place, leaves what it leads to as it was (the
// link itself stays: Wine cannot remove it without following it). A hard link loses only its name,
// and a maker's folder that is not the system's is not entered at all.
TEST_F(IniRoadTest, TheUninstallDeletesNothingThroughALinkNorInAFolderOfSomeoneElse) {
  enum Plant { kNothing, kLinkToFolderInside, kLinkToFileInside, kHardLinkInside, kMakerLink, kDataLink, kForeignMaker };
  struct Case {
    const char* what;
    Plant plant;
  } cases[] = {
      {"nothing planted: lists, folders and a read-only file all go", kNothing},
      {"a Unix link inside to a folder elsewhere", kLinkToFolderInside},
      {"a Unix link named like a list to a file elsewhere", kLinkToFileInside},
      {"a hard link named like a list to a file elsewhere", kHardLinkInside},
      {"the maker's folder a Unix link to a folder elsewhere", kMakerLink},
      {"the data folder a Unix link to a folder elsewhere", kDataLink},
      {"a maker's folder that is not the system's", kForeignMaker},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    const std::wstring root = dir / L"root", elsewhere = dir / L"elsewhere";
    const std::wstring maker = root + kMakerFolder, data = root + kProductFolder;
    // Elsewhere: a user's files, and a folder named like the data folder.
    ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr) && CreateDirectoryW(elsewhere.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((elsewhere + L"\\" + kProductName).c_str(), nullptr));
    ASSERT_TRUE(WriteTextFile(elsewhere + L"\\keep.txt", "a user's file"));
    ASSERT_TRUE(WriteTextFile(elsewhere + L"\\" + kProductName + L"\\keep.txt", "a user's file too"));
    std::optional<UnixLink> link;
    if (c.plant == kMakerLink) {
      link.emplace(elsewhere, maker);
    } else {
      ASSERT_TRUE(CreateDirectoryW(maker.c_str(), nullptr));
      if (c.plant == kDataLink) link.emplace(elsewhere, data);
    }
    const bool planted = c.plant != kMakerLink && c.plant != kDataLink;
    if (planted) {
      ASSERT_TRUE(CreateDirectoryW(data.c_str(), nullptr) && CreateDirectoryW((data + L"\\sub").c_str(), nullptr));
      ASSERT_TRUE(WriteTextFile(data + L"\\UserExecFilter.md5", "; a list\r\n"));
      ASSERT_TRUE(WriteTextFile(data + L"\\sub\\read-only.txt", "x"));
      ASSERT_TRUE(SetFileAttributesW((data + L"\\sub\\read-only.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    }
    if (c.plant == kLinkToFolderInside) link.emplace(elsewhere, data + L"\\sub\\elsewhere");
    if (c.plant == kLinkToFileInside) link.emplace(elsewhere + L"\\keep.txt", data + L"\\ExecFilter.md5");
    if (c.plant == kHardLinkInside) {
      ASSERT_TRUE(CreateHardLinkW((data + L"\\ExecFilter.md5").c_str(), (elsewhere + L"\\keep.txt").c_str(), nullptr));
    }
    if (link && !link->Made()) continue;  // not Wine: no Unix link to test

    std::vector<std::wstring> env = {L"ILATCH_PROMPT_LOG=" + program_.PromptLog(), L"ILATCH_DATA_ROOT=" + root};
    if (c.plant == kForeignMaker) env.push_back(L"ILATCH_TRUSTED_OWNER=S-1-0-0");  // Wine's account: a standard user
    const RunResult result = RunProcess(L"\"" + program_.ExePath() + L"\" /uninstallerb /nogpupdate", env);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(ReadFileBytes(elsewhere + L"\\keep.txt"), "a user's file");
    EXPECT_EQ(ReadFileBytes(elsewhere + L"\\" + kProductName + L"\\keep.txt"), "a user's file too");
    if (!planted) continue;
    // What is the system's goes, down to a folder that holds a link left in place.
    const bool entered = c.plant != kForeignMaker;
    EXPECT_EQ(FileExists(data + L"\\UserExecFilter.md5"), !entered);
    EXPECT_EQ(FileExists(data + L"\\sub\\read-only.txt"), !entered);
    EXPECT_EQ(FolderExists(data), c.plant == kForeignMaker || c.plant == kLinkToFolderInside || c.plant == kLinkToFileInside);
  }
}

// Apply makes the data folder the system's: a list already inside gets the folder's inherited
// rights (Wine keeps none, so those given are read from the program's record), and something a
// user planted in the folder's place is renamed aside and the folder made afresh.
TEST_F(IniRoadTest, ApplyGivesTheListsInsideTheFolderRightsAndSetsAPlantedFolderAside) {
  const auto user = TestToken(true);
  ASSERT_TRUE(user);
  struct Case {
    const char* what;
    bool planted;  // a file where the data folder belongs
  } cases[] = {{"a proper folder with a list", false}, {"a file in the folder's place", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    const std::wstring root = dir / L"root";
    const std::wstring folder = root + kProductFolder;
    ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr) && CreateDirectoryW((root + kMakerFolder).c_str(), nullptr));
    if (c.planted) {
      ASSERT_TRUE(WriteTextFile(folder, "planted"));
    } else {
      ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
      ASSERT_TRUE(WriteTextFile(folder + L"\\UserExecFilter.md5", "; a list\r\n"));
    }
    const RunResult result = RunProcess(L"\"" + program_.ExePath() + L"\" /silent /nogpupdate /appdata",
                                        {L"ILATCH_PROMPT_LOG=" + program_.PromptLog(), L"ILATCH_DATA_ROOT=" + root,
                                         L"ILATCH_RIGHTS_LOG=" + dir / L"rights.log"});
    ASSERT_TRUE(result.finished);
    ASSERT_TRUE(FolderExists(folder));
    auto rights = RecordedRights(dir / L"rights.log");
    EXPECT_TRUE(AccessGranted(user.get(), rights[platform::Lower(folder)], FILE_LIST_DIRECTORY));
    EXPECT_FALSE(AccessGranted(user.get(), rights[platform::Lower(folder)], FILE_ADD_FILE));
    WIN32_FIND_DATAW found = {};
    platform::UniqueFindHandle aside(FindFirstFileW((folder + L" (set aside *)").c_str(), &found));
    EXPECT_EQ(static_cast<bool>(aside), c.planted);
    if (c.planted) {
      EXPECT_EQ(ReadFileBytes(root + kMakerFolder + L"\\" + found.cFileName), "planted");
    } else {
      const std::wstring list = rights[platform::Lower(folder + L"\\UserExecFilter.md5")];
      EXPECT_TRUE(AccessGranted(user.get(), list, FILE_GENERIC_READ)) << platform::ToUtf8(list);
      EXPECT_FALSE(AccessGranted(user.get(), list, FILE_WRITE_DATA));
      EXPECT_EQ(ReadFileBytes(folder + L"\\UserExecFilter.md5"), "; a list\r\n");
    }
  }
}

TEST_F(IniRoadTest, EachClassModeTakesTheIniWordThatDiffersFromItsShippedModeAndNothingElse) {
  // Shipped: suspicious CPL and SCR, constant PIF.
  struct Case {
    const char* name;
    std::string filterIni;  // the [FilterSuspicious] and [FilterConstant] sections
    const wchar_t* suspicious[3];  // CPL, SCR, PIF as stored
    const wchar_t* constant[3];
  };
  const Case cases[] = {
      {"nothing said: as shipped", "", {L"1", L"1", L"0"}, {L"0", L"0", L"1"}},
      {"every mode turned round",
       "[FilterSuspicious]\r\nCPL=0\r\nSCR=0\r\nPIF=1\r\n[FilterConstant]\r\nCPL=1\r\nSCR=1\r\nPIF=0\r\n",
       {L"0", L"0", L"1"},
       {L"1", L"1", L"0"}},
      {"the shipped words and words that are none",
       "[FilterSuspicious]\r\nCPL=1\r\nSCR=yes\r\nPIF=2\r\n[FilterConstant]\r\nCPL=0\r\nSCR=on\r\nPIF=\r\n",
       {L"1", L"1", L"0"},
       {L"0", L"0", L"1"}},
  };
  const wchar_t* classes[] = {L"CPL", L"SCR", L"PIF"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Clean();
    WriteFile(kSettingsIni, "[Config]\r\n" + c.filterIni);
    Run(L"/applyini /silent /nogpupdate");
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(ProductSetting(classes[i], L"\\FilterModule\\Suspicious"), c.suspicious[i]) << "suspicious " << i;
      EXPECT_EQ(ProductSetting(classes[i], L"\\FilterModule\\Constant"), c.constant[i]) << "constant " << i;
    }
  }
}
