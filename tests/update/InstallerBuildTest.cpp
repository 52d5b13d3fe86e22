// "Save && Create Custom Installer" and the compiler menu of the configuration builder, on the real
// program: the script it writes, the compiler's command line (the recording fake stands in for the
// compiler and for the compiler's own installer) and what the user is told.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <set>

#include "platform/PromptSeam.h"
#include "platform/Text.h"
#include "tests/support/LiveWindow.h"
#include "tests/support/PrivateFolderRun.h"
#include "tests/support/ProductState.h"
#include "update/Form4Ids.h"
#include "update/Form5Ids.h"
#include "update/InstallerScript.h"

using namespace testsupport;

namespace {

std::wstring SpecialFolder(int id) {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, id, nullptr, 0, path);
  return path;
}

std::wstring CompilerFolder() { return SpecialFolder(CSIDL_PROGRAM_FILESX86) + L"\\Inno Setup 5\\"; }

void RemoveFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do DeleteFileW((folder + found.cFileName).c_str());
    while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

// The compiler's installer on the local web server, as test runs fetch it (see ILATCH_WEB_ROOT):
// <case folder>\<host>\<path>.
const std::wstring kServerAddress = L"127.0.0.1:47131";
const std::wstring kInstallerHostPath = L"files.jrsoftware.org\\is\\5\\isetup-5.5.3-unicode.exe";

std::wstring ServerRoot() { return TestsDir() + L"httpserver\\root\\"; }

// A fresh folder of the server's, for one case.
std::wstring NewServedFolder() {
  static int counter = 0;
  const std::wstring name = L"innosetup_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                            std::to_wstring(GetTickCount()) + L"_" + std::to_wstring(++counter);
  EXPECT_TRUE(CreateDirectoryW((ServerRoot() + name).c_str(), nullptr));
  return name;
}

bool Serve(const std::wstring& served, const std::wstring& hostAndPath, const std::wstring& source) {
  const std::wstring path = ServerRoot() + served + L"\\" + hostAndPath;
  for (size_t slash = path.find(L'\\', ServerRoot().size()); slash != std::wstring::npos;
       slash = path.find(L'\\', slash + 1))
    CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
  return CopyFileW(source.c_str(), path.c_str(), FALSE) != 0;
}

// Environment entries for the programs started while it lives; the earlier values come back after.
class ScopedEnv {
 public:
  explicit ScopedEnv(const std::vector<std::pair<std::wstring, std::wstring>>& entries) {
    for (const auto& [name, value] : entries) {
      const std::wstring old = platform::GetEnv(name);
      saved_.push_back({name, old, !old.empty()});
      SetEnvironmentVariableW(name.c_str(), value.c_str());
    }
  }
  ~ScopedEnv() {
    for (const auto& s : saved_) SetEnvironmentVariableW(s.name.c_str(), s.had ? s.value.c_str() : nullptr);
  }

 private:
  struct Saved {
    std::wstring name, value;
    bool had;
  };
  std::vector<Saved> saved_;
};

std::wstring VersionOf(const std::wstring& file) {
  DWORD ignored = 0;
  std::vector<BYTE> block(GetFileVersionInfoSizeW(file.c_str(), &ignored));
  VS_FIXEDFILEINFO* info = nullptr;
  UINT size = 0;
  if (block.empty() || !GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
      !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &size))
    return L"<none>";
  return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionMS)) + L"." +
         std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionLS));
}

