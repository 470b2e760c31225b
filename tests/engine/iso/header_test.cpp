#include "engine/iso/header.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "engine/iso/layout.h"
#include "tree_fixture.h"
#include "support/iso_reader.h"

namespace {

using isotest::Tree;
namespace rd = testsupport::isoread;

// 2001-02-03 04:05:06 as days since 1899-12-30.
constexpr double kFeb3rd2001 = 36925.0 + 14706.0 / 86400.0;

const platform::CivilTime kNow{2024, 3, 5, 14, 7, 9, 754};
const platform::CivilTime kNowAgain{2024, 3, 5, 14, 7, 10, 0};

struct Built {
  iso::SessionLayout Layout;
  iso::HeaderStream Header;
  rd::Image Image{std::vector<std::uint8_t>{}};
};

Built Build(Tree& t, iso::LayoutOptions options, const iso::VolumeIdentifiers& ids = {}, std::int8_t tz = 0) {
  Built b;
  b.Layout = iso::ComputeLayout(t.Tables, options);
  iso::HeaderInput in;
  in.Tables = &t.Tables;
  in.Layout = &b.Layout;
  in.Ids = ids;
  in.TimeZoneOffset = tz;
  in.Now = kNow;
  in.NowAgain = kNowAgain;
  if (options.Bootable) {
    in.BootRecord.assign(2048, 0xB0);
    in.BootCatalog.assign(2048, 0xCA);
  }
  auto hs = iso::BuildHeaderStream(in);
  if (!hs) throw std::runtime_error("header failed: " + hs.Err().Message);
  b.Header = std::move(hs.Value());
  b.Image = rd::Image(b.Header.Bytes, options.SessionStart);
  return b;
}

iso::LayoutOptions Joliet(bool on) {
  iso::LayoutOptions o;
  o.Joliet = on;
  return o;
}

std::string Padded(const std::string& s, std::size_t width) { return s + std::string(width - s.size(), ' '); }

std::string Ucs2(const std::string& ascii, std::size_t chars) {
  std::string out;
  for (std::size_t i = 0; i < chars; ++i) {
    out += '\0';
    out += i < ascii.size() ? ascii[i] : ' ';
  }
  return out;
}

bool AllZero(const std::vector<std::uint8_t>& raw, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i)
    if (raw[i] != 0) return false;
  return true;
}

std::string Str(const std::vector<std::uint8_t>& b) { return std::string(b.begin(), b.end()); }

iso::VolumeIdentifiers SampleIds() {
  iso::VolumeIdentifiers ids;
  ids.System = "linux box";
  ids.Volume = "my Disc of 2024, longer than thirty-two";
  ids.VolumeSet = "set";
  ids.Publisher = "pub";
  ids.Preparer = "prep";
  ids.Application = "app";
  ids.CopyrightFile = "copy.txt";
  ids.AbstractFile = "abs.txt";
  ids.BibliographicFile = "a bibliography file name.txt";
  ids.JolietCreation = 0;
  ids.JolietModification = kFeb3rd2001;
  return ids;
}

class PrimaryDescriptor : public testing::TestWithParam<bool> {};

