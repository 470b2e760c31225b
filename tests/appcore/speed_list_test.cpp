#include "appcore/speed_list.h"

#include <gtest/gtest.h>

namespace {

TEST(SpeedList, EntriesTurnBackIntoSpeeds) {
  using appcore::SpeedTextToKBps;
  EXPECT_EQ(SpeedTextToKBps("16X (2,822 KB/s)", 2), 2832u);
  EXPECT_EQ(SpeedTextToKBps("8X (1,411 KB/s)", 3), 1416u);
  EXPECT_EQ(SpeedTextToKBps("4.0X (5,540 KB/s)", 5), 5540u);
  EXPECT_EQ(SpeedTextToKBps("8.0X (11,080 KB/s)", 11), 11080u);
  EXPECT_EQ(SpeedTextToKBps("2.4X (3,324 KB/s)", 10), 3324u);
  for (const char* none : {"", "Max", "X", "fast", "1e9X", "-4X"}) EXPECT_EQ(SpeedTextToKBps(none, 2), 0u) << none;
  EXPECT_EQ(appcore::RestoreSpeedIndex(3, 5), 3u);
  EXPECT_EQ(appcore::RestoreSpeedIndex(5, 5), 0u);
  EXPECT_EQ(appcore::RestoreSpeedIndex(-1, 5), 0u);
}

}  // namespace
