// Capturing a console program's output: both streams or one, output larger than the pipe holds,
// code pages, a program that cannot start and one that never ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/TestSupport.h"
#include "common/modCmdOutput.h"

using modCmdOutput::GetCommandOutput;
using testsupport::ScratchDir;

namespace {

std::wstring Decode(const std::string& bytes, UINT codePage) {
  const int count = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), count);
  return text;
}

TEST(CommandOutput, CapturesEcho) {
  EXPECT_EQ(GetCommandOutput(L"cmd.exe /c echo hello world", true, false, true), L"hello world\r\n");
}

TEST(CommandOutput, ChoosesTheStreams) {
  const std::wstring command = L"cmd.exe /c echo out&echo err>&2";
  struct Case {
    bool out, err;
    const wchar_t* expected;
  };
  for (const Case& c : {Case{true, false, L"out\r\n"}, Case{false, true, L"err\r\n"}, Case{true, true, L"out\r\nerr\r\n"}}) {
    EXPECT_EQ(GetCommandOutput(command, c.out, c.err, false), c.expected) << c.out << c.err;
  }
}

TEST(CommandOutput, NeitherStreamGivesNothing) {
  EXPECT_EQ(GetCommandOutput(L"cmd.exe /c echo hello", false, false, true), L"");
}

TEST(CommandOutput, SilentProgramGivesEmptyText) {
  EXPECT_EQ(GetCommandOutput(L"cmd.exe /c rem", true, true, true), L"");
}

// Far more than the pipe holds arrives whole and in order.
TEST(CommandOutput, JoinsLongOutputInOrder) {
  ScratchDir dir;
  std::string bytes;
  for (int line = 0; bytes.size() < 300000; ++line) bytes += "line " + std::to_string(line) + " of the long output\r\n";
  ASSERT_TRUE(testsupport::WriteTextFile(dir / L"long.txt", bytes));
  const std::wstring text = GetCommandOutput(L"cmd.exe /c type " + dir / L"long.txt", true, false, false);
  EXPECT_EQ(text.size(), bytes.size());
  EXPECT_TRUE(text == Decode(bytes, CP_ACP));
}

TEST(CommandOutput, ReadsTheChosenCodePage) {
  ScratchDir dir;
  const std::string bytes = "Aufgabe \x81\x82\x8A\x94\r\n";
  ASSERT_TRUE(testsupport::WriteTextFile(dir / L"oem.txt", bytes));
  const std::wstring command = L"cmd.exe /c type " + dir / L"oem.txt";
  const std::wstring oem = GetCommandOutput(command, true, false, true);
  EXPECT_EQ(oem, Decode(bytes, CP_OEMCP));
  if (GetOEMCP() == 437) {
    EXPECT_EQ(oem, L"Aufgabe \u00FC\u00E9\u00E8\u00F6\r\n");
  }
  EXPECT_EQ(GetCommandOutput(command, true, false, false), Decode(bytes, CP_ACP));
}

TEST(CommandOutput, MissingProgramGivesTheFailureText) {
  const std::wstring command = L"C:\\no such folder\\nothing.exe /query";
  EXPECT_EQ(GetCommandOutput(command, true, false, true),
            L"Failed to create process, check the path of the command line:\r\n" + command);
}

// A program that never ends is ended after the time limit; what it wrote is kept.
TEST(CommandOutput, HangingProgramIsBounded) {
  ScratchDir dir;
  ASSERT_TRUE(testsupport::CopyProgram(L"fakeprog.exe", dir / L"hang.exe"));
  ASSERT_TRUE(testsupport::WriteTextFile(dir / L"hang.fake.ini", "[fake]\r\nsleepms=15000\r\n"));
  const DWORD started = GetTickCount();
  EXPECT_EQ(GetCommandOutput(L"\"" + dir / L"hang.exe" + L"\" /query", true, true, true, 1500), L"");
  const DWORD elapsed = GetTickCount() - started;
  EXPECT_GE(elapsed, 1400u);
  EXPECT_LT(elapsed, 30000u);

  // cmd writes first and then waits on a program that outlives the limit; that program keeps the
  // pipe open after cmd is ended, so it sleeps only a little longer than the limit.
  ASSERT_TRUE(testsupport::CopyProgram(L"fakeprog.exe", dir / L"slow.exe"));
  ASSERT_TRUE(testsupport::WriteTextFile(dir / L"slow.fake.ini", "[fake]\r\nsleepms=4000\r\n"));
  const DWORD nested = GetTickCount();
  EXPECT_EQ(GetCommandOutput(L"cmd.exe /c echo before&\"" + dir / L"slow.exe" + L"\"", true, false, false, 1500),
            L"before\r\n");
  EXPECT_LT(GetTickCount() - nested, 10000u);
}

}  // namespace
