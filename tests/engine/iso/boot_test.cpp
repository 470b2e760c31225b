// El Torito: the boot record and catalog bytes, media type by image size, and
// a bootable image written through TKavoBurner, read back by offsets.
#include "engine/iso/boot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/iso/layout.h"
#include "engine/kavo_burner.h"
#include "support/iso_reader.h"
#include "support/temp_dir.h"
#include "tree_fixture.h"

namespace {

namespace rd = testsupport::isoread;

bool AllZero(const std::vector<std::uint8_t>& b, std::size_t from, std::size_t to) {
  return std::all_of(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(to),
                     [](std::uint8_t x) { return x == 0; });
}

TEST(BootRecord, FieldsAtTheirOffsets) {
  const auto r = iso::MakeBootRecord(0x01020304);
  ASSERT_EQ(r.size(), 2048u);
  EXPECT_EQ(r[0], 0) << "boot record type";
  EXPECT_EQ(rd::Text(r, 1, 5), "CD001");
  EXPECT_EQ(r[6], 1);
  EXPECT_EQ(rd::Text(r, 7, 23), "EL TORITO SPECIFICATION");
  EXPECT_TRUE(AllZero(r, 30, 71)) << "system id padded with zeros, boot id zero";
  EXPECT_EQ(rd::Le32(r, 71), 0x01020304u);
  EXPECT_TRUE(AllZero(r, 75, 2048));
}

TEST(BootCatalog, ValidationAndInitialEntries) {
  const auto c = iso::MakeBootCatalog(0xA1B2C3D4, 720);
  ASSERT_EQ(c.size(), 2048u);
  EXPECT_EQ(c[0], 1) << "header id";
  EXPECT_EQ(c[1], 0) << "platform 80x86";
  EXPECT_EQ(rd::Le16(c, 2), 0);
  EXPECT_EQ(rd::Text(c, 4, 4), "Kavo");
  EXPECT_TRUE(AllZero(c, 8, 28)) << "id string padded with zeros";
  EXPECT_EQ(c[30], 0x55);
  EXPECT_EQ(c[31], 0xAA);
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < 32; i += 2) sum += rd::Le16(c, i);
  EXPECT_EQ(sum % 65536, 0u) << "validation entry words must sum to zero";

  EXPECT_EQ(c[32], 0x88) << "bootable";
  EXPECT_EQ(c[33], 2);
  EXPECT_EQ(rd::Le16(c, 34), 0) << "load segment";
  EXPECT_EQ(c[36], 0) << "system type";
  EXPECT_EQ(c[37], 0);
  EXPECT_EQ(rd::Le16(c, 38), 1) << "sector count";
  EXPECT_EQ(rd::Le32(c, 40), 0xA1B2C3D4u) << "load RBA";
  EXPECT_TRUE(AllZero(c, 44, 2048));
}

// Floppy emulation only for exactly a floppy's size; one sector more or less
// is a hard disk.
struct MediaCase {
  std::uint32_t Sectors;
  std::uint8_t Media;
};
class BootMediaType : public testing::TestWithParam<MediaCase> {};

TEST_P(BootMediaType, FollowsTheImageSectorCount) {
  const auto c = iso::MakeBootCatalog(30, GetParam().Sectors);
  EXPECT_EQ(c[33], GetParam().Media);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BootMediaType,
                         testing::Values(MediaCase{1228800 / 2048, 1}, MediaCase{1474560 / 2048, 2},
                                         MediaCase{2949120 / 2048, 3}, MediaCase{10 * 1048576 / 2048, 4},
                                         MediaCase{599, 4}, MediaCase{601, 4}, MediaCase{719, 4},
                                         MediaCase{721, 4}, MediaCase{1439, 4}, MediaCase{1441, 4},
                                         MediaCase{1, 4}));

TEST(BootLayout, AFloppySizedImageLeavesNoPadding) {
  isotest::Tree t;
  iso::LayoutOptions o;
  o.Joliet = false;
  o.Bootable = true;
  o.BootImageSectors = 720;
  const auto l = iso::ComputeLayout(t.Tables, o);
  // 16 PVD, 17 boot record, 18 terminator, 19/20 path tables, 21 root, 22 catalog.
  EXPECT_EQ(l.BootCatalogSector, 22u);
  EXPECT_EQ(l.BootImageSector, 23u);
  EXPECT_EQ(l.PaddingSectors, 0u);
  EXPECT_EQ(l.FirstFileSector, 23u + 720u);
  EXPECT_EQ(l.VolumeSpaceSize, 743u);
}