TEST_P(PrimaryDescriptor, FieldsSitAtTheirOffsets) {
  const bool joliet = GetParam();
  Tree t;
  t.Dir(t.Root(), "Docs", "DOCS");
  t.File(t.Root(), "a.txt", "A.TXT", 5000);
  const Built b = Build(t, Joliet(joliet), SampleIds());
  const auto descriptors = b.Image.Descriptors();
  ASSERT_EQ(descriptors.size(), joliet ? 3u : 2u);
  const rd::VolumeDescriptor& d = descriptors[0];
  const auto& raw = d.Raw;

  EXPECT_EQ(d.Type, 1);
  EXPECT_EQ(d.StandardId, "CD001");
  EXPECT_EQ(d.Version, 1);
  EXPECT_EQ(raw[7], 0);
  EXPECT_EQ(rd::Text(raw, 8, 32), Padded("LINUX BOX", 32));
  EXPECT_EQ(rd::Text(raw, 40, 32), "MY DISC OF 2024, LONGER THAN THI");
  EXPECT_TRUE(AllZero(raw, 72, 80));
  EXPECT_EQ(d.VolumeSpaceSize, 153u);  // first file at 150, 3 sectors of data
  // The escape sequence belongs to the Joliet descriptor only: readers that
  // look for it in any descriptor would take the ISO tree for the Joliet one.
  EXPECT_TRUE(AllZero(raw, 88, 120));
  EXPECT_EQ(d.VolumeSetSize, 1);
  EXPECT_EQ(d.VolumeSequence, 1);
  EXPECT_EQ(d.BlockSize, 2048);
  EXPECT_EQ(d.PathTableSize, 10u + 8 + 4);  // root and "DOCS"
  EXPECT_EQ(d.LPath, joliet ? 19u : 18u);
  EXPECT_EQ(d.LPathOptional, 0u);
  EXPECT_EQ(d.MPath, joliet ? 20u : 19u);
  EXPECT_EQ(d.MPathOptional, 0u);

  EXPECT_EQ(raw[156], 34);
  EXPECT_EQ(d.Root.Length, 34);
  EXPECT_EQ(d.Root.ExtAttrLength, 0);
  EXPECT_EQ(d.Root.Extent, joliet ? 23u : 20u);
  EXPECT_EQ(d.Root.DataLength, 2048u);
  EXPECT_EQ(d.Root.Date, (std::array<std::uint8_t, 7>{}));
  EXPECT_EQ(d.Root.Flags, 2);
  EXPECT_EQ(d.Root.FileUnitSize, 0);
  EXPECT_EQ(d.Root.InterleaveGap, 0);
  EXPECT_EQ(d.Root.VolumeSequence, 1);
  EXPECT_EQ(d.Root.Id, std::vector<std::uint8_t>{0});

  EXPECT_EQ(rd::Text(raw, 190, 128), Padded("SET", 128));
  EXPECT_EQ(rd::Text(raw, 318, 128), Padded("PUB", 128));
  EXPECT_EQ(rd::Text(raw, 446, 128), Padded("PREP", 128));
  EXPECT_EQ(rd::Text(raw, 574, 128), Padded("APP", 128));
  EXPECT_EQ(rd::Text(raw, 702, 37), Padded("COPY.TXT", 37));
  EXPECT_EQ(rd::Text(raw, 739, 37), Padded("ABS.TXT", 37));
  EXPECT_EQ(rd::Text(raw, 776, 37), Padded("A BIBLIOGRAPHY FILE NAME.TXT", 37));
  EXPECT_EQ(rd::Text(raw, 813, 17), std::string("2024030514070975") + '\0');
  EXPECT_EQ(rd::Text(raw, 830, 17), std::string("2024030514071000") + '\0');
  EXPECT_EQ(rd::Text(raw, 847, 17), std::string("0000000000000000") + '\0');
  EXPECT_EQ(rd::Text(raw, 864, 17), std::string("0000000000000000") + '\0');
  EXPECT_EQ(raw[881], 1);
  EXPECT_TRUE(AllZero(raw, 882, 1024));
  EXPECT_EQ(rd::Text(raw, 1024, 8), "        ");
  EXPECT_TRUE(AllZero(raw, 1032, 2048));

  const rd::VolumeDescriptor& term = descriptors.back();
  EXPECT_EQ(term.Version, 1);
  EXPECT_TRUE(AllZero(term.Raw, 7, 2048));
}

INSTANTIATE_TEST_SUITE_P(Header, PrimaryDescriptor, testing::Bool());

