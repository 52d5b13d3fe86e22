// Whole-key operations: listing subkeys, deleting values and key trees (with the fallbacks for
// keys that refuse), and export and import through reg.exe.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "tests/common/CommonTestHelpers.h"
#include "tests/common/KeyOpsTestHelpers.h"
#include "tests/support/ProductState.h"

using keyopstest::CreateKey;
using keyopstest::KeyExists;
using keyopstest::ScratchKey;
using modRegistry::fDeleteKey;
using modRegistry::fDeleteValue;
using modRegistry::fEnumKey;
using namespace std::string_literals;  // L"a\0b\0"s keeps its NULs

namespace {

bool ValueExists(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view = KEY_WOW64_64KEY) {
  platform::UniqueRegKey k;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, k.put()) != ERROR_SUCCESS) return false;
  return RegQueryValueExW(k.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// The text of a UTF-16LE file without its byte-order mark.
std::wstring ReadUtf16File(const std::wstring& path) {
  std::string bytes = testsupport::ReadFileBytes(path);
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
    bytes.erase(0, 2);
  std::wstring text(bytes.size() / 2, L'\0');
  std::memcpy(text.data(), bytes.data(), text.size() * 2);
  return text;
}

}  // namespace

class RegistryKeyOpsTest : public testing::Test {
 protected:
  ScratchKey key_;
  commontest::DebugCapture log_;
};

// ---- Listing --------------------------------------------------------------------------------

TEST_F(RegistryKeyOpsTest, ListsSubkeysEachFollowedByNulWithOneMoreNulAtTheEnd) {
  const struct {
    const wchar_t* name;
    std::vector<std::wstring> subkeys;
    std::wstring expected;
    std::wstring logged;
  } cases[] = {
      {L"two", {L"a", L"b"}, L"a\0b\0\0"s, L"a|b||"},
      {L"empty", {}, L"\0\0"s, L"||"},
      {L"blanks", {L" lead", L"trail "}, L" lead\0trail \0\0"s, L" lead|trail ||"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.name));
    const std::wstring path = key_ / c.name;
    ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, path));
    for (const auto& sub : c.subkeys) ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, path + L"\\" + sub));
    log_.Clear();
    std::wstring names;
    EXPECT_EQ(fEnumKey(L"HKLM", path, names), 0);
    EXPECT_EQ(names, c.expected);
    EXPECT_EQ(log_.Lines(), (std::vector<std::wstring>{L"\tmodRegistry\\fEnumKey: ", L"\t\t- Passed Key: HKLM\\" + path,
                                                       L"\t\t- Returned Values: " + c.logged,
                                                       L"\t\t- lResult (0 is successful): 259"}));
  }
}

TEST_F(RegistryKeyOpsTest, AMissingKeyOrUnknownHiveLeavesAnEmptyListAloneAndLogsNothing) {
  const struct {
    const wchar_t* hive;
    std::wstring path;
    LONG code;
  } cases[] = {
      {L"HKLM", key_ / L"missing", 2},
      {L"HKEY_LOCAL_MACHINE", key_.Path(), 99},
  };
  ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, key_.Path()));
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.hive));
    log_.Clear();
    std::wstring names;
    EXPECT_EQ(fEnumKey(c.hive, c.path, names), c.code);
    EXPECT_EQ(names, L"");
    // A list that already holds something gets one NUL.
    std::wstring earlier = L"x\0"s;
    EXPECT_EQ(fEnumKey(c.hive, c.path, earlier), c.code);
    EXPECT_EQ(earlier, L"x\0\0"s);
    EXPECT_TRUE(log_.Lines().empty());
  }
}

// ---- Value delete ---------------------------------------------------------------------------

