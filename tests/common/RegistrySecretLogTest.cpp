// The debug log of a registry read: a value that holds a password (the stored mail password,
// scrambled or plain) is logged as read, never with its text; other values keep their text.
#include <gtest/gtest.h>
#include <windows.h>

#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

TEST(RegistryReadLog, APasswordIsNeverWrittenToTheDebugLog) {
  const std::wstring key = L"Software\\IlatchSecretLogTest" + std::to_wstring(GetCurrentProcessId());
  struct Case {
    const wchar_t* value;
    const wchar_t* text;
    bool shown;
  };
  const Case cases[] = {
      {L"EmailPassword", L"s3cret-mail-password", false},
      {L"SMTPPassword", L"another-s3cret", false},
      {L"SMTPServer", L"mail.example.com", true},
  };
  ScratchDir dir;
  CommonModule::DebugToFile = true;
  CommonModule::DebugLogPath = dir / L"debug.log";
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value);
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, key, c.value, c.text));
    Variant result;
    ASSERT_EQ(modRegistry::fReadValue(L"HKCU", key, c.value, L"S", Variant(L""), result), ERROR_SUCCESS);
    EXPECT_EQ(result.Text(), c.text) << "the caller still gets the value";
    const std::wstring log = ReadTextFile(dir / L"debug.log");
    EXPECT_NE(log.find(c.value), std::wstring::npos) << "the read itself is logged";
    EXPECT_EQ(log.find(c.text) != std::wstring::npos, c.shown);
  }
  CommonModule::DebugToFile = false;
  RegDeleteTreeQuiet(HKEY_CURRENT_USER, key);
}