TEST(Header, JolietDescriptorCarriesUcs2NamesAndItsOwnTree) {
  Tree t;
  t.Dir(t.Root(), "Docs", "DOCS");
  const Built b = Build(t, Joliet(true), SampleIds());
  const auto descriptors = b.Image.Descriptors();
  ASSERT_EQ(descriptors.size(), 3u);
  const rd::VolumeDescriptor& d = descriptors[1];
  const auto& raw = d.Raw;

  EXPECT_EQ(d.Type, 2);
  EXPECT_EQ(d.StandardId, "CD001");
  EXPECT_EQ(d.Version, 1);
  EXPECT_EQ(rd::Text(raw, 8, 32), Ucs2("linux box", 16)) << "not uppercased";
  EXPECT_EQ(rd::Text(raw, 40, 32), Ucs2("my Disc of 2024,", 16)) << "cut at 16 characters";
  EXPECT_EQ(rd::Text(raw, 88, 3), std::string("\x25\x2F\x40", 3));
  EXPECT_TRUE(AllZero(raw, 91, 120));
  EXPECT_EQ(d.BlockSize, 2048);
  EXPECT_EQ(d.VolumeSpaceSize, 150u);
  EXPECT_EQ(d.PathTableSize, 10u + 8 + 8);  // "Docs" in UCS-2
  EXPECT_EQ(d.LPath, 21u);
  EXPECT_EQ(d.MPath, 22u);
  EXPECT_EQ(d.Root.Extent, 25u);  // after the ISO directories at 23 and 24
  EXPECT_EQ(d.Root.DataLength, 2048u);
  EXPECT_EQ(d.Root.Flags, 2);
  EXPECT_EQ(rd::Text(raw, 190, 128), Ucs2("set", 64));
  EXPECT_EQ(rd::Text(raw, 318, 128), Ucs2("pub", 64));
  EXPECT_EQ(rd::Text(raw, 446, 128), Ucs2("prep", 64));
  EXPECT_EQ(rd::Text(raw, 574, 128), Ucs2("app", 64));
  EXPECT_EQ(rd::Text(raw, 702, 37), Ucs2("copy.txt", 18) + '\0');
  EXPECT_EQ(rd::Text(raw, 739, 37), Ucs2("abs.txt", 18) + '\0');
  EXPECT_EQ(rd::Text(raw, 776, 37), Ucs2("a bibliography fil", 18) + '\0');
  EXPECT_EQ(rd::Text(raw, 813, 17), std::string("1899123000000000") + '\0') << "a date left at 0";
  EXPECT_EQ(rd::Text(raw, 830, 17), std::string("2001020304050600") + '\0');
  EXPECT_EQ(raw[881], 1);
  EXPECT_EQ(rd::Text(raw, 1024, 8), "        ");
}

TEST(Header, StreamEndsWhereThePaddingBeginsAndKeepsADescriptorCopy) {
  Tree t;
  const Built b = Build(t, Joliet(true));
  EXPECT_EQ(b.Header.Bytes.size(), 25u * 2048);  // sectors 0..24
  EXPECT_TRUE(AllZero(b.Header.Bytes, 0, 16 * 2048)) << "system area";
  ASSERT_EQ(b.Header.DescriptorCopy.size(), 19u * 2048);  // system area, PVD, SVD, terminator
  EXPECT_TRUE(std::equal(b.Header.DescriptorCopy.begin(), b.Header.DescriptorCopy.end(), b.Header.Bytes.begin()));
}

TEST(Header, BootRecordAndCatalogGoWhereTheLayoutPutThem) {
  Tree t;
  iso::LayoutOptions o = Joliet(true);
  o.Bootable = true;
  o.BootImageSectors = 2;
  const Built b = Build(t, o);
  EXPECT_EQ(b.Header.Bytes.size(), 27u * 2048) << "the boot image follows the stream";
  EXPECT_EQ(b.Image.Sector(17)[0], 0xB0);
  EXPECT_EQ(b.Image.Sector(18)[0], 2) << "Joliet descriptor after the boot record";
  EXPECT_EQ(b.Image.Sector(19)[0], 0xFF);
  EXPECT_EQ(b.Image.Sector(26)[2047], 0xCA);
}

