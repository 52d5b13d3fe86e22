// Reading and writing single settings in the registry and in INI files.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

using modRegistry::fReadValue;
using modRegistry::fWriteValue;
using testsupport::ScratchDir;

namespace {

using namespace std::string_literals;  // L"b\0c\0"s keeps its NULs

std::wstring UniqueName() {
  static int counter = 0;
  return L"RegistryValue-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount()) + L"-" +
         std::to_wstring(++counter);
}

struct Read {
  LONG code;
  Variant value;
};
Read ReadValue(const std::wstring& hive, const std::wstring& key, const std::wstring& name, const std::wstring& type,
               const Variant& defaultValue) {
  Variant value(L"untouched");
  LONG code = fReadValue(hive, key, name, type, defaultValue, value);
  return {code, value};
}

// A value as stored, seen through the 64-bit view.
struct Raw {
  bool found = false;
  DWORD type = REG_NONE;
  std::string bytes;
};
Raw RawValue(HKEY root, const std::wstring& key, const std::wstring& name) {
  Raw raw;
  platform::UniqueRegKey k;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, k.put()) != ERROR_SUCCESS) return raw;
  DWORD size = 0;
  if (RegQueryValueExW(k.get(), name.c_str(), nullptr, &raw.type, nullptr, &size) != ERROR_SUCCESS) return raw;
  raw.bytes.resize(size);
  raw.found = RegQueryValueExW(k.get(), name.c_str(), nullptr, &raw.type, reinterpret_cast<BYTE*>(raw.bytes.data()),
                               &size) == ERROR_SUCCESS;
  raw.bytes.resize(size);
  return raw;
}

void SetRaw(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type, const std::string& bytes) {
  platform::UniqueRegKey k;
  ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, k.put(),
                            nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(k.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
}

// UTF-16 bytes of a text as the registry stores it, NULs included.
std::string Utf16Bytes(const std::wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// Debug-log lines from the first TAB on (the time of day before it varies).
std::vector<std::wstring> LoggedLines(const std::wstring& logPath) {
  std::vector<std::wstring> lines;
  if (!testsupport::FileExists(logPath)) return lines;
  for (const auto& line : testsupport::Lines(testsupport::ReadTextFile(logPath))) {
    size_t tab = line.find(L'\t');
    lines.push_back(tab == std::wstring::npos ? line : line.substr(tab));
  }
  return lines;
}

// Unique keys under HKCU and HKLM, removed afterwards; the debug log goes to a scratch file.
class RegistryValueTest : public testing::Test {
 protected:
  void SetUp() override {
    name_ = UniqueName();
    key_ = std::wstring(testsupport::kTestsKey) + L"\\" + name_;
    logPath_ = scratch_ / L"debug.log";
    CommonModule::DebugLogPath = logPath_;
    CommonModule::DebugToFile = true;
  }
  void TearDown() override {
    CommonModule::DebugToFile = false;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      testsupport::RegDeleteTreeQuiet(root, key_);
      testsupport::RegDeleteTreeQuiet(
          root, std::wstring(L"Software\\Wow6432Node\\") + testsupport::kTestsKeyName + L"\\" + name_);
    }
  }
  std::vector<std::wstring> Logged() const { return LoggedLines(logPath_); }
  void ClearLog() const { DeleteFileW(logPath_.c_str()); }
  // Reads a text; checks what it gives and the key path it logs as opened.
  void ExpectTextRead(const std::wstring& hive, const std::wstring& key, const std::wstring& name,
                      const std::wstring& expected, const std::wstring& openedKey) const {
    ClearLog();
    auto read = ReadValue(hive, key, name, L"S", L"");
    EXPECT_EQ(read.code, 0);
    EXPECT_EQ(read.value, Variant(expected));
    auto lines = Logged();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], L"\t\t- Passed Key: " + hive + L"\\" + openedKey);
  }

  ScratchDir scratch_;
  std::wstring name_, key_, logPath_;
};

// ---- Hive texts ------------------------------------------------------------------------------

