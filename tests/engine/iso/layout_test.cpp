#include "engine/iso/layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tree_fixture.h"

namespace {

using isotest::Tree;

iso::LayoutOptions Options(bool joliet, std::uint32_t sessionStart = 0) {
  iso::LayoutOptions o;
  o.Joliet = joliet;
  o.SessionStart = sessionStart;
  return o;
}

// Distinct names of a given length: a number padded with 'X'.
std::string NameOfLength(std::size_t index, std::size_t length) {
  std::string s = std::to_string(index);
  s.resize(length, 'X');
  return s;
}

// Two-character ISO names: 36 * 36 distinct ones.
std::string TwoChars(std::size_t i) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  return {kAlphabet[i / 36], kAlphabet[i % 36]};
}

struct EmptyCase {
  bool Joliet;
  std::uint32_t JolietSector, Terminator, IsoL, IsoM, JolietL, JolietM, IsoDir, JolietDir, Padding;
};

class EmptyLayout : public testing::TestWithParam<EmptyCase> {};

TEST_P(EmptyLayout, PlacesEveryStructureAndPadsTo150) {
  const EmptyCase& c = GetParam();
  Tree t;
  const iso::SessionLayout l = iso::ComputeLayout(t.Tables, Options(c.Joliet));
  EXPECT_EQ(l.PrimarySector, 16u);
  EXPECT_EQ(l.BootRecordSector, 0u);
  EXPECT_EQ(l.JolietSector, c.JolietSector);
  EXPECT_EQ(l.TerminatorSector, c.Terminator);
  EXPECT_EQ(l.IsoLPathSector, c.IsoL);
  EXPECT_EQ(l.IsoMPathSector, c.IsoM);
  EXPECT_EQ(l.JolietLPathSector, c.JolietL);
  EXPECT_EQ(l.JolietMPathSector, c.JolietM);
  EXPECT_EQ(l.IsoDirStart, c.IsoDir);
  EXPECT_EQ(l.JolietDirStart, c.JolietDir);
  EXPECT_EQ(l.IsoPathTableSize, 10u);
  EXPECT_EQ(l.JolietPathTableSize, c.Joliet ? 10u : 0u);
  EXPECT_EQ(t.Root()->IsoDirSize, 2048);
  EXPECT_EQ(t.Root()->JolietDirSize, c.Joliet ? 2048 : 0);
  EXPECT_EQ(l.PaddingSectors, c.Padding);
  EXPECT_EQ(l.FirstFileSector, 150u);
  EXPECT_EQ(l.FileSectors, 0u);
  EXPECT_EQ(l.VolumeSpaceSize, 150u);
  EXPECT_EQ(l.SectorsToWrite, 150u);
  ASSERT_EQ(l.PathOrder.size(), 1u);
  EXPECT_EQ(l.PathOrder[0], t.Root());
}

INSTANTIATE_TEST_SUITE_P(Layout, EmptyLayout,
                         testing::Values(EmptyCase{false, 0, 17, 18, 19, 0, 0, 20, 0, 129},  // padding 21..149
                                         EmptyCase{true, 17, 18, 19, 20, 21, 22, 23, 24, 125}));  // 25..149

TEST(Layout, SessionAt30000StartsItsDescriptorsThereWithoutPadding) {
  Tree t;
  iso::TFEntry* f = t.File(t.Root(), "data.bin", "DATA.BIN", 5000);
  const iso::SessionLayout l = iso::ComputeLayout(t.Tables, Options(true, 30000));
  EXPECT_EQ(l.SessionStart, 30000u);
  EXPECT_EQ(l.PrimarySector, 30016u);
  EXPECT_EQ(l.JolietSector, 30017u);
  EXPECT_EQ(l.TerminatorSector, 30018u);
  EXPECT_EQ(l.IsoLPathSector, 30019u);
  EXPECT_EQ(l.JolietMPathSector, 30022u);
  EXPECT_EQ(l.IsoDirStart, 30023u);
  EXPECT_EQ(l.JolietDirStart, 30024u);
  EXPECT_EQ(l.PaddingSectors, 0u);
  EXPECT_EQ(l.FirstFileSector, 30025u);
  EXPECT_EQ(f->Extent, 0);
  EXPECT_EQ(l.VolumeSpaceSize, 30028u);  // 5000 bytes take 3 sectors
  EXPECT_EQ(l.SectorsToWrite, 28u);
}

TEST(Layout, BootableSessionPutsRecordCatalogAndImageInOrder) {
  Tree t;
  iso::LayoutOptions o = Options(true);
  o.Bootable = true;
  o.BootImageSectors = 3;
  const iso::SessionLayout l = iso::ComputeLayout(t.Tables, o);
  EXPECT_EQ(l.BootRecordSector, 17u);
  EXPECT_EQ(l.JolietSector, 18u);
  EXPECT_EQ(l.TerminatorSector, 19u);
  EXPECT_EQ(l.IsoLPathSector, 20u);
  EXPECT_EQ(l.IsoDirStart, 24u);
  EXPECT_EQ(l.JolietDirStart, 25u);
  EXPECT_EQ(l.BootCatalogSector, 26u);
  EXPECT_EQ(l.BootImageSector, 27u);
  EXPECT_EQ(l.BootImageSectors, 3u);
  EXPECT_EQ(l.PaddingSectors, 120u);  // 30..149
  EXPECT_EQ(l.FirstFileSector, 150u);
}

