// The main window as a user meets it: the real main program with its window open under Xvfb,
// driven from outside by clicks on its boxes, buttons and menu items, its questions answered
// through the prompt seam. What is checked is what the user sees (boxes, menu checks, captions,
// icons, questions) and what the window leaves in the registry.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <memory>

#include "platform/Handle.h"
#include "platform/Text.h"
#include "tests/support/LiveWindow.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"
#include "ui/Form1Ids.h"

using namespace testsupport;

namespace {

const std::wstring kFilterKey = kFilterModuleKey;
const wchar_t* const kPolicyRoot = kRestrictionPolicyKey;
const std::wstring kBlockRules = std::wstring(kPolicyRoot) + L"\\0\\Paths";
const std::wstring kAllowRules = std::wstring(kPolicyRoot) + L"\\262144\\Paths";
const wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

constexpr LRESULT kHidden = -1;

// The boxes "All /" and "None" set.
const int kProtectionBoxes[] = {IDC_FORM1_CHKAPPDATA,      IDC_FORM1_CHKAPPDATADEEP,   IDC_FORM1_CHKAPPDATALOCAL,
                                IDC_FORM1_CHKRECYCLEBIN,   IDC_FORM1_CHKUSERPROFILE,   IDC_FORM1_CHKPROGRAMDATA,
                                IDC_FORM1_CHKSTARTUPFOLDER, IDC_FORM1_CHKSYSKEY,       IDC_FORM1_CHKCIPHER,
                                IDC_FORM1_CHKVSSADMIN,     IDC_FORM1_CHKFAKEEXT,       IDC_FORM1_CHKSIDEBAR};

void ClearState() {
  ClearProductAndPolicy();
  // A sidebar setting left behind would make Undo ask about it.
  RegDeleteValueQuiet(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Windows\\Sidebar",
                      L"TurnOffSidebar");
  RegDeleteValueQuiet(HKEY_LOCAL_MACHINE, kRunOnceKey, kRestartTestValue);
}

void Save(const std::wstring& key, const std::wstring& value, const std::wstring& text) {
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, key, value, text)) << value;
}

std::wstring ImagePath(DWORD processId) {
  platform::UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  wchar_t path[MAX_PATH] = {};
  if (!process || !GetModuleFileNameExW(process.get(), nullptr, path, MAX_PATH)) return L"";
  return path;
}

// Stops every process that runs exePath: the copies a test started indirectly must not outlive it.
void EndEveryCopyOf(const std::wstring& exePath) {
  platform::UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (!platform::EqualsNoCase(ImagePath(entry.th32ProcessID), exePath)) continue;
    platform::UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
    if (process) TerminateProcess(process.get(), 1);
  }
}

// The visible main window of a process whose program is exePath, other than the one of skipProcess.
HWND FindMainWindow(const std::wstring& exePath, DWORD onlyProcess, DWORD skipProcess, DWORD timeoutMs) {
  struct Search {
    const std::wstring* exe;
    DWORD only, skip;
    HWND found;
  } search = {&exePath, onlyProcess, skipProcess, nullptr};
  for (DWORD waited = 0;; waited += 100) {
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
          auto* s = reinterpret_cast<Search*>(param);
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          if (owner == s->skip || (s->only && owner != s->only)) return TRUE;
          if (!IsWindowVisible(window) || !GetDlgItem(window, IDC_FORM1_COMMAND1)) return TRUE;
          if (!s->only && !platform::EqualsNoCase(ImagePath(owner), *s->exe)) return TRUE;
          s->found = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found || waited >= timeoutMs) return search.found;
    Sleep(100);
  }
}

// Synchronous: the click's handler has run when it returns. (Wine's SendMessageTimeout reports a
// reply of 0 as a failure, so it cannot be used here.)
LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessageW(window, message, wParam, lParam);
}

// The main program in a scratch folder, started without arguments so that its main window opens and
// stays open; the boxes it shows are answered from answers.
class MainWindow {
 public:
  ~MainWindow() { End(); }

  // Without arguments, or with "/showmain", the main window opens and Start waits for it.
  void Start(const std::wstring& answers, const std::wstring& arguments = L"") {
    SetEnvironmentVariableW(L"ILATCH_PROMPT_LOG", program.PromptLog().c_str());
    SetEnvironmentVariableW(L"ILATCH_PROMPT_ANSWERS", answers.c_str());
    SetEnvironmentVariableW(L"ILATCH_KEEP_WINDOWS", L"1");
    live_ = std::make_unique<livewindow::LiveProgram>(L"\"" + program.ExePath() + L"\"" +
                                                      (arguments.empty() ? L"" : L" " + arguments));
    ASSERT_TRUE(live_->Started());
    if (arguments.empty() || arguments == L"/showmain") {
      window = FindMainWindow(program.ExePath(), ProcessId(), 0, 30000);
      ASSERT_NE(window, nullptr) << "the main window did not appear";
      // The window shows a moment before its record reaches the prompt log; a test that counts
      // records from here on must not see it arrive late.
      ASSERT_TRUE(WaitForMainWindowRecord(10000)) << "the main window was not recorded";
    }
  }

  bool WaitForMainWindowRecord(DWORD timeoutMs) const {
    for (DWORD waited = 0;; waited += 50) {
      for (const auto& shown : program.Prompts())
        if (shown.kind == L"window" && !shown.fields.empty() && shown.fields[0] == L"Form1") return true;
      if (waited >= timeoutMs) return false;
      Sleep(50);
    }
  }

  // Ends the program: closing its window ends it; a program that stays is stopped.
  void End() {
    if (!live_) return;
    if (window) PostMessageW(window, WM_CLOSE, 0, 0);
    if (window) live_->WaitForExit(10000);
    live_.reset();
    window = nullptr;
  }
  bool Ended(DWORD timeoutMs) const { return live_ && live_->WaitForExit(timeoutMs); }