TEST(RegistryTopKey, ResolvesRootsInAnyCaseAndExistingNormalFilesOnly) {
  ScratchDir dir;
  const std::wstring normal = dir / L"normal.ini", readOnly = dir / L"readonly.ini", hidden = dir / L"hidden.ini",
                     system = dir / L"system.ini";
  for (const auto& file : {normal, readOnly, hidden, system}) ASSERT_TRUE(testsupport::WriteTextFile(file, "[a]\r\n"));
  SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW(system.c_str(), FILE_ATTRIBUTE_SYSTEM);

  const struct {
    std::wstring hive;
    HKEY expected;
  } cases[] = {
      {L"HKCU", HKEY_CURRENT_USER},
      {L"HKLM", HKEY_LOCAL_MACHINE},
      {L"hklm", HKEY_LOCAL_MACHINE},
      {L"HkU", HKEY_USERS},
      {L"HKDD", HKEY_DYN_DATA},
      {L"hkcc", HKEY_CURRENT_CONFIG},
      {L"HKCR", HKEY_CLASSES_ROOT},
      {L"HKEY_LOCAL_MACHINE", nullptr},
      {L"HKLM ", nullptr},
      {L"", nullptr},
      {normal, modRegistry::kIniHive},
      {readOnly, modRegistry::kIniHive},
      {hidden, nullptr},
      {system, nullptr},
      {dir / L"missing.ini", nullptr},
      {dir.Path(), nullptr},
      {dir.Path().substr(0, dir.Path().size() - 1), nullptr},
      {dir / L"*.ini", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "hive [" << platform::ToUtf8(c.hive) << "]");
    EXPECT_EQ(modRegistry::fTopKey(c.hive), c.expected);
  }
  for (const auto& file : {readOnly, hidden, system}) SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// ---- Registry view --------------------------------------------------------------------------

// The view follows what Windows is, never the environment: a standard user may clear or set
// ProgramFiles(x86) for the elevated program started next, and the policy would then go to the
// 32-bit view, where Windows does not read it.
class RegistryViewTest : public testing::Test {
 protected:
  void SetUp() override { saved_ = platform::GetEnv(kVariable); }
  void TearDown() override { SetEnvironmentVariableW(kVariable, saved_.empty() ? nullptr : saved_.c_str()); }
  static void SetVariable(const wchar_t* value) { SetEnvironmentVariableW(kVariable, value); }
  static constexpr const wchar_t* kVariable = L"ProgramFiles(x86)";
  std::wstring saved_;
};

TEST_F(RegistryViewTest, TheViewFollowsWindowsWhateverTheEnvironmentSays) {
  for (const wchar_t* value : {static_cast<const wchar_t*>(nullptr), L"", L"C", L"C:\\Program Files (x86)"}) {
    SCOPED_TRACE(value ? platform::ToUtf8(value) : "unset");
    SetVariable(value);
    EXPECT_TRUE(modRegistry::Is64BitRegistry()) << "the tests run on 64-bit Windows";
    EXPECT_TRUE(CommonModule::Is64BitWindows(L""));
    EXPECT_EQ(modRegistry::KeyViewFor(L"SOFTWARE\\Example").viewFlag, KEY_WOW64_64KEY);
  }
}

TEST_F(RegistryViewTest, ChoosesPathAndViewFlag) {
  const struct {
    bool is64;
    const wchar_t* path;
    const wchar_t* opened;
    REGSAM flag;
  } cases[] = {
      {true, L"SOFTWARE\\Example", L"SOFTWARE\\Example", KEY_WOW64_64KEY},
      {true, L"SOFTWARE\\Wow6432Node\\Example", L"software\\example", KEY_WOW64_32KEY},
      {true, L"A\\WOW6432NODE\\B\\Wow6432Node\\C", L"a\\b\\c", KEY_WOW64_32KEY},
      {true, L"SOFTWARE\\Wow6432Node", L"software\\wow6432node", KEY_WOW64_32KEY},
      {true, L"guest_software\\Wow6432Node\\Example", L"guest_software\\Wow6432Node\\Example", KEY_WOW64_64KEY},
      {true, L"GUEST_Software\\Wow6432Node\\Example", L"GUEST_Software\\Wow6432Node\\Example", KEY_WOW64_64KEY},
      {false, L"SOFTWARE\\Wow6432Node\\Example", L"SOFTWARE\\Wow6432Node\\Example", 0},
      {false, L"SOFTWARE\\Example", L"SOFTWARE\\Example", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "64-bit " << c.is64 << " path " << platform::ToUtf8(c.path));
    auto view = modRegistry::KeyViewFor(c.path, c.is64);
    EXPECT_EQ(view.keyPath, c.opened);
    EXPECT_EQ(view.viewFlag, c.flag);
  }
}

TEST_F(RegistryValueTest, Wow6432NodeReadsGoThroughTheStrippedPathInThe32BitView) {
  ASSERT_TRUE(modRegistry::Is64BitRegistry());
  const std::wstring through32 = std::wstring(L"SOFTWARE\\Wow6432Node\\") + testsupport::kTestsKeyName + L"\\" + name_;
  // Writes take the path literally, in the 64-bit view: the 32-bit view's key of the same name.
  ASSERT_EQ(fWriteValue(L"HKLM", through32, L"Where", L"S", L"32-bit"), 0);
  ASSERT_EQ(fWriteValue(L"HKLM", key_, L"Where", L"S", L"64-bit"), 0);
  std::wstring stored;
  ASSERT_TRUE(testsupport::RegRead(HKEY_LOCAL_MACHINE, through32, L"Where", stored));
  EXPECT_EQ(stored, L"32-bit");

  ExpectTextRead(L"HKLM", through32, L"Where", L"32-bit",
                 platform::Lower(std::wstring(testsupport::kTestsKey) + L"\\" + name_));
  ExpectTextRead(L"HKLM", key_, L"Where", L"64-bit", key_);
}

TEST_F(RegistryValueTest, Wow6432NodeInsideAGuestHiveIsReadUnchanged) {
  const std::wstring guestKey = key_ + L"\\guest_software\\Wow6432Node\\Example";
  ASSERT_EQ(fWriteValue(L"HKCU", guestKey, L"v", L"S", L"inside"), 0);
  ExpectTextRead(L"HKCU", guestKey, L"v", L"inside", guestKey);
}

// ---- Types ----------------------------------------------------------------------------------

TEST_F(RegistryValueTest, EachTypeRoundTrips) {
  const struct {
    const wchar_t* writeType;
    Variant written;
    DWORD storedType;
    const wchar_t* readType;
    Variant read;
  } cases[] = {
      {L"S", L"1", REG_SZ, L"S", L"1"},
      {L"s", L"", REG_SZ, L"S", L""},
      {L"S", int32_t{7}, REG_SZ, L"S", L"7"},
      {L"E", L"%SystemRoot%\\x", REG_EXPAND_SZ, L"S", L"%SystemRoot%\\x"},
      {L"D", int32_t{-5}, REG_DWORD, L"D", int32_t{-5}},
      {L"d", L"42", REG_DWORD, L"d", int32_t{42}},
      {L"D", true, REG_DWORD, L"D", int32_t{-1}},
      {L"D", Variant(), REG_DWORD, L"D", int32_t{0}},
      {L"B", true, REG_BINARY, L"B", true},
      {L"b", false, REG_BINARY, L"B", false},
      {L"B", int16_t{5}, REG_BINARY, L"B", int16_t{5}},
  };
  int index = 0;
  for (const auto& c : cases) {
    std::wstring name = L"v" + std::to_wstring(++index);
    SCOPED_TRACE(testing::Message() << "write " << platform::ToUtf8(c.writeType) << " ["
                                    << platform::ToUtf8(c.written.Text()) << "]");
    ASSERT_EQ(fWriteValue(L"HKCU", key_, name, c.writeType, c.written), 0);
    Raw raw = RawValue(HKEY_CURRENT_USER, key_, name);
    ASSERT_TRUE(raw.found);
    EXPECT_EQ(raw.type, c.storedType);
    auto read = ReadValue(L"hkcu", key_, name, c.readType, L"default");
    EXPECT_EQ(read.code, 0);
    EXPECT_EQ(read.value, c.read);
  }
  // Stored unexpanded and with its terminator.
  EXPECT_EQ(RawValue(HKEY_CURRENT_USER, key_, L"v4").bytes, Utf16Bytes(L"%SystemRoot%\\x"s + L'\0'));
  EXPECT_EQ(RawValue(HKEY_CURRENT_USER, key_, L"v9").bytes, std::string("\xff\xff", 2));
}

TEST_F(RegistryValueTest, MultiStringWritesAppendOneItem) {
  ASSERT_EQ(fWriteValue(L"HKCU", key_, L"List", L"M", L"b"), 0);
  EXPECT_EQ(RawValue(HKEY_CURRENT_USER, key_, L"List").bytes, Utf16Bytes(L"b\0\0"s));
  ASSERT_EQ(fWriteValue(L"HKCU", key_, L"List", L"m", L"c"), 0);
  ASSERT_EQ(fWriteValue(L"HKCU", key_, L"List", L"M", L"b"), 0);
  Raw raw = RawValue(HKEY_CURRENT_USER, key_, L"List");
  EXPECT_EQ(raw.type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_EQ(raw.bytes, Utf16Bytes(L"b\0c\0b\0\0"s));
  // The read keeps the NUL after the last item.
  EXPECT_EQ(ReadValue(L"HKCU", key_, L"List", L"M", L"").value, Variant(L"b\0c\0b\0"s));

  // Empty items of the stored list are dropped, so a list of only empty items ends up holding one.
  SetRaw(HKEY_CURRENT_USER, key_, L"Empty", REG_MULTI_SZ, Utf16Bytes(L"\0\0\0"s));
  ASSERT_EQ(fWriteValue(L"HKCU", key_, L"Empty", L"M", L"d"), 0);
  EXPECT_EQ(RawValue(HKEY_CURRENT_USER, key_, L"Empty").bytes, Utf16Bytes(L"d\0\0"s));
}

TEST_F(RegistryValueTest, ReadsOfStoredTypesThatDoNotMatchTheLetter) {
  SetRaw(HKEY_CURRENT_USER, key_, L"Dword", REG_DWORD, "ABCD");
  SetRaw(HKEY_CURRENT_USER, key_, L"Binary", REG_BINARY, std::string("\x01\x00\x02", 3));
  SetRaw(HKEY_CURRENT_USER, key_, L"Two", REG_BINARY, std::string("\x01\x00", 2));
  SetRaw(HKEY_CURRENT_USER, key_, L"Qword", REG_QWORD, std::string(8, '\x01'));
  SetRaw(HKEY_CURRENT_USER, key_, L"Nothing", REG_BINARY, "");
  SetRaw(HKEY_CURRENT_USER, key_, L"Text", REG_SZ, Utf16Bytes(L"text"s + L'\0'));
  SetRaw(HKEY_CURRENT_USER, key_, L"Unended", REG_SZ, Utf16Bytes(L"abc"));
  const struct {
    const wchar_t* name;
    const wchar_t* type;
    LONG code;
    Variant value;
  } cases[] = {
      // Bytes of other types come as characters, less the last byte.
      {L"Dword", L"S", 0, L"ABC"},
      {L"Binary", L"S", 0, L"\x01\0"s},
      {L"Binary", L"M", 0, L"\x01\0"s},
      {L"Nothing", L"S", 0, L""},
      {L"Unended", L"S", 0, L"abc"},
      {L"Two", L"B", 0, int16_t{1}},
      {L"Dword", L"B", ERROR_MORE_DATA, L"default"},
      {L"Qword", L"D", ERROR_MORE_DATA, L"default"},
      {L"Two", L"D", 0, int32_t{1}},
      // Letters that read nothing leave the default but succeed.
      {L"Text", L"E", 0, L"default"},
      {L"Text", L"X", 0, L"default"},
      {L"Text", L"", 0, L"default"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << platform::ToUtf8(c.name) << " as " << platform::ToUtf8(c.type));
    auto read = ReadValue(L"HKCU", key_, c.name, c.type, L"default");
    EXPECT_EQ(read.code, c.code);
    EXPECT_EQ(read.value, c.value);
  }
}

// ---- Failures -------------------------------------------------------------------------------

TEST_F(RegistryValueTest, FailuresDeliverTheDefaultAndTheirCode) {
  ASSERT_EQ(fWriteValue(L"HKCU", key_, L"There", L"S", L"x"), 0);
  ClearLog();
  const struct {
    const wchar_t* hive;
    std::wstring key;
    const wchar_t* name;
    LONG code;
  } cases[] = {
      {L"HKCU", key_, L"Missing", ERROR_FILE_NOT_FOUND},
      {L"HKCU", key_ + L"\\Missing", L"There", ERROR_FILE_NOT_FOUND},
      {L"HKEY_CURRENT_USER", key_, L"There", 99},
      {L"nowhere", key_, L"There", 99},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << platform::ToUtf8(c.hive) << " " << platform::ToUtf8(c.name));
    for (const Variant& defaultValue : {Variant(L""), Variant(int32_t{0}), Variant(L"0")}) {
      auto read = ReadValue(c.hive, c.key, c.name, L"S", defaultValue);
      EXPECT_EQ(read.code, c.code);
      EXPECT_EQ(read.value, defaultValue);
    }
  }
  // Reads that fail write no debug line.
  EXPECT_TRUE(Logged().empty());

  EXPECT_EQ(fWriteValue(L"HKEY_CURRENT_USER", key_, L"New", L"S", L"x"), 99);
  EXPECT_FALSE(RawValue(HKEY_CURRENT_USER, key_, L"New").found);
}

TEST_F(RegistryValueTest, WritesThatStoreNothing) {
  // An unknown letter stores nothing and is no failure.
  EXPECT_EQ(fWriteValue(L"HKCU", key_, L"Other", L"X", L"x"), 0);
  EXPECT_TRUE(testsupport::RegKeyExists(HKEY_CURRENT_USER, key_));
  EXPECT_FALSE(RawValue(HKEY_CURRENT_USER, key_, L"Other").found);
  // A value that is no number must not look stored.
  const struct {
    const wchar_t* type;
    Variant value;
  } refused[] = {
      {L"D", L"abc"},
      {L"D", L"99999999999"},
      {L"B", int32_t{40000}},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(testing::Message() << platform::ToUtf8(c.type) << " [" << platform::ToUtf8(c.value.Text()) << "]");
    EXPECT_EQ(fWriteValue(L"HKCU", key_, L"Number", c.type, c.value), ERROR_INVALID_DATA);
    EXPECT_FALSE(RawValue(HKEY_CURRENT_USER, key_, L"Number").found);
  }
}

// ---- INI mode -------------------------------------------------------------------------------

class RegistryIniTest : public testing::Test {
 protected:
  void SetUp() override {
    ini_ = dir_ / L"settings.ini";
    ASSERT_TRUE(testsupport::WriteTextFile(ini_, "[Config]\r\nName=abc\r\n"));
    CommonModule::DebugLogPath = dir_ / L"debug.log";
    CommonModule::DebugToFile = true;
  }
  void TearDown() override { CommonModule::DebugToFile = false; }
  std::vector<std::wstring> Logged() const { return LoggedLines(CommonModule::DebugLogPath); }
  ScratchDir dir_;
  std::wstring ini_;
};

TEST_F(RegistryIniTest, ReadsAndWritesText) {
  auto read = ReadValue(ini_, L"Config", L"Name", L"s", L"");
  EXPECT_EQ(read.code, 0);
  EXPECT_EQ(read.value, Variant(L"abc"));
  EXPECT_EQ(ReadValue(ini_, L"Config", L"Missing", L"S", L"0").value, Variant(L"0"));
  EXPECT_EQ(ReadValue(ini_, L"Config", L"Missing", L"S", int32_t{0}).value, Variant(L"0"));
  EXPECT_EQ(ReadValue(ini_, L"Nowhere", L"Name", L"S", L"").value, Variant(L""));

  EXPECT_EQ(fWriteValue(ini_, L"FilterModule", L"Enabled", L"S", L"1"), 0);
  EXPECT_EQ(ReadValue(ini_, L"FilterModule", L"Enabled", L"S", L"").value, Variant(L"1"));
  EXPECT_EQ(testsupport::ReadTextFile(ini_), L"[Config]\r\nName=abc\r\n[FilterModule]\r\nEnabled=1\r\n");

  // Texts are cut to 254 characters.
  std::wstring longText(300, L'x');
  EXPECT_EQ(fWriteValue(ini_, L"Config", L"Long", L"S", longText), 0);
  EXPECT_EQ(ReadValue(ini_, L"Config", L"Long", L"S", L"").value, Variant(longText.substr(0, 254)));
  EXPECT_TRUE(Logged().empty()) << "INI mode logs nothing";
}

// A file another program holds open keeps its old text; the write says so, and logs it.
TEST_F(RegistryIniTest, AWriteTheFileRefusesIsNoSuccess) {
  const std::wstring before = testsupport::ReadTextFile(ini_);
  platform::UniqueFileHandle lock(CreateFileW(ini_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock);
  const LONG code = fWriteValue(ini_, L"Config", L"Name", L"S", L"changed");
  lock.reset();
  EXPECT_NE(code, 0);
  EXPECT_NE(code, 99);
  EXPECT_EQ(testsupport::ReadTextFile(ini_), before);
  const auto lines = Logged();
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"\t\t- Passed Key: " + ini_ + L"\\Config"), lines.end())
      << "the refused write leaves its debug lines";
}

