// The policy editor as a user meets it: the real program opened with /woptions, its window live
// under Xvfb and driven from here; what it lists and writes is checked against the registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include <shlobj.h>

#include "platform/FileTree.h"
#include "platform/Text.h"
#include "tests/common/CommonTestHelpers.h"
#include "tests/support/PlantedFolders.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"
#include "tests/support/LiveWindow.h"

using namespace testsupport;
using namespace livewindow;

namespace {

const std::wstring kRoot = kRestrictionPolicyKey;
const std::wstring kWhitelistPaths = kRoot + L"\\262144\\Paths";
const std::wstring kBlacklistPaths = kRoot + L"\\0\\Paths";

// Control IDs of the window (its resource header is the program's own business).
enum : int {
  kOptCustom = 2102, kOptAppData = 2103, kOptProgramData = 2104, kOptUserProfile = 2105, kText1 = 2108, kBrowse = 2109, kAddWhitelist = 2110,
  kWhitelistAll = 2111, kList1 = 2114, kDeWhitelist = 2115, kAll1 = 2117, kNone1 = 2118, kText2 = 2120,
  kAddBlacklist = 2121, kList2 = 2124, kDeBlacklist = 2125, kAll2 = 2127, kNone2 = 2128, kSearch = 2130,
};

int g_rule = 0;

// A rule key as the engine writes it (the key name need only be unique).
std::wstring WriteRule(const std::wstring& paths, const std::wstring& itemData) {
  wchar_t name[64];
  wsprintfW(name, L"{00000000-0000-4000-8000-%012d}", ++g_rule);
  const std::wstring key = paths + L"\\" + name;
  RegWriteString(HKEY_LOCAL_MACHINE, key, L"Description", kRuleDescription);
  RegWriteDword(HKEY_LOCAL_MACHINE, key, L"SaferFlags", 0);
  RegWriteString(HKEY_LOCAL_MACHINE, key, L"ItemData", itemData, REG_EXPAND_SZ);
  return name;
}

std::vector<std::wstring> SortedNoCase(std::vector<std::wstring> items) {
  std::sort(items.begin(), items.end(),
            [](const std::wstring& a, const std::wstring& b) { return platform::Lower(a) < platform::Lower(b); });
  return items;
}

std::string U(const std::wstring& text) { return platform::ToUtf8(text); }

// "major.minor", and ".revision" when that is not 0, of the program's file version.
std::wstring ExpectedVersion(const std::wstring& exe) {
  DWORD ignored = 0;
  std::vector<BYTE> block(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
  VS_FIXEDFILEINFO* info = nullptr;
  UINT size = 0;
  if (block.empty() || !GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
      !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &size))
    return L"?";
  std::wstring text = std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionMS));
  if (LOWORD(info->dwFileVersionLS)) text += L"." + std::to_wstring(LOWORD(info->dwFileVersionLS));
  return text;
}

class PolicyEditorTest : public testing::Test {
 protected:
  void SetUp() override {
    ClearProductAndPolicy();
    ASSERT_TRUE(gpupdate_.Install());
  }
  void TearDown() override {
    program_.reset();
    gpupdate_.Remove();
    ClearProductAndPolicy();
  }

  std::wstring RefreshLog() const { return gpupdate_.CallsLog(); }
  size_t Refreshes() const { return gpupdate_.Calls().size(); }

  // Opens the editor the way the command line does.
  void Open() {
    program_ = std::make_unique<LiveProgram>(L"\"" + installed_.ExePath() + L"\" /woptions");
    ASSERT_TRUE(program_->Started());
    window_ = WaitForWindow(L"Policy Editor - v", program_->ProcessId());
    ASSERT_NE(window_, nullptr) << "the policy editor did not appear";
  }
  HWND Item(int id) const { return GetDlgItem(window_, id); }

  // Closes the window as the user does and waits for the program to end.
  void Close() {
    PostMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(program_->WaitForExit(30000)) << "closing the editor ends the program";
  }