  HWND Control(int id) const { return GetDlgItem(window, id); }
  int Box(int id) const {
    const LRESULT state = Send(Control(id), BM_GETCHECK, 0, 0);
    return state == BST_CHECKED ? 1 : state == BST_INDETERMINATE ? 2 : 0;
  }
  void Click(int id) const { Send(Control(id), BM_CLICK, 0, 0); }
  void ClickLabel(int id) const {
    Send(window, WM_COMMAND, MAKEWPARAM(id, STN_CLICKED), reinterpret_cast<LPARAM>(Control(id)));
  }
  LRESULT Menu(int id) const {
    static const UINT message = RegisterWindowMessageW(FORM1_MENU_STATE_MESSAGE);
    return Send(window, message, id, 0);
  }
  bool MenuChecked(int id) const { return Menu(id) != kHidden && (Menu(id) & MF_CHECKED); }
  bool MenuEnabled(int id) const { return Menu(id) != kHidden && !(Menu(id) & MF_GRAYED); }
  // A user can choose only an item that is there and enabled.
  void ChooseMenu(int id) const {
    ASSERT_TRUE(MenuEnabled(id)) << "menu item " << id << " cannot be chosen";
    Send(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
  }
  std::wstring Caption() const { return livewindow::Text(window); }
  DWORD ProcessId() const { return live_ ? live_->ProcessId() : 0; }

  // The records after the first `from`.
  std::vector<PromptRecord> Prompts(size_t from = 0) const {
    auto all = program.Prompts();
    return from < all.size() ? std::vector<PromptRecord>(all.begin() + from, all.end()) : std::vector<PromptRecord>{};
  }

  InstalledProgram program;
  HWND window = nullptr;

 private:
  std::unique_ptr<livewindow::LiveProgram> live_;
};

// One record as "kind|field|field...", which reads well in a failure.
std::wstring Flat(const PromptRecord& record) {
  std::wstring text = record.kind;
  for (const auto& field : record.fields) text += L"|" + field;
  return text;
}
std::vector<std::wstring> Flat(const std::vector<PromptRecord>& records) {
  std::vector<std::wstring> out;
  for (const auto& r : records) out.push_back(Flat(r));
  return out;
}

std::wstring Question(const std::wstring& text, const std::wstring& answer,
                      const std::wstring& caption = kProductName) {
  return L"box|" + caption + L"|0x24|" + text + L"|" + answer;
}

class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override { ClearState(); }
  void TearDown() override {
    ui.End();
    ClearState();
  }
  void Installed() { Save(kSettingsKey, L"Installed", L"1"); }

  MainWindow ui;
};

}  // namespace

// ---- Load ---------------------------------------------------------------------------------------

TEST_F(MainWindowTest, FirstStartOfAnInstalledCopyShowsTheDefaults) {
  Installed();
  ui.Start(L"");
  for (int id : kProtectionBoxes) EXPECT_EQ(ui.Box(id), id == IDC_FORM1_CHKSIDEBAR ? 0 : 1) << "box " << id;
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKWHITELIST), 1);
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKSUSPICIOUS + 0), 1);
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKSUSPICIOUS + 1), 1);
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKSUSPICIOUS + 2), 0);
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKCONSTANT + 0), 0);
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKCONSTANT + 1), 0);
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKCONSTANT + 2), 1);
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKNOALLOW), 1);
  EXPECT_EQ(ProductSetting(L"NoAllow", L"\\FilterModule"), L"1") << "ticking it at load stores it";
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKSILENTBLOCK), 0);
  EXPECT_EQ(ProductSetting(L"SilentBlock", L"\\FilterModule"), L"<missing>");

  EXPECT_FALSE(ui.MenuChecked(IDM_FORM1_BLOCK));
  EXPECT_FALSE(ui.MenuChecked(IDM_FORM1_BLOCKBCDEDIT));
  EXPECT_FALSE(ui.MenuChecked(IDM_FORM1_EXEFILTER));
  EXPECT_TRUE(ui.MenuChecked(IDM_FORM1_APPLYGPUPDATE));
  EXPECT_EQ(ui.Menu(IDM_FORM1_CMDLINE), kHidden);
  EXPECT_EQ(ui.Menu(IDM_FORM1_INSTALL1), kHidden);
  for (int id : {IDM_FORM1_INSTALL2, IDM_FORM1_EMAILALERTS, IDM_FORM1_EXEFILTER, IDM_FORM1_USERDEFS, IDM_FORM1_ABOUT,
                 IDM_FORM1_HELPFORUMS, IDM_FORM1_TECHNICALINFO})
    EXPECT_TRUE(ui.MenuEnabled(id)) << "menu item " << id;
  EXPECT_TRUE(IsWindowEnabled(ui.Control(IDC_FORM1_CHKNOALLOW)));
  EXPECT_EQ(livewindow::Text(ui.Control(IDC_FORM1_FRAME3)), std::wstring(kProductName) + L" Filter Module:");

  const std::wstring caption = ui.Caption();
  EXPECT_EQ(caption.rfind(std::wstring(kProductName) + L" v", 0), 0u) << testing::PrintToString(caption);
  EXPECT_EQ(Flat(ui.Prompts()), std::vector<std::wstring>{L"window|Form1|" + caption}) << "nothing is asked at load";
}