// The window with the compiler either in place (the recording fake) or absent from both program folders.
class InstallerBuild : public testing::Test {
 protected:
  void SetUp() override {
    HWND probe = CreateWindowW(L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (!probe) GTEST_SKIP() << "no display";
    DestroyWindow(probe);
    RemoveCompiler();
  }
  void TearDown() override { RemoveCompiler(); }
  static void RemoveCompiler() {
    RemoveFolder(CompilerFolder());
    RemoveFolder(SpecialFolder(CSIDL_PROGRAM_FILES) + L"\\Inno Setup 5\\");
  }
  static void InstallFakeCompiler(const std::string& fakeIni = "") {
    CreateDirectoryW(CompilerFolder().c_str(), nullptr);
    ASSERT_TRUE(CopyProgram(L"fakeprog.exe", CompilerFolder() + L"Compil32.exe"));
    if (!fakeIni.empty()) { ASSERT_TRUE(WriteTextFile(CompilerFolder() + L"Compil32.fake.ini", fakeIni)); }
  }

  struct Window : livewindow::ScratchProgram {
    Window() : livewindow::ScratchProgram({IDC_FORM4_COMMAND4, platform::kInputBoxTextId, IDC_FORM5_PICTURE1}) {}
    HWND form = nullptr;
    bool Open() {
      if (!Start(L"/config")) return false;
      form = livewindow::WaitForDialog(Id(), [](HWND w) { return livewindow::HasItem(w, IDC_FORM4_COMMAND4); }, 30000);
      return form != nullptr;
    }
    void Set(int id, const std::wstring& text) {
      SendMessageW(GetDlgItem(form, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    void Tick(int id, bool on) { SendMessageW(GetDlgItem(form, id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0); }
    void Click(int id) { livewindow::Press(form, id); }
    void Close() {
      PostMessageW(form, WM_CLOSE, 0, 0);
      EXPECT_TRUE(Ended(20000));
    }
  };
};

std::vector<std::wstring> Section(const std::vector<std::wstring>& lines, const std::wstring& header) {
  std::vector<std::wstring> body;
  auto at = std::find(lines.begin(), lines.end(), header);
  if (at == lines.end()) return {L"<no " + header + L">"};
  for (++at; at != lines.end() && !at->empty(); ++at) body.push_back(*at);
  return body;
}

}  // namespace

TEST_F(InstallerBuild, ScriptOfEveryOptionCompiledIntoTheSilentInstaller) {
  InstallFakeCompiler("[fake]\r\nsleepms=3000\r\n");
  Window window;
  const std::wstring folder = window.Folder();
  for (const wchar_t* name : {L"eula.txt", L"applogo.ico", kServiceProgram, kEventMessageDll, kSetupProgram,
                              kSilentSetupProgram, L"Setup.iss"})
    ASSERT_TRUE(WriteTextFile(folder + name, "old"));
  ASSERT_TRUE(window.Open());
  window.Set(IDC_FORM4_TXTNAME, L"Acme IT");
  window.Set(IDC_FORM4_TXTDSSURL, L"www.example.com/page/");
  window.Set(IDC_FORM4_TXTEULA, L"eula.txt");
  window.Set(IDC_FORM4_TXTPRE, L"missing.txt");
  window.Tick(IDC_FORM4_CHECK5, true);
  window.Tick(IDC_FORM4_CHECK6, true);
  window.Click(IDC_FORM4_COMMAND3);

  // The compiler runs; meanwhile it "writes" the installer.
  const std::wstring calls = CompilerFolder() + L"Compil32.calls.log";
  for (int i = 0; i < 200 && !FileExists(calls); ++i) Sleep(50);
  ASSERT_TRUE(FileExists(calls)) << "the compiler was not started";
  EXPECT_FALSE(FileExists(folder + kSilentSetupProgram)) << "the old installer is deleted first";
  ASSERT_TRUE(WriteTextFile(folder + kSilentSetupProgram, "new installer"));
  const livewindow::MessageBoxSeen told = window.Answer(IDOK, 30000);
  EXPECT_EQ(told.text, std::wstring(L"Output file has been created:\r\n\r\n") + kSilentSetupBaseName);
  EXPECT_EQ(told.caption, kProductName);
  EXPECT_EQ(Lines(ReadTextFile(calls)),
            (std::vector<std::wstring>{L"\"" + CompilerFolder() + L"Compil32.exe\" /cc \"" + folder + L"Setup.iss\""}));
  EXPECT_TRUE(FileExists(folder + kSettingsIni)) << "the settings are saved first";

  const std::vector<std::wstring> lines = Lines(ReadTextFile(folder + L"Setup.iss"));
  const std::vector<std::wstring> head(lines.begin(), std::find(lines.begin(), lines.end(), L""));
  EXPECT_EQ(head, (std::vector<std::wstring>{
                      L"[Setup]",
                      L"AppId={{7D80BE23-2834-4457-95A9-F896C24C1FDB}",
                      std::wstring(L"AppName=") + kRuleDescription,
                      std::wstring(L"AppVerName=") + kRuleDescription,
                      L"AppPublisher=Acme IT",
                      L"AppPublisherURL=www.example.com/page",
                      L"AppSupportURL=www.example.com/page",
                      L"AppUpdatesURL=www.example.com/page",
                      std::wstring(L"DefaultDirName={pf}\\") + kProductName,
                      L"DisableDirPage=yes",
                      std::wstring(L"DefaultGroupName=Acme IT\\") + kRuleDescription,
                      L"DisableProgramGroupPage=yes",
                      L"OutputDir=.",
                      std::wstring(L"OutputBaseFilename=") + kSilentSetupBaseName,
                      L"Compression=lzma",
                      L"SolidCompression=yes",
                      L"UninstallRestartComputer=yes",
                      L"VersionInfoVersion=" + VersionOf(folder + kMainProgram),
                      L"PrivilegesRequired=admin",
                      L"MinVersion=0,5.0",
                      L"LicenseFile=eula.txt",
                  }));
  EXPECT_EQ(Section(lines, L"[Languages]"),
            (std::vector<std::wstring>{L"Name: \"english\"; MessagesFile: \"compiler:Default.isl\""}));
  const std::vector<std::wstring> files = Section(lines, L"[Files]");
  const std::set<std::wstring> fileSet(files.begin(), files.end());
  auto source = [&](const wchar_t* name, const wchar_t* flags) {
    return L"Source: \"" + folder + name + L"\"; DestDir: \"{app}\"; Flags: " + flags;
  };
  EXPECT_EQ(fileSet, (std::set<std::wstring>{
                         source(kMainProgram, L"ignoreversion"),
                         source(kSettingsIni, L"ignoreversion"),
                         source(L"eula.txt", L"ignoreversion"),
                         source(L"applogo.ico", L"ignoreversion"),
                         source(kServiceProgram, L"restartreplace"),
                         source(kEventMessageDll, L"onlyifdoesntexist"),
                     }))
      << "the script and the installers are never packed";
  EXPECT_EQ(files.size(), fileSet.size());
  const std::wstring icon = L"; IconFilename: \"{app}\\applogo.ico\"";
  EXPECT_EQ(Section(lines, L"[Icons]"),
            (std::vector<std::wstring>{
                L"Name: \"{group}\\..\\www.example.com/page\"; Filename: \"http://www.example.com/page/\"",
                std::wstring(L"Name: \"{group}\\Apply ") + kRuleDescription + L"\"; Filename: \"{app}\\" +
                    kMainProgram + L"\"; Parameters: \"/applyini\"" + icon,
                std::wstring(L"Name: \"{group}\\Undo ") + kRuleDescription + L"\"; Filename: \"{app}\\" + kMainProgram +
                    L"\"; Parameters: \"/undo\"" + icon,
                std::wstring(L"Name: \"{group}\\Test ") + kRuleDescription + L"\"; Filename: \"{app}\\" + kMainProgram +
                    L"\"; Parameters: \"/test\"" + icon,
                std::wstring(L"Name: \"{group}\\{cm:UninstallProgram,") + kRuleDescription +
                    L"}\"; Filename: \"{uninstallexe}\"",
            }));
  EXPECT_EQ(Section(lines, L"[Run]"),
            (std::vector<std::wstring>{
                std::wstring(L"Filename: \"{app}\\") + kMainProgram +
                    L"\"; Parameters: \"/installer\"; Flags: runascurrentuser",
                std::wstring(L"Filename: \"{app}\\") + kMainProgram +
                    L"\"; Parameters: \"/applyini /silent /reboot\"; Description: \"Apply " +
                    kRuleDescription + L"\"; Flags: postinstall runascurrentuser",
            }));
  EXPECT_EQ(Section(lines, L"[UninstallRun]"),
            (std::vector<std::wstring>{std::wstring(L"Filename: \"{app}\\") + kMainProgram +
                                       L"\"; Parameters: \"/uninstallerb\"; Flags: runascurrentuser"}));
  EXPECT_EQ(Section(lines, L"[UninstallDelete]"), (std::vector<std::wstring>{L"Type: filesandordirs; Name: \"{app}\""}));
  EXPECT_EQ(lines.back(), L"Type: filesandordirs; Name: \"{app}\"");
  window.Close();
}

TEST_F(InstallerBuild, PlainOptionsAndACompilerThatMakesNothingIsReportedAsAFailure) {
  InstallFakeCompiler();
  Window window;
  const std::wstring folder = window.Folder();
  ASSERT_TRUE(window.Open());
  window.Set(IDC_FORM4_TXTNAME, L"Acme IT");
  window.Set(IDC_FORM4_TXTDSSURL, L"");
  window.Tick(IDC_FORM4_CHECK4, true);
  window.Tick(IDC_FORM4_CHECK5, false);
  window.Tick(IDC_FORM4_CHECK6, true);
  window.Tick(IDC_FORM4_CHECK10, true);
  window.Click(IDC_FORM4_COMMAND3);
  const livewindow::MessageBoxSeen told = window.Answer(IDOK, 30000);
  EXPECT_EQ(told.text, L"The installer could not be created.");
  EXPECT_FALSE(FileExists(folder + kSetupProgram));

  const std::vector<std::wstring> lines = Lines(ReadTextFile(folder + L"Setup.iss"));
  EXPECT_NE(std::find(lines.begin(), lines.end(), std::wstring(L"OutputBaseFilename=") + kSetupBaseName), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"AppPublisherURL="), lines.end());
  for (const auto& line : lines) {
    EXPECT_EQ(line.find(L"IconFilename"), std::wstring::npos) << "no icon: " << testing::PrintToString(line);
    EXPECT_FALSE(platform::StartsWith(line, L"LicenseFile=") || platform::StartsWith(line, L"InfoBeforeFile=") ||
                 platform::StartsWith(line, L"InfoAfterFile="))
        << testing::PrintToString(line);
  }
  EXPECT_EQ(Section(lines, L"[Icons]"),
            (std::vector<std::wstring>{
                std::wstring(L"Name: \"{group}\\Apply ") + kRuleDescription + L"\"; Filename: \"{app}\\" +
                    kMainProgram + L"\"; Parameters: \"/applyini\"",
                std::wstring(L"Name: \"{group}\\Undo ") + kRuleDescription + L"\"; Filename: \"{app}\\" + kMainProgram +
                    L"\"; Parameters: \"/undo\"",
                std::wstring(L"Name: \"{group}\\Advanced Options\"; Filename: \"{app}\\") + kMainProgram +
                    L"\"; Parameters: \"/showmain\"",
                std::wstring(L"Name: \"{group}\\{cm:UninstallProgram,") + kRuleDescription +
                    L"}\"; Filename: \"{uninstallexe}\"",
            }));
  EXPECT_EQ(Section(lines, L"[Run]"),
            (std::vector<std::wstring>{
                std::wstring(L"Filename: \"{app}\\") + kMainProgram +
                    L"\"; Parameters: \"/installer\"; Flags: runascurrentuser",
                std::wstring(L"Filename: \"{app}\\") + kMainProgram +
                    L"\"; Parameters: \"/updateandapply /reboot\"; Description: \"Check for "
                    L"Updates and Apply " +
                    kRuleDescription + L"\"; Flags: postinstall runascurrentuser",
            }));
  window.Close();
}

// Only a compile that ended content makes a new installer: a failed compiler's leftovers, or an old
// installer that could not be deleted, would pass for one.
TEST_F(InstallerBuild, AFailedCompileOrAnOldInstallerThatStaysIsNoSuccess) {
  InstallFakeCompiler("[fake]\r\nsleepms=3000\r\nexit=2\r\n");
  Window window;
  const std::wstring installer = window.Folder() + kSetupProgram;
  ASSERT_TRUE(window.Open());
  window.Tick(IDC_FORM4_CHECK5, false);
  window.Click(IDC_FORM4_COMMAND3);
  const std::wstring calls = CompilerFolder() + L"Compil32.calls.log";
  for (int i = 0; i < 200 && !FileExists(calls); ++i) Sleep(50);
  ASSERT_TRUE(FileExists(calls)) << "the compiler was not started";
  ASSERT_TRUE(WriteTextFile(installer, "half an installer"));  // what the failing compiler leaves
  EXPECT_EQ(window.Answer(IDOK, 30000).text, L"The installer could not be created.");
  EXPECT_FALSE(FileExists(installer)) << "a failed compile's output is removed";

  ASSERT_TRUE(WriteTextFile(installer, "the installer of last week"));
  HANDLE held = CreateFileW(installer.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  window.Click(IDC_FORM4_COMMAND3);
  EXPECT_EQ(window.Answer(IDOK, 30000).text, L"Unable to overwrite existing file.");
  CloseHandle(held);
  EXPECT_EQ(ReadFileBytes(installer), "the installer of last week");
  EXPECT_EQ(Lines(ReadTextFile(calls)).size(), 1u) << "nothing is compiled over an installer that stays";
  window.Close();
}

TEST_F(InstallerBuild, RehearsedWhitelistAddIsAskedThroughThePromptLog) {
  // A rehearsed window that stays open still never waits on a box: the entry for "Add" is
  // recorded as an input and taken from the answers as typed.
  Window window;
  const std::wstring log = window / L"prompts.log";
  {
    ScopedEnv env({{L"ILATCH_PROMPT_LOG", log},
                   {L"ILATCH_PROMPT_ANSWERS", L"Foo\\Bar.exe"},
                   {L"ILATCH_KEEP_WINDOWS", L"1"}});
    ASSERT_TRUE(window.Open());
  }
  window.Click(IDC_FORM4_COMMAND7);
  std::vector<PromptRecord> inputs;
  for (int i = 0; i < 100 && inputs.empty(); ++i) {
    if (i) Sleep(100);
    for (const auto& record : ReadPromptLog(log))
      if (record.kind == L"input") inputs.push_back(record);
  }
  ASSERT_EQ(inputs.size(), 1u) << "no input record: the box was shown for real";
  EXPECT_EQ(inputs[0].fields,
            (std::vector<std::wstring>{
                kProductName,
                L"Enter a path\\executable name in the box below, wildcards are NOT accepted.  You MUST leave off the "
                L"%appdata% part of the path, e.g. Foo\\Bar.exe will whitelist %appdata%\\Foo\\Bar.exe",
                L"", L"Foo\\Bar.exe"}));
  SendMessageW(window.form, WM_NULL, 0, 0);
  EXPECT_EQ(livewindow::ListItems(GetDlgItem(window.form, IDC_FORM4_LIST1)),
            (std::vector<std::wstring>{L"Foo\\Bar.exe"}));
  window.Close();
}

// The records of a prompt log but the windows', once there are `count` of them.
std::vector<std::wstring> Told(const std::wstring& log, size_t count) {
  std::vector<std::wstring> records;
  for (int i = 0; i < 300 && records.size() < count; ++i) {
    if (i) Sleep(100);
    records.clear();
    for (const auto& record : ReadPromptLog(log)) {
      if (record.kind == L"window") continue;
      std::wstring line = record.kind;
      for (const auto& field : record.fields) line += L" | " + field;
      records.push_back(line);
    }
  }
  return records;
}

// Whether the local web server was asked for anything under a case's served folder.
bool ServerWasAskedFor(const std::wstring& served) {
  return ReadTextFile(TestsDir() + L"httpserver\\server.log").find(L"/" + served + L"/") != std::wstring::npos;
}

const std::wstring kCompilerNotice =
    L"Please download/install the Inno Setup package, opening website now.\r\nNote you do not need the "
    L"'Quickstart' package, just the base install.";
const std::vector<std::wstring> kSentForTheCompiler = {
    std::wstring(L"box | ") + kProductName + L" | 0x0 | " + kCompilerNotice + L" | ok",
    L"web | http://www.jrsoftware.org/isdl.php"};

// A folder the recording fake reports to (FAKEPROG_HOME) when it runs from a folder that is gone after.
struct FakeHome : ScratchDir {
  std::wstring Env() const { return Path().substr(0, Path().size() - 1); }
  std::wstring CallsOf(const std::wstring& name) const { return ReadTextFile(Path() + name + L".calls.log"); }
};

// The builder runs the compiler's installer elevated: only the one whose SHA-256 the build pins
// (the tests pin the recording fake), and never one that anyone else could reach.
TEST_F(InstallerBuild, WithoutTheCompilerOnlyThePinnedInstallerIsFetchedAndRun) {
  {
    // The pin in place, the download fails or brings another program: the notice and the download
    // page, nothing run, nothing built; the settings are still saved. The run is rehearsed so that
    // the page is recorded, not opened in a browser; the window stays.
    Window window;
    FakeHome home;
    const std::wstring log = window / L"prompts.log";
    const std::wstring served = NewServedFolder();
    {
      ScopedEnv env({{L"ILATCH_WEB_ROOT", kServerAddress + L"/" + served},
                     {L"ILATCH_PROMPT_LOG", log},
                     {L"ILATCH_PROMPT_ANSWERS", L""},
                     {L"ILATCH_KEEP_WINDOWS", L"1"},
                     {L"FAKEPROG_HOME", home.Env()}});
      ASSERT_TRUE(window.Open());
    }
    window.Click(IDC_FORM4_COMMAND3);
    EXPECT_EQ(Told(log, 2), kSentForTheCompiler) << "nothing served";
    window.Click(IDC_FORM4_COMMAND4);
    std::vector<std::wstring> expected = kSentForTheCompiler;
    expected.push_back(std::wstring(L"box | ") + kProductName + L" | 0x0 | Config Saved. | ok");
    EXPECT_EQ(Told(log, 3), expected);
    EXPECT_FALSE(FileExists(window / L"Setup.iss")) << "nothing is built";
    EXPECT_TRUE(FileExists(window / kSettingsIni));

    // The stand-in with one byte more (it would still run and record, but its digest is not the
    // pinned one) is fetched, refused and deleted unrun.
    const std::wstring altered = home.Path() + L"altered.exe";
    ASSERT_TRUE(CopyFileW((TestsDir() + L"fakes\\fakeprog.exe").c_str(), altered.c_str(), FALSE));
    HANDLE tail = CreateFileW(altered.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(tail, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(tail, "x", 1, &written, nullptr);
    CloseHandle(tail);
    ASSERT_TRUE(Serve(served, kInstallerHostPath, altered));
    PostMessageW(window.form, WM_COMMAND, MAKEWPARAM(IDM_FORM4_GETINNO, 0), 0);
    expected.insert(expected.end(), kSentForTheCompiler.begin(), kSentForTheCompiler.end());
    EXPECT_EQ(Told(log, 5), expected) << "another installer";
    EXPECT_TRUE(ServerWasAskedFor(served));
    EXPECT_FALSE(FileExists(window / L"InnoSetup.exe"));
    EXPECT_TRUE(Lines(home.CallsOf(L"InnoSetup")).empty()) << "the refused installer ran";
    window.Close();
  }
  {
    // A build without a pin fetches nothing at all, not even the stand-in that would match.
    Window window;
    FakeHome home;
    const std::wstring log = window / L"prompts.log";
    const std::wstring served = NewServedFolder();
    ASSERT_TRUE(Serve(served, kInstallerHostPath, TestsDir() + L"fakes\\fakeprog.exe"));
    {
      ScopedEnv env({{L"ILATCH_WEB_ROOT", kServerAddress + L"/" + served},
                     {L"ILATCH_NO_INSTALLER_PIN", L"1"},
                     {L"ILATCH_PROMPT_LOG", log},
                     {L"ILATCH_PROMPT_ANSWERS", L""},
                     {L"ILATCH_KEEP_WINDOWS", L"1"},
                     {L"FAKEPROG_HOME", home.Env()}});
      ASSERT_TRUE(window.Open());
    }
    PostMessageW(window.form, WM_COMMAND, MAKEWPARAM(IDM_FORM4_GETINNO, 0), 0);
    EXPECT_EQ(Told(log, 2), kSentForTheCompiler);
    EXPECT_FALSE(ServerWasAskedFor(served)) << "a build without a pin downloaded the installer";
    EXPECT_TRUE(Lines(home.CallsOf(L"InnoSetup")).empty());
    window.Close();
  }
  {
    // The pinned installer is fetched into a fresh folder that only administrators can write, run
    // silently from there, and the folder goes with it. An installer that leaves no compiler, or
    // ends with an error, is reported as a failure.
    Window window;
    FakeHome home;
    const std::wstring served = NewServedFolder();
    ASSERT_TRUE(Serve(served, kInstallerHostPath, TestsDir() + L"fakes\\fakeprog.exe"));
    {
      ScopedEnv env({{L"ILATCH_WEB_ROOT", kServerAddress + L"/" + served}, {L"FAKEPROG_HOME", home.Env()}});
      ASSERT_TRUE(window.Open());
    }
    for (const char* ending : {"exit=0", "exit=1"}) {
      SCOPED_TRACE(ending);
      ASSERT_TRUE(WriteTextFile(home.Path() + L"InnoSetup.fake.ini", std::string("[fake]\r\n") + ending + "\r\n"));
      DeleteFileW((home.Path() + L"InnoSetup.calls.log").c_str());
      PostMessageW(window.form, WM_COMMAND, MAKEWPARAM(IDM_FORM4_GETINNO, 0), 0);
      EXPECT_EQ(window.Answer(IDOK, 30000).text, L"Inno Setup could not be installed.");
      ExpectOneRunFromAPrivateFolder(Lines(home.CallsOf(L"InnoSetup")), L"InnoSetup.exe /silent");
      EXPECT_FALSE(FileExists(window / L"InnoSetup.exe"));
    }

    // An installer that puts the compiler in place (here: while it runs) is a success.
    ASSERT_TRUE(WriteTextFile(home.Path() + L"InnoSetup.fake.ini", "[fake]\r\nsleepms=4000\r\nexit=0\r\n"));
    DeleteFileW((home.Path() + L"InnoSetup.calls.log").c_str());
    PostMessageW(window.form, WM_COMMAND, MAKEWPARAM(IDM_FORM4_GETINNO, 0), 0);
    for (int i = 0; i < 300 && home.CallsOf(L"InnoSetup").empty(); ++i) Sleep(50);
    InstallFakeCompiler();
    EXPECT_EQ(window.Answer(IDOK, 30000).text, L"Inno Setup Installed!");
    ExpectOneRunFromAPrivateFolder(Lines(home.CallsOf(L"InnoSetup")), L"InnoSetup.exe /silent");

    // Once the compiler is there the menu says so.
    PostMessageW(window.form, WM_COMMAND, MAKEWPARAM(IDM_FORM4_GETINNO, 0), 0);
    EXPECT_EQ(window.Answer(IDOK).text, L"Inno Setup is already installed!");
    window.Close();
  }
}

TEST(InstallerScriptNames, WebsiteFormsAndOutputName) {
  struct Case {
    const wchar_t* website;
    const wchar_t* full;
    const wchar_t* site;
  } cases[] = {
      {L"www.example.com", L"http://www.example.com", L"www.example.com"},
      {L"www.example.com/page/", L"http://www.example.com/page/", L"www.example.com/page"},
      {L"http://www.example.com", L"http://www.example.com", L"www.example.com"},
      {L"https://example.com/a/b", L"https://example.com/a/b", L"example.com/a"},
      {L"HTTPS://Example.com/Page/", L"HTTPS://Example.com/Page/", L"Example.com/Page"},  // a scheme in any case goes
      {L"", L"http://", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(InstallerScript::FullUrl(c.website), c.full) << testing::PrintToString(std::wstring(c.website));
    EXPECT_EQ(InstallerScript::SiteForm(c.website), c.site) << testing::PrintToString(std::wstring(c.website));
  }
  EXPECT_EQ(InstallerScript::OutputBaseName(true), kSilentSetupBaseName);
  EXPECT_EQ(InstallerScript::OutputBaseName(false), kSetupBaseName);
}

// What a program folder holds besides the product after updates, builds and runs: none of it goes
// into an installer. And the texts the user typed reach the script as typed, braces included.
TEST(InstallerScriptFiles, OnlyTheProductIsPackedAndTypedBracesStayBraces) {
  ScratchDir folder;
  const std::vector<std::wstring> product = {kMainProgram, kServiceProgram, kSettingsIni, L"eula {v2}.txt"};
  const std::vector<std::wstring> leftovers = {
      kMainBackup,   kServiceBackup,    L"Policy_backup.reg", kDebugLog,   kDownloadedPackage, kProgramPackage,
      L"Hashes.reg", L"ILEventSvc.reg", L"InnoSetup.exe",     L"bulk.ini", L"Setup.iss",       kSetupProgram};
  for (const auto& name : product) ASSERT_TRUE(WriteTextFile(folder / name, "x"));
  for (const auto& name : leftovers) ASSERT_TRUE(WriteTextFile(folder / name, "x"));
  InstallerScript::Options options;
  options.publisher = L"Acme {IT}";
  options.website = L"www.example.com/{page}/";
  options.eula = L"eula {v2}.txt";
  const std::vector<std::wstring> lines = InstallerScript::Lines(folder.Path(), options);

  std::set<std::wstring> packed;
  for (const auto& line : lines) {
    if (!platform::StartsWith(line, L"Source: \"")) continue;
    const std::wstring path = line.substr(9, line.find(L"\"; DestDir") - 9);
    packed.insert(path.substr(path.find_last_of(L'\\') + 1));
  }
  EXPECT_EQ(packed, (std::set<std::wstring>{kMainProgram, kServiceProgram, kSettingsIni, L"eula {{v2}.txt"}));
  for (const std::wstring& expected : std::vector<std::wstring>{
           L"AppPublisher=Acme {{IT}", std::wstring(L"DefaultGroupName=Acme {{IT}\\") + kRuleDescription,
           L"AppPublisherURL=www.example.com/{{page}", L"LicenseFile=eula {{v2}.txt",
           L"Name: \"{group}\\..\\www.example.com/{{page}\"; Filename: \"http://www.example.com/{{page}/\""}) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << platform::ToUtf8(expected);
  }
  // The product's own constants keep their braces single.
  EXPECT_NE(std::find(lines.begin(), lines.end(), std::wstring(L"DefaultDirName={pf}\\") + kProductName), lines.end());
}
