// The icon reader of Windows executables, on executables built in the test
// and on damaged ones: every damage ends in an error, never in a crash, a
// hang or a read outside the file.
#include "appcore/pe_icon.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/pe_builder.h"
#include "support/temp_dir.h"

namespace {

using appcore::FirstIconGroup;
using appcore::PeIconStatus;
using testsupport::BuildPe;
using testsupport::IconDib;
using testsupport::PeRecipe;

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
         std::uint32_t{b[at + 3]} << 24;
}

PeRecipe TwoIcons(bool pe32Plus) {
  PeRecipe s;
  s.Pe32Plus = pe32Plus;
  s.Icons.push_back({5, 16, 16, 32, IconDib(16, 0xFF0000FF)});
  s.Icons.push_back({7, 32, 32, 32, IconDib(32, 0xFF00FF00)});
  return s;
}

TEST(PeIcon, FirstGroupOfBothHeaderKinds) {
  for (const bool plus : {false, true}) {
    SCOPED_TRACE(plus ? "PE32+" : "PE32");
    const PeRecipe recipe = TwoIcons(plus);
    const auto g = FirstIconGroup(BuildPe(recipe).Bytes);
    ASSERT_EQ(g.Status, PeIconStatus::Ok) << g.Error;
    ASSERT_EQ(g.Images.size(), 2u);
    EXPECT_EQ(g.Images[0].Width, 16u);
    EXPECT_EQ(g.Images[1].Height, 32u);
    EXPECT_EQ(g.Images[0].Data, recipe.Icons[0].Data);
    EXPECT_EQ(g.Images[1].Data, recipe.Icons[1].Data);
    EXPECT_EQ(appcore::ClosestIcon(g.Images, 32), 1);
    EXPECT_EQ(appcore::ClosestIcon(g.Images, 16), 0);
  }
}

TEST(PeIcon, SizesPngAndMissingPictures) {
  PeRecipe s;
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 1, 2, 3, 4};
  s.Icons.push_back({1, 0, 0, 32, png});  // 0 x 0 stands for 256 x 256
  s.MissingIds = {99};
  const auto g = FirstIconGroup(BuildPe(s).Bytes);
  ASSERT_EQ(g.Status, PeIconStatus::Ok) << g.Error;
  ASSERT_EQ(g.Images.size(), 1u);  // the missing one is left out
  EXPECT_EQ(g.Images[0].Width, 256u);
  EXPECT_TRUE(g.Images[0].IsPng());
  EXPECT_EQ(appcore::ClosestIcon({}, 32), -1);

  // A group whose every picture is missing is damaged, not empty.
  PeRecipe none;
  none.MissingIds = {3, 4};
  const auto missing = FirstIconGroup(BuildPe(none).Bytes);
  EXPECT_EQ(missing.Status, PeIconStatus::NotExecutable);
  EXPECT_FALSE(missing.Error.empty());
}

TEST(PeIcon, ExecutablesWithoutIcons) {
  PeRecipe noResources;
  noResources.WithResources = false;
  EXPECT_EQ(FirstIconGroup(BuildPe(noResources).Bytes).Status, PeIconStatus::NoIcon);
  PeRecipe noGroup = TwoIcons(false);
  noGroup.WithGroup = false;
  const auto g = FirstIconGroup(BuildPe(noGroup).Bytes);
  EXPECT_EQ(g.Status, PeIconStatus::NoIcon);
  EXPECT_FALSE(g.Error.empty());
}

TEST(PeIcon, FilesThatAreNoExecutable) {
  const std::string text = "just some text, long enough to hold a header or two .......................";
  const std::vector<std::uint8_t> bytes(text.begin(), text.end());
  EXPECT_EQ(FirstIconGroup(bytes).Status, PeIconStatus::NotExecutable);
  EXPECT_EQ(FirstIconGroup(std::vector<std::uint8_t>{}).Status, PeIconStatus::NotExecutable);
  EXPECT_EQ(FirstIconGroup(std::vector<std::uint8_t>{'M', 'Z'}).Status, PeIconStatus::NotExecutable);
  auto pe = BuildPe(TwoIcons(false)).Bytes;
  pe[0x41] = 'X';  // "PX\0\0"
  const auto g = FirstIconGroup(pe);
  EXPECT_EQ(g.Status, PeIconStatus::NotExecutable);
  EXPECT_NE(g.Error.find("not a Windows executable"), std::string::npos);
  auto far = BuildPe(TwoIcons(false)).Bytes;
  far[0x3C] = far[0x3D] = far[0x3E] = far[0x3F] = 0xFF;  // the PE header "past" 4 GiB
  EXPECT_EQ(FirstIconGroup(far).Status, PeIconStatus::NotExecutable);
  auto sections = BuildPe(TwoIcons(false)).Bytes;
  sections[0x46] = sections[0x47] = 0xFF;  // 65,535 sections
  EXPECT_EQ(FirstIconGroup(sections).Status, PeIconStatus::NotExecutable);
}