TEST(Header, SessionAt30000AddressesEverySectorAbsolutely) {
  Tree t;
  t.Dir(t.Root(), "Sub", "SUB");
  iso::LayoutOptions o = Joliet(true);
  o.SessionStart = 30000;
  const Built b = Build(t, o);
  EXPECT_EQ(b.Header.Bytes.size(), 27u * 2048);  // no padding
  const auto descriptors = b.Image.Descriptors();  // from the session's sector 16
  ASSERT_EQ(descriptors.size(), 3u);
  EXPECT_EQ(descriptors[0].VolumeSpaceSize, 30027u);
  EXPECT_EQ(descriptors[0].LPath, 30019u);
  EXPECT_EQ(descriptors[0].Root.Extent, 30023u);
  EXPECT_EQ(descriptors[1].Root.Extent, 30025u);
  const auto table = b.Image.PathTable(descriptors[0].LPath, descriptors[0].PathTableSize, false);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0].Extent, 30023u);
  EXPECT_EQ(table[1].Extent, 30024u);
  const auto root = b.Image.Directory(descriptors[0].Root.Extent, descriptors[0].Root.DataLength);
  ASSERT_EQ(root.size(), 3u);
  EXPECT_EQ(root[0].Extent, 30023u);
  EXPECT_EQ(root[2].Extent, 30024u);
}

// The tree of the numbering rule: creation order differs from path-table order.
TEST(Header, PathTablesListDirectoriesInNumberOrderInBothByteOrders) {
  Tree t;
  iso::TDEntry* b = t.Dir(t.Root(), "b", "B");
  t.Dir(b, "z", "Z");
  t.Dir(t.Root(), "ab", "AB");
  iso::TDEntry* a = t.Dir(t.Root(), "a", "A");
  t.Dir(b, "y", "Y");
  t.Dir(a, "q long", "Q_LONG");
  t.Dir(t.Root(), "Cee", "CEE");
  const Built built = Build(t, Joliet(true));
  const auto descriptors = built.Image.Descriptors();
  ASSERT_EQ(descriptors.size(), 3u);

  struct Want {
    std::string Iso, Joliet, IsoPath, JolietPath;
    std::uint16_t Parent;
  };
  const std::vector<Want> want = {
      {"", "", "", "", 1},
      {"CEE", "Cee", "CEE", "Cee", 1},
      {"A", "a", "A", "a", 1},
      {"AB", "ab", "AB", "ab", 1},
      {"B", "b", "B", "b", 1},
      {"Q_LONG", "q long", "A/Q_LONG", "a/q long", 3},
      {"Y", "y", "B/Y", "b/y", 5},
      {"Z", "z", "B/Z", "b/z", 5},
  };
  for (int tree = 0; tree < 2; ++tree) {
    const bool joliet = tree == 1;
    const rd::VolumeDescriptor& d = descriptors[static_cast<std::size_t>(tree)];
    // Where each directory really is, from its parent's record.
    std::map<std::string, std::uint32_t> extentOf{{"", d.Root.Extent}};
    for (const auto& e : built.Image.Tree(d.Root, joliet))
      if (e.Record.IsDirectory()) extentOf[e.Path] = e.Record.Extent;

    const auto l = built.Image.PathTable(d.LPath, d.PathTableSize, false);
    const auto m = built.Image.PathTable(d.MPath, d.PathTableSize, true);
    ASSERT_EQ(l.size(), want.size());
    ASSERT_EQ(m.size(), want.size());
    EXPECT_EQ(l[0].IdLength, 1);
    EXPECT_EQ(l[0].Id, std::vector<std::uint8_t>{0});
    EXPECT_EQ(l[1].Offset, 10u) << "the root record is 10 bytes";
    for (std::size_t i = 0; i < want.size(); ++i) {
      SCOPED_TRACE((joliet ? "Joliet #" : "ISO #") + std::to_string(i + 1));
      if (i > 0) {
        const std::string name = joliet ? rd::Ucs2BeToUtf8(l[i].Id) : Str(l[i].Id);
        EXPECT_EQ(name, joliet ? want[i].Joliet : want[i].Iso);
      }
      EXPECT_EQ(l[i].Parent, want[i].Parent);
      EXPECT_EQ(l[i].Extent, extentOf.at(joliet ? want[i].JolietPath : want[i].IsoPath));
      EXPECT_EQ(l[i].ExtAttrLength, 0);
      EXPECT_EQ(m[i].Id, l[i].Id);
      EXPECT_EQ(m[i].Extent, l[i].Extent);
      EXPECT_EQ(m[i].Parent, l[i].Parent);
    }
    // Zeros from the end of each table to its sector's end.
    for (std::uint32_t s : {d.LPath, d.MPath}) {
      const auto sector = built.Image.Sector(s);
      for (std::size_t i = d.PathTableSize; i < 2048; ++i) ASSERT_EQ(sector[i], 0) << "offset " << i;
    }
  }
}

