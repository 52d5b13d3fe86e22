// The configuration builder as a user meets it: the real program opened with "/config" under the
// test display, its boxes ticked, its buttons pressed, its questions read and answered, its
// file dialogs filled in; then the INI, the whitelist and the branding files it leaves behind.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "platform/PromptSeam.h"
#include "platform/Text.h"
#include "tests/support/LiveWindow.h"
#include "tests/support/ProductState.h"
#include "update/Form4Ids.h"
#include "update/Form5Ids.h"

using namespace testsupport;

namespace {

constexpr auto& kCaption = kProductName;

// The builder window of a freshly started "/config".
class Builder : public livewindow::ScratchProgram {
 public:
  Builder() : livewindow::ScratchProgram({IDC_FORM4_COMMAND4, platform::kInputBoxTextId, IDC_FORM5_PICTURE1}) {}

  // Starts the program; questions asked while the window loads are answered by onLoad first.
  bool Open(const std::function<void()>& onLoad = {}) {
    if (!Start(L"/config")) return false;
    if (onLoad) onLoad();
    form_ = livewindow::WaitForDialog(Id(), [](HWND w) { return livewindow::HasItem(w, IDC_FORM4_COMMAND4); }, 30000);
    return form_ != nullptr;
  }
  HWND Form() const { return form_; }
  HWND Item(int id) const { return GetDlgItem(form_, id); }
  bool Checked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  std::wstring Text(int id) const { return livewindow::Text(Item(id)); }
  void SetText(int id, const std::wstring& text) const {
    SendMessageW(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  // A user's click on a check box: the state flips, then the window hears of it.
  void Toggle(int id) const {
    SendMessageW(Item(id), BM_SETCHECK, Checked(id) ? BST_UNCHECKED : BST_CHECKED, 0);
    livewindow::Press(form_, id);
  }
  void Click(int id) const { livewindow::Press(form_, id); }
  void Notify(int id, int code) const {
    PostMessageW(form_, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(Item(id)));
  }
  void Menu(int id) const { PostMessageW(form_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
  // Lets the window finish what was posted to it.
  void Settle() const { SendMessageW(form_, WM_NULL, 0, 0); }

  // "Save", its message answered.
  livewindow::MessageBoxSeen Save() {
    Click(IDC_FORM4_COMMAND4);
    return Answer(IDOK);
  }
  std::wstring Ini(const std::wstring& section, const std::wstring& key) const {
    wchar_t value[512] = {};
    GetPrivateProfileStringW(section.c_str(), key.c_str(), L"<missing>", value, 512, (*this / kSettingsIni).c_str());
    return value;
  }
  void Close() {
    PostMessageW(form_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(Ended(20000)) << "closing the window ends the program";
  }

 private:
  HWND form_ = nullptr;
};

bool HasDisplay() {
  HWND probe = CreateWindowW(L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (!probe) return false;
  DestroyWindow(probe);
  return true;
}

#define REQUIRE_DISPLAY() \
  if (!HasDisplay()) GTEST_SKIP() << "no display"

struct BoxState {
  int id;
  const wchar_t* section;
  const wchar_t* key;
  bool before;  // its state before any settings are loaded
};

const BoxState kBoxes[] = {
    {IDC_FORM4_CHKAPPDATA, L"Config", L"Appdata", true},
    {IDC_FORM4_CHKAPPDATADEEP, L"Config", L"AppdataDeep", true},
    {IDC_FORM4_CHKAPPDATALOCAL, L"Config", L"AppdataLocal", true},
    {IDC_FORM4_CHKRECYCLEBIN, L"Config", L"RecycleBin", true},
    {IDC_FORM4_CHKUSERPROFILE, L"Config", L"UserProf", true},
    {IDC_FORM4_CHKPROGRAMDATA, L"Config", L"ProgramData", true},
    {IDC_FORM4_CHKSTARTUPFOLDER, L"Config", L"StartupFolder", true},
    {IDC_FORM4_CHKTEMPEXES, L"Config", L"TempEXEs", false},
    {IDC_FORM4_CHKSYSKEY, L"Config", L"BlockSyskey", true},
    {IDC_FORM4_CHKCIPHER, L"Config", L"cipher", true},
    {IDC_FORM4_CHKVSSADMIN, L"Config", L"vssadmin", true},
    {IDC_FORM4_CHKBCDEDIT, L"Config", L"BlockBCDEdit", false},
    {IDC_FORM4_CHKFAKEEXT, L"Config", L"FakeEXEs", true},
    {IDC_FORM4_CHKSIDEBAR, L"Config", L"SideBar", true},
    {IDC_FORM4_CHKWHITELIST, L"Config", L"ExcludeExisting", true},
    {IDC_FORM4_CHKSILENTBLOCK, L"FilterModule", L"SilentBlock", false},
    {IDC_FORM4_CHKNOALLOW, L"FilterModule", L"NoAllow", true},
    {IDC_FORM4_CHKSUSPICIOUS0, L"FilterSuspicious", L"CPL", false},
    {IDC_FORM4_CHKSUSPICIOUS1, L"FilterSuspicious", L"SCR", false},
    {IDC_FORM4_CHKSUSPICIOUS2, L"FilterSuspicious", L"PIF", false},
    {IDC_FORM4_CHKCONSTANT0, L"FilterConstant", L"CPL", false},
    {IDC_FORM4_CHKCONSTANT1, L"FilterConstant", L"SCR", false},
    {IDC_FORM4_CHKCONSTANT2, L"FilterConstant", L"PIF", false},
    {IDC_FORM4_CHECK9, L"Config", L"EnableSchedule", false},
    {IDC_FORM4_CHECK13, L"Config", L"NoRestartPrompt", false},
    {IDC_FORM4_CHECK10, L"Installer", L"UpdateOnInstall", false},
    {IDC_FORM4_CHECK4, L"Installer", L"Advanced", false},
    {IDC_FORM4_CHECK5, L"Installer", L"ApplySilent", false},
    {IDC_FORM4_CHECK6, L"Installer", L"RebootSilent", false},
};

const wchar_t kTempExeQuestion[] =
    L"Selecting this option provides maximum protection but can also impede a certain programs and installations from "
    L"working properly while protection is enabled.  Please see the website for more details.  Are you sure you wish "
    L"to do this?";

// A small uncompressed 24-bit bitmap.
std::string Bitmap(int width, int height) {
  const int row = (width * 3 + 3) / 4 * 4;
  const uint32_t imageSize = static_cast<uint32_t>(row * height), fileSize = 54 + imageSize;
  std::string bytes(fileSize, '\0');
  auto put = [&bytes](size_t at, uint32_t value, int count) {
    for (int i = 0; i < count; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put(2, fileSize, 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, static_cast<uint32_t>(width), 4);
  put(22, static_cast<uint32_t>(height), 4);
  put(26, 1, 2);
  put(28, 24, 2);
  put(34, imageSize, 4);
  for (size_t i = 54; i < bytes.size(); ++i) bytes[i] = static_cast<char>(0x80);
  return bytes;
}

}  // namespace

TEST(ConfigBuilder, FirstOpeningShowsTheDefaultsAndSavesThem) {
  REQUIRE_DISPLAY();
  Builder builder;
  ASSERT_TRUE(WriteTextFile(builder / kMainBackup, "left by an update"));
  ASSERT_TRUE(builder.Open());
  const std::wstring caption = livewindow::Text(builder.Form());
  EXPECT_TRUE(platform::StartsWith(caption, std::wstring(kProductName) + L" v")) << caption;
  EXPECT_TRUE(platform::EndsWith(caption, L" -  White-Label Config")) << caption;
  EXPECT_FALSE(FileExists(builder / kMainBackup)) << "the update's leftover is removed";

  for (const auto& box : kBoxes) EXPECT_EQ(builder.Checked(box.id), box.before) << box.key;
  const std::wstring hour = builder.Text(IDC_FORM4_COMBO1), day = builder.Text(IDC_FORM4_COMBO2);
  EXPECT_TRUE(std::set<std::wstring>({L"08", L"09", L"10", L"11"}).count(hour)) << hour;
  EXPECT_TRUE(std::set<std::wstring>({L"mon", L"tues", L"wed", L"thur", L"fri"}).count(day)) << day;
  EXPECT_EQ(SendMessageW(builder.Item(IDC_FORM4_COMBO1), CB_GETCOUNT, 0, 0), 24);
  EXPECT_EQ(SendMessageW(builder.Item(IDC_FORM4_COMBO2), CB_GETCOUNT, 0, 0), 7);
  EXPECT_EQ(SendMessageW(builder.Item(IDC_FORM4_LIST1), LB_GETCOUNT, 0, 0), 0);

  const livewindow::MessageBoxSeen saved = builder.Save();
  EXPECT_EQ(saved.text, L"Config Saved.");
  EXPECT_EQ(saved.caption, kCaption);
  for (const auto& box : kBoxes) EXPECT_EQ(builder.Ini(box.section, box.key), box.before ? L"1" : L"0") << box.key;
  EXPECT_EQ(builder.Ini(L"Config", L"ScheduledHour"), hour);
  EXPECT_EQ(builder.Ini(L"Config", L"ScheduledDay"), day);
  for (const auto& [section, key] : std::vector<std::pair<std::wstring, std::wstring>>{
           {L"Reg", L"RegName"}, {L"Installer", L"Website"}, {L"Installer", L"EULA"}, {L"Installer", L"PreInfo"},
           {L"Installer", L"PostInfo"}})
    EXPECT_EQ(builder.Ini(section, key), L"") << key;
  EXPECT_FALSE(FileExists(builder / kWhitelistFile)) << "an empty whitelist leaves no file";
  builder.Close();
}

// Every box loads the opposite of its first state, so a box that is not loaded shows.
TEST(ConfigBuilder, LoadsEveryKeyAndSavesItBackLeavingForeignKeys) {
  REQUIRE_DISPLAY();
  Builder builder;
  std::string ini = "[Reg]\r\nRegName=Acme IT\r\n";
  std::map<std::wstring, std::string> sections;
  sections[L"Config"] = "ClientName=Hand Set\r\nScheduledHour=17\r\nScheduledDay=sun\r\n";
  for (const auto& box : kBoxes) {
    // TempEXEs is loaded in the question case below; the filter classes in their own case.
    if (box.id == IDC_FORM4_CHKTEMPEXES || box.section == std::wstring(L"FilterConstant") ||
        box.section == std::wstring(L"FilterSuspicious"))
      continue;
    sections[box.section] += platform::ToAnsi(box.key) + "=" + (box.before ? "0" : "1") + "\r\n";
  }
  sections[L"Installer"] += "Website=www.example.com/page/\r\nEULA=eula.txt\r\nPreInfo=pre.rtf\r\nPostInfo=post.txt\r\n";
  sections[L"FilterSuspicious"] = "CPL=1\r\nSCR=0\r\nPIF=1\r\n";
  sections[L"FilterConstant"] = "CPL=1\r\nSCR=1\r\nPIF=abc\r\n";  // CPL in both: the constant key wins
  for (const auto& [section, keys] : sections) ini += "[" + platform::ToAnsi(section) + "]\r\n" + keys;
  ASSERT_TRUE(WriteTextFile(builder / kSettingsIni, ini));
  ASSERT_TRUE(WriteTextFile(builder / kWhitelistFile, "Foo\\Bar.exe\r\n\r\nother\\tool.exe\r\nfoo\\bar.exe\r\n"));
  ASSERT_TRUE(builder.Open());

  for (const auto& box : kBoxes) {
    if (box.section == std::wstring(L"FilterConstant") || box.section == std::wstring(L"FilterSuspicious")) continue;
    EXPECT_EQ(builder.Checked(box.id), box.id == IDC_FORM4_CHKTEMPEXES ? false : !box.before) << box.key;
  }
  EXPECT_FALSE(builder.Checked(IDC_FORM4_CHKSUSPICIOUS0));
  EXPECT_TRUE(builder.Checked(IDC_FORM4_CHKCONSTANT0));
  EXPECT_FALSE(builder.Checked(IDC_FORM4_CHKSUSPICIOUS1));
  EXPECT_TRUE(builder.Checked(IDC_FORM4_CHKCONSTANT1));
  EXPECT_TRUE(builder.Checked(IDC_FORM4_CHKSUSPICIOUS2));
  EXPECT_FALSE(builder.Checked(IDC_FORM4_CHKCONSTANT2)) << "a value that is no number leaves the box as it was";
  EXPECT_EQ(builder.Text(IDC_FORM4_TXTNAME), L"Acme IT");
  EXPECT_EQ(builder.Text(IDC_FORM4_COMBO1), L"17");
  EXPECT_EQ(builder.Text(IDC_FORM4_COMBO2), L"sun");
  EXPECT_EQ(builder.Text(IDC_FORM4_TXTDSSURL), L"www.example.com/page/");
  EXPECT_EQ(builder.Text(IDC_FORM4_TXTEULA), L"eula.txt");
  EXPECT_EQ(builder.Text(IDC_FORM4_TXTPRE), L"pre.rtf");
  EXPECT_EQ(builder.Text(IDC_FORM4_TXTPOST), L"post.txt");
  EXPECT_EQ(SendMessageW(builder.Item(IDC_FORM4_LIST1), LB_GETCOUNT, 0, 0), 3) << "empty lines are skipped";

  builder.Save();
  for (const auto& box : kBoxes) {
    std::wstring expected = builder.Checked(box.id) ? L"1" : L"0";
    EXPECT_EQ(builder.Ini(box.section, box.key), expected) << box.key;
  }
  EXPECT_EQ(builder.Ini(L"FilterConstant", L"CPL"), L"1");
  EXPECT_EQ(builder.Ini(L"FilterSuspicious", L"CPL"), L"0");
  EXPECT_EQ(builder.Ini(L"Config", L"ClientName"), L"Hand Set") << "a hand-set key survives";
  EXPECT_EQ(builder.Ini(L"Reg", L"RegName"), L"Acme IT");
  EXPECT_EQ(builder.Ini(L"Config", L"ScheduledHour"), L"17");
  EXPECT_EQ(builder.Ini(L"Installer", L"Website"), L"www.example.com/page/");
  EXPECT_EQ(Lines(ReadTextFile(builder / kWhitelistFile)),
            (std::vector<std::wstring>{L"Foo\\Bar.exe", L"other\\tool.exe", L"foo\\bar.exe"}))
      << "the list is written as it was loaded";
  builder.Close();
}

TEST(ConfigBuilder, TempExeQuestionWhileLoadingAndOnTheFirstClickOnly) {
  REQUIRE_DISPLAY();
  struct Case {
    const char* name;
    int answer;
    bool ticked;
  } cases[] = {{"no clears the box", IDNO, false}, {"yes keeps it", IDYES, true}};
  for (const auto& c : cases) {
    Builder builder;
    ASSERT_TRUE(WriteTextFile(builder / kSettingsIni, "[Config]\r\nTempEXEs=1\r\n"));
    livewindow::MessageBoxSeen asked;
    ASSERT_TRUE(builder.Open([&] { asked = builder.Answer(c.answer, 30000); })) << c.name;
    EXPECT_EQ(asked.text, kTempExeQuestion) << c.name;
    EXPECT_EQ(asked.caption, L"Are you sure?") << c.name;
    EXPECT_TRUE(asked.YesNo()) << c.name;
    EXPECT_EQ(builder.Checked(IDC_FORM4_CHKTEMPEXES), c.ticked) << c.name;
    // Later changes ask nothing.
    builder.Toggle(IDC_FORM4_CHKTEMPEXES);
    builder.Toggle(IDC_FORM4_CHKTEMPEXES);
    builder.Settle();
    EXPECT_EQ(builder.NextBox(1500).window, nullptr) << c.name;
    EXPECT_EQ(builder.Save().text, L"Config Saved.");
    EXPECT_EQ(builder.Ini(L"Config", L"TempEXEs"), c.ticked ? L"1" : L"0") << c.name;
    builder.Close();
  }

  Builder fresh;
  ASSERT_TRUE(fresh.Open());
  fresh.Toggle(IDC_FORM4_CHKTEMPEXES);
  const livewindow::MessageBoxSeen first = fresh.Answer(IDNO);
  EXPECT_EQ(first.text, kTempExeQuestion);
  EXPECT_FALSE(fresh.Checked(IDC_FORM4_CHKTEMPEXES)) << "No takes the tick away again";
  fresh.Toggle(IDC_FORM4_CHKTEMPEXES);
  fresh.Settle();
  EXPECT_EQ(fresh.NextBox(1500).window, nullptr) << "the question comes once";
  EXPECT_TRUE(fresh.Checked(IDC_FORM4_CHKTEMPEXES));
  fresh.Close();
}

TEST(ConfigBuilder, AFileClassIsFilteredInOneModeAtMostAndTheWarningAsks) {
  REQUIRE_DISPLAY();
  Builder builder;
  ASSERT_TRUE(builder.Open());
  for (int i = 0; i < 3; ++i) {
    const int suspicious = IDC_FORM4_CHKSUSPICIOUS0 + i, constant = IDC_FORM4_CHKCONSTANT0 + i;
    builder.Toggle(constant);
    builder.Toggle(suspicious);
    builder.Settle();
    EXPECT_TRUE(builder.Checked(suspicious)) << i;
    EXPECT_FALSE(builder.Checked(constant)) << "ticking suspicious clears constant, class " << i;
    builder.Toggle(constant);
    builder.Settle();
    EXPECT_TRUE(builder.Checked(constant)) << i;
    EXPECT_FALSE(builder.Checked(suspicious)) << "ticking constant clears suspicious, class " << i;
    builder.Toggle(constant);  // clearing one leaves the other alone
    builder.Settle();
    EXPECT_FALSE(builder.Checked(constant)) << i;
    EXPECT_FALSE(builder.Checked(suspicious)) << i;
  }

  builder.Notify(IDC_FORM4_LABEL1, STN_CLICKED);
  const livewindow::MessageBoxSeen warning = builder.Answer(IDNO);
  EXPECT_EQ(warning.text,
            L"These settings offer max protection but may cause false positives in some anti-malware apps!  You may "
            L"need to whitelist some items after intallation.  Read more?");
  EXPECT_EQ(warning.caption, kCaption);
  EXPECT_TRUE(warning.YesNo());
  builder.Close();
}

TEST(ConfigBuilder, WhitelistAddBrowseRemove) {
  REQUIRE_DISPLAY();
  Builder builder;
  ASSERT_TRUE(builder.Open());
  auto add = [&](const std::wstring& typed, int button) {
    builder.Click(IDC_FORM4_COMMAND7);
    HWND input = livewindow::WaitForDialog(builder.Id(), [](HWND w) { return livewindow::HasItem(w, platform::kInputBoxTextId); });
    if (!input) return std::wstring(L"<no input box>");
    const std::wstring prompt = livewindow::Text(GetDlgItem(input, platform::kInputBoxPromptId));
    SendMessageW(GetDlgItem(input, platform::kInputBoxTextId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    livewindow::Press(input, button);
    livewindow::WaitGone(input);
    return prompt;
  };
  EXPECT_EQ(add(L"Foo\\Bar.exe", IDOK),
            L"Enter a path\\executable name in the box below, wildcards are NOT accepted.  You MUST leave off the "
            L"%appdata% part of the path, e.g. Foo\\Bar.exe will whitelist %appdata%\\Foo\\Bar.exe");
  add(L"Foo\\Bar.exe", IDOK);
  add(L"foo\\bar.exe", IDOK);
  add(L"", IDOK);
  add(L"cancelled\\entry.exe", IDCANCEL);
  add(L"Second\\One.exe", IDOK);

  // A program picked under %appdata% loses that folder and is lower-cased.
  const std::wstring appdata = platform::GetEnv(L"APPDATA");
  const std::wstring folder = L"BuilderPick" + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryW((appdata + L"\\" + folder).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  const std::wstring picked = appdata + L"\\" + folder + L"\\Bar.EXE";
  ASSERT_TRUE(WriteTextFile(picked, "MZ"));
  builder.Click(IDC_FORM4_COMMAND9);
  EXPECT_EQ(builder.PickFile(picked), L"Select an Executable to Whitelist");
  builder.Settle();
  DeleteFileW(picked.c_str());
  RemoveDirectoryW((appdata + L"\\" + folder).c_str());

  // A program outside %appdata% is refused: as an entry relative to it, it would name no such file.
  const std::wstring outside = builder / L"Elsewhere.exe";
  ASSERT_TRUE(WriteTextFile(outside, "MZ"));
  builder.Click(IDC_FORM4_COMMAND9);
  EXPECT_EQ(builder.PickFile(outside), L"Select an Executable to Whitelist");
  const livewindow::MessageBoxSeen refused = builder.Answer(IDOK);
  EXPECT_NE(refused.text.find(L"not inside the application-data folder"), std::wstring::npos)
      << platform::ToUtf8(refused.text);

  builder.Save();
  EXPECT_EQ(Lines(ReadTextFile(builder / kWhitelistFile)),
            (std::vector<std::wstring>{L"Foo\\Bar.exe", L"Second\\One.exe", platform::Lower(folder) + L"\\bar.exe"}));

  // "All" then "Remove" empties the list; "None" leaves nothing selected to remove.
  builder.Notify(IDC_FORM4_LABEL6, STN_CLICKED);
  builder.Notify(IDC_FORM4_LABEL5, STN_CLICKED);
  builder.Click(IDC_FORM4_COMMAND8);
  builder.Settle();
  EXPECT_EQ(SendMessageW(builder.Item(IDC_FORM4_LIST1), LB_GETCOUNT, 0, 0), 3);
  builder.Notify(IDC_FORM4_LABEL6, STN_CLICKED);
  builder.Click(IDC_FORM4_COMMAND8);
  builder.Settle();
  EXPECT_EQ(SendMessageW(builder.Item(IDC_FORM4_LIST1), LB_GETCOUNT, 0, 0), 0);
  builder.Save();
  EXPECT_FALSE(FileExists(builder / kWhitelistFile));
  builder.Close();
}

TEST(ConfigBuilder, BrandingAndInstallerTextsAreBroughtIntoTheProgramFolder) {
  REQUIRE_DISPLAY();
  Builder builder;
  ScratchDir elsewhere;
  ASSERT_TRUE(builder.Open());

  builder.Click(IDC_FORM4_COMMAND5);
  livewindow::MessageBoxSeen missing = builder.Answer(IDOK);
  EXPECT_EQ(missing.text, L"Logo not found!");
  EXPECT_EQ(missing.caption, kCaption);

  // A bitmap of another name from another folder replaces the older logo.
  const std::string logo = Bitmap(48, 32);
  ASSERT_TRUE(WriteTextFile(elsewhere / L"Company Logo.BMP", logo));
  ASSERT_TRUE(WriteTextFile(builder / L"applogo.bmp", "older logo"));
  builder.Click(IDC_FORM4_COMMAND1);
  EXPECT_EQ(builder.PickFile(elsewhere / L"Company Logo.BMP"), L"Select a bitmap to import.");
  EXPECT_EQ(builder.Answer(IDOK).text, L"Logo Imported.");
  EXPECT_EQ(ReadFileBytes(builder / L"applogo.bmp"), logo);
  EXPECT_FALSE(FileExists(builder / L"Company Logo.BMP"));
  EXPECT_TRUE(FileExists(elsewhere / L"Company Logo.BMP")) << "the original stays where it was";

  // An icon already in the program folder is renamed there.
  ASSERT_TRUE(WriteTextFile(builder / L"brand.ico", "icon bytes"));
  builder.Click(IDC_FORM4_COMMAND6);
  EXPECT_EQ(builder.PickFile(builder / L"brand.ico"), L"Select an icon to import.");
  EXPECT_EQ(builder.Answer(IDOK).text, L"Icon Imported.");
  EXPECT_EQ(ReadFileBytes(builder / L"applogo.ico"), "icon bytes");
  EXPECT_FALSE(FileExists(builder / L"brand.ico"));

  // A typed name of another kind is refused: the settings file is not renamed to the icon.
  ASSERT_TRUE(WriteTextFile(builder / kSettingsIni, "[Config]\r\n"));
  builder.Click(IDC_FORM4_COMMAND6);
  builder.PickFile(builder / kSettingsIni);
  EXPECT_EQ(builder.Answer(IDOK).text,
            L"Oops, there was a problem importing that logo.\r\n\r\n" + (builder / kSettingsIni));
  EXPECT_TRUE(FileExists(builder / kSettingsIni));
  EXPECT_EQ(ReadFileBytes(builder / L"applogo.ico"), "icon bytes");

  // An installer text from elsewhere is copied in and named in its box.
  ASSERT_TRUE(WriteTextFile(elsewhere / L"terms.rtf", "{\\rtf1 terms}"));
  builder.Click(IDC_FORM4_CMDBROWSE0);
  EXPECT_EQ(builder.PickFile(elsewhere / L"terms.rtf"), L"Select a Text or Rich Text file:");
  builder.Settle();
  EXPECT_EQ(builder.Text(IDC_FORM4_TXTEULA), L"terms.rtf");
  EXPECT_EQ(ReadFileBytes(builder / L"terms.rtf"), "{\\rtf1 terms}");
  ASSERT_TRUE(WriteTextFile(builder / L"after.txt", "thanks"));
  builder.Click(IDC_FORM4_CMDBROWSE2);
  builder.PickFile(builder / L"after.txt");
  builder.Settle();
  EXPECT_EQ(builder.Text(IDC_FORM4_TXTPOST), L"after.txt");

  // The logo window wraps the picture, stays on top and goes after about three seconds.
  builder.Click(IDC_FORM4_COMMAND5);
  HWND shown = livewindow::WaitForDialog(builder.Id(), [](HWND w) { return livewindow::HasItem(w, IDC_FORM5_PICTURE1); }, 10000);
  ASSERT_NE(shown, nullptr) << "the logo window did not appear";
  RECT client = {};
  GetClientRect(shown, &client);
  EXPECT_EQ(client.right - client.left, 48);
  EXPECT_EQ(client.bottom - client.top, 32);
  EXPECT_NE(GetWindowLongW(shown, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  const DWORD start = GetTickCount();
  EXPECT_TRUE(livewindow::WaitGone(shown, 10000));
  EXPECT_GE(GetTickCount() - start, 1500u) << "shown for a while";
  builder.Close();
}

TEST(ConfigBuilder, ARehearsalRecordsTheWindowAndItsLoadQuestionAndEnds) {
  REQUIRE_DISPLAY();
  InstalledProgram program;
  ASSERT_TRUE(WriteTextFile(program.Folder() + kSettingsIni, "[Config]\r\nTempEXEs=1\r\n"));
  const RunResult run = program.Run(L"/config", L"no");
  ASSERT_TRUE(run.finished);
  std::vector<std::wstring> seen;
  for (const auto& record : program.Prompts())
    seen.push_back(record.kind + L": " + (record.fields.size() > 2 ? record.fields[2] : record.fields.at(0)));
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"box: " + std::wstring(kTempExeQuestion), L"window: Form4"}));
}
