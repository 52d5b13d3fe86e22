// The typed registry calls of platform/Registry.h: what each read gives for each stored type, the
// view a key is opened in, what the writes store, and the key's own life; and modRegistry's typed
// reads of one setting, built on them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "common/Variant.h"
#include "common/modRegistry.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::string_literals;  // L"a\0b\0"s keeps its NULs
using platform::RegistryKey;
using platform::RegistryView;

std::vector<BYTE> Bytes(const std::wstring& text) {
  const auto* start = reinterpret_cast<const BYTE*>(text.data());
  return std::vector<BYTE>(start, start + text.size() * sizeof(wchar_t));
}
std::vector<BYTE> Bytes(std::initializer_list<BYTE> bytes) { return bytes; }

// A key of its own under HKLM's tests key, in both views, removed afterwards.
class TypedRegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    name_ = L"TypedRegistry-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount());
    key_ = std::wstring(testsupport::kTestsKey) + L"\\" + name_;
    key32_ = std::wstring(L"Software\\Wow6432Node\\") + testsupport::kTestsKeyName + L"\\" + name_;
  }
  void TearDown() override {
    testsupport::RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, key_);
    testsupport::RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, key32_);
  }
  void Store(const std::wstring& value, DWORD type, const std::vector<BYTE>& bytes) const {
    ASSERT_TRUE(testsupport::RegWriteRaw(HKEY_LOCAL_MACHINE, key_, value, type, bytes.data(),
                                         static_cast<DWORD>(bytes.size())));
  }
  RegistryKey Opened(REGSAM access = KEY_QUERY_VALUE) const {
    RegistryKey key;
    EXPECT_EQ(key.Open(HKEY_LOCAL_MACHINE, key_, access, platform::NativeView()), ERROR_SUCCESS);
    return key;
  }

  std::wstring name_, key_, key32_;  // key32_: the 32-bit view's key of the same name, as the 64-bit view sees it
};

TEST_F(TypedRegistryTest, EachStoredTypeReadsAsTextAsNumberOrNotAtAll) {
  const std::wstring longText(5000, L'x');  // far past the MAX_PATH buffers readers once had
  const struct {
    const wchar_t* value;
    DWORD type;
    std::vector<BYTE> bytes;
    LONG textCode;
    std::wstring text;
    LONG numberCode;
    DWORD number;
  } cases[] = {
      {L"text", REG_SZ, Bytes(L"abc\0"s), 0, L"abc", ERROR_UNSUPPORTED_TYPE, 0},
      {L"unterminated", REG_SZ, Bytes(L"abc"s), 0, L"abc", ERROR_UNSUPPORTED_TYPE, 0},
      {L"empty", REG_SZ, {}, 0, L"", ERROR_UNSUPPORTED_TYPE, 0},
      {L"long", REG_SZ, Bytes(longText + L'\0'), 0, longText, ERROR_UNSUPPORTED_TYPE, 0},
      {L"unexpanded", REG_EXPAND_SZ, Bytes(L"%SystemRoot%\\x\0"s), 0, L"%SystemRoot%\\x", ERROR_UNSUPPORTED_TYPE, 0},
      {L"list", REG_MULTI_SZ, Bytes(L"a\0b\0\0"s), ERROR_UNSUPPORTED_TYPE, L"", ERROR_UNSUPPORTED_TYPE, 0},
      {L"number", REG_DWORD, Bytes({7, 1, 0, 0}), ERROR_UNSUPPORTED_TYPE, L"", 0, 263},
      {L"short number", REG_DWORD, Bytes({7, 0}), ERROR_UNSUPPORTED_TYPE, L"", ERROR_INVALID_DATA, 0},
      {L"four bytes", REG_BINARY, Bytes({7, 0, 0, 0}), ERROR_UNSUPPORTED_TYPE, L"", ERROR_UNSUPPORTED_TYPE, 0},
      {L"text of a number", REG_SZ, Bytes(L"1\0"s), 0, L"1", ERROR_UNSUPPORTED_TYPE, 0},
      {L"text past a NUL", REG_SZ, Bytes(L"1\0off\0"s), 0, L"1", ERROR_UNSUPPORTED_TYPE, 0},
  };
  for (const auto& c : cases) Store(c.value, c.type, c.bytes);
  const RegistryKey key = Opened();
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.value));
    std::wstring text = L"untouched";
    DWORD type = REG_NONE;
    EXPECT_EQ(key.ReadText(c.value, text, type), c.textCode);
    EXPECT_EQ(text, c.textCode == 0 ? c.text : L"untouched");
    if (c.textCode == 0) EXPECT_EQ(type, c.type);
    DWORD number = 99;
    EXPECT_EQ(key.ReadNumber(c.value, number), c.numberCode);
    EXPECT_EQ(number, c.numberCode == 0 ? c.number : 99u);
    DWORD rawType = REG_NONE;
    std::vector<BYTE> raw;
    EXPECT_EQ(key.ReadBytes(c.value, rawType, raw), 0);
    EXPECT_EQ(rawType, c.type);
    // Wine hands a text stored without its NUL back with one added; Windows may or may not.
    if (c.bytes != Bytes(L"abc"s)) EXPECT_EQ(raw, c.bytes);
  }
  std::wstring text;
  DWORD number = 0, type = 0;
  std::vector<BYTE> raw;
  EXPECT_EQ(key.ReadText(L"missing", text), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.ReadNumber(L"missing", number), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.ReadBytes(L"missing", type, raw), ERROR_FILE_NOT_FOUND);
}

