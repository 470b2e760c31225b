#include "appcore/tips.h"

#include <set>

#include <gtest/gtest.h>

#include "appcore/texts.h"
#include "support/temp_dir.h"

namespace {

using namespace appcore;

TEST(Tips, PicksOnlyExistingTipsWithDefaults) {
  testsupport::TempDir dir;
  std::mt19937 random(7);
  EXPECT_FALSE(PickTip(IniFile(dir.Str() + "/Tips.ini"), random).has_value());

  const IniFile tips(dir.Write("Tips.ini", "[Count]\nValue=3\n[1]\nTitle=one\nContent=c1\n[2]\nTitle=two\n[3]\nTitle=three\n"));
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const auto tip = PickTip(tips, random);
    ASSERT_TRUE(tip.has_value());
    seen.insert(tip->Title);
    if (tip->Title == "two") {
      EXPECT_EQ(tip->Content, texts::kNoContent);
    }
  }
  EXPECT_EQ(seen, (std::set<std::string>{"one", "two", "three"}));
}

TEST(VersionCheck, NewerRulePerEntryPoint) {
  struct Case {
    double Published;
    VersionCheckEntry Entry;
    bool Newer;
  } const cases[] = {
      {3.905, VersionCheckEntry::Automatic, false},     {3.906, VersionCheckEntry::Automatic, true},
      {3.905, VersionCheckEntry::ToolsMenuItem, false}, {3.91, VersionCheckEntry::ToolsMenuItem, true},
      {3.901, VersionCheckEntry::ToolsMenuTitle, true}, {3.9, VersionCheckEntry::ToolsMenuTitle, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsNewerVersion(c.Published, 3.9, c.Entry), c.Newer) << c.Published;
  EXPECT_STREQ(VersionCheckFailureText(VersionCheckEntry::ToolsMenuItem), texts::kCheckFailed);
  EXPECT_STREQ(VersionCheckFailureText(VersionCheckEntry::ToolsMenuTitle), texts::kDetectFailed);
}

TEST(VersionCheck, BodiesAndInstalledVersion) {
  EXPECT_EQ(ParseVersionNumber("2.0\r\n"), 2.0);
  EXPECT_EQ(ParseVersionNumber("4,1", ','), 4.1);
  for (const char* bad : {"", "abc", "2.0.1", "<html>", "1e5"}) EXPECT_FALSE(ParseVersionNumber(bad)) << bad;
  EXPECT_FALSE(ParseVersionNumber("2.0", ','));

  testsupport::TempDir dir;
  const InstalledVersion none = ReadInstalledVersion(IniFile(dir.Str() + "/Option.ini"));
  EXPECT_EQ(none.Text, "3.9");
  EXPECT_EQ(none.Number, 3.9);
  const InstalledVersion odd = ReadInstalledVersion(IniFile(dir.Write("Option.ini", "[General]\nVersion=4.2 beta\n")));
  EXPECT_EQ(odd.Text, "4.2 beta");
  EXPECT_EQ(odd.Number, 3.9);
}

}  // namespace