TEST_F(MainWindowTest, PortableCopyIgnoresSavedChoicesAndOffersInstall) {
  for (const auto& [value, text] : {std::pair{L"Appdata", L"0"}, {L"Sidebar", L"1"}, {L"ApplyTempEXEs", L"1"}})
    Save(kSettingsKey, value, text);
  Save(kFilterKey + L"\\Suspicious", L"PIF", L"1");
  Save(kFilterKey, L"NoAllow", L"0");
  Save(kFilterKey, L"SuspiciousExeComFiles", L"1");
  ui.Start(L"");

  EXPECT_EQ(ui.Box(IDC_FORM1_CHKAPPDATA), 1) << "design state";
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKSIDEBAR), 1) << "design state";
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ui.Box(IDC_FORM1_CHKSUSPICIOUS + i), 0) << i;
    EXPECT_EQ(ui.Box(IDC_FORM1_CHKCONSTANT + i), 0) << i;
    EXPECT_FALSE(IsWindowEnabled(ui.Control(IDC_FORM1_CHKSUSPICIOUS + i))) << i;
  }
  EXPECT_EQ(livewindow::Text(ui.Control(IDC_FORM1_FRAME3)), L"Filter Module:  (not available in portable edition)");
  EXPECT_FALSE(IsWindowEnabled(ui.Control(IDC_FORM1_FRAME3)));
  EXPECT_FALSE(IsWindowEnabled(ui.Control(IDC_FORM1_CHKNOALLOW)));
  EXPECT_FALSE(ui.MenuChecked(IDM_FORM1_BLOCK));
  EXPECT_FALSE(ui.MenuChecked(IDM_FORM1_EXEFILTER));
  EXPECT_TRUE(ui.MenuEnabled(IDM_FORM1_INSTALL1));
  EXPECT_TRUE(ui.MenuEnabled(IDM_FORM1_CMDLINE));
  EXPECT_EQ(ui.Menu(IDM_FORM1_INSTALL2), kHidden);
  for (int id : {IDM_FORM1_EMAILALERTS, IDM_FORM1_EXEFILTER, IDM_FORM1_USERDEFS}) {
    EXPECT_NE(ui.Menu(id), kHidden) << id;
    EXPECT_FALSE(ui.MenuEnabled(id)) << id;
  }
  EXPECT_EQ(ProductSetting(L"NoAllow", L"\\FilterModule"), L"0") << "nothing is written in portable mode";

  // Apply saves what the window shows: no class is filtered, the saved menu option is off.
  ui.Click(IDC_FORM1_COMMAND1);
  for (const wchar_t* mode : {L"\\FilterModule\\Suspicious", L"\\FilterModule\\Constant"})
    for (const wchar_t* fileClass : {L"CPL", L"SCR", L"PIF"})
      EXPECT_EQ(ProductSetting(fileClass, mode), L"0") << testing::PrintToString(std::wstring(mode) + fileClass);
  EXPECT_EQ(ProductSetting(L"ApplyTempEXEs"), L"0");
  EXPECT_EQ(ProductSetting(L"Appdata"), L"1");
}

TEST_F(MainWindowTest, SavedChoicesAndOlderGroupValuesSetTheBoxes) {
  Installed();
  const std::pair<const wchar_t*, const wchar_t*> settings[] = {
      {L"ApplyAppdata", L"0"},  {L"Appdata", L"1"},       {L"BlockSyskey", L"1"},   {L"syskey", L"0"},
      {L"ApplyUserProf", L"x"},  // no number: as if absent, so the members' own values count
      {L"UserProfile", L"0"},   {L"ProgramData", L"2"},   {L"StartupFolder", L"x"}, {L"cipher", L"5"},
      {L"Sidebar", L"1"},       {L"AutoWhitelist", L"0"}, {L"ApplyFakeExts", L"0"}, {L"ApplyTempEXEs", L"2"},
      {L"BlockBCDEdit", L"1"},
  };
  for (const auto& [value, text] : settings) Save(kSettingsKey, value, text);
  Save(kFilterKey + L"\\Suspicious", L"SCR", L"1");
  Save(kFilterKey + L"\\Constant", L"SCR", L"1");
  Save(kFilterKey + L"\\Constant", L"CPL", L"1");
  Save(kFilterKey + L"\\Suspicious", L"PIF", L"1");
  Save(kFilterKey, L"NoAllow", L"0");
  Save(kFilterKey, L"SilentBlock", L"1");
  Save(kFilterKey, L"SuspiciousExeComFiles", L"1");
  ui.Start(L"");

  const struct {
    const char* name;
    int id;
    int shown;
  } boxes[] = {
      {"AppData group 0 wins over Appdata 1", IDC_FORM1_CHKAPPDATA, 0},
      {"AppData group", IDC_FORM1_CHKAPPDATADEEP, 0},
      {"AppData group", IDC_FORM1_CHKAPPDATALOCAL, 0},
      {"AppData group", IDC_FORM1_CHKRECYCLEBIN, 0},
      {"own value", IDC_FORM1_CHKUSERPROFILE, 0},
      {"2 shows greyed", IDC_FORM1_CHKPROGRAMDATA, 2},
      {"no number keeps the design state", IDC_FORM1_CHKSTARTUPFOLDER, 1},
      {"tool group 1", IDC_FORM1_CHKSYSKEY, 1},
      {"tool group 1", IDC_FORM1_CHKCIPHER, 1},
      {"tool group 1", IDC_FORM1_CHKVSSADMIN, 1},
      {"Sidebar", IDC_FORM1_CHKSIDEBAR, 1},
      {"AutoWhitelist", IDC_FORM1_CHKWHITELIST, 0},
      {"ApplyFakeExts", IDC_FORM1_CHKFAKEEXT, 0},
      {"Constant CPL unticks suspicious CPL", IDC_FORM1_CHKSUSPICIOUS + 0, 0},
      {"Constant CPL", IDC_FORM1_CHKCONSTANT + 0, 1},
      {"SCR in both keys ends constant", IDC_FORM1_CHKSUSPICIOUS + 1, 0},
      {"SCR in both keys ends constant", IDC_FORM1_CHKCONSTANT + 1, 1},
      {"suspicious PIF read before constant PIF's design state is met", IDC_FORM1_CHKSUSPICIOUS + 2, 1},
      {"suspicious PIF unticked constant PIF", IDC_FORM1_CHKCONSTANT + 2, 0},
      {"NoAllow 0", IDC_FORM1_CHKNOALLOW, 0},
      {"SilentBlock 1", IDC_FORM1_CHKSILENTBLOCK, 1},
  };
  for (const auto& b : boxes) EXPECT_EQ(ui.Box(b.id), b.shown) << b.name;
  EXPECT_FALSE(ui.MenuChecked(IDM_FORM1_BLOCK)) << "ApplyTempEXEs 2";
  EXPECT_TRUE(ui.MenuChecked(IDM_FORM1_BLOCKBCDEDIT));
  EXPECT_TRUE(ui.MenuChecked(IDM_FORM1_EXEFILTER));

  // A group value goes only once its members hold its choice: closing without Apply loses nothing.
  EXPECT_EQ(ProductSetting(L"ApplyAppdata"), L"<missing>");
  for (const wchar_t* member : {L"Appdata", L"AppdataDeep", L"AppdataLocal", L"RecycleBin"})
    EXPECT_EQ(ProductSetting(member), L"0") << testing::PrintToString(std::wstring(member));
  EXPECT_EQ(ProductSetting(L"ApplyUserProf"), L"x") << "a text that is no number is left alone";
  EXPECT_EQ(ProductSetting(L"UserProfile"), L"0");
  EXPECT_EQ(ProductSetting(L"BlockSyskey"), L"<missing>");
  for (const wchar_t* tool : {L"syskey", L"cipher", L"vssadmin"}) EXPECT_EQ(ProductSetting(tool), L"1") << tool;
  EXPECT_EQ(ProductSetting(L"NoAllow", L"\\FilterModule"), L"0");
}

