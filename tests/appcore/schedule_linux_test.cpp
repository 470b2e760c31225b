// The scheduled-start entry as an XDG autostart file, and the date order
// of the C locale.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "appcore/schedule.h"
#include "appcore/texts.h"
#include "platform/autostart.h"
#include "platform/time_zone.h"
#include "support/temp_dir.h"

namespace {

using namespace appcore;
using platform::DateOrder;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(DueRule, TheCLocaleWritesMonthFirst) {
  const char* old = std::getenv("LC_ALL");
  const std::string saved = old != nullptr ? old : "";
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(platform::ShortDateOrder(), DateOrder::MonthDayYear);
  if (old != nullptr) setenv("LC_ALL", saved.c_str(), 1);
  else unsetenv("LC_ALL");
}

TEST(ScheduledStart, EntryFollowsAutoExecuteAndTasks) {
  testsupport::TempDir dir;
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old != nullptr ? old : "";
  setenv("XDG_CONFIG_HOME", dir.Str().c_str(), 1);
  const std::string entry = dir.Str() + "/autostart/zantic-schedule.desktop";
  EXPECT_EQ(platform::AutostartEntryPath(kScheduledStartName), entry);

  ASSERT_TRUE(UpdateScheduledStart(true, 0, "/opt/z/zantic").Ok());
  EXPECT_FALSE(std::filesystem::exists(entry));
  ASSERT_TRUE(UpdateScheduledStart(true, 1, "/opt/my apps/zantic").Ok());
  const std::string text = ReadText(entry);
  EXPECT_NE(text.find("Name=Zantic Schedule\n"), std::string::npos);
  EXPECT_NE(text.find("Exec=\"/opt/my apps/zantic\" \"-Schedule\"\n"), std::string::npos) << text;
  ASSERT_TRUE(UpdateScheduledStart(true, 2, "/elsewhere/zantic").Ok());
  EXPECT_EQ(ReadText(entry), text) << "an existing entry is not rewritten";
  ASSERT_TRUE(UpdateScheduledStart(false, 2, "/opt/z/zantic").Ok());
  EXPECT_FALSE(std::filesystem::exists(entry));

  if (old != nullptr) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