// A root holding every kind of entry the record rules distinguish.
struct RecordTree {
  Tree T;
  iso::TDEntry* Sub = nullptr;
  iso::TDEntry* HiddenDir = nullptr;
  RecordTree() {
    iso::TDEntry* r = T.Root();
    // "ZETA.TXT;1": 10 bytes, padded. Its date keeps the offset in force then,
    // not the one of "now".
    T.File(r, "zeta.txt", "ZETA.TXT", 3000, 0x20, kFeb3rd2001)->TimeZoneOffset = -20;
    T.File(r, "alpha.c", "ALPHA.C", 10);                         // "ALPHA.C;1": 9 bytes, no pad
    T.File(r, ".hidden", ".HIDDEN", 5, isotest::kHiddenAttr);
    Sub = T.Dir(r, "Sub", "SUB");
    T.File(Sub, "inner.txt", "INNER.TXT", 2048);
    HiddenDir = T.Dir(r, ".hdir", ".HDIR", isotest::kDirAttr | isotest::kHiddenAttr);
    T.File(HiddenDir, "x.txt", "X.TXT", 1);
    T.File(r, "empty.txt", "EMPTY.TXT", 0);
    T.File(r, "Long name one.txt", "LONGNA~1.TXT", 7);
    T.File(r, "Long name two.txt", "LONGNA~1.TXT", 8);
    iso::TFEntry* imported = T.File(r, "old.dat", "OLD.DAT", 100);
    imported->Imported = true;
    imported->Extent = imported->JolietExtent = 12345;
  }
};

