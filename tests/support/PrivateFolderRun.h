#pragma once
// What a recording fake tells of a program that the elevated program fetched and ran: it ran once,
// from a fresh private folder in the Windows folder's Temp, and did not stay behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "platform/Text.h"
#include "tests/support/ProductState.h"

namespace testsupport {

// calls: the fake's recorded command lines; tail: the file name and parameters, as "x.exe /silent".
inline void ExpectOneRunFromAPrivateFolder(const std::vector<std::wstring>& calls, const std::wstring& tail) {
  ASSERT_EQ(calls.size(), 1u);
  wchar_t windows[MAX_PATH] = {};
  ASSERT_NE(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  const std::wstring call = platform::Lower(calls[0]);
  EXPECT_TRUE(platform::StartsWith(call, platform::Lower(std::wstring(windows) + L"\\Temp\\" + kProductName + L"-{")))
      << platform::ToUtf8(calls[0]);
  EXPECT_TRUE(platform::EndsWith(call, L"}\\" + platform::Lower(tail))) << platform::ToUtf8(calls[0]);
  const std::wstring program = calls[0].substr(0, calls[0].find(L' '));
  EXPECT_EQ(GetFileAttributesW(program.c_str()), INVALID_FILE_ATTRIBUTES) << "left behind: " << platform::ToUtf8(program);
}

}  // namespace testsupport