// A 32-bit program on 64-bit Windows sees the 32-bit view unless it asks: the view given is the
// one read and written, and the machine's own view is the 64-bit one.
TEST_F(TypedRegistryTest, TheViewGivenIsTheViewUsed) {
  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, key32_, L"Where", L"32-bit"));
  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, key_, L"Where", L"64-bit"));
  EXPECT_EQ(platform::NativeView(), RegistryView::Bits64) << "the tests run on 64-bit Windows";
  EXPECT_EQ(platform::ReadRegistryText(HKEY_LOCAL_MACHINE, key_, L"Where"), L"64-bit");
  EXPECT_EQ(platform::ReadRegistryText(HKEY_LOCAL_MACHINE, key_, L"Where", RegistryView::Bits64), L"64-bit");
  EXPECT_EQ(platform::ReadRegistryText(HKEY_LOCAL_MACHINE, key_, L"Where", RegistryView::Bits32), L"32-bit");

  RegistryKey written;
  ASSERT_EQ(written.Create(HKEY_LOCAL_MACHINE, key_ + L"\\new", KEY_SET_VALUE, RegistryView::Bits32), 0);
  ASSERT_EQ(written.WriteText(L"Where", L"created in 32"), 0);
  std::wstring stored;
  EXPECT_TRUE(testsupport::RegRead(HKEY_LOCAL_MACHINE, key32_ + L"\\new", L"Where", stored));
  EXPECT_EQ(stored, L"created in 32");
  EXPECT_FALSE(testsupport::RegKeyExists(HKEY_LOCAL_MACHINE, key_ + L"\\new"));
}

TEST_F(TypedRegistryTest, WritesStoreWhatWindowsKeepsForEachType) {
  RegistryKey key;
  ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, key_ + L"\\a\\b", KEY_SET_VALUE, platform::NativeView()), 0)
      << "the keys on the way are made too";
  const int16_t truth = -1;
  ASSERT_EQ(key.WriteText(L"text", L"abc"), 0);
  ASSERT_EQ(key.WriteText(L"unexpanded", L"%SystemRoot%", REG_EXPAND_SZ), 0);
  ASSERT_EQ(key.WriteText(L"list", L"a\0b\0"s, REG_MULTI_SZ), 0);
  ASSERT_EQ(key.WriteNumber(L"number", 0xFFFFFFFE), 0);
  ASSERT_EQ(key.WriteBytes(L"truth", REG_BINARY, &truth, sizeof truth), 0);
  const struct {
    const wchar_t* value;
    DWORD type;
    std::vector<BYTE> bytes;
  } stored[] = {
      {L"text", REG_SZ, Bytes(L"abc\0"s)},
      {L"unexpanded", REG_EXPAND_SZ, Bytes(L"%SystemRoot%\0"s)},
      {L"list", REG_MULTI_SZ, Bytes(L"a\0b\0\0"s)},
      {L"number", REG_DWORD, Bytes({0xFE, 0xFF, 0xFF, 0xFF})},
      {L"truth", REG_BINARY, Bytes({0xFF, 0xFF})},
  };
  for (const auto& s : stored) {
    SCOPED_TRACE(platform::ToUtf8(s.value));
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    ASSERT_TRUE(testsupport::RegReadRaw(HKEY_LOCAL_MACHINE, key_ + L"\\a\\b", s.value, type, bytes));
    EXPECT_EQ(type, s.type);
    EXPECT_EQ(bytes, s.bytes);
  }
  ASSERT_EQ(key.DeleteValue(L"text"), 0);
  EXPECT_EQ(key.DeleteValue(L"text"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.Close(), 0);
}

TEST_F(TypedRegistryTest, AKeyOpensListsItsSubkeysAndValuesAndClosesOnce) {
  for (const wchar_t* child : {L"one", L" two ", L"three"})
    ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, key_ + L"\\" + child, L"v", L"x"));
  const std::wstring longName(1000, L'n');  // far past the 256 characters a value listing once had room for
  for (const std::wstring& value : {std::wstring(), std::wstring(L" b "), longName})
    Store(value, REG_DWORD, Bytes({1, 0, 0, 0}));
  RegistryKey key = Opened(KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE);
  std::vector<std::wstring> values{L"kept"};
  EXPECT_EQ(key.ValueNames(values), 0);
  std::sort(values.begin() + 1, values.end());
  EXPECT_EQ(values, (std::vector<std::wstring>{L"kept", L"", L" b ", longName}))
      << "the unnamed value and blanks kept, no name cut short";
  std::vector<std::wstring> names{L"kept"};
  EXPECT_EQ(key.SubkeyNames(names), 0);
  std::sort(names.begin() + 1, names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"kept", L" two ", L"one", L"three"}))
      << "appended to what the list held, blanks kept";
  RegistryKey leaf;
  ASSERT_EQ(leaf.Open(HKEY_LOCAL_MACHINE, key_ + L"\\one", KEY_ENUMERATE_SUB_KEYS, platform::NativeView()), 0);
  std::vector<std::wstring> none;
  EXPECT_EQ(leaf.SubkeyNames(none), 0);
  EXPECT_TRUE(none.empty());

  EXPECT_TRUE(key);
  EXPECT_EQ(key.Close(), 0);
  EXPECT_FALSE(key);
  EXPECT_EQ(key.Close(), ERROR_INVALID_HANDLE) << "nothing is closed twice";

  RegistryKey missing;
  EXPECT_EQ(missing.Open(HKEY_LOCAL_MACHINE, key_ + L"\\absent", KEY_QUERY_VALUE, platform::NativeView()),
            ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(missing);
}