  // A box must come; its caption, text and buttons are checked, then it is answered.
  void ExpectBox(const std::wstring& caption, const std::wstring& text, std::vector<int> buttons, int answer) {
    MessageBoxSeen box = WaitForMessageBox(program_->ProcessId());
    ASSERT_NE(box.window, nullptr) << "no message box: " << U(text);
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.text, text);
    std::sort(buttons.begin(), buttons.end());
    std::sort(box.buttons.begin(), box.buttons.end());
    EXPECT_EQ(box.buttons, buttons) << U(text);
    Answer(box, answer);
  }

  InstalledProgram installed_;
  std::unique_ptr<LiveProgram> program_;
  HWND window_ = nullptr;
  GpUpdateStandIn gpupdate_;
};

const wchar_t kWarning[] =
    L"This is an ADVANCED option that you should only use if you understand what you are doing and are familiar with "
    L"Windows software restriction policies and syntax!!  Do you wish to proceed?";
const std::wstring kRuleCreated =
    L"You may need to reboot if your rule does not work as expected.  NOTE:  This rule will not persist after a " +
    std::wstring(kProductName) +
    L" automatic application update!  To undo this rule, you must use the UNDO button to remove all "
    L"protection, then re-apply your preferred protection settings.";

}  // namespace

TEST_F(PolicyEditorTest, ListsTheRulesOfEachLevelOnceAndNeverThoseEndingInPercent) {
  WriteRule(kWhitelistPaths, L"C:\\Apps\\Tool.exe");
  WriteRule(kWhitelistPaths, L"c:\\apps\\TOOL.exe");  // differs only in case: one entry
  WriteRule(kWhitelistPaths, L"%appdata%\\Vendor\\updater.exe");
  WriteRule(kWhitelistPaths, L"%HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SystemRoot%");
  WriteRule(kBlacklistPaths, L"syskey.exe");
  WriteRule(kBlacklistPaths, L"%AppData%\\*.exe");
  WriteRule(kBlacklistPaths, L"%HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir%");
  WriteRule(kBlacklistPaths, L"");
  Open();

  EXPECT_EQ(Text(window_), L"Policy Editor - v" + ExpectedVersion(installed_.ExePath()));
  const auto whitelist = ListItems(Item(kList1));
  ASSERT_EQ(whitelist.size(), 2u);
  EXPECT_EQ(platform::Lower(SortedNoCase(whitelist)[0]), L"%appdata%\\vendor\\updater.exe");
  EXPECT_EQ(platform::Lower(SortedNoCase(whitelist)[1]), L"c:\\apps\\tool.exe");
  EXPECT_EQ(SortedNoCase(ListItems(Item(kList2))), (std::vector<std::wstring>{L"%AppData%\\*.exe", L"syskey.exe"}));
  EXPECT_TRUE(IsChecked(window_, kOptCustom)) << "the custom scope is chosen at the start";
  for (int id : {kText1, kText2, kSearch}) EXPECT_EQ(Text(Item(id)), L"");

  const std::vector<std::wstring> texts = ChildTexts(window_);
  for (const wchar_t* expected :
       {L"Create a new whitelist policy:", L"Custom policy", L"%appdata%", L"%programdata%", L"%userprofile%",
        L"Startup folder", L"Path:", L"Browse for File", L"Add to Whitelist",
        L"Whitelist EXEs currently in all blocked locations", L"Must be a fully qualified path\\filename, no wildcards.",
        L"Whitelist policies in effect:", L"De-Whitelist Selected", L"Select:", L"All", L"None",
        L"Create a new blacklist policy:", L"Add to Blacklist",
        L"No path required (blacklist everywhere) and the wildcard * is accepted.", L"Blacklist policies in effect:",
        L"De-Blacklist Selected", L"Search:", L"A reboot is required after modifications made here."})
    EXPECT_NE(std::find(texts.begin(), texts.end(), expected), texts.end()) << "missing: " << U(expected);

  Close();
  EXPECT_EQ(Refreshes(), 0u) << "nothing changed: no group-policy refresh";
}