TEST_F(RegistryKeyOpsTest, DeletesAValueAndCountsAMissingOneAsDeleted) {
  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, key_.Path(), L"Gone", L"1"));
  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, key_.Path(), L"Stays", L"1"));
  const struct {
    std::wstring key, value;
    bool notFound;
    const wchar_t* resultLine;
  } cases[] = {
      {key_.Path(), L"Gone", false, L"\t\t- lResult: 0 SUCCESS"},
      {key_.Path(), L"Gone", true, L"\t\t- lResult: 2 NOT FOUND"},
      {key_ / L"missing", L"Gone", true, L"\t\t- lResult: 2 NOT FOUND"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.key + L" " + c.value));
    log_.Clear();
    bool notFound = false;
    EXPECT_EQ(fDeleteValue(L"HKLM", c.key, c.value, notFound), 0);
    EXPECT_EQ(notFound, c.notFound);
    EXPECT_EQ(log_.Lines(), (std::vector<std::wstring>{L"\tmodRegistry\\fDeleteValue:", L"\t\t- Passed Key: HKLM\\" + c.key,
                                                       L"\t\t- Passed Value: " + c.value, c.resultLine}));
  }
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, key_.Path(), L"Gone"));
  EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, key_.Path(), L"Stays"));
}

TEST_F(RegistryKeyOpsTest, ValueDeleteInAnIniFileEmptiesTheKeyAndAnUnknownHiveDoesNothing) {
  testsupport::ScratchDir dir;
  const std::wstring ini = dir / L"settings.ini";
  ASSERT_TRUE(testsupport::WriteTextFile(ini, "[Config]\r\nName=value\r\nOther=2\r\n"));
  bool notFound = false;
  EXPECT_EQ(fDeleteValue(ini, L"Config", L"Name", notFound), 0);
  EXPECT_FALSE(notFound);
  EXPECT_EQ(testsupport::Lines(testsupport::ReadTextFile(ini)),
            (std::vector<std::wstring>{L"[Config]", L"Name=", L"Other=2"}));

  log_.Clear();
  EXPECT_EQ(fDeleteValue(L"HKEY_LOCAL_MACHINE", key_.Path(), L"Name", notFound), 99);
  EXPECT_EQ(log_.Lines(), (std::vector<std::wstring>{L"\tmodRegistry\\fDeleteValue - VB ERROR: 0 ",
                                                     L"\t\t- Key: HKEY_LOCAL_MACHINE\\" + key_.Path(),
                                                     L"\t\t- Value: Name", L"\t\t- lResult (0=Success 2=Not Found): 99"}));
}

// ---- Key delete -----------------------------------------------------------------------------

TEST_F(RegistryKeyOpsTest, DeletesAKeyWithItsWholeSubtreeAndLeavesItsSiblings) {
  const std::wstring victim = key_ / L"Victim";
  for (const auto& sub : {L"a\\b\\c", L"a\\d", L"e"}) ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, victim + L"\\" + sub));
  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, victim + L"\\a\\b\\c", L"deep", L"1"));
  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, victim, L"top", L"1"));
  ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, key_ / L"Victim2"));

  bool notFound = false;
  EXPECT_EQ(fDeleteKey(L"HKLM", key_.Path(), L"Victim", notFound), 0);
  EXPECT_FALSE(notFound);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, victim));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, key_ / L"Victim2"));
  auto lines = log_.Lines();
  // Deepest first: c goes before b, b before a.
  keyopstest::ExpectInOrder(lines, {L"\tmodRegistry\\fDeleteSubkeys passed: HKLM\\" + victim,
                                    L"\tmodRegistry\\fDeleteSubkeys passed: HKLM\\" + victim + L"\\a",
                                    L"\tmodRegistry\\fDeleteSubkeys passed: HKLM\\" + victim + L"\\a\\b",
                                    L"\tmodRegistry\\fDeleteSubkeys passed: HKLM\\" + victim + L"\\a\\b\\c",
                                    L"\tmodRegistry\\fDeleteSubkeys passed: HKLM\\" + victim + L"\\a\\d",
                                    L"\tmodRegistry\\fDeleteSubkeys passed: HKLM\\" + victim + L"\\e",
                                    L"\tmodRegistry\\fDeleteKey: ", L"\t\t- Key: HKLM\\" + victim,
                                    L"\t\t- lResult: 0 SUCCESS"});
  // A delete that worked widened no rights and ran no fallback.
  for (const auto& line : lines) EXPECT_EQ(line.find(L"Error"), std::wstring::npos) << platform::ToUtf8(line);
}