TEST_F(TypedRegistryTest, OneTextReadWholeIsEmptyForAnythingButText) {
  Store(L"text", REG_SZ, Bytes(L"on\0"s));
  Store(L"unexpanded", REG_EXPAND_SZ, Bytes(L"%SystemRoot%\0"s));
  Store(L"number", REG_DWORD, Bytes({1, 0, 0, 0}));
  const struct {
    std::wstring key;
    const wchar_t* value;
    const wchar_t* text;
  } cases[] = {
      {key_, L"text", L"on"},
      {key_, L"unexpanded", L"%SystemRoot%"},
      {key_, L"number", L""},
      {key_, L"missing", L""},
      {key_ + L"\\absent", L"text", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.key + L" " + c.value));
    EXPECT_EQ(platform::ReadRegistryText(HKEY_LOCAL_MACHINE, c.key, c.value), c.text);
  }
}

// The settings the programs read by name go through modRegistry's road, typed: the same text or
// number as its lettered read, and the same debug lines, which name every value read (the tests of
// the filter module's reads go by them). A secret's value is not shown there either.
TEST_F(TypedRegistryTest, ASettingReadWholeGivesAndLogsWhatTheLetteredReadDoes) {
  testsupport::ScratchDir scratch;
  const std::wstring log = scratch / L"debug.log";
  CommonModule::DebugLogPath = log;
  CommonModule::DebugToFile = true;
  const auto logged = [&log] {
    std::vector<std::wstring> lines;
    if (testsupport::FileExists(log))
      for (const auto& line : testsupport::Lines(testsupport::ReadTextFile(log)))
        lines.push_back(line.substr(std::min(line.find(L'\t'), line.size())));  // the time of day varies
    DeleteFileW(log.c_str());
    return lines;
  };
  Store(L"text", REG_SZ, Bytes(L"1\0"s));
  Store(L"unexpanded", REG_EXPAND_SZ, Bytes(L"%SystemRoot%\0"s));
  Store(L"number", REG_DWORD, Bytes({7, 0, 0, 0}));
  Store(L"SMTPPassword", REG_SZ, Bytes(L"secret\0"s));
  const struct {
    std::wstring key;
    const wchar_t* value;
  } cases[] = {
      {key_, L"text"}, {key_, L"unexpanded"}, {key_, L"number"}, {key_, L"SMTPPassword"},
      {key_, L"missing"}, {key_ + L"\\absent", L"text"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.key + L" " + c.value));
    logged();
    Variant lettered;
    modRegistry::fReadValue(L"HKLM", c.key, c.value, L"S", Variant(L""), lettered);
    const std::vector<std::wstring> letteredLines = logged();
    EXPECT_EQ(modRegistry::ReadText(HKEY_LOCAL_MACHINE, c.key, c.value), lettered.Text());
    EXPECT_EQ(logged(), letteredLines);
    modRegistry::fReadValue(L"HKLM", c.key, c.value, L"D", Variant(int32_t{0}), lettered);
    logged();
    int32_t number = -1;
    ASSERT_TRUE(lettered.ToLong(number));
    EXPECT_EQ(modRegistry::ReadNumber(HKEY_LOCAL_MACHINE, c.key, c.value), number);
  }
  // What the comparison stands on: a value read is named, its text shown unless it is a secret.
  modRegistry::ReadText(HKEY_LOCAL_MACHINE, key_, L"text");
  const std::vector<std::wstring> named = logged();
  EXPECT_NE(std::find(named.begin(), named.end(), L"\t\t- Passed Value: text"), named.end()) << named.size();
  EXPECT_NE(std::find(named.begin(), named.end(), L"\t\t- Returned Value: 1"), named.end());
  EXPECT_EQ(modRegistry::ReadNumber(HKEY_LOCAL_MACHINE, key_, L"number"), 7);
  modRegistry::ReadText(HKEY_LOCAL_MACHINE, key_, L"SMTPPassword");
  for (const std::wstring& line : logged()) EXPECT_EQ(line.find(L"secret"), std::wstring::npos);
  CommonModule::DebugToFile = false;
}

}  // namespace