TEST(Header, DirectoryRecordsFollowTheRecordRules) {
  RecordTree rt;
  const Built b = Build(rt.T, Joliet(true), {}, 4);
  const auto descriptors = b.Image.Descriptors();
  const auto iso = b.Image.Directory(descriptors[0].Root.Extent, descriptors[0].Root.DataLength);
  const auto jol = b.Image.Directory(descriptors[1].Root.Extent, descriptors[1].Root.DataLength);

  const std::vector<std::string> isoNames = {".", "..", "ZETA.TXT;1", "ALPHA.C;1", ".HIDDEN;1", "SUB", ".HDIR",
                                             "EMPTY.TXT;1", "LONGNA~1.TXT;1", "LONGNA~1_1.TXT;1", "OLD.DAT;1"};
  const std::vector<std::string> jolNames = {".", "..", "zeta.txt;1", "alpha.c;1", ".hidden;1", "Sub", ".hdir",
                                             "empty.txt;1", "Long name one.txt;1", "Long name two.txt;1",
                                             "old.dat;1"};
  ASSERT_EQ(iso.size(), isoNames.size());
  ASSERT_EQ(jol.size(), jolNames.size());
  for (std::size_t i = 0; i < iso.size(); ++i) {
    SCOPED_TRACE(isoNames[i]);
    EXPECT_EQ(iso[i].Name(false), isoNames[i]);
    EXPECT_EQ(jol[i].Name(true), jolNames[i]);
    EXPECT_EQ(iso[i].Padded, iso[i].Id.size() % 2 == 0);
    EXPECT_EQ(iso[i].Length, 33 + iso[i].Id.size() + (iso[i].Padded ? 1 : 0));
    if (i >= 2) {
      EXPECT_TRUE(jol[i].Padded) << "UCS-2 identifiers are always even";
    }
    EXPECT_EQ(iso[i].Flags, jol[i].Flags);
    EXPECT_EQ(iso[i].ExtAttrLength, 0);
    EXPECT_EQ(iso[i].VolumeSequence, 1);
    if (!iso[i].IsDirectory()) {
      EXPECT_EQ(iso[i].Extent, jol[i].Extent) << "both trees share the file data";
      EXPECT_EQ(iso[i].DataLength, jol[i].DataLength);
    }
  }
  EXPECT_TRUE(iso[2].Padded);
  EXPECT_FALSE(iso[3].Padded);
  EXPECT_FALSE(iso[5].Padded);  // "SUB"

  // Directories: ISO at 23 (root), 24, 25; Joliet at 26, 27, 28.
  // "." and "..": the root names itself twice; dated now, with the zone offset.
  EXPECT_EQ(iso[0].Extent, 23u);
  EXPECT_EQ(iso[1].Extent, 23u);
  EXPECT_EQ(jol[0].Extent, 26u);
  EXPECT_EQ(jol[1].Extent, 26u);
  EXPECT_EQ(iso[5].Extent, 24u);
  EXPECT_EQ(iso[6].Extent, 25u);
  EXPECT_EQ(jol[5].Extent, 27u);
  EXPECT_EQ(jol[6].Extent, 28u);
  EXPECT_EQ(iso[0].DataLength, 2048u);
  const std::array<std::uint8_t, 7> now{124, 3, 5, 14, 7, 9, 4};
  EXPECT_EQ(iso[0].Date, now);
  EXPECT_EQ(jol[1].Date, now);
  EXPECT_EQ(iso[0].Flags, 2);

  EXPECT_EQ(iso[2].Flags, 0);
  EXPECT_EQ(iso[4].Flags, 1) << "hidden file";
  EXPECT_EQ(iso[5].Flags, 2);
  EXPECT_EQ(iso[6].Flags, 3) << "hidden directory";

  // Files in creation order from sector 150: zeta (2 sectors), alpha, .hidden,
  // inner, x; the empty file and the imported one take none.
  EXPECT_EQ(iso[2].Extent, 150u);
  EXPECT_EQ(iso[2].DataLength, 3000u);
  EXPECT_EQ(iso[2].Date, (std::array<std::uint8_t, 7>{101, 2, 3, 4, 5, 6, 0xEC}));
  EXPECT_EQ(iso[3].Extent, 152u);
  EXPECT_EQ(iso[4].Extent, 153u);
  EXPECT_EQ(iso[7].Extent, 0u);
  EXPECT_EQ(iso[7].DataLength, 0u);
  EXPECT_EQ(iso[8].Extent, 156u);
  EXPECT_EQ(iso[9].Extent, 157u);
  EXPECT_EQ(iso[9].DataLength, 8u);
  EXPECT_EQ(iso[10].Extent, 12345u) << "imported files keep their sector";

  // Subdirectories: each record points at the directory's own "." record,
  // and its ".." back at the root.
  for (const auto* tree : {&iso, &jol}) {
    const bool joliet = tree == &jol;
    for (std::size_t i : {5u, 6u}) {
      const rd::DirRecord& r = (*tree)[i];
      const auto sub = b.Image.Directory(r.Extent, r.DataLength);
      ASSERT_EQ(sub.size(), 3u);
      EXPECT_EQ(sub[0].Extent, r.Extent);
      EXPECT_EQ(sub[0].DataLength, r.DataLength);
      EXPECT_EQ(sub[1].Extent, (*tree)[0].Extent);
      EXPECT_EQ(sub[2].Extent, i == 5 ? 154u : 155u) << (joliet ? "Joliet" : "ISO");
    }
  }
}

// A directory that fills a sector exactly continues on the next sector, and
// the next directory follows without an empty sector.
struct BoundaryCase {
  int Fillers;              // 44-byte records ("0XXXXXXXX;1")
  std::size_t LastIsoName;  // one more file, 0 for none
  std::size_t LastOffset;   // where the last record starts
  std::uint32_t Sectors;
};

class RecordBoundary : public testing::TestWithParam<BoundaryCase> {};