TEST_F(RegistryIniTest, OnlyTextIsServed) {
  auto read = ReadValue(ini_, L"Config", L"Name", L"D", int32_t{3});
  EXPECT_EQ(read.code, 0);
  EXPECT_EQ(read.value, Variant(int32_t{3}));
  for (const wchar_t* type : {L"D", L"E", L"M", L"B"}) {
    EXPECT_EQ(fWriteValue(ini_, L"Config", L"Other", type, L"1"), 99) << platform::ToUtf8(type);
  }
  EXPECT_EQ(testsupport::ReadTextFile(ini_), L"[Config]\r\nName=abc\r\n");
}

TEST_F(RegistryIniTest, HiddenOrMissingFilesAreUnknownHives) {
  SetFileAttributesW(ini_.c_str(), FILE_ATTRIBUTE_HIDDEN);
  auto read = ReadValue(ini_, L"Config", L"Name", L"S", L"default");
  EXPECT_EQ(read.code, 99);
  EXPECT_EQ(read.value, Variant(L"default"));
  EXPECT_EQ(fWriteValue(ini_, L"Config", L"Name", L"S", L"changed"), 99);
  SetFileAttributesW(ini_.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadValue(ini_, L"Config", L"Name", L"S", L"").value, Variant(L"abc"));

  const std::wstring missing = dir_ / L"missing.ini";
  EXPECT_EQ(ReadValue(missing, L"Config", L"Name", L"S", L"default").code, 99);
  EXPECT_EQ(fWriteValue(missing, L"Config", L"Name", L"S", L"x"), 99);
  EXPECT_FALSE(testsupport::FileExists(missing));
}