TEST_F(MainWindowTest, BrandedCopyWithoutWebsiteHasNoInformationMenu) {
  ASSERT_TRUE(WriteTextFile(ui.program.Folder() + kSettingsIni, "[Installer]\r\nWebsite=\r\n"));
  ui.Start(L"", L"/showmain");  // without it the INI would be applied
  EXPECT_EQ(ui.Caption(), kProductName);
  for (int id : {IDM_FORM1_ABOUT, IDM_FORM1_HELPFORUMS, IDM_FORM1_TECHNICALINFO, IDM_FORM1_CMDLINE})
    EXPECT_EQ(ui.Menu(id), kHidden) << id;
  EXPECT_TRUE(ui.MenuEnabled(IDM_FORM1_LOG1));
}

TEST_F(MainWindowTest, BrandedWebsiteMenuOpensTheSite) {
  const std::wstring ini = ui.program.Folder() + kSettingsIni;
  ASSERT_TRUE(WriteTextFile(ini, "[Installer]\r\nWebsite=www.example.com/ours/\r\n"));
  ui.Start(L"", L"/showmain");
  EXPECT_TRUE(ui.MenuEnabled(IDM_FORM1_ABOUT));
  for (int id : {IDM_FORM1_HELPFORUMS, IDM_FORM1_TECHNICALINFO, IDM_FORM1_CMDLINE})
    EXPECT_EQ(ui.Menu(id), kHidden) << id;

  // The address is read at each click.
  const struct {
    const char* website;
    std::wstring opened;
  } cases[] = {
      {"www.example.com/ours/", L"http://www.example.com/ours/"},
      {"HTTPS://Secure.example.com", L"HTTPS://Secure.example.com"},
      {"Http://example.com", L"Http://example.com"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteTextFile(ini, std::string("[Installer]\r\nWebsite=") + c.website + "\r\n"));
    const size_t before = ui.Prompts().size();
    ui.ChooseMenu(IDM_FORM1_ABOUT);
    EXPECT_EQ(Flat(ui.Prompts(before)), std::vector<std::wstring>{L"web|" + c.opened}) << c.website;
  }
}

// ---- Boxes, selectors and link ------------------------------------------------------------------

TEST_F(MainWindowTest, BoxClicksSelectorsAndReadMe) {
  Installed();
  ui.Start(L"no,yes");

  ui.Click(IDC_FORM1_CHKSILENTBLOCK);
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKSILENTBLOCK), 1);
  EXPECT_EQ(ProductSetting(L"SilentBlock", L"\\FilterModule"), L"1") << "written at the click";
  ui.Click(IDC_FORM1_CHKNOALLOW);
  EXPECT_EQ(ProductSetting(L"NoAllow", L"\\FilterModule"), L"0");

  ui.Click(IDC_FORM1_CHKCONSTANT + 0);
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKCONSTANT + 0), 1);
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKSUSPICIOUS + 0), 0) << "a class is never in both modes";
  ui.Click(IDC_FORM1_CHKSUSPICIOUS + 2);
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKCONSTANT + 2), 0);
  ui.Click(IDC_FORM1_CHKSUSPICIOUS + 2);
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKSUSPICIOUS + 2), 0);
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKCONSTANT + 2), 0) << "unticking gives nothing back to the other mode";
  EXPECT_EQ(ProductSetting(L"CPL", L"\\FilterModule\\Constant"), L"<missing>") << "class boxes wait for Apply";

  ui.ClickLabel(IDC_FORM1_LABEL9);  // None
  for (int id : kProtectionBoxes) EXPECT_EQ(ui.Box(id), 0) << id;
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKWHITELIST), 1) << "None leaves the whitelist box";
  ui.Click(IDC_FORM1_CHKWHITELIST);
  ui.ClickLabel(IDC_FORM1_LABEL10);  // All
  for (int id : kProtectionBoxes) EXPECT_EQ(ui.Box(id), 1) << id;
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKWHITELIST), 0) << "All leaves the whitelist box";
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKCONSTANT + 0), 1) << "the selectors leave the filter boxes";

  const size_t before = ui.Prompts().size();
  const std::wstring readMe =
      L"These settings offer max protection but may cause false positives in some anti-malware apps!  Read more?";
  ui.ClickLabel(IDC_FORM1_LABEL11);
  ui.ClickLabel(IDC_FORM1_LABEL11);
  auto shown = Flat(ui.Prompts(before));
  ASSERT_EQ(shown.size(), 3u) << testing::PrintToString(shown);
  EXPECT_EQ(shown[0], Question(readMe, L"no"));
  EXPECT_EQ(shown[1], Question(readMe, L"yes"));
  EXPECT_EQ(shown[2].rfind(L"web|http", 0), 0u) << testing::PrintToString(shown[2]);
}

// ---- Apply, Undo, Test --------------------------------------------------------------------------