TEST_F(RegistryKeyOpsTest, AMissingKeyIsDeletedWithoutFallbackAndAnUnknownHiveNotAtAll) {
  ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, key_.Path()));
  bool notFound = false;
  EXPECT_EQ(fDeleteKey(L"HKLM", key_.Path(), L"missing", notFound), 0);
  EXPECT_TRUE(notFound);
  auto lines = log_.Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(std::vector<std::wstring>(lines.end() - 3, lines.end()),
            (std::vector<std::wstring>{L"\tmodRegistry\\fDeleteKey: ", L"\t\t- Key: HKLM\\" + key_ / L"missing",
                                       L"\t\t- lResult: 2 NOT FOUND"}));
  for (const auto& line : lines) EXPECT_EQ(line.find(L"Error:"), std::wstring::npos) << platform::ToUtf8(line);

  log_.Clear();
  notFound = false;
  EXPECT_EQ(fDeleteKey(L"HKCX", key_.Path(), L"missing", notFound), 99);
  EXPECT_FALSE(notFound);
  EXPECT_EQ(log_.Lines(), (std::vector<std::wstring>{L"\tmodRegistry\\fDeleteKey - VB ERROR: 0 ",
                                                     L"\t\t- Key: HKCX\\" + key_.Path() + L"\\missing",
                                                     L"\t\t- lResult (0=Success 2=Not Found): 99"}));
}

// Keys and values under Wow6432Node are those of the 32-bit view; the 64-bit key of the same name
// must survive.
TEST_F(RegistryKeyOpsTest, PathsThroughWow6432NodeWorkOnThe32BitView) {
  ASSERT_TRUE(modRegistry::Is64BitRegistry());
  const std::wstring wowParent = L"SOFTWARE\\Wow6432Node\\" + key_.Path().substr(std::wstring(L"Software\\").size());
  // The 32-bit key written through its path in the 64-bit view, the 64-bit one directly.
  for (const std::wstring& parent : {wowParent, key_.Path()}) {
    ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, parent + L"\\X\\Sub"));
    ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, parent + L"\\X", L"Value", L"1"));
  }
  ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, key_ / L"X\\Only32", KEY_WOW64_32KEY));

  std::wstring names;
  EXPECT_EQ(fEnumKey(L"HKLM", wowParent + L"\\X", names), 0);
  EXPECT_EQ(names, L"Only32\0Sub\0\0"s);

  bool notFound = false;
  EXPECT_EQ(fDeleteValue(L"HKLM", wowParent + L"\\X", L"Value", notFound), 0);
  EXPECT_FALSE(notFound);
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, key_ / L"X", L"Value", KEY_WOW64_32KEY));
  EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, key_ / L"X", L"Value", KEY_WOW64_64KEY));

  EXPECT_EQ(fDeleteKey(L"HKLM", wowParent, L"X", notFound), 0);
  EXPECT_FALSE(notFound);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key_ / L"X", KEY_WOW64_32KEY));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, key_ / L"X\\Sub", KEY_WOW64_64KEY));
}

// ---- Export and import ----------------------------------------------------------------------

TEST_F(RegistryKeyOpsTest, ExportReplacesAnOldFileAndImportBringsTheKeyBack) {
  testsupport::ScratchDir dir;
  const std::wstring file = dir / L"with blank\\backup.reg";
  CreateDirectoryW((dir / L"with blank").c_str(), nullptr);
  ASSERT_TRUE(testsupport::WriteTextFile(file, "old content that must go\r\n"));
  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, key_ / L"Class\\shell\\open\\command", L"", L"\"C:\\a b\\x.exe\" \"%1\""));
  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, key_ / L"Class", L"Name", L"Text"));

  ASSERT_TRUE(modRegistry::ExportRegKey(L"HKLM\\" + key_ / L"Class", file));
  const std::wstring exported = ReadUtf16File(file);
  EXPECT_EQ(exported.rfind(L"Windows Registry Editor Version 5.00", 0), 0u) << platform::ToUtf8(exported);
  EXPECT_EQ(exported.find(L"old content"), std::wstring::npos);
  EXPECT_NE(exported.find(L"\"Name\"=\"Text\""), std::wstring::npos);

  keyopstest::RemoveKeyTree(HKEY_LOCAL_MACHINE, key_ / L"Class");
  ASSERT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key_ / L"Class"));
  modRegistry::ImportRegFile(file, true);
  std::wstring text;
  EXPECT_TRUE(testsupport::RegRead(HKEY_LOCAL_MACHINE, key_ / L"Class", L"Name", text));
  EXPECT_EQ(text, L"Text");
  EXPECT_TRUE(testsupport::RegRead(HKEY_LOCAL_MACHINE, key_ / L"Class\\shell\\open\\command", L"", text));
  EXPECT_EQ(text, L"\"C:\\a b\\x.exe\" \"%1\"");
}