TEST(Layout, FilesTakeSectorsInCreationOrderAcrossDirectories) {
  Tree t;
  iso::TDEntry* a = t.Dir(t.Root(), "A", "A");
  iso::TFEntry* inA = t.File(a, "two.bin", "TWO.BIN", 2049);     // 2 sectors
  iso::TFEntry* one = t.File(t.Root(), "one.bin", "ONE.BIN", 1);  // 1 sector
  iso::TFEntry* empty = t.File(t.Root(), "empty.bin", "EMPTY.BIN", 0);
  iso::TDEntry* b = t.Dir(a, "B", "B");
  iso::TFEntry* inB = t.File(b, "four.bin", "FOUR.BIN", 4096);  // 2 sectors
  iso::TFEntry* imported = t.File(b, "old.bin", "OLD.BIN", 5000);
  imported->Imported = true;
  imported->Extent = imported->JolietExtent = 777;
  iso::TFEntry* last = t.File(t.Root(), "last.bin", "LAST.BIN", 2048);

  const iso::SessionLayout l = iso::ComputeLayout(t.Tables, Options(true));
  EXPECT_EQ(inA->Extent, 0);
  EXPECT_EQ(one->Extent, 2);
  EXPECT_EQ(empty->Extent, 0);
  EXPECT_EQ(inB->Extent, 3);
  EXPECT_EQ(imported->Extent, 777) << "imported files keep their absolute sector";
  EXPECT_EQ(last->Extent, 5);
  for (const iso::TFEntry* f : {inA, one, empty, inB, imported, last}) EXPECT_EQ(f->JolietExtent, f->Extent);
  EXPECT_EQ(l.FileSectors, 6u);
  EXPECT_EQ(l.FirstFileSector, 150u);
  EXPECT_EQ(l.VolumeSpaceSize, 156u);

  // Subdirectory entries carry their directory's place and sizes.
  for (iso::TDEntry* d : {a, b}) {
    EXPECT_EQ(d->Self->Extent, d->IsoDirSector);
    EXPECT_EQ(d->Self->JolietExtent, d->JolietDirSector);
    EXPECT_EQ(d->Self->RecordedSize, d->IsoDirSize);
    EXPECT_EQ(d->Self->SourceSize, d->JolietDirSize);
  }
  // Directories sit in creation order, each on its own sectors.
  EXPECT_EQ(t.Root()->IsoDirSector, 0);
  EXPECT_EQ(a->IsoDirSector, 1);
  EXPECT_EQ(b->IsoDirSector, 2);
  EXPECT_EQ(b->JolietDirSector, 2);
  EXPECT_EQ(l.JolietDirStart, l.IsoDirStart + 3);
}

TEST(Layout, DirectoriesAreNumberedByDepthParentAndBytewiseName) {
  Tree t;
  // Created in an order that differs from the numbering at every level.
  iso::TDEntry* b = t.Dir(t.Root(), "b", "B");
  iso::TDEntry* z = t.Dir(b, "z", "Z");
  iso::TDEntry* eAcute = t.Dir(t.Root(), "\xC3\xA9", "_");  // "é": bytes above every ASCII letter
  iso::TDEntry* ab = t.Dir(t.Root(), "ab", "AB");
  iso::TDEntry* a = t.Dir(t.Root(), "a", "A");
  iso::TDEntry* y = t.Dir(b, "y", "Y");
  iso::TDEntry* q = t.Dir(a, "q", "Q");
  iso::TDEntry* upperC = t.Dir(t.Root(), "C", "C");  // 'C' sorts before 'a'
  iso::TDEntry* deep = t.Dir(q, "deep", "DEEP");

  const iso::SessionLayout l = iso::ComputeLayout(t.Tables, Options(true));
  const std::vector<iso::TDEntry*> expected = {t.Root(), upperC, a, ab, b, eAcute, q, y, z, deep};
  ASSERT_EQ(l.PathOrder.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(l.PathOrder[i], expected[i]) << "position " << i << " holds " << l.PathOrder[i]->LongName;
    EXPECT_EQ(expected[i]->Number, static_cast<std::int32_t>(i + 1)) << expected[i]->LongName;
  }
}