TEST_F(MainWindowTest, ApplyWritesTheChosenRulesAndSavesEveryChoice) {
  Installed();
  // Menu_Block: sure, no re-apply; Apply: no restart; Apply: restart.
  ui.Start(L"yes,no,no,yes");
  ui.ClickLabel(IDC_FORM1_LABEL9);  // None: only the whitelist box stays
  ui.Click(IDC_FORM1_CHKSYSKEY);
  ui.Click(IDC_FORM1_CHKCONSTANT + 1);
  ui.ChooseMenu(IDM_FORM1_BLOCK);
  ASSERT_TRUE(ui.MenuChecked(IDM_FORM1_BLOCK));
  const size_t before = ui.Prompts().size();

  ui.Click(IDC_FORM1_COMMAND1);
  const auto rules = RuleItemData(kBlockRules);
  EXPECT_NE(std::find(rules.begin(), rules.end(), L"syskey.exe"), rules.end());
  EXPECT_NE(std::find(rules.begin(), rules.end(), L"%userprofile%\\AppData\\Local\\Temp\\*.zip\\*.exe"), rules.end())
      << "the checked archive option";
  for (const wchar_t* absent : {L"cipher.exe", L"vssadmin.exe", L"bcdedit.exe", L"%appdata%\\*.exe"})
    EXPECT_EQ(std::find(rules.begin(), rules.end(), absent), rules.end()) << testing::PrintToString(std::wstring(absent));
  DWORD level = 0;
  EXPECT_TRUE(RegReadDword(HKEY_LOCAL_MACHINE, kPolicyRoot, L"DefaultLevel", level));
  EXPECT_EQ(level, 262144u) << "policy defaults written";

  const std::pair<const wchar_t*, const wchar_t*> saved[] = {
      {L"Appdata", L"0"},     {L"AppdataDeep", L"0"},   {L"AppdataLocal", L"0"}, {L"RecycleBin", L"0"},
      {L"UserProfile", L"0"}, {L"ProgramData", L"0"},   {L"StartupFolder", L"0"}, {L"syskey", L"1"},
      {L"cipher", L"0"},      {L"vssadmin", L"0"},      {L"ApplyFakeExts", L"0"}, {L"Sidebar", L"0"},
      {L"ApplyTempEXEs", L"1"}, {L"BlockBCDEdit", L"0"},
      {L"AutoWhitelist", L"0"},  // written by the whitelist-all operation the ticked box ran
  };
  for (const auto& [value, text] : saved) EXPECT_EQ(ProductSetting(value), text) << testing::PrintToString(std::wstring(value));
  const std::pair<const wchar_t*, const wchar_t*> classes[] = {
      {L"\\FilterModule\\Suspicious", L"1"}, {L"\\FilterModule\\Suspicious", L"0"}, {L"\\FilterModule\\Suspicious", L"0"},
      {L"\\FilterModule\\Constant", L"0"},   {L"\\FilterModule\\Constant", L"1"},   {L"\\FilterModule\\Constant", L"1"},
  };
  const wchar_t* names[] = {L"CPL", L"SCR", L"PIF"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(ProductSetting(names[i % 3], classes[i].first), classes[i].second) << i;
  EXPECT_EQ(ProductSetting(L"NoAllow", L"\\FilterModule"), L"1");
  EXPECT_EQ(ProductSetting(L"SilentBlock", L"\\FilterModule"), L"0");

  const std::wstring restart =
      L"Policies created, but you must restart the PC to ensure the changes take effect!  Restart now?";
  auto shown = ui.Prompts(before);
  ASSERT_EQ(shown.size(), 2u) << testing::PrintToString(Flat(shown));
  EXPECT_EQ(Flat(shown[0]), std::wstring(L"window|frmStatusWin|") + kProductName) << "the refresh after changes is on";
  EXPECT_EQ(Flat(shown[1]), Question(restart, L"no"));
  std::wstring queued;
  EXPECT_FALSE(RegRead(HKEY_LOCAL_MACHINE, kRunOnceKey, kRestartTestValue, queued));

  // Without the refresh, and this time accepting the restart.
  ui.ChooseMenu(IDM_FORM1_APPLYGPUPDATE);
  EXPECT_FALSE(ui.MenuChecked(IDM_FORM1_APPLYGPUPDATE));
  const size_t second = ui.Prompts().size();
  ui.Click(IDC_FORM1_COMMAND1);
  shown = ui.Prompts(second);
  ASSERT_EQ(shown.size(), 2u) << testing::PrintToString(Flat(shown));
  EXPECT_EQ(Flat(shown[0]), Question(restart, L"yes"));
  EXPECT_EQ(shown[1].kind, L"reboot");
  ASSERT_FALSE(shown[1].fields.empty());
  EXPECT_EQ(shown[1].fields[0], L"force");
  EXPECT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kRunOnceKey, kRestartTestValue, queued));
  EXPECT_EQ(queued, L"cmd /c start \"\" \"" + ui.program.ExePath() + L"\" /test");
}

// A box or menu item chooses what the switch of the same option chooses: Apply writes the rules
// the switch road writes for them, and a greyed box chooses nothing.
TEST_F(MainWindowTest, TheControlsWriteTheRulesTheirSwitchesWrite) {
  Installed();
  const std::pair<const wchar_t*, const wchar_t*> shown[] = {
      {L"Appdata", L"0"},      {L"AppdataDeep", L"0"}, {L"AppdataLocal", L"1"},  {L"RecycleBin", L"1"},
      {L"UserProfile", L"0"},  {L"ProgramData", L"2"}, {L"StartupFolder", L"0"}, {L"syskey", L"0"},
      {L"cipher", L"1"},       {L"vssadmin", L"0"},    {L"ApplyFakeExts", L"1"}, {L"Sidebar", L"0"},
      {L"AutoWhitelist", L"0"}, {L"ApplyTempEXEs", L"0"}, {L"BlockBCDEdit", L"1"},
  };
  for (const auto& [value, text] : shown) Save(kSettingsKey, value, text);
  ui.Start(L"no");  // the restart question
  ASSERT_EQ(ui.Box(IDC_FORM1_CHKPROGRAMDATA), 2);
  ASSERT_TRUE(ui.MenuChecked(IDM_FORM1_BLOCKBCDEDIT));
  ui.ChooseMenu(IDM_FORM1_APPLYGPUPDATE);
  ui.Click(IDC_FORM1_COMMAND1);
  const auto byWindow = RuleItemData(kBlockRules);
  ui.End();

  RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kBlockRules);
  ASSERT_TRUE(ui.program.Run(L"/silent /nogpupdate /appdatalocal /bin /cipher /fakeexts /bcdedit").finished);
  EXPECT_EQ(byWindow, RuleItemData(kBlockRules));
  EXPECT_EQ(std::count(byWindow.begin(), byWindow.end(), L"%programdata%\\*.exe"), 0) << "the greyed box";
  EXPECT_EQ(std::count(byWindow.begin(), byWindow.end(), L"cipher.exe"), 1);
}