// Every prefix of a valid file, and every byte of its headers and resource
// tables set to 0xFF or 0x00: only valid results or errors, and an Ok one
// holds only bytes of the file.
TEST(PeIcon, TruncatedAndDamagedFilesNeverReadOutside) {
  const auto image = BuildPe(TwoIcons(false));
  const auto& good = image.Bytes;
  for (std::size_t n = 0; n < good.size(); n += 7) {
    const std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    const auto g = FirstIconGroup(cut);
    for (const auto& im : g.Images) EXPECT_LE(im.Data.size(), n);
  }
  for (std::size_t at = 0; at < image.ResourceOffset + 0x100 && at < good.size(); ++at) {
    for (const std::uint8_t v : {std::uint8_t{0xFF}, std::uint8_t{0x00}}) {
      auto bad = good;
      bad[at] = v;
      const auto g = FirstIconGroup(bad);
      if (g.Status != PeIconStatus::Ok) {
        EXPECT_FALSE(g.Error.empty()) << at;
      }
      for (const auto& im : g.Images) EXPECT_LE(im.Data.size(), appcore::kMaxIconBytes);
    }
  }
}

TEST(PeIcon, LoopsAndHugeSizesInTheResourceTable) {
  auto image = BuildPe(TwoIcons(false));
  // The RT_ICON entry of the root points back at the root itself.
  auto loop = image.Bytes;
  const std::size_t rootEntry = image.ResourceOffset + 16;
  loop[rootEntry + 4] = loop[rootEntry + 5] = loop[rootEntry + 6] = 0;
  loop[rootEntry + 7] = 0x80;
  const auto g = FirstIconGroup(loop);
  EXPECT_NE(g.Status, PeIconStatus::Ok);
  // The group's data entry claims 4 GiB.
  auto huge = image.Bytes;
  const std::uint32_t groupRva = 0x1000 + static_cast<std::uint32_t>(image.GroupDataOffset - image.ResourceOffset);
  for (std::size_t at = image.ResourceOffset; at + 8 <= huge.size(); ++at)
    if (Le32(huge, at) == groupRva) {
      huge[at + 4] = huge[at + 5] = huge[at + 6] = huge[at + 7] = 0xFF;
      break;
    }
  const auto big = FirstIconGroup(huge);
  EXPECT_EQ(big.Status, PeIconStatus::NotExecutable);
  // The group asks for 65,535 pictures; only those it holds are read.
  auto many = image.Bytes;
  many[image.GroupDataOffset + 4] = many[image.GroupDataOffset + 5] = 0xFF;
  const auto capped = FirstIconGroup(many);
  ASSERT_EQ(capped.Status, PeIconStatus::Ok);
  EXPECT_EQ(capped.Images.size(), 2u);
}

TEST(PeIcon, IcoFileLayoutAndReadingFromDisk) {
  const PeRecipe recipe = TwoIcons(true);
  const auto g = FirstIconGroup(BuildPe(recipe).Bytes);
  ASSERT_EQ(g.Status, PeIconStatus::Ok);
  const auto ico = appcore::BuildIcoFile(g.Images);
  ASSERT_EQ(ico.size(), 6 + 2 * 16 + recipe.Icons[0].Data.size() + recipe.Icons[1].Data.size());
  EXPECT_EQ(ico[2], 1);  // type: icon
  EXPECT_EQ(ico[4], 2);  // two pictures
  EXPECT_EQ(ico[6], 16);
  EXPECT_EQ(Le32(ico, 6 + 8), recipe.Icons[0].Data.size());
  const std::uint32_t second = Le32(ico, 6 + 16 + 12);
  EXPECT_EQ(second, 6 + 32 + recipe.Icons[0].Data.size());
  EXPECT_TRUE(std::equal(recipe.Icons[1].Data.begin(), recipe.Icons[1].Data.end(), ico.begin() + static_cast<std::ptrdiff_t>(second)));

  testsupport::TempDir dir;
  const std::string exe = dir.Str() + "/tool.exe";
  const auto bytes = BuildPe(recipe).Bytes;
  std::ofstream(exe, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const auto fromFile = appcore::FirstIconGroupOfFile(exe);
  ASSERT_EQ(fromFile.Status, PeIconStatus::Ok);
  EXPECT_EQ(fromFile.Images[1].Data, recipe.Icons[1].Data);
  const auto absent = appcore::FirstIconGroupOfFile(dir.Str() + "/absent.exe");
  EXPECT_EQ(absent.Status, PeIconStatus::NotExecutable);
  EXPECT_FALSE(absent.Error.empty());
}

}  // namespace
