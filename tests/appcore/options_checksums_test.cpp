// The Burning key that makes task and scheduled burns add checksums.
#include <gtest/gtest.h>

#include "appcore/options.h"
#include "support/temp_dir.h"

namespace {

TEST(OptionsChecksums, OnByDefaultAndKeptWhenTurnedOff) {
  testsupport::TempDir dir;
  const std::string path = dir.Str() + "/Option.ini";
  appcore::Options o;
  o.Checksums = false;
  o.LoadFromFile(path, "");
  EXPECT_TRUE(o.Checksums);
  o.Checksums = false;
  ASSERT_TRUE(o.SaveToFile(path, 6u << 20).Ok());
  appcore::Options back;
  back.LoadFromFile(path, "");
  EXPECT_FALSE(back.Checksums);
  EXPECT_NE(testsupport::ReadAll(path).size(), 0u);
  const auto bytes = testsupport::ReadAll(path);
  EXPECT_NE(std::string(bytes.begin(), bytes.end()).find("Checksums=0"), std::string::npos);
}

}  // namespace
