#include "appcore/source_size.h"

#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "engine/kavo_burner.h"
#include "support/temp_dir.h"

namespace {

using appcore::MeasureControl;
using appcore::MeasureSource;

// The drop's measurement must agree with what the burner's own measure
// gives, or the size bar and the burn check disagree with the burn.
TEST(SourceSize, AgreesWithTheBurnerOnFilesFoldersAndLinks) {
  testsupport::TempDir dir;
  dir.Write("tree/a.txt", std::string(1000, 'a'));
  dir.Write("tree/.hidden", std::string(10, 'h'));
  dir.Write("tree/sub/b.bin", std::string(5000, 'b'));
  dir.Write("tree/sub/deeper/c", "");
  dir.Write("tree/a*b(c).txt", std::string(7, 'x'));  // wildcard and task characters
  std::filesystem::create_directory_symlink(dir.Path() / "tree", dir.Path() / "tree" / "sub" / "loop");
  std::filesystem::create_symlink(dir.Path() / "missing", dir.Path() / "tree" / "dangling");

  engine::TKavoBurner burner;
  MeasureControl control;
  const std::string tree = dir.Str() + "/tree";
  const auto measured = MeasureSource(tree, control);
  ASSERT_TRUE(measured.has_value());
  EXPECT_EQ(*measured, 1000 + 10 + 5000 + 7);
  EXPECT_EQ(*measured, burner.MeasureSourceSize(tree + "/"));
  EXPECT_GE(control.EntriesSeen.load(), 6u);

  const auto file = MeasureSource(tree + "/a*b(c).txt", control);
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(*file, 7);
  // A source that vanished before the drop counts nothing and is no error.
  EXPECT_EQ(MeasureSource(dir.Str() + "/gone", control), std::optional<std::int64_t>(0));
}

TEST(SourceSize, StopsWhenCancelled) {
  testsupport::TempDir dir;
  for (int i = 0; i < 200; ++i) dir.Write("many/f" + std::to_string(i), "x");
  MeasureControl control;
  control.Cancel = true;
  EXPECT_FALSE(MeasureSource(dir.Str() + "/many", control).has_value());
  // A single file is done before any cancel is looked at.
  EXPECT_EQ(MeasureSource(dir.Str() + "/many/f0", control), std::optional<std::int64_t>(1));
}

}  // namespace