TEST_F(RegistryKeyOpsTest, ExportIsFalseWhenNothingWasWritten) {
  testsupport::ScratchDir dir;
  const std::wstring file = dir / L"backup.reg";
  // A missing key: reg.exe writes nothing, and the old file is not taken for the export.
  ASSERT_TRUE(testsupport::WriteTextFile(file, "old"));
  EXPECT_FALSE(modRegistry::ExportRegKey(L"HKLM\\" + key_ / L"missing", file));
  EXPECT_FALSE(testsupport::FileExists(file));
  // A quote would end reg.exe's argument early: nothing is run.
  ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, key_.Path()));
  EXPECT_FALSE(modRegistry::ExportRegKey(L"HKLM\\" + key_.Path() + L"\" \"HKLM\\Software", file));
  EXPECT_FALSE(testsupport::FileExists(file));
}

// ---- The fallbacks for keys and values that refuse ------------------------------------------

namespace {

// Access lists that make a delete fail. The fallbacks widen the rights of this account (USER),
// never those of Everyone (WD).
constexpr const wchar_t* kUserMayNotWrite = L"D:P(D;CI;KW;;;USER)(A;CI;KA;;;WD)";
constexpr const wchar_t* kNobodyMayWrite = L"D:P(D;CI;KW;;;WD)(A;CI;KA;;;WD)";
constexpr const wchar_t* kNobodyMayLink = L"D:P(D;CI;0x20;;;WD)(A;CI;KA;;;WD)";
constexpr const wchar_t* kNobodyMayWriteOrList = L"D:P(D;CI;0x2000E;;;WD)(A;CI;KA;;;WD)";

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

}  // namespace

class RegistryFallbackTest : public testing::Test {
 protected:
  std::wstring SubinaclKeyCall(const std::wstring& action, const std::wstring& fullKey) const {
    return Quoted(probe_.Folder() + L"subinacl.exe") + L" " + action + L" " + Quoted(fullKey) +
           L" /setowner=administrators /grant=" + platform::ProcessAccountName() + L"=f";
  }
  std::wstring PsexecCall(const std::wstring& parameter) const {
    return Quoted(probe_.Folder() + L"3rd Party Tools\\psexec.exe") + L" -accepteula -s -i " + probe_.Folder() + L"DelReg.exe " +
           parameter;
  }

  ScratchKey key_;
  keyopstest::KeyOpsProbe probe_;
};