class BootBurner : public testing::Test {
 protected:
  testsupport::TempDir Dir;
  engine::TKavoBurner Burner;
};

TEST_F(BootBurner, PrepareLayoutSwitchesBootableOffWithoutAUsableImage) {
  const std::string empty = Dir.Write("empty.img", "");
  const std::string folder = Dir.MakeDir("folder.img");
  using engine::BootProblem;
  const std::vector<std::pair<std::string, BootProblem>> cases = {{std::string(), BootProblem::NoImage},
                                                                  {Dir.Str() + "/missing.img", BootProblem::Missing},
                                                                  {empty, BootProblem::Empty},
                                                                  {folder, BootProblem::NotAFile}};
  for (const auto& [name, why] : cases) {
    Burner.Bootable = true;
    Burner.BootImageFile = name;
    Burner.PrepareLayout(engine::LayoutTarget::ImageFile);
    EXPECT_FALSE(Burner.Bootable) << "'" << name << "'";
    EXPECT_EQ(Burner.LastBootProblem(), why) << "'" << name << "'";
    EXPECT_FALSE(Burner.CurrentLayout().Options.Bootable) << name;
    EXPECT_EQ(Burner.CurrentLayout().TerminatorSector, 18u) << "no boot record before the Joliet descriptor";
  }
}

TEST_F(BootBurner, PrepareLayoutRoundsTheImageUpToSectors) {
  for (const std::size_t size : {std::size_t{1}, std::size_t{2048}, std::size_t{3000}}) {
    Burner.Bootable = true;
    Burner.BootImageFile = Dir.Write("boot.img", std::string(size, 'b'));
    Burner.PrepareLayout(engine::LayoutTarget::ImageFile);
    EXPECT_TRUE(Burner.Bootable);
    EXPECT_EQ(Burner.LastBootProblem(), engine::BootProblem::None);
    EXPECT_EQ(Burner.CurrentLayout().BootImageSectors, (size + 2047) / 2048) << size;
  }
}

TEST_F(BootBurner, WrittenImageBootsFromTheCatalogsLoadRba) {
  const std::string image = testsupport::PatternContent(1474560, 7);
  const std::string data = testsupport::PatternContent(5000, 8);
  ASSERT_EQ(Burner.AddFileToCompilation("\\", Dir.Write("data.bin", data), false), 1);
  Burner.Bootable = true;
  Burner.BootImageFile = Dir.Write("floppy.img", image);
  std::string error = "not reported";
  Burner.OnWriteDone = [&error](engine::TKavoBurner&, const std::string& e) { error = e; };
  const std::string out = Dir.Str() + "/boot.iso";
  Burner.WriteImageFile(out, engine::SaveMode::Quick);
  ASSERT_EQ(error, "");

  const rd::Image img = rd::Image::FromFile(out);
  const auto descriptors = img.Descriptors();
  ASSERT_GE(descriptors.size(), 2u);
  ASSERT_EQ(descriptors[1].Type, 0) << "the boot record follows the primary descriptor";
  // With Joliet: 18 Joliet, 19 terminator, 20-23 path tables, 24/25 roots.
  const std::uint32_t catalog = rd::Le32(descriptors[1].Raw, 71);
  EXPECT_EQ(catalog, 26u);
  const auto cat = img.Sector(catalog);
  EXPECT_EQ(cat[33], 2) << "1.44 MB floppy";
  const std::uint32_t rba = rd::Le32(cat, 40);
  EXPECT_EQ(rba, catalog + 1);
  const auto boot = img.At(rba, image.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), boot.begin(),
                         [](char w, std::uint8_t g) { return static_cast<std::uint8_t>(w) == g; }));

  // No padding: the file follows the boot image directly.
  const auto files = img.Tree(descriptors[0].Root, false);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].Record.Extent, rba + 720);
  EXPECT_EQ(img.SectorCount(), rba + 720 + 3);
}

}  // namespace
