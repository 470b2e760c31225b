// Files of 4 GiB and more: several records over consecutive extents in both
// trees, and compilations without them written exactly as before.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/iso/header.h"
#include "engine/iso/layout.h"
#include "platform/sha256.h"
#include "support/iso_reader.h"
#include "tree_fixture.h"

namespace {

using isotest::Tree;
namespace rd = testsupport::isoread;

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
constexpr std::uint32_t kPartBytes = 0xFFFFF800u;  // 4 GiB - 2 KiB
constexpr std::uint32_t kPartSectors = kPartBytes / 2048;

const platform::CivilTime kNow{2024, 3, 5, 14, 7, 9, 754};
const platform::CivilTime kNowAgain{2024, 3, 5, 14, 7, 10, 0};

struct Built {
  iso::SessionLayout Layout;
  iso::HeaderStream Header;
  rd::Image Image{std::vector<std::uint8_t>{}};
};

Built Build(Tree& t, bool joliet = true) {
  Built b;
  iso::LayoutOptions options;
  options.Joliet = joliet;
  b.Layout = iso::ComputeLayout(t.Tables, options);
  iso::HeaderInput in;
  in.Tables = &t.Tables;
  in.Layout = &b.Layout;
  in.Ids.Volume = "BIG";
  in.Ids.JolietModification = 36925.5;
  in.TimeZoneOffset = 4;
  in.Now = kNow;
  in.NowAgain = kNowAgain;
  auto hs = iso::BuildHeaderStream(in);
  if (!hs) throw std::runtime_error("header failed: " + hs.Err().Message);
  b.Header = std::move(hs.Value());
  b.Image = rd::Image(b.Header.Bytes);
  return b;
}

// The records of one name in a tree, in recorded order.
std::vector<rd::DirRecord> RecordsOf(const Built& b, bool joliet, const std::string& name) {
  const auto descriptors = b.Image.Descriptors();
  const rd::DirRecord& root = descriptors[joliet ? 1 : 0].Root;
  std::vector<rd::DirRecord> out;
  for (const auto& e : b.Image.Tree(root, joliet))
    if (e.Path == name) out.push_back(e.Record);
  return out;
}

struct SizeCase {
  std::uint64_t Size;
  std::vector<std::uint32_t> Parts;  // data length of each record
};

class Parts : public testing::TestWithParam<SizeCase> {};

TEST_P(Parts, RecordsAreFlaggedAdjacentAndConsecutiveInBothTrees) {
  const SizeCase& c = GetParam();
  Tree t;
  t.File(t.Root(), "big.bin", "BIG.BIN", static_cast<std::int64_t>(c.Size));
  t.File(t.Root(), "after.txt", "AFTER.TXT", 10);
  const Built b = Build(t);
  for (const bool joliet : {false, true}) {
    const auto records = RecordsOf(b, joliet, joliet ? "big.bin;1" : "BIG.BIN;1");
    ASSERT_EQ(records.size(), c.Parts.size()) << (joliet ? "Joliet" : "ISO");
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
      const bool last = i + 1 == records.size();
      EXPECT_EQ(records[i].DataLength, c.Parts[i]);
      EXPECT_EQ(records[i].Flags, last ? 0 : 0x80) << i;
      EXPECT_EQ(records[i].Extent, b.Layout.FirstFileSector + i * kPartSectors) << i;
      // Adjacent: each record starts where the one before ended, or on the next sector.
      if (i > 0) {
        const std::size_t end = records[i - 1].Offset + records[i - 1].Length;
        EXPECT_TRUE(records[i].Offset == end || records[i].Offset % 2048 == 0) << i;
      }
      total += records[i].DataLength;
    }
    EXPECT_EQ(total, c.Size);
  }
  // The next file starts after every extent; the volume counts them all.
  const std::uint64_t bigSectors = (c.Size + 2047) / 2048;
  const auto after = RecordsOf(b, false, "AFTER.TXT;1");
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].Extent, b.Layout.FirstFileSector + bigSectors);
  EXPECT_EQ(b.Layout.VolumeSpaceSize, b.Layout.FirstFileSector + bigSectors + 1);
  EXPECT_EQ(b.Image.Descriptors()[0].VolumeSpaceSize, b.Layout.VolumeSpaceSize);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, Parts,
    testing::Values(SizeCase{4 * kGiB - 1, {0xFFFFFFFFu}}, SizeCase{4 * kGiB, {kPartBytes, 2048}},
                    SizeCase{4 * kGiB + 1, {kPartBytes, 2049}},
                    SizeCase{9 * kGiB, {kPartBytes, kPartBytes, static_cast<std::uint32_t>(9 * kGiB - 2 * kPartBytes)}},
                    SizeCase{2 * std::uint64_t{kPartBytes}, {kPartBytes, kPartBytes}}),
    [](const auto& p) { return "Bytes" + std::to_string(p.param.Size); });