// A key with a subkey whose subtree walk is refused cannot go; what the chain does next depends on
// who is refused.
TEST_F(RegistryFallbackTest, ARefusedKeyDeleteRunsRightsRetryRegExeAndDelRegInThatOrder) {
  const struct {
    const wchar_t* name;
    const wchar_t* dacl;
    LONG result;
    bool gone;
    bool regExeRuns;
    const wchar_t* resultLine;
  } cases[] = {
      // The rights step lifts this account's refusal: the retry succeeds.
      {L"rights", kUserMayNotWrite, 0, true, false, L"\t\t- lResult: 0 SUCCESS"},
      // Everyone is refused a right the subtree walk asks for and reg.exe does not: reg.exe removes it.
      {L"regexe", kNobodyMayLink, 0, true, true, L"\t\t- lResult: 2 NOT FOUND"},
      // Nothing removes it: the refused retry's code is reported.
      {L"survives", kNobodyMayWriteOrList, 5, false, true, L"\t\t- lResult (0=Success 2=Not Found): 5"},
  };
  probe_.PlaceAllFakes();
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.name));
    probe_.ClearTimeline();
    const std::wstring victim = key_ / c.name;
    ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, victim + L"\\Child"));
    ASSERT_TRUE(keyopstest::SetKeyDacl(HKEY_LOCAL_MACHINE, victim, c.dacl));
    const std::wstring ownerBefore = keyopstest::KeyOwner(HKEY_LOCAL_MACHINE, victim);
    const std::wstring childDaclBefore = keyopstest::KeyDacl(HKEY_LOCAL_MACHINE, victim + L"\\Child");

    auto out = probe_.Run({L"delkey", L"HKLM", key_.Path(), c.name});
    EXPECT_EQ(out[L"result"], std::to_wstring(c.result));
    EXPECT_EQ(out[L"notFound"], c.gone && c.regExeRuns ? L"True" : L"False");
    EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, victim), !c.gone);

    const std::wstring fullName = L"HKLM\\" + victim;
    const std::wstring error = L"\tmodRegistry\\fDeleteKey - Error:  5";
    std::vector<std::wstring> expected = {
        error,
        L"\t\tKey:  " + fullName,
        L"\t\t- Attempting second run using subinacl...",
        SubinaclKeyCall(L"/keyreg", L"HKEY_LOCAL_MACHINE\\" + victim),
        SubinaclKeyCall(L"/subkeyreg", L"HKEY_LOCAL_MACHINE\\" + victim),
    };
    std::vector<std::wstring> calls = {expected[3], expected[4]};
    if (c.regExeRuns) {
      const std::wstring psexec = PsexecCall(L"key=HKLM," + key_.Path() + L"," + c.name);
      for (const auto& line : {error, L"\t\tKey:  " + fullName,
                               L"\tmodRegistry\\fDeleteKey:  Still not working, attempting deletion with reg.exe"s,
                               L"\t\tcmd:  reg.exe delete " + Quoted(fullName) + L" /f", psexec})
        expected.push_back(line);
      calls.push_back(psexec);
    }
    for (const auto& line : {L"\tmodRegistry\\fDeleteKey: "s, L"\t\t- Key: " + fullName, std::wstring(c.resultLine)})
      expected.push_back(line);

    auto timeline = probe_.TimelineLines();
    keyopstest::ExpectInOrder(timeline, expected);
    EXPECT_EQ(probe_.Calls(), calls) << keyopstest::Dump(timeline);
    EXPECT_EQ(keyopstest::CountOf(timeline, error), c.regExeRuns ? 2u : 1u);
    if (!c.gone) {
      // The key stayed: the rights the fallback gave are taken back, on the key and its subkey.
      EXPECT_EQ(keyopstest::KeyDacl(HKEY_LOCAL_MACHINE, victim), keyopstest::NormalDacl(c.dacl));
      EXPECT_EQ(keyopstest::KeyOwner(HKEY_LOCAL_MACHINE, victim), ownerBefore);
      EXPECT_EQ(keyopstest::KeyDacl(HKEY_LOCAL_MACHINE, victim + L"\\Child"), childDaclBefore);
    }
  }
}

