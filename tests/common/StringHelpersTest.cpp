// Path and text trimming helpers.
#include <gtest/gtest.h>

#include "common/CommonModule.h"

using namespace CommonModule;

TEST(StripPath, TakesTheTextAfterTheLastBackslash) {
  EXPECT_EQ(StripPath(L"C:\\a\\b.txt"), L"b.txt");
  EXPECT_EQ(StripPath(L"b.txt"), L"b.txt");
  EXPECT_EQ(StripPath(L"C:\\a\\"), L"");
}

TEST(StripNameFromPath, TakesTheFolderPart) {
  EXPECT_EQ(StripNameFromPath(L"C:\\a\\b.txt"), L"C:\\a");
  EXPECT_EQ(StripNameFromPath(L"C:\\b.txt"), L"C:");
  EXPECT_EQ(StripNameFromPath(L"b.txt"), L"");
  EXPECT_EQ(StripNameFromPath(L""), L"");
  EXPECT_EQ(StripNameFromPathNoDebug(L"b.txt"), L"");
  EXPECT_EQ(StripNameFromPathNoDebug(L"C:\\x\\y"), L"C:\\x");
}

TEST(Strip, RemovesEveryOccurrenceIncludingOnesARemovalCreates) {
  EXPECT_EQ(Strip(L"aabb", L"ab"), L"");
  EXPECT_EQ(Strip(L"\"C:\\Program Files\\x.exe\"", L"\""), L"C:\\Program Files\\x.exe");
  EXPECT_EQ(Strip(L"aA", L"A"), L"a");
  EXPECT_EQ(Strip(L"abc", L""), L"abc");
}

struct DelimiterCase {
  const wchar_t* text;
  const wchar_t* delimiter;
  bool first, trimLeading, trimTrailing;
  const wchar_t* end;        // StripEndOfString
  const wchar_t* beginning;  // StripBeginningOfString
};

TEST(StripEndAndBeginningOfString, SplitAtFirstOrLastDelimiter) {
  const DelimiterCase cases[] = {
      {L"k=v=w", L"=", true, false, false, L"k", L"v=w"},
      {L"k=v=w", L"=", false, false, false, L"k=v", L"w"},
      {L"=v", L"=", true, false, false, L"", L"v"},
      {L"kvw", L"=", true, false, false, L"kvw", L"kvw"},
      {L"k = v", L"=", true, true, true, L"k", L"v"},
      {L"  k = v  ", L"=", true, false, true, L"  k", L" v"},
      {L"  k = v  ", L"=", true, true, false, L"k ", L"v  "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "text [" << c.text << "] first=" << c.first);
    EXPECT_EQ(StripEndOfString(c.text, c.delimiter, c.first, c.trimLeading, c.trimTrailing), c.end);
    EXPECT_EQ(StripBeginningOfString(c.text, c.delimiter, c.first, c.trimLeading, c.trimTrailing), c.beginning);
  }
}

TEST(StripRepeatedCharacters, RemovesRunsAtEitherEnd) {
  EXPECT_EQ(StripTrailingCharacters(L"path\\\\\\", L"\\"), L"path");
  EXPECT_EQ(StripTrailingCharacters(L"\\\\", L"\\"), L"");
  EXPECT_EQ(StripTrailingCharacters(L"path\\\\", L"\\\\"), L"path\\\\");  // a longer text never matches
  EXPECT_EQ(StripPreceedingCharacters(L"  x", L" "), L"x");
  EXPECT_EQ(StripPreceedingCharacters(L"   ", L" "), L"");
  EXPECT_EQ(StripPreceedingCharacters(L"x  ", L" "), L"x  ");
}