TEST(MultiExtent, ManyPartsFillSeveralDirectorySectorsWithoutCrossingOne) {
  // 40 files of three records with long names: the reader throws on a record
  // that crosses a sector, and the header refuses a size unlike the layout's.
  Tree t;
  for (int i = 0; i < 40; ++i) {
    const std::string n = "recording number " + std::to_string(100 + i) + ".mkv";
    t.File(t.Root(), n, "RECORDING_" + std::to_string(100 + i) + ".MKV", static_cast<std::int64_t>(9 * kGiB));
  }
  const Built b = Build(t);
  EXPECT_GT(t.Root()->IsoDirSize, 2048);
  EXPECT_GT(t.Root()->JolietDirSize, t.Root()->IsoDirSize);
  std::uint32_t next = b.Layout.FirstFileSector;
  std::size_t records = 0;
  for (const auto& e : b.Image.Tree(b.Image.Descriptors()[1].Root, true)) {
    EXPECT_EQ(e.Record.Extent, next) << e.Path;
    next += (e.Record.DataLength + 2047) / 2048;
    ++records;
  }
  EXPECT_EQ(records, 120u);
  EXPECT_EQ(b.Layout.VolumeSpaceSize, b.Layout.FirstFileSector + 40 * ((9 * kGiB) / 2048));
}

TEST(MultiExtent, AVolumeBeyondThirtyOneBitSectorsIsRefusedNotWrapped) {
  Tree t;
  for (int i = 0; i < 5; ++i)
    t.File(t.Root(), "disk" + std::to_string(i) + ".img", "DISK" + std::to_string(i) + ".IMG",
           static_cast<std::int64_t>(std::uint64_t{1} << 40));
  iso::LayoutOptions options;
  const iso::SessionLayout layout = iso::ComputeLayout(t.Tables, options);
  EXPECT_GT(layout.VolumeSpaceSize, 0x7FFFFFFFull);
  iso::HeaderInput in;
  in.Tables = &t.Tables;
  in.Layout = &layout;
  EXPECT_FALSE(iso::BuildHeaderStream(in).Ok());
}

// Every byte of the header of a compilation with a spread of names, folders,
// dates and sizes up to 4 GiB - 1, as written before files of 4 GiB and more
// could be added. A change here changes every image and disc we write.
TEST(MultiExtent, CompilationsWithoutLargeFilesAreWrittenAsBefore) {
  Tree t;
  iso::TDEntry* docs = t.Dir(t.Root(), "Documents and things", "DOCUMENTS_AND_THINGS");
  iso::TDEntry* deep = t.Dir(docs, "deeper", "DEEPER", isotest::kDirAttr | isotest::kHiddenAttr);
  t.File(t.Root(), "readme", "README.", 0);
  t.File(t.Root(), "a rather long file name for Joliet.txt", "A_RATHER_LONG_FILE_NAME_FOR_JOLIET.TXT", 123456, 0x20,
         40000.25);
  t.File(docs, "max.bin", "MAX.BIN", 0xFFFFFFFFll);
  t.File(docs, "hidden.dat", "HIDDEN.DAT", 2048, isotest::kHiddenAttr, 45000.75);
  for (int i = 0; i < 60; ++i)
    t.File(deep, "entry " + std::to_string(i) + ".txt", "ENTRY_" + std::to_string(i) + ".TXT", i * 1000 + 1);
  for (const bool joliet : {true, false}) {
    const Built b = Build(t, joliet);
    platform::Sha256 hash;
    ASSERT_TRUE(hash.Ok());
    hash.Update(b.Header.Bytes.data(), b.Header.Bytes.size());
    const std::string hex = platform::HexDigest(hash.Finish());
    EXPECT_EQ(hex, joliet ? "06ed4d76da6d946aa43e43635898a0fc43eb38b4e218dda7210d8a8778b7d3ba"
                          : "6f037b7e860f216cbbe75f3947ee75586c6ba056feaa279d992365e1501f5764") << (joliet ? "with Joliet" : "ISO 9660 only");
    EXPECT_EQ(b.Layout.VolumeSpaceSize, 2098256u);
  }
}

}  // namespace