TEST_P(RecordBoundary, RecordsNeverCrossASector) {
  const BoundaryCase& c = GetParam();
  Tree t;
  iso::TDEntry* d = t.Dir(t.Root(), "d", "D");
  for (int i = 0; i < c.Fillers; ++i) {
    std::string name = std::to_string(i);
    name.resize(9, 'X');
    t.File(d, "f" + std::to_string(i), name, 1);
  }
  if (c.LastIsoName != 0) t.File(d, "last", std::string(c.LastIsoName, 'L'), 1);
  t.Dir(t.Root(), "e", "E");
  const Built b = Build(t, Joliet(false));
  const auto root = b.Image.Directory(20, 2048);
  ASSERT_EQ(root.size(), 4u);
  const rd::DirRecord& dRec = root[2];
  EXPECT_EQ(dRec.Extent, 21u);
  EXPECT_EQ(dRec.DataLength, c.Sectors * 2048);
  EXPECT_EQ(root[3].Extent, 21 + c.Sectors) << "the next directory follows at once";

  const auto records = b.Image.Directory(dRec.Extent, dRec.DataLength);
  ASSERT_EQ(records.size(), 2u + static_cast<std::size_t>(c.Fillers) + (c.LastIsoName != 0 ? 1 : 0));
  EXPECT_EQ(records.back().Offset, c.LastOffset);
  // Between the record before and the last one: zeros only.
  const auto bytes = b.Image.At(dRec.Extent, dRec.DataLength);
  const rd::DirRecord& before = records[records.size() - 2];
  for (std::size_t i = before.Offset + before.Length; i < c.LastOffset; ++i) ASSERT_EQ(bytes[i], 0) << i;
  for (std::size_t i = records.back().Offset + records.back().Length; i < bytes.size(); ++i)
    ASSERT_EQ(bytes[i], 0) << i;
}

INSTANTIATE_TEST_SUITE_P(Header, RecordBoundary,
                         testing::Values(BoundaryCase{45, 0, 68 + 44 * 44, 1},  // ends exactly at 2048
                                         BoundaryCase{46, 0, 2048, 2},          // first record of sector 2
                                         BoundaryCase{44, 13, 2048, 2},         // 48 bytes do not fit in 44
                                         BoundaryCase{44, 8, 2004, 1},          // padded 44 bytes fit
                                         BoundaryCase{91, 0, 2048 + 45 * 44, 2},  // 46 fit a later sector
                                         BoundaryCase{92, 0, 4096, 3}));

struct RecordDateCase {
  double Value;
  std::int8_t Tz;
  std::array<std::uint8_t, 7> Want;
};

class RecordDates : public testing::TestWithParam<RecordDateCase> {};

TEST_P(RecordDates, EncodeYearsSince1900AndTheZone) {
  const RecordDateCase& c = GetParam();
  EXPECT_EQ(iso::RecordDate(c.Value, c.Tz), c.Want);
}

INSTANTIATE_TEST_SUITE_P(
    Header, RecordDates,
    testing::Values(RecordDateCase{kFeb3rd2001, 4, {101, 2, 3, 4, 5, 6, 4}},
                    RecordDateCase{kFeb3rd2001, -20, {101, 2, 3, 4, 5, 6, 0xEC}},
                    RecordDateCase{2.0, 0, {0, 1, 1, 0, 0, 0, 0}},                        // 1900-01-01
                    RecordDateCase{93503.0 + 86399.0 / 86400.0, 0, {255, 12, 31, 23, 59, 59, 0}},  // 2155-12-31
                    RecordDateCase{93504.0, 0, {}},                                       // 2156: not expressible
                    RecordDateCase{0.0, 4, {}},                                           // 1899-12-30
                    RecordDateCase{std::nan(""), 0, {}}));

TEST(Header, DescriptorDatesAreSixteenDigitsAndAZeroOffset) {
  const auto text = [](const platform::CivilTime& t) {
    const auto d = iso::DescriptorDate(t);
    EXPECT_EQ(d[16], 0);
    return std::string(d.begin(), d.begin() + 16);
  };
  EXPECT_EQ(text(kNow), "2024030514070975");
  EXPECT_EQ(text({1899, 12, 30, 0, 0, 0, 0}), "1899123000000000");
  EXPECT_EQ(text({9999, 12, 31, 23, 59, 59, 999}), "9999123123595999");
  EXPECT_EQ(text({987, 1, 2, 3, 4, 5, 60}), "0987010203040506");
}

}  // namespace
