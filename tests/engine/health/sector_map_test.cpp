// The map of unreadable sectors: written, read back, and refused when damaged.
#include <gtest/gtest.h>

#include "engine/health/sector_map.h"
#include "support/temp_dir.h"

namespace {

using health::SectorMap;
using health::SectorRange;

TEST(SectorMap, RoundTripsThroughTheFileAndMergesTouchingRanges) {
  SectorMap map;
  map.Sectors = 5000;
  map.Unreadable = {{10, 5}, {100, 1}, {4999, 1}};
  testsupport::TempDir dir;
  const std::string path = dir.Str() + "/disc.iso.map";
  ASSERT_TRUE(health::SaveSectorMap(path, map).Ok());
  auto loaded = health::LoadSectorMap(path);
  ASSERT_TRUE(loaded.Ok()) << loaded.Err().Message;
  EXPECT_EQ(loaded.Value().Sectors, 5000u);
  EXPECT_EQ(loaded.Value().Unreadable, map.Unreadable);
  EXPECT_EQ(loaded.Value().UnreadableSectors(), 7u);

  auto merged = health::ParseSectorMap("# note\nsectors 100\n\n1 2\n3 4\n  50\t1\r\n");
  ASSERT_TRUE(merged.Ok()) << merged.Err().Message;
  EXPECT_EQ(merged.Value().Unreadable, (std::vector<SectorRange>{{1, 6}, {50, 1}}));

  std::vector<SectorRange> grown;
  for (std::uint32_t lba : {3u, 4u, 5u, 9u}) health::AppendSector(grown, lba);
  EXPECT_EQ(grown, (std::vector<SectorRange>{{3, 3}, {9, 1}}));
}

TEST(SectorMap, RefusesMapsThatDoNotDescribeTheImage) {
  for (const char* text : {
           "",                            // no size
           "5 1\nsectors 10\n",           // range before the size
           "sectors 10\nsectors 10\n",    // two sizes
           "sectors 10\n8 3\n",           // past the end
           "sectors 10\n4 0\n",           // empty range
           "sectors 10\n5 1\n2 1\n",      // out of order
           "sectors 10\n2 3\n3 1\n",      // overlapping
           "sectors 10\n1 1 1\n",         // extra field
           "sectors 10\n-1 1\n",          // negative
           "sectors 99999999999\n",       // beyond 32 bits
           "sectors 4294967295\n4294967294 5\n",
       }) {
    EXPECT_FALSE(health::ParseSectorMap(text).Ok()) << text;
  }
  testsupport::TempDir dir;
  EXPECT_FALSE(health::LoadSectorMap(dir.Str() + "/missing.map").Ok());
}

}  // namespace