// Alt+F4 while Apply waits (its hash-rule import lets window events run) must not leave half a
// protection behind: the window stays until Apply is done, and a click meanwhile starts nothing.
TEST_F(MainWindowTest, ClosingDuringApplyWaitsForTheWholeApply) {
  Installed();
  ui.Start(L"no");  // the restart question
  ui.ClickLabel(IDC_FORM1_LABEL9);  // None
  ui.Click(IDC_FORM1_CHKAPPDATA);
  ui.Click(IDC_FORM1_CHKCIPHER);
  ui.ChooseMenu(IDM_FORM1_APPLYGPUPDATE);  // no refresh: only the engine's own waits
  const size_t before = ui.Prompts().size();

  // Queued together, the close and the Undo click arrive while Apply waits.
  auto post = [&](UINT message, int button) {
    PostMessageW(ui.window, message, message == WM_COMMAND ? MAKEWPARAM(button, BN_CLICKED) : 0,
                 message == WM_COMMAND ? reinterpret_cast<LPARAM>(ui.Control(button)) : 0);
  };
  post(WM_COMMAND, IDC_FORM1_COMMAND1);
  post(WM_CLOSE, 0);
  post(WM_COMMAND, IDC_FORM1_COMMAND2);
  const std::wstring restart = Question(
      L"Policies created, but you must restart the PC to ensure the changes take effect!  Restart now?", L"no");
  std::vector<std::wstring> shown;
  for (int i = 0; i < 600 && shown.empty(); ++i, Sleep(100)) shown = Flat(ui.Prompts(before));
  Sleep(500);
  EXPECT_EQ(Flat(ui.Prompts(before)), std::vector<std::wstring>{restart}) << "Apply ran once, and Undo not at all";
  EXPECT_FALSE(ui.Ended(0));
  EXPECT_TRUE(IsWindow(ui.window)) << "the window was not closed under Apply";

  const std::pair<const wchar_t*, const wchar_t*> saved[] = {
      {L"Appdata", L"1"},  {L"AppdataDeep", L"0"}, {L"cipher", L"1"},       {L"syskey", L"0"},
      {L"Sidebar", L"0"},  {L"BlockBCDEdit", L"0"}, {L"ApplyTempEXEs", L"0"},
  };
  for (const auto& [value, text] : saved)
    EXPECT_EQ(ProductSetting(value), text) << testing::PrintToString(std::wstring(value));
  EXPECT_EQ(ProductSetting(L"NoAllow", L"\\FilterModule"), L"1");
  EXPECT_EQ(ProductSetting(L"SCR", L"\\FilterModule\\Suspicious"), L"1") << "the class boxes as shown";
  const auto rules = RuleItemData(kBlockRules);
  for (const wchar_t* rule : {L"%appdata%\\*.exe", L"cipher.exe"})
    EXPECT_NE(std::find(rules.begin(), rules.end(), rule), rules.end()) << testing::PrintToString(std::wstring(rule));

  // Once Apply is over the window closes as usual.
  PostMessageW(ui.window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(ui.Ended(20000));
}

TEST_F(MainWindowTest, UndoRemovesOwnRulesAndAsksAboutWhitelistRules) {
  Installed();
  Save(kSettingsKey, L"Appdata", L"1");
  auto rule = [](const std::wstring& paths, const wchar_t* guid, const wchar_t* item) {
    const std::wstring key = paths + L"\\" + guid;
    Save(key, L"Description", kRuleDescription);
    Save(key, L"ItemData", item);
    ASSERT_TRUE(RegWriteDword(HKEY_LOCAL_MACHINE, key, L"SaferFlags", 0));
  };
  rule(kBlockRules, L"{0b6a47a2-6f06-4e53-9e51-5d8a0f0c0001}", L"%appdata%\\*.exe");
  rule(kAllowRules, L"{0b6a47a2-6f06-4e53-9e51-5d8a0f0c0002}", L"%appdata%\\Tool\\tool.exe");
  ui.Start(L"no,no,yes,no");

  ui.Click(IDC_FORM1_COMMAND2);
  EXPECT_TRUE(RuleItemData(kBlockRules).empty());
  EXPECT_EQ(RuleItemData(kAllowRules), std::vector<std::wstring>{L"%appdata%\\Tool\\tool.exe"});
  EXPECT_EQ(ProductSetting(L"Appdata"), L"1") << "Undo changes no saved choice";
  EXPECT_EQ(ui.Box(IDC_FORM1_CHKAPPDATA), 1);

  ui.Click(IDC_FORM1_COMMAND2);
  EXPECT_TRUE(RuleItemData(kAllowRules).empty());

  const std::wstring whitelist = L"Also remove any whitelist policies?";
  const std::wstring refresh = std::wstring(L"window|frmStatusWin|") + kProductName;
  const std::wstring restart =
      Question(L"Policies deleted, but you should reboot to ensure changes take effect.  Restart now?", L"no");
  EXPECT_EQ(Flat(ui.Prompts(1)), (std::vector<std::wstring>{Question(whitelist, L"no"), refresh, restart,
                                                            Question(whitelist, L"yes"), refresh, restart}))
      << "Undo always refreshes the group policy; declining the restart restarts nothing";
}

TEST_F(MainWindowTest, TestButtonReportsThePreventionTest) {
  ui.Start(L"");
  ui.Click(IDC_FORM1_COMMAND3);
  auto shown = ui.Prompts(1);
  ASSERT_EQ(shown.size(), 1u) << testing::PrintToString(Flat(shown));
  ASSERT_EQ(shown[0].fields.size(), 4u);
  EXPECT_EQ(shown[0].fields[1], L"0x10");
  // Wine does not enforce the policy, so the test program runs: the failure report.
  EXPECT_EQ(shown[0].fields[2],
            L"Prevention Not Applied or Unsuccessful!  Be sure to reboot the PC after applying protection before "
            L"testing.");
  EXPECT_TRUE(IsWindow(ui.window)) << "the window stays open";
}

// ---- Menus ----------------------------------------------------------------------------------------

TEST_F(MainWindowTest, ExtraProtectionTogglesAskBeforeChanging) {
  Installed();
  ui.Start(L"no,yes,no,no");
  const std::wstring sure =
      L"Selecting this option provides maximum protection but can also impede a certain programs and installations "
      L"from working properly while protection is enabled.  Please see the website for more details.  Are you sure "
      L"you wish to do this?";

  ui.ChooseMenu(IDM_FORM1_BLOCK);
  EXPECT_FALSE(ui.MenuChecked(IDM_FORM1_BLOCK)) << "declined";
  ui.ChooseMenu(IDM_FORM1_BLOCKBCDEDIT);
  EXPECT_TRUE(ui.MenuChecked(IDM_FORM1_BLOCKBCDEDIT));
  ui.ChooseMenu(IDM_FORM1_BLOCKBCDEDIT);
  EXPECT_FALSE(ui.MenuChecked(IDM_FORM1_BLOCKBCDEDIT));

  EXPECT_EQ(Flat(ui.Prompts(1)),
            (std::vector<std::wstring>{
                Question(sure, L"no", L"Are you sure?"), Question(sure, L"yes", L"Are you sure?"),
                Question(L"You MUST (re)Apply protection now that this option has been enabled.  Re-apply now?", L"no"),
                Question(L"You MUST (re)Apply protection now that this option has been disabled.  Re-apply now?",
                         L"no")}));
  EXPECT_EQ(ProductSetting(L"BlockBCDEdit"), L"<missing>") << "saved only by Apply";
}

const wchar_t kExeOpenCommand[] = L"SOFTWARE\\Classes\\exefile\\Shell\\Open\\Command";

TEST_F(MainWindowTest, ExeComFilterNeedsTheTypedConfirmation) {
  Installed();
  Save(kSettingsKey, L"ProgramData", L"2");  // greyed: saved as it is, but no rules
  ASSERT_TRUE(CopyProgram(L"fakeprog.exe", ui.program.Folder() + kFilterModuleProgram));
  // lower-case "yes" typed; then the right text; Apply not restarting; on again; off.
  ui.Start(L"yes,yes,yes,YES,ok,no,yes,YES,ok,ok");
  const std::wstring sure = Question(L"This option is EXPERIMENTAL.  Are you sure you wish to do this?", L"yes",
                                     L"Are you sure?");
  const std::wstring confirm = L"input|CONFIRMATION REQUESTED.|Confirm by typing 'YES' in the box below:  (no quotes, "
                               L"in all caps)||";
  const std::wstring enabled =
      std::wstring(L"box|") + kProductName + L"|0x0|Filtering is enabled, no reboot required.|ok";

  ui.ChooseMenu(IDM_FORM1_EXEFILTER);
  EXPECT_FALSE(ui.MenuChecked(IDM_FORM1_EXEFILTER));
  EXPECT_EQ(ProductSetting(L"SuspiciousExeComFiles", L"\\FilterModule"), L"<missing>");
  EXPECT_EQ(Flat(ui.Prompts(1)), (std::vector<std::wstring>{sure, confirm + L"yes"})) << "a wrong text ends silently";

  ui.ChooseMenu(IDM_FORM1_EXEFILTER);
  EXPECT_TRUE(ui.MenuChecked(IDM_FORM1_EXEFILTER));
  EXPECT_EQ(ProductSetting(L"SuspiciousExeComFiles", L"\\FilterModule"), L"1");
  EXPECT_EQ(Flat(ui.Prompts(3)), (std::vector<std::wstring>{sure, confirm + L"YES", enabled}));

  // Apply turns the filter off in the engine, and the menu says so. (No class is hooked to the
  // stand-in filter module.)
  for (int box : {IDC_FORM1_CHKSUSPICIOUS + 0, IDC_FORM1_CHKSUSPICIOUS + 1, IDC_FORM1_CHKCONSTANT + 2}) ui.Click(box);
  ui.ChooseMenu(IDM_FORM1_APPLYGPUPDATE);
  ui.Click(IDC_FORM1_COMMAND1);
  EXPECT_EQ(ProductSetting(L"SuspiciousExeComFiles", L"\\FilterModule"), L"0");
  EXPECT_FALSE(ui.MenuChecked(IDM_FORM1_EXEFILTER)) << "the check follows what is written";
  EXPECT_EQ(ProductSetting(L"ProgramData"), L"2");
  const auto rules = RuleItemData(kBlockRules);
  EXPECT_EQ(std::find(rules.begin(), rules.end(), L"%programdata%\\*.exe"), rules.end()) << "a greyed box is not ticked";
  EXPECT_NE(std::find(rules.begin(), rules.end(), L"%appdata%\\*.exe"), rules.end());

  ui.ChooseMenu(IDM_FORM1_EXEFILTER);
  EXPECT_TRUE(ui.MenuChecked(IDM_FORM1_EXEFILTER));
  const size_t before = ui.Prompts().size();
  ui.ChooseMenu(IDM_FORM1_EXEFILTER);
  EXPECT_FALSE(ui.MenuChecked(IDM_FORM1_EXEFILTER));
  EXPECT_EQ(ProductSetting(L"SuspiciousExeComFiles", L"\\FilterModule"), L"0");
  EXPECT_EQ(Flat(ui.Prompts(before)), std::vector<std::wstring>{std::wstring(L"box|") + kProductName +
                                                                L"|0x0|Filtering is disabled, no reboot required.|ok"});
}

// Pointed at a filter module that is not there, every program started from the shell would fail.
TEST_F(MainWindowTest, ExeComFilterStaysOffWithoutTheFilterModule) {
  Installed();
  std::wstring commandBefore;
  const bool hadCommand = RegRead(HKEY_LOCAL_MACHINE, kExeOpenCommand, L"", commandBefore);
  ui.Start(L"yes,YES,ok");
  ui.ChooseMenu(IDM_FORM1_EXEFILTER);
  EXPECT_FALSE(ui.MenuChecked(IDM_FORM1_EXEFILTER));
  EXPECT_NE(ProductSetting(L"SuspiciousExeComFiles", L"\\FilterModule"), L"1");
  std::wstring commandAfter;
  EXPECT_EQ(RegRead(HKEY_LOCAL_MACHINE, kExeOpenCommand, L"", commandAfter), hadCommand);
  EXPECT_EQ(commandAfter, commandBefore) << "the program classes are left as they were";
  const auto shown = Flat(ui.Prompts(1));
  ASSERT_EQ(shown.size(), 3u) << testing::PrintToString(shown);
  EXPECT_EQ(shown[2], std::wstring(L"box|") + kProductName + L"|0x30|Filtering was not enabled: the filter module " +
                          kFilterModuleProgram +
                          L" is missing from the "
                          L"program folder, or its file classes could not be written.|ok");
}

TEST_F(MainWindowTest, ResetStartsAFreshInstalledCopy) {
  Save(kSettingsKey, L"Appdata", L"0");  // portable: no "Installed"
  Save(kEmailSetupKey, L"SMTPServer", L"mail.example.com");
  ui.Start(L"no,yes");
  const std::wstring reset = std::wstring(L"box|") + kProductName +
                             L"|0x124|This will restart the program with default settings.  From there "
                             L"you can modify them if necessary and click Apply Protections to finalize.  Proceed?|";

  ui.ChooseMenu(IDM_FORM1_DEFAULT);
  EXPECT_EQ(ProductSetting(L"Appdata"), L"0") << "declined";
  ASSERT_TRUE(IsWindow(ui.window));

  struct EndCopies {
    std::wstring exe;
    ~EndCopies() { EndEveryCopyOf(exe); }
  } endCopies{ui.program.ExePath()};
  ui.ChooseMenu(IDM_FORM1_DEFAULT);
  EXPECT_TRUE(ui.Ended(20000)) << "the old copy ends with its window";
  MainWindow fresh;  // the new copy's window, read the same way
  fresh.window = FindMainWindow(ui.program.ExePath(), 0, ui.ProcessId(), 30000);
  ASSERT_NE(fresh.window, nullptr) << "no new copy started";
  EXPECT_EQ(ProductSetting(L"Installed"), L"1");
  EXPECT_EQ(ProductSetting(L"Appdata"), L"<missing>");
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kEmailSetupKey));
  EXPECT_EQ(fresh.Menu(IDM_FORM1_INSTALL1), kHidden) << "the new copy runs installed";
  EXPECT_EQ(fresh.Box(IDC_FORM1_CHKAPPDATA), 1);
  const auto shown = Flat(ui.Prompts(1));
  ASSERT_GE(shown.size(), 3u) << testing::PrintToString(shown);
  EXPECT_EQ(shown[0], reset + L"no");
  EXPECT_EQ(shown[1], reset + L"yes");
  EXPECT_EQ(shown[2].rfind(L"window|Form1|", 0), 0u) << "the new copy's window";
}