TEST_F(PolicyEditorTest, RemovingAnEntryDeletesEveryRuleOfItsTextAndNothingElse) {
  WriteRule(kWhitelistPaths, L"C:\\Apps\\Tool.exe");
  WriteRule(kWhitelistPaths, L"c:\\apps\\TOOL.exe");
  const std::wstring kept = WriteRule(kWhitelistPaths, L"C:\\Apps\\Other.exe");
  WriteRule(kBlacklistPaths, L"C:\\Apps\\Tool.exe");  // same text on the other level stays
  WriteRule(kBlacklistPaths, L"cipher.exe");
  WriteRule(kBlacklistPaths, L"vssadmin.exe");
  Open();

  HWND list1 = Item(kList1);
  for (const auto& item : ListItems(list1))
    if (platform::Lower(item) == L"c:\\apps\\tool.exe") SelectItem(list1, item);
  Click(window_, kDeWhitelist);
  EXPECT_EQ(RuleItemData(kWhitelistPaths), (std::vector<std::wstring>{L"C:\\Apps\\Other.exe"}));
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, kWhitelistPaths + L"\\" + kept));
  EXPECT_EQ(ListItems(list1), (std::vector<std::wstring>{L"C:\\Apps\\Other.exe"})) << "the list is read again";
  EXPECT_EQ(RuleItemData(kBlacklistPaths),
            (std::vector<std::wstring>{L"C:\\Apps\\Tool.exe", L"cipher.exe", L"vssadmin.exe"}));

  // Two blacklist entries at once; "None" first clears a selection made by "All".
  HWND list2 = Item(kList2);
  ClickLabel(Item(kAll2));
  EXPECT_EQ(SelectedItems(list2).size(), 3u);
  ClickLabel(Item(kNone2));
  EXPECT_TRUE(SelectedItems(list2).empty());
  SelectItem(list2, L"cipher.exe");
  SelectItem(list2, L"vssadmin.exe");
  Click(window_, kDeBlacklist);
  EXPECT_EQ(RuleItemData(kBlacklistPaths), (std::vector<std::wstring>{L"C:\\Apps\\Tool.exe"}));
  EXPECT_EQ(ListItems(list2), (std::vector<std::wstring>{L"C:\\Apps\\Tool.exe"}));

  Close();
  EXPECT_EQ(Refreshes(), 1u) << "a change makes the close refresh group policy once";
  const auto calls = Lines(ReadTextFile(RefreshLog()));
  if (!calls.empty()) {
    EXPECT_TRUE(platform::EndsWith(platform::Lower(calls[0]), L"/force /wait:0")) << U(calls[0]);
  }
}

TEST_F(PolicyEditorTest, RemovingAnEntryWhoseRuleIsAlreadyGoneStillRefreshesAtClose) {
  const std::wstring rule = WriteRule(kBlacklistPaths, L"cipher.exe");
  Open();
  ClickLabel(Item(kAll2));
  RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kBlacklistPaths + L"\\" + rule);  // removed by someone else meanwhile
  Click(window_, kDeBlacklist);
  EXPECT_TRUE(ListItems(Item(kList2)).empty()) << "the reload shows the true state";
  Close();
  EXPECT_EQ(Refreshes(), 1u);
}