// ---- Debug lines ----------------------------------------------------------------------------

TEST_F(RegistryValueTest, DebugLines) {
  ASSERT_EQ(fWriteValue(L"HKCU", key_, L"Value", L"S", L"1"), 0);
  EXPECT_TRUE(Logged().empty()) << "a write that succeeds logs nothing";

  ASSERT_EQ(ReadValue(L"HKCU", key_, L"Value", L"S", L"").code, 0);
  ASSERT_EQ(ReadValue(L"HKCU", key_, L"Value", L"B", int32_t{0}).code, ERROR_MORE_DATA);
  const std::vector<std::wstring> read = {
      L"\tmodRegistry\\fReadValue: ",
      L"\t\t- Passed Key: HKCU\\" + key_,
      L"\t\t- Passed Value: Value",
      L"\t\t- Returned Value: 1",
      L"\t\t- lResult (0 is successful): 0",
  };
  EXPECT_EQ(Logged(), read);

  ClearLog();
  EXPECT_EQ(fWriteValue(L"HKEY_CURRENT_USER", key_, L"Value", L"S", L"1"), 99);
  EXPECT_EQ(fWriteValue(L"HKCU", key_, L"Value", L"D", L"abc"), ERROR_INVALID_DATA);
  const std::vector<std::wstring> failedWrites = {
      L"\tmodRegistry\\fWriteValue - VB ERROR: 0 ",
      L"\t\t- Passed Key: HKEY_CURRENT_USER\\" + key_,
      L"\t\t- Passed Value: Value",
      L"\t\t- lResult (0 is successful): 99",
      L"\tmodRegistry\\fWriteValue - VB ERROR: 13 Type mismatch",
      L"\t\t- Passed Key: HKCU\\" + key_,
      L"\t\t- Passed Value: Value",
      L"\t\t- lResult (0 is successful): 13",
  };
  EXPECT_EQ(Logged(), failedWrites);

  // Names the registry refuses: a key part over 255 characters fails the create, a value name over
  // 16383 characters the store.
  ClearLog();
  const std::wstring tooLongKey = key_ + L"\\" + std::wstring(300, L'k');
  const std::wstring tooLongValue(20000, L'v');
  EXPECT_EQ(fWriteValue(L"HKCU", tooLongKey, L"Value", L"S", L"1"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(fWriteValue(L"HKCU", key_, tooLongValue, L"S", L"1"), ERROR_INVALID_PARAMETER);
  const std::vector<std::wstring> refusedNames = {
      L"\tmodRegistry\\fWriteValue - VB ERROR: 0 ",
      L"\t\t- Passed Key: HKCU\\" + tooLongKey,
      L"\t\t- Passed Value: Value",
      L"\t\t- lResult (0 is successful): 87",
      L"\tmodRegistry\\fWriteValue: ",
      L"\t\t- Passed Key: HKCU\\" + key_,
      L"\t\t- Passed Value: " + tooLongValue,
      L"\t\t- lResult (0 is successful): 87",
  };
  EXPECT_EQ(Logged(), refusedNames);
}

}  // namespace