TEST_F(MainWindowTest, MenusOpenTheirWindowsAndPages) {
  ui.Start(L"no,yes,yes");
  const struct {
    int id;
    const wchar_t* form;
  } windows[] = {{IDM_FORM1_CMDLINE, L"Form2"},         {IDM_FORM1_ABOUT, L"Form3"},
                 {IDM_FORM1_DISPLAYWHITELISTS, L"Form6"}, {IDM_FORM1_LOG1, L"Form10"}};
  for (const auto& w : windows) {
    const size_t before = ui.Prompts().size();
    ui.ChooseMenu(w.id);
    auto shown = ui.Prompts(before);
    ASSERT_EQ(shown.size(), 1u) << testing::PrintToString(std::wstring(w.form));
    EXPECT_EQ(shown[0].kind, L"window");
    EXPECT_EQ(shown[0].fields.at(0), w.form);
  }

  size_t before = ui.Prompts().size();
  ui.ChooseMenu(IDM_FORM1_HELPFORUMS);     // no
  ui.ChooseMenu(IDM_FORM1_HELPFORUMS);     // yes
  ui.ChooseMenu(IDM_FORM1_TECHNICALINFO);  // yes
  auto shown = ui.Prompts(before);
  ASSERT_EQ(shown.size(), 5u) << testing::PrintToString(Flat(shown));
  EXPECT_EQ(Flat(shown[0]), Question(std::wstring(L"Go to the ") + kProductName + L" Support Forum?", L"no"));
  EXPECT_EQ(Flat(shown[1]), Question(std::wstring(L"Go to the ") + kProductName + L" Support Forum?", L"yes"));
  EXPECT_EQ(shown[2].kind, L"web");
  EXPECT_EQ(Flat(shown[3]),
            Question(std::wstring(L"View ") + kProductName + L" technical information on the web?", L"yes"));
  EXPECT_EQ(shown[4].kind, L"web");
  EXPECT_NE(shown[2].fields, shown[4].fields);

  // Automatic updates on a copy that is not installed: the web page.
  before = ui.Prompts().size();
  ui.ChooseMenu(IDM_FORM1_REG);
  shown = ui.Prompts(before);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].kind, L"web");
}