TEST_F(PolicyEditorTest, AddToWhitelistWritesTheScopesRulesAndAnEmptyBoxNothing) {
  Open();
  Click(window_, kAddWhitelist);  // empty box
  EXPECT_TRUE(RegSubkeys(HKEY_LOCAL_MACHINE, kWhitelistPaths).empty());

  SetText(Item(kText1), L"D:\\Tools\\My App.exe");
  Click(window_, kAddWhitelist);
  EXPECT_EQ(RuleItemData(kWhitelistPaths), (std::vector<std::wstring>{L"D:\\Tools\\My App.exe"}));
  const auto keys = RegSubkeys(HKEY_LOCAL_MACHINE, kWhitelistPaths);
  ASSERT_EQ(keys.size(), 1u);
  std::wstring description;
  DWORD flags = 99;
  EXPECT_TRUE(RegRead(HKEY_LOCAL_MACHINE, kWhitelistPaths + L"\\" + keys[0], L"Description", description));
  EXPECT_EQ(description, kRuleDescription);
  EXPECT_TRUE(RegReadDword(HKEY_LOCAL_MACHINE, kWhitelistPaths + L"\\" + keys[0], L"SaferFlags", flags));
  EXPECT_EQ(flags, 0u);
  EXPECT_EQ(Text(Item(kText1)), L"") << "the box is emptied";
  EXPECT_EQ(ListItems(Item(kList1)), (std::vector<std::wstring>{L"D:\\Tools\\My App.exe"}));

  // The %appdata% scope hands the item to the appdata whitelist writer.
  Click(window_, kOptAppData);
  SetText(Item(kText1), L"Vendor\\agent.exe");
  Click(window_, kAddWhitelist);
  // That writer keeps its items in lower case.
  const auto rules = RuleItemData(kWhitelistPaths);
  EXPECT_NE(std::find(rules.begin(), rules.end(), L"%appdata%\\vendor\\agent.exe"), rules.end());
  const auto listed = ListItems(Item(kList1));
  EXPECT_NE(std::find(listed.begin(), listed.end(), L"%appdata%\\vendor\\agent.exe"), listed.end());
  EXPECT_TRUE(RegSubkeys(HKEY_LOCAL_MACHINE, kBlacklistPaths).empty()) << "nothing on the blacklist";

  Close();
  EXPECT_EQ(Refreshes(), 1u);
}