TEST_F(RegistryFallbackTest, ARefusedValueDeleteTakesRightsAndRunsDelRegBeforeItsOneRetry) {
  // The token's account, never one named by the environment.
  const std::wstring account = platform::ProcessAccountName();
  const struct {
    const wchar_t* hive;
    HKEY root;
    const wchar_t* dacl;
    LONG result;
    bool subinaclRuns;
  } cases[] = {
      {L"HKLM", HKEY_LOCAL_MACHINE, kUserMayNotWrite, 0, true},
      {L"HKLM", HKEY_LOCAL_MACHINE, kNobodyMayWrite, 5, true},
      // subinacl is not used with this root, and the key's rights are not touched under it.
      {L"HKCC", HKEY_CURRENT_CONFIG, kUserMayNotWrite, 5, false},
  };
  probe_.PlaceAllFakes();
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << platform::ToUtf8(c.hive) << " " << platform::ToUtf8(c.dacl));
    probe_.ClearTimeline();
    const std::wstring path = key_ / (L"V" + std::to_wstring(++index));
    ASSERT_TRUE(testsupport::RegWriteString(c.root, path, L"Setting", L"1"));
    ASSERT_TRUE(keyopstest::SetKeyDacl(c.root, path, c.dacl));

    auto out = probe_.Run({L"delvalue", c.hive, path, L"Setting"});
    EXPECT_EQ(out[L"result"], std::to_wstring(c.result));
    EXPECT_EQ(out[L"notFound"], L"False");
    EXPECT_EQ(ValueExists(c.root, path, L"Setting"), c.result != 0);
    // A value that stays leaves its key with the rights it had.
    if (c.result) {
      EXPECT_EQ(keyopstest::KeyDacl(c.root, path), keyopstest::NormalDacl(c.dacl));
    }

    std::vector<std::wstring> calls;
    std::vector<std::wstring> expected;
    if (c.subinaclRuns) {
      const std::wstring start = Quoted(probe_.Folder() + L"subinacl.exe") + L" /subkeyreg " +
                                 Quoted(L"hkey_local_machine\\" + path) + L" ";
      calls = {start + L"/setowner=" + account, start + L"/sgrant=" + account + L"=F",
               start + L"/grant=" + account + L"=F"};
      expected = calls;
    } else {
      expected = {L"\tmodRegistry\\fDeleteValue:  TopKeys supported: HKLM, HKCU, HKU, HKCR", L"\t\t- Passed: HKCC",
                  L"\t\tThere may be an error in code."};
    }
    calls.push_back(PsexecCall(L"value=" + std::wstring(c.hive) + L"," + path + L",Setting"));
    expected.push_back(calls.back());
    for (const auto& line :
         {L"\tmodRegistry\\fDeleteValue:"s, L"\t\t- Passed Key: " + std::wstring(c.hive) + L"\\" + path,
          L"\t\t- Passed Value: Setting"s,
          c.result ? L"\t\t- lResult (0=Success 2=Not Found): 5"s : L"\t\t- lResult: 0 SUCCESS"s})
      expected.push_back(line);

    auto timeline = probe_.TimelineLines();
    keyopstest::ExpectInOrder(timeline, expected);
    EXPECT_EQ(probe_.Calls(), calls) << keyopstest::Dump(timeline);
    keyopstest::RemoveKeyTree(c.root, path);
  }
  keyopstest::RemoveKeyTree(HKEY_CURRENT_CONFIG, key_.Path());
  RegDeleteKeyW(HKEY_CURRENT_CONFIG, testsupport::kTestsKey);  // only when no one else's key is left
}

TEST_F(RegistryFallbackTest, NothingMissingOrDeletableRunsAnOutsideProgram) {
  probe_.PlaceAllFakes();
  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, key_ / L"Plain", L"Setting", L"1"));
  const struct {
    std::vector<std::wstring> arguments;
    const wchar_t* notFound;
  } cases[] = {
      {{L"delvalue", L"HKLM", key_ / L"Plain", L"Setting"}, L"False"},
      {{L"delvalue", L"HKLM", key_ / L"Plain", L"Setting"}, L"True"},
      {{L"delvalue", L"HKLM", key_ / L"Missing", L"Setting"}, L"True"},
      {{L"delkey", L"HKLM", key_.Path(), L"Plain"}, L"False"},
      {{L"delkey", L"HKLM", key_.Path(), L"Plain"}, L"True"},
      {{L"delkey", L"HKLM", key_ / L"Missing", L"Plain"}, L"True"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.arguments[0] + L" " + c.arguments[2] + L" " + c.arguments[3]));
    auto out = probe_.Run(c.arguments);
    EXPECT_EQ(out[L"result"], L"0");
    EXPECT_EQ(out[L"notFound"], c.notFound);
  }
  EXPECT_TRUE(probe_.Calls().empty()) << keyopstest::Dump(probe_.TimelineLines());
}

TEST_F(RegistryFallbackTest, WithoutPsexecDelRegRunsAsThisUserAndWithoutTheToolsTheirStepsAreSkipped) {
  const std::wstring delReg = probe_.PlaceFake(L"DelReg.exe");
  const std::wstring path = key_ / L"V";
  ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, path, L"Setting", L"1"));
  ASSERT_TRUE(keyopstest::SetKeyDacl(HKEY_LOCAL_MACHINE, path, kNobodyMayWrite));
  auto out = probe_.Run({L"delvalue", L"HKLM", path, L"Setting"});
  EXPECT_EQ(out[L"result"], L"5");
  // No subinacl beside the program: only DelReg.exe was started, directly.
  EXPECT_EQ(probe_.Calls(), std::vector<std::wstring>{delReg + L" value=HKLM," + path + L",Setting"});
  keyopstest::ExpectInOrder(probe_.TimelineLines(), {L"\tShellX:  Cannot find PSEXEC.EXE"});
}