TEST(Layout, JolietDirectorySizeCountsTwoBytesPerCharacterAndTheVersion) {
  Tree t;
  // "abcdefg.txt;1" is 13 UCS-2 characters: 26 bytes, record 60; 68 + 33 * 60 = 2048.
  for (std::size_t i = 0; i < 33; ++i) t.File(t.Root(), NameOfLength(i, 7) + ".txt", "F" + std::to_string(i), 1);
  iso::ComputeLayout(t.Tables, Options(true));
  EXPECT_EQ(t.Root()->JolietDirSize, 2048);
  t.File(t.Root(), "abcdefg.txt", "LAST", 1);
  iso::ComputeLayout(t.Tables, Options(true));
  EXPECT_EQ(t.Root()->JolietDirSize, 4096);
}

// Path-table records are 8 bytes plus the identifier, padded to even length.
// Fills a table under the root to exactly `bytes` with records of at most 108.
void FillPathTable(Tree& t, std::uint32_t bytes, bool joliet) {
  std::uint32_t left = bytes - 10;
  for (std::size_t i = 0; left > 0; ++i) {
    std::uint32_t record = left <= 108 ? left : (left - 108 >= 10 ? 108 : left - 10);
    left -= record;
    if (joliet) {
      t.Dir(t.Root(), NameOfLength(i, (record - 8) / 2), "D" + std::to_string(i));
    } else {
      t.Dir(t.Root(), "d" + std::to_string(i), NameOfLength(i, record - 8));
    }
  }
}

struct PathTableCase {
  bool JolietTable;
  std::uint32_t Bytes;
  std::uint32_t Sectors;
};

class PathTableSectors : public testing::TestWithParam<PathTableCase> {};

TEST_P(PathTableSectors, TakeWholeSectorsWithNoneAppended) {
  const PathTableCase& c = GetParam();
  Tree t;
  FillPathTable(t, c.Bytes, c.JolietTable);
  const iso::SessionLayout l = iso::ComputeLayout(t.Tables, Options(true));
  const std::uint32_t size = c.JolietTable ? l.JolietPathTableSize : l.IsoPathTableSize;
  ASSERT_EQ(size, c.Bytes);
  const std::uint32_t first = c.JolietTable ? l.JolietLPathSector : l.IsoLPathSector;
  const std::uint32_t second = c.JolietTable ? l.JolietMPathSector : l.IsoMPathSector;
  const std::uint32_t next = c.JolietTable ? l.IsoDirStart : l.JolietLPathSector;
  EXPECT_EQ(l.IsoLPathSector, 19u);
  EXPECT_EQ(second - first, c.Sectors);
  EXPECT_EQ(next - second, c.Sectors);
}

INSTANTIATE_TEST_SUITE_P(Layout, PathTableSectors,
                         testing::Values(PathTableCase{false, 2048, 1}, PathTableCase{false, 2050, 2},
                                         PathTableCase{false, 4096, 2}, PathTableCase{false, 4098, 3},
                                         PathTableCase{true, 2048, 1}, PathTableCase{true, 4096, 2},
                                         PathTableCase{true, 2046, 1}));

TEST(Layout, PathTableSizeCountsPadOnlyForOddIdentifiers) {
  Tree t;
  t.Dir(t.Root(), "abc", "ABC");    // ISO 8 + 3 + 1; Joliet 8 + 6
  t.Dir(t.Root(), "long", "LONG");  // ISO 8 + 4;     Joliet 8 + 8
  t.Dir(t.Root(), "\xF0\x9F\x98\x80", "_");  // one character outside the BMP: a surrogate pair, 4 bytes
  const iso::SessionLayout l = iso::ComputeLayout(t.Tables, Options(true));
  EXPECT_EQ(l.IsoPathTableSize, 10u + 12 + 12 + 10);
  EXPECT_EQ(l.JolietPathTableSize, 10u + 14 + 16 + 12);
}

// Subdirectories with two-character names and one file "F;1": every root
// record is 36 bytes, so 127 to 129 of them fill 3 sectors (55 + 56 + the
// rest). Without Joliet, 127 subdirectories bring the next free sector to
// 20 + 3 + 127 = 150.
struct PaddingCase {
  std::size_t Subdirs;
  std::uint32_t Padding;
  std::uint32_t FirstFile;
};

class PaddingEdge : public testing::TestWithParam<PaddingCase> {};

TEST_P(PaddingEdge, PadsOnlyBelowSector150) {
  const PaddingCase& c = GetParam();
  Tree t;
  for (std::size_t i = 0; i < c.Subdirs; ++i) t.Dir(t.Root(), TwoChars(i), TwoChars(i));
  iso::TFEntry* f = t.File(t.Root(), "f", "F", 10);
  const iso::SessionLayout l = iso::ComputeLayout(t.Tables, Options(false));
  EXPECT_EQ(l.PaddingSectors, c.Padding);
  EXPECT_EQ(l.FirstFileSector, c.FirstFile);
  EXPECT_EQ(f->Extent, 0);
  EXPECT_EQ(l.VolumeSpaceSize, c.FirstFile + 1u);
}

INSTANTIATE_TEST_SUITE_P(Layout, PaddingEdge,
                         testing::Values(PaddingCase{126, 1, 150}, PaddingCase{127, 0, 150},
                                         PaddingCase{128, 0, 151}));

}  // namespace
