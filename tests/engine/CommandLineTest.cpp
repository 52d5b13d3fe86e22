// Parsing the main program's command line into switches.
#include <gtest/gtest.h>

#include "engine/CommandLine.h"

using CommandLine::Parse;
using CommandLine::Switch;
using ProtectionCatalogue::Choice;

namespace {

std::vector<Switch> Ids(const CommandLine::ParseResult& r) {
  std::vector<Switch> ids;
  for (const auto& p : r.pieces) ids.push_back(p.id);
  return ids;
}

}  // namespace

TEST(CommandLineParse, WordsAreCaseInsensitiveAndBlanksAroundThemIgnored) {
  auto r = Parse(L"  /APPLY /AppData   /silent  ");
  EXPECT_FALSE(r.unknown);
  EXPECT_EQ(Ids(r), (std::vector<Switch>{Switch::Apply, Switch::Option, Switch::Silent}));
  EXPECT_EQ(r.pieces.at(1).choice, Choice::Appdata);
}

TEST(CommandLineParse, ALineWithoutSlashIsOnePiece) {
  auto r = Parse(L"apply");
  EXPECT_EQ(Ids(r), std::vector<Switch>{Switch::Apply});
}

TEST(CommandLineParse, OnlySlashesNameNoSwitch) {
  auto r = Parse(L"/ / //");
  EXPECT_FALSE(r.unknown);
  EXPECT_TRUE(r.pieces.empty());
}

TEST(CommandLineParse, LongerWordsAreNotTakenForShorterOnes) {
  const struct {
    const wchar_t* line;
    Switch id;
    Choice option;  // of Switch::Option
  } cases[] = {
      {L"/appdatadeep", Switch::Option, Choice::AppdataDeep},
      {L"/appdatalocal", Switch::Option, Choice::AppdataLocal},
      {L"/undoall", Switch::UndoAll},
      {L"/autoupdateapp", Switch::AutoUpdateApp},
      {L"/installerprompt", Switch::InstallerPrompt},
      {L"/uninstallerb", Switch::UninstallerB},
      {L"/bulkuninstaller", Switch::BulkUninstaller},
      {L"/allowprompt", Switch::AllowPrompt},
      {L"/noallowprompt", Switch::NoAllowPrompt},
      {L"/updateandapply", Switch::UpdateAndApply},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.line);
    const auto r = Parse(c.line);
    EXPECT_EQ(Ids(r), std::vector<Switch>{c.id});
    if (c.id == Switch::Option) {
      EXPECT_EQ(r.pieces.at(0).choice, c.option);
    }
  }
}

TEST(CommandLineParse, ValueIsTheTextAfterThePrefixTrimmedAndLowerCased) {
  struct Case {
    const wchar_t* line;
    Switch id;
    const wchar_t* value;
  } cases[] = {
      {L"/w=Foo.EXE ", Switch::WhitelistItem, L"foo.exe"},
      {L"/w=new=dir.exe", Switch::WhitelistItem, L"new=dir.exe"},  // the value keeps its own "w="-like text
      {L"/p= Tool.exe", Switch::WhitelistProgramData, L"tool.exe"},
      {L"/u=x.exe", Switch::WhitelistUserProfile, L"x.exe"},
      {L"/s=y.exe", Switch::WhitelistStartup, L"y.exe"},
      {L"/b=*\\evil*.exe", Switch::BlockRule, L"*\\evil*.exe"},
      {L"/a=C:\\Tools\\ok.exe", Switch::AllowRule, L"c:\\tools\\ok.exe"},
      {L"/w=", Switch::WhitelistItem, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.line);
    auto r = Parse(c.line);
    ASSERT_FALSE(r.unknown);
    ASSERT_EQ(r.pieces.size(), 1u);
    EXPECT_EQ(r.pieces[0].id, c.id);
    EXPECT_EQ(r.pieces[0].value, c.value);
  }
}

TEST(CommandLineParse, ASlashInsideAValueStartsTheNextPiece) {
  auto r = Parse(L"/w=Foo/Bar.exe");
  EXPECT_TRUE(r.unknown);
  EXPECT_EQ(r.unknownPiece, L"bar.exe");
}

TEST(CommandLineParse, FileClassMustBeLettersAndDigits) {
  struct Case {
    const wchar_t* line;
    bool accepted;
    const wchar_t* fileClass;
  } cases[] = {
      {L"/fs=scrfile", true, L"scrfile"},
      {L"/fc= piffile ", true, L"piffile"},
      {L"/fs =cplfile", true, L"cplfile"},
      {L"/fs=", false, L""},
      {L"/fs=scr file", false, L""},
      {L"/fs=scr\"&calc", false, L""},
      {L"/fs=..\\x", false, L""},
      {L"/fsx", false, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.line);
    auto r = Parse(c.line);
    EXPECT_EQ(r.unknown, !c.accepted);
    if (c.accepted) {
      ASSERT_EQ(r.pieces.size(), 1u);
      EXPECT_EQ(r.pieces[0].value, c.fileClass);
    }
  }
}

TEST(CommandLineParse, TheUnknownPieceIsReportedAsSplitAndParsingStops) {
  auto r = Parse(L"/apply /Bogus  /silent");
  EXPECT_TRUE(r.unknown);
  EXPECT_EQ(r.unknownPiece, L"bogus  ");
  EXPECT_EQ(Ids(r), std::vector<Switch>{Switch::Apply});
}

TEST(CommandLineParse, OnlyTheImmediateActionsEndMain) {
  EXPECT_TRUE(CommandLine::EndsMain(Switch::Test));
  EXPECT_TRUE(CommandLine::EndsMain(Switch::Installer));
  EXPECT_TRUE(CommandLine::EndsMain(Switch::BulkInstaller));
  EXPECT_FALSE(CommandLine::EndsMain(Switch::Uninstaller));
  EXPECT_FALSE(CommandLine::EndsMain(Switch::Apply));
  EXPECT_FALSE(CommandLine::EndsMain(Switch::Debug));
}