TEST_F(PolicyEditorTest, AddToBlacklistWarnsRefusesStarDotExeAndDoesNotReloadTheList) {
  WriteRule(kBlacklistPaths, L"syskey.exe");
  Open();

  // Cancel at the warning: no rule, the text stays.
  SetText(Item(kText2), L"*\\evil*.exe");
  Click(window_, kAddBlacklist);
  ExpectBox(L"WARNING!", kWarning, {IDOK, IDCANCEL}, IDCANCEL);
  EXPECT_EQ(RuleItemData(kBlacklistPaths), (std::vector<std::wstring>{L"syskey.exe"}));
  EXPECT_EQ(Text(Item(kText2)), L"*\\evil*.exe");

  struct Case {
    const wchar_t* typed;
    bool refused;
  } cases[] = {{L"*.exe", true}, {L"  *.EXE ", true}, {L"*.Exe", true}, {L"*.exe*", false}, {L"c:\\*.exe", false}};
  std::vector<std::wstring> expected = {L"syskey.exe"};
  for (const auto& c : cases) {
    SCOPED_TRACE(U(c.typed));
    SetText(Item(kText2), c.typed);
    Click(window_, kAddBlacklist);
    ExpectBox(L"WARNING!", kWarning, {IDOK, IDCANCEL}, IDOK);
    if (c.refused) {
      ExpectBox(kProductName, L"Blacklisting that will ruin the OS!", {IDOK}, IDOK);
      EXPECT_EQ(Text(Item(kText2)), L"");
    } else {
      ExpectBox(L"Rule Created!", kRuleCreated, {IDOK}, IDOK);
      EXPECT_EQ(Text(Item(kText2)), c.typed) << "the text stays";
      expected.push_back(c.typed);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(RuleItemData(kBlacklistPaths), expected);
  }
  EXPECT_EQ(ListItems(Item(kList2)), (std::vector<std::wstring>{L"syskey.exe"})) << "listed at the next opening";

  // A blank rule is no rule: nothing written, nothing reported as created.
  SetText(Item(kText2), L"   ");
  Click(window_, kAddBlacklist);
  ExpectBox(L"WARNING!", kWarning, {IDOK, IDCANCEL}, IDOK);
  Sleep(500);
  EXPECT_EQ(WaitForMessageBox(program_->ProcessId(), 1000).window, nullptr);
  EXPECT_EQ(RuleItemData(kBlacklistPaths), expected);

  Close();
  EXPECT_EQ(Refreshes(), 1u);
}

TEST_F(PolicyEditorTest, SearchSelectsTheBlacklistEntriesHoldingTheText) {
  for (const wchar_t* rule : {L"syskey.exe", L"C:\\SysTem32\\evil.exe", L"cipher.exe", L"%temp%\\*.scr"})
    WriteRule(kBlacklistPaths, rule);
  WriteRule(kWhitelistPaths, L"c:\\sys\\tool.exe");
  Open();
  HWND search = Item(kSearch);
  SetText(search, L"sys");
  EXPECT_EQ(SortedNoCase(SelectedItems(Item(kList2))), (std::vector<std::wstring>{L"C:\\SysTem32\\evil.exe", L"syskey.exe"}));
  EXPECT_TRUE(SelectedItems(Item(kList1)).empty()) << "the whitelist is never searched";
  SetText(search, L"SCR");
  EXPECT_EQ(SelectedItems(Item(kList2)), (std::vector<std::wstring>{L"%temp%\\*.scr"}));
  SetText(search, L"");
  EXPECT_TRUE(SelectedItems(Item(kList2)).empty());

  ClickLabel(Item(kAll1));
  EXPECT_EQ(SelectedItems(Item(kList1)).size(), 1u);
  ClickLabel(Item(kNone1));
  EXPECT_TRUE(SelectedItems(Item(kList1)).empty());

  // Removing with nothing selected only reads the lists again: no change, no refresh.
  Click(window_, kDeWhitelist);
  Click(window_, kDeBlacklist);
  EXPECT_EQ(RuleItemData(kBlacklistPaths).size(), 4u);
  EXPECT_EQ(ListItems(Item(kList2)).size(), 4u);
  Close();
  EXPECT_EQ(Refreshes(), 0u);
}

// The scan lets window events run; a close meanwhile must wait for its end, not pull the window
// away from under it.
TEST_F(PolicyEditorTest, ClosingWhileTheScanRunsWaitsForItsEnd) {
  Open();
  Press(window_, kWhitelistAll);
  PostMessageW(window_, WM_CLOSE, 0, 0);
  ExpectBox(kProductName, L"Operation completed.", {IDOK}, IDOK);
  Sleep(300);
  EXPECT_TRUE(IsWindow(window_)) << "the window outlives the close that came during the scan";
  EXPECT_FALSE(program_->WaitForExit(0));
  EXPECT_EQ(ListItems(Item(kList1)).size(), RuleItemData(kWhitelistPaths).size());
  Close();
}

TEST_F(PolicyEditorTest, WhitelistAllAloneRunsNoRefresh) {
  Open();
  Click(window_, kWhitelistAll);
  ExpectBox(kProductName, L"Operation completed.", {IDOK}, IDOK);
  EXPECT_EQ(SortedNoCase(ListItems(Item(kList1))).size(), RuleItemData(kWhitelistPaths).size())
      << "the whitelist is read again";
  Close();
  EXPECT_EQ(Refreshes(), 0u);
}

TEST_F(PolicyEditorTest, ResizingKeepsEveryControlInsideAndInProportion) {
  Open();
  const RECT start = ClientRect(window_);
  const std::vector<HWND> controls = Children(window_);
  ASSERT_GT(controls.size(), 30u);
  std::map<HWND, RECT> before;
  for (HWND c : controls) before[c] = ChildRect(window_, c);

  auto checkInside = [&](const char* what) {
    const RECT client = ClientRect(window_);
    for (HWND c : controls) {
      const RECT r = ChildRect(window_, c);
      EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right + 1 && r.bottom <= client.bottom + 1)
          << what << ": control " << GetDlgCtrlID(c) << " at " << r.left << "," << r.top << "," << r.right << ","
          << r.bottom << " in " << client.right << "x" << client.bottom;
    }
  };
  RECT frame = {};
  GetWindowRect(window_, &frame);
  const int extraW = (frame.right - frame.left) - start.right, extraH = (frame.bottom - frame.top) - start.bottom;
  struct Size {
    int w, h;
  } sizes[] = {{start.right * 3 / 2, start.bottom * 3 / 2}, {start.right / 2, start.bottom / 2},
               {start.right * 2, start.bottom / 2}};
  for (const auto& s : sizes) {
    SetWindowPos(window_, nullptr, 0, 0, s.w + extraW, s.h + extraH, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    checkInside("resized");
    const RECT client = ClientRect(window_);
    // The list keeps its share of the window.
    const RECT list = ChildRect(window_, Item(kList2));
    const RECT list0 = before[Item(kList2)];
    EXPECT_NEAR(double(list.left) / client.right, double(list0.left) / start.right, 0.02);
    EXPECT_NEAR(double(list.bottom - list.top) / client.bottom, double(list0.bottom - list0.top) / start.bottom, 0.02);
  }
  ShowWindow(window_, SW_MAXIMIZE);
  Sleep(300);
  checkInside("maximised");
  ShowWindow(window_, SW_MINIMIZE);
  Sleep(300);
  ShowWindow(window_, SW_RESTORE);
  Sleep(300);
  SetWindowPos(window_, nullptr, 0, 0, start.right + extraW, start.bottom + extraH,
               SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  Sleep(200);
  checkInside("back to the first size");
  for (HWND c : controls) {
    const RECT r = ChildRect(window_, c), r0 = before[c];
    EXPECT_LE(std::abs(r.left - r0.left) + std::abs(r.top - r0.top) + std::abs(r.right - r0.right) +
                  std::abs(r.bottom - r0.bottom),
              4)
        << "control " << GetDlgCtrlID(c) << " is back where it was";
  }
  Close();
}

namespace {

// The points of the system's dialog text, never under 8.
double DialogPoints() {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  double points = 0;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    HDC screen = GetDC(nullptr);
    points = std::abs(metrics.lfMessageFont.lfHeight) * 72.0 / GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  return std::max(points, 8.0);
}

// A list box's item height follows its font: that of a list box of ours in the dialog face at
// the given size.
LRESULT ItemHeightAt(double points) {
  HWND list = CreateWindowExW(0, L"LISTBOX", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  HDC screen = GetDC(nullptr);
  const int height = -static_cast<int>(std::lround(points * GetDeviceCaps(screen, LOGPIXELSY) / 72.0));
  ReleaseDC(nullptr, screen);
  HFONT font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Shell Dlg");
  SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  const LRESULT itemHeight = SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
  DestroyWindow(list);
  DeleteObject(font);
  return itemHeight;
}

}  // namespace

// At its design size the editor's text is the system's dialog size, and it grows with the window.
TEST_F(PolicyEditorTest, TextIsTheDialogSizeAtTheDesignSizeAndScalesFromThere) {
  Open();
  const double points = DialogPoints();
  EXPECT_EQ(SendMessageW(Item(kList2), LB_GETITEMHEIGHT, 0, 0), ItemHeightAt(points));
  const RECT start = ClientRect(window_);
  RECT frame = {};
  GetWindowRect(window_, &frame);
  const int extraW = (frame.right - frame.left) - start.right, extraH = (frame.bottom - frame.top) - start.bottom;
  SetWindowPos(window_, nullptr, 0, 0, start.right * 3 / 2 + extraW, start.bottom * 3 / 2 + extraH,
               SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  Sleep(300);
  const RECT larger = ClientRect(window_);
  ASSERT_EQ(larger.right, start.right * 3 / 2) << "the screen took the larger window";
  ASSERT_EQ(larger.bottom, start.bottom * 3 / 2);
  const double stretch = std::min(double(larger.right) / start.right, double(larger.bottom) / start.bottom);
  EXPECT_EQ(SendMessageW(Item(kList2), LB_GETITEMHEIGHT, 0, 0), ItemHeightAt(points * stretch));
  Close();
}

// Windows XP has no ProgramData: browsing in that scope says so and opens no dialog.
TEST_F(PolicyEditorTest, BrowseInTheProgramDataScopeOnWindowsXpOpensNoDialog) {
  const KernelVersionStandIn xp(L"5.2");
  Open();
  Click(window_, kOptProgramData);
  Click(window_, kBrowse);
  ExpectBox(kProductName, L"ProgramData does not exist on Windows XP.", {IDOK}, IDOK);
  EXPECT_EQ(WaitForWindow(L"Select an Executable to Whitelist", program_->ProcessId(), 1500), nullptr)
      << "no file dialog follows";
  EXPECT_EQ(Text(Item(kText1)), L"");
  Close();
  program_.reset();
}

namespace {

// The file name field of the open-file dialog.
HWND FileNameField(HWND dialog) {
  for (int id : {0x47c /* cmb13 */, 0x480 /* edt1 */})
    if (HWND field = GetDlgItem(dialog, id)) return field;
  return nullptr;
}

// Types the path into the open file dialog, opens it and waits until the dialog is gone.
bool PickInFileDialog(DWORD processId, const std::wstring& path) {
  HWND dialog = WaitForWindow(L"Select an Executable to Whitelist", processId, 15000);
  HWND field = dialog ? FileNameField(dialog) : nullptr;
  if (!field) return false;
  SetText(field, path);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  for (int i = 0; i < 100 && IsWindow(dialog); ++i) Sleep(50);
  return !IsWindow(dialog);
}

}  // namespace

TEST_F(PolicyEditorTest, BrowseFillsThePathBelowTheChosenScope) {
  ScratchDir dir;
  const std::wstring appData = platform::GetEnv(L"appdata");
  ASSERT_FALSE(appData.empty());
  const std::wstring token = dir.Path().substr(0, dir.Path().size() - 1);
  const std::wstring sub = L"ilt-" + token.substr(token.find_last_of(L'\\') + 1);
  const std::wstring inAppData = appData + L"\\" + sub + L"\\Vendor\\Tool.EXE";
  ASSERT_EQ(SHCreateDirectoryExW(nullptr, (appData + L"\\" + sub + L"\\Vendor").c_str(), nullptr), ERROR_SUCCESS);
  struct Cleanup {
    std::wstring folder;
    ~Cleanup() {
      DeleteFileW((folder + L"\\Vendor\\Tool.EXE").c_str());
      RemoveDirectoryW((folder + L"\\Vendor").c_str());
      RemoveDirectoryW(folder.c_str());
    }
  } cleanup{appData + L"\\" + sub};
  ASSERT_TRUE(WriteTextFile(inAppData, "MZ"));
  ASSERT_TRUE(WriteTextFile(dir / L"My Prog.EXE", "MZ"));
  Open();

  struct Case {
    int scope;
    std::wstring chosen;  // empty: the user cancels
    std::wstring expected;
  } cases[] = {
      {kOptCustom, dir / L"My Prog.EXE", platform::Lower(dir / L"My Prog.EXE")},
      {kOptAppData, inAppData, platform::Lower(sub + L"\\Vendor\\Tool.EXE")},
      {kOptAppData, L"", platform::Lower(sub + L"\\Vendor\\Tool.EXE")},  // cancelled: the box keeps its text
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(U(c.chosen));
    Click(window_, c.scope);
    Click(window_, kBrowse);
    HWND dialog = WaitForWindow(L"Select an Executable to Whitelist", program_->ProcessId(), 15000);
    ASSERT_NE(dialog, nullptr) << "no file dialog";
    if (c.chosen.empty()) {
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    } else {
      HWND field = FileNameField(dialog);
      ASSERT_NE(field, nullptr);
      SetText(field, c.chosen);
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    }
    for (int i = 0; i < 100 && IsWindow(dialog); ++i) Sleep(50);
    ASSERT_FALSE(IsWindow(dialog)) << "the dialog stays open";
    Sleep(200);
    EXPECT_EQ(Text(Item(kText1)), c.expected);
  }
  EXPECT_TRUE(RegSubkeys(HKEY_LOCAL_MACHINE, kWhitelistPaths).empty()) << "browsing writes no rule";

  // A file outside the scope's folder is refused: its rule would name a path that is not there.
  Click(window_, kOptAppData);
  Click(window_, kBrowse);
  ASSERT_TRUE(PickInFileDialog(program_->ProcessId(), dir / L"My Prog.EXE"));
  MessageBoxSeen box = WaitForMessageBox(program_->ProcessId());
  ASSERT_NE(box.window, nullptr) << "the refusal is told";
  EXPECT_NE(box.text.find(L"not inside the folder of the chosen scope"), std::wstring::npos) << U(box.text);
  EXPECT_NE(box.text.find(appData), std::wstring::npos) << U(box.text);
  Answer(box, IDOK);
  EXPECT_EQ(Text(Item(kText1)), platform::Lower(sub + L"\\Vendor\\Tool.EXE")) << "the box keeps its text";
  Close();
  EXPECT_EQ(Refreshes(), 0u);
}

// The scopes' folders are the system's. An editor started with its user folders planted at a folder
// inside AppData makes a chosen file's item relative to the real folders, and refuses a file that
// lies only inside the planted ProgramData.
TEST_F(PolicyEditorTest, BrowseTakesTheScopesFoldersFromTheSystemNotTheEnvironment) {
  ScratchDir dir;
  const std::wstring appData = OwnFolder(CSIDL_APPDATA), profile = OwnFolder(CSIDL_PROFILE);
  ASSERT_EQ(appData.rfind(profile + L"\\", 0), 0u) << "AppData lies in the profile";
  const std::wstring token = dir.Path().substr(0, dir.Path().size() - 1);
  const std::wstring sub = L"ilt-" + token.substr(token.find_last_of(L'\\') + 1);
  const std::wstring planted = appData + L"\\" + sub;
  const std::wstring chosen = planted + L"\\Vendor\\Tool.EXE";
  ASSERT_EQ(SHCreateDirectoryExW(nullptr, (planted + L"\\Vendor").c_str(), nullptr), ERROR_SUCCESS);
  struct Cleanup {
    std::wstring folder;
    ~Cleanup() { platform::RemoveFolderTree(folder); }
  } cleanup{planted};
  ASSERT_TRUE(WriteTextFile(chosen, "MZ"));
  {
    commontest::EnvironmentGuard environment;  // the editor inherits it
    for (const wchar_t* name : {L"APPDATA", L"LOCALAPPDATA", L"USERPROFILE", L"PROGRAMDATA"})
      environment.Set(name, planted.c_str());
    Open();
  }

  struct Case {
    int scope;
    std::wstring item;  // empty: refused as outside the scope's folder
  } cases[] = {
      {kOptAppData, platform::Lower(sub + L"\\Vendor\\Tool.EXE")},
      {kOptUserProfile, platform::Lower(chosen.substr(profile.size() + 1))},
      {kOptProgramData, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scope);
    SetText(Item(kText1), L"");
    Click(window_, c.scope);
    Click(window_, kBrowse);
    ASSERT_TRUE(PickInFileDialog(program_->ProcessId(), chosen));
    if (c.item.empty()) {
      MessageBoxSeen box = WaitForMessageBox(program_->ProcessId());
      ASSERT_NE(box.window, nullptr) << "the refusal is told";
      EXPECT_NE(box.text.find(L"not inside the folder of the chosen scope"), std::wstring::npos) << U(box.text);
      EXPECT_EQ(box.text.find(planted), std::wstring::npos) << U(box.text);
      Answer(box, IDOK);
    }
    Sleep(200);
    EXPECT_EQ(Text(Item(kText1)), c.item);
  }
  Close();
}

// The file dialog has no owner, so the editor can be closed while it is open: the close must wait.
TEST_F(PolicyEditorTest, ClosingWhileBrowsingWaitsForTheFileDialog) {
  ScratchDir dir;
  ASSERT_TRUE(WriteTextFile(dir / L"Tool.exe", "MZ"));
  Open();
  Click(window_, kOptCustom);
  Click(window_, kBrowse);
  HWND dialog = WaitForWindow(L"Select an Executable to Whitelist", program_->ProcessId(), 15000);
  ASSERT_NE(dialog, nullptr) << "no file dialog";
  PostMessageW(window_, WM_CLOSE, 0, 0);
  Sleep(300);
  ASSERT_TRUE(PickInFileDialog(program_->ProcessId(), dir / L"Tool.exe"));
  Sleep(300);
  EXPECT_TRUE(IsWindow(window_)) << "the editor outlives the close that came during Browse";
  EXPECT_EQ(Text(Item(kText1)), platform::Lower(dir / L"Tool.exe"));
  Close();
}
