#include "engine/iso/rock_ridge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "engine/iso/header.h"
#include "engine/iso/layout.h"
#include "engine/iso/records.h"
#include "engine/iso/rock_ridge_read.h"
#include "engine/iso/session_reader.h"
#include "fixture_header_hash.h"
#include "tree_fixture.h"

namespace {

using isotest::Tree;

const platform::CivilTime kNow{2024, 3, 5, 14, 7, 9, 754};
constexpr double kFeb3rd2001 = 36925.0 + 14706.0 / 86400.0;  // 2001-02-03 04:05:06

// The whole image: header, then zero sectors up to the volume's end.
std::vector<std::uint8_t> BuildImage(Tree& t, bool rockRidge, iso::SessionLayout* layoutOut = nullptr) {
  iso::LayoutOptions options;
  options.RockRidge = rockRidge;
  iso::SessionLayout layout = iso::ComputeLayout(t.Tables, options);
  iso::HeaderInput in;
  in.Tables = &t.Tables;
  in.Layout = &layout;
  in.Now = kNow;
  in.NowAgain = kNow;
  auto built = iso::BuildHeaderStream(in);
  EXPECT_TRUE(built) << (built ? "" : built.Err().Message);
  std::vector<std::uint8_t> bytes = built ? built.Value().Bytes : std::vector<std::uint8_t>{};
  bytes.resize(static_cast<std::size_t>(layout.VolumeSpaceSize) * iso::kSectorSize);
  if (layoutOut != nullptr) *layoutOut = layout;
  return bytes;
}

struct Collect final : iso::ImportSink {
  std::map<std::string, iso::DiscRecord> Records;
  std::vector<iso::ReadProblem> Problems;
  std::vector<std::unique_ptr<iso::TDEntry>> Dirs;
  iso::TDEntry* Add(iso::TDEntry& parent, const iso::DiscRecord& r) override {
    const std::string path = parent.PathKey + "/" + r.Name;
    Records[path] = r;
    if (!r.IsDirectory()) return nullptr;
    Dirs.push_back(std::make_unique<iso::TDEntry>());
    Dirs.back()->PathKey = path;
    return Dirs.back().get();
  }
  bool Stop() override { return false; }
  void Problem(iso::ReadProblem p, const std::string&) override { Problems.push_back(p); }
};

Collect ReadBack(std::vector<std::uint8_t> bytes, bool* rockRidge = nullptr) {
  iso::ImageSource disc(std::move(bytes));
  Collect sink;
  const auto root = iso::FindSessionRoot(disc, 0);
  EXPECT_TRUE(root.has_value());
  if (!root) return sink;
  if (rockRidge != nullptr) *rockRidge = root->RockRidge;
  iso::TDEntry target;
  iso::ReadTree(disc, *root, target, sink);
  return sink;
}

TEST(RockRidgeTest, NamesModesLinksAndTimesComeBackWhole) {
  Tree t;
  const std::string longName = "long-" + std::string(240, 'n') + ".txt";  // 248 bytes: two NM entries
  const std::string utf8 = "Grüße ☃ 𝄞";
  iso::TFEntry* a = t.File(t.Root(), longName, "LONG", 10);
  a->Mode = 0100640;
  a->Uid = 1000;
  a->Gid = 100;
  a->DateTime = kFeb3rd2001;
  a->AccessTime = 1600000000;
  a->ChangeTime = 1600000100;
  iso::TFEntry* b = t.File(t.Root(), utf8 + ".", "UTF", 0);
  b->DotAdded = true;
  iso::TDEntry* sub = t.Dir(t.Root(), "sub", "SUB");
  sub->Self->Mode = 040700;
  // A target past one SL entry and past one CE piece's worth of entries.
  std::string far;
  for (int i = 0; i < 40; ++i) far += "/component-" + std::string(60, 'c');
  for (const auto& [name, target] : std::vector<std::pair<std::string, std::string>>{
           {"rel", "../up/./x"}, {"abs", "/etc/hostname"}, {"far", far}}) {
    iso::TFEntry* l = t.File(sub, name + ".", name, 0);
    l->DotAdded = true;
    l->MutableExtra().SymlinkTarget = target;
  }

  bool rockRidge = false;
  const Collect got = ReadBack(BuildImage(t, true), &rockRidge);
  EXPECT_TRUE(rockRidge);
  EXPECT_TRUE(got.Problems.empty());
  ASSERT_EQ(got.Records.count("/" + longName), 1u);
  const iso::DiscRecord& r = got.Records.at("/" + longName);
  EXPECT_EQ(r.Mode, 0100640u);
  EXPECT_EQ(r.Uid, 1000u);
  EXPECT_EQ(r.Gid, 100u);
  EXPECT_EQ(r.AccessTime, 1600000000);
  EXPECT_EQ(r.ChangeTime, 1600000100);
  EXPECT_NEAR(r.Date, kFeb3rd2001, 1e-6);
  EXPECT_EQ(r.Size, 10u);
  ASSERT_EQ(got.Records.count("/" + utf8), 1u) << "the dot added to a name without one is not recorded";
  EXPECT_EQ(got.Records.at("/" + utf8).Mode, 0100644u);
  ASSERT_EQ(got.Records.count("/sub"), 1u);
  EXPECT_EQ(got.Records.at("/sub").Mode, 040700u);
  EXPECT_EQ(got.Records.at("/sub/rel").SymlinkTarget, "../up/./x");
  EXPECT_EQ(got.Records.at("/sub/abs").SymlinkTarget, "/etc/hostname");
  EXPECT_EQ(got.Records.at("/sub/far").SymlinkTarget, far);
}

TEST(RockRidgeTest, RootCarriesSpFirstAndErAndPiecesStayInsideSectors) {
  Tree t;
  for (int i = 0; i < 60; ++i) {
    iso::TFEntry* l = t.File(t.Root(), "link" + std::to_string(i) + ".", "L" + std::to_string(i), 0);
    l->MutableExtra().SymlinkTarget = std::string(200, 'a' + static_cast<char>(i % 26));
  }
  iso::SessionLayout l;
  const auto image = BuildImage(t, true, &l);
  ASSERT_GT(l.ContinuationSectors, 0u);
  const std::size_t root = std::size_t{l.IsoDirStart} * iso::kSectorSize;
  EXPECT_EQ(image[root + 34], 'S');
  EXPECT_EQ(image[root + 35], 'P');
  EXPECT_EQ(image[root + 38], 0xBE);
  EXPECT_EQ(image[root + 39], 0xEF);
  // ER sits in a continuation piece; every CE names a piece inside one sector
  // of the continuation area.
  const std::size_t area = std::size_t{l.ContinuationStart} * iso::kSectorSize;
  const std::string areaText(image.begin() + static_cast<std::ptrdiff_t>(area),
                             image.begin() + static_cast<std::ptrdiff_t>(area + l.ContinuationSectors * iso::kSectorSize));
  EXPECT_NE(areaText.find("IEEE_P1282"), std::string::npos);
  int pieces = 0;
  for (std::size_t at = root; at + 28 <= area; ++at) {
    if (image[at] != 'C' || image[at + 1] != 'E' || image[at + 2] != 28 || image[at + 3] != 1) continue;
    auto le = [&](std::size_t p) {
      return std::uint32_t{image[p]} | std::uint32_t{image[p + 1]} << 8 | std::uint32_t{image[p + 2]} << 16;
    };
    const std::uint32_t block = le(at + 4), offset = le(at + 12), length = le(at + 20);
    EXPECT_GE(block, l.ContinuationStart);
    EXPECT_LT(block, l.ContinuationStart + l.ContinuationSectors);
    EXPECT_LE(offset + length, iso::kSectorSize);
    ++pieces;
  }
  EXPECT_GE(pieces, 1);
  EXPECT_EQ(ReadBack(image).Records.size(), 60u);
}

TEST(RockRidgeTest, OffWritesTheBytesOfTheCodeBeforeIt) {
  // Fingerprints taken from the same tree with the code before Rock Ridge.
  EXPECT_EQ(isotest::FixtureHeaderHash(true), 11537695354950886256ull);
  EXPECT_EQ(isotest::FixtureHeaderHash(false), 10234211644974010810ull);
}

TEST(RockRidgeTest, NamesTooLongForJolietAndIsoGetDistinctShortOnes) {
  Tree t;
  const std::string stem(185, 'q');
  iso::TFEntry* a = t.File(t.Root(), stem + "-one.txt", iso::UpperKey(stem + "-one.txt"), 1);
  iso::TFEntry* b = t.File(t.Root(), stem + "-two.txt", iso::UpperKey(stem + "-two.txt"), 1);
  iso::TDEntry* d = t.Dir(t.Root(), stem + "-dir", iso::UpperKey(stem + "-dir"));
  iso::AssignShortenedNames(t.Tables, true);
  EXPECT_NE(a->JolietName(), b->JolietName());
  EXPECT_LE(iso::Utf16Length(a->JolietName()), iso::kMaxLongFileName);
  EXPECT_EQ(a->JolietName().substr(a->JolietName().size() - 4), ".txt");
  EXPECT_NE(a->IsoName, b->IsoName);
  EXPECT_LE(a->IsoName.size() + 2, iso::kMaxRockRidgeIsoIdentifier);
  EXPECT_EQ(d->IsoName, d->Self->IsoName);
  EXPECT_LE(d->IsoName.size(), iso::kMaxRockRidgeIsoIdentifier);
  EXPECT_EQ(a->LongName, stem + "-one.txt") << "the whole name stays for Rock Ridge";
  // And the image is whole for every reader path.
  const Collect got = ReadBack(BuildImage(t, true));
  EXPECT_EQ(got.Records.count("/" + stem + "-two.txt"), 1u);
  EXPECT_EQ(got.Records.count("/" + stem + "-dir"), 1u);
}

// Hostile system use areas: never a hang, never a read past what is there.
TEST(RockRidgeTest, DamagedAreasAreCutShort) {
  auto ce = [](std::uint32_t block, std::uint32_t offset, std::uint32_t length) {
    std::vector<std::uint8_t> e{'C', 'E', 28, 1};
    for (std::uint32_t v : {block, offset, length}) {
      for (int i = 0; i < 4; ++i) e.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
      for (int i = 3; i >= 0; --i) e.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    return e;
  };
  std::vector<std::uint8_t> disc(4 * iso::kSectorSize, 0);
  // Sector 2 holds a CE pointing at itself.
  const auto loop = ce(2, 0, 28);
  std::copy(loop.begin(), loop.end(), disc.begin() + 2 * iso::kSectorSize);
  iso::ImageSource source(disc);
  struct Case {
    const char* What;
    std::vector<std::uint8_t> Area;
  };
  const std::vector<Case> cases = {
      {"CE loop", ce(2, 0, 28)},
      {"CE past its sector", ce(1, 2000, 100)},
      {"CE past the disc", ce(900, 0, 28)},
      {"entry longer than the area", {'N', 'M', 40, 1, 0, 'a', 'b'}},
      {"entry shorter than its head", {'P', 'X', 2, 1}},
      {"SL component past its entry", {'S', 'L', 8, 1, 0, 0, 9, 'x'}},
      {"TF times past its entry", {'T', 'F', 8, 1, 0x0E, 1, 2, 3}},
  };
  for (const auto& c : cases) {
    const iso::RockRidgeFields f = iso::ReadRockRidge(source, c.Area);
    EXPECT_TRUE(f.Damaged) << c.What;
    EXPECT_FALSE(f.IsSymlink && f.SymlinkTarget.empty()) << c.What;
  }
  // A link with a NUL is no link.
  const std::vector<std::uint8_t> nul{'S', 'L', 9, 1, 0, 0, 2, 'a', 0};
  const auto f = iso::ReadRockRidge(source, nul);
  EXPECT_FALSE(f.IsSymlink);
}

TEST(RockRidgeTest, NamesWithSlashOrNulAreRenamedNotFollowed) {
  Tree t;
  t.File(t.Root(), "a.txt", "A.TXT", 0);
  t.File(t.Root(), "b.txt", "B.TXT", 0);
  auto image = BuildImage(t, true);
  // Rewrite the recorded names in place: same length, hostile bytes.
  std::string text(image.begin(), image.end());
  using namespace std::string_literals;
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{{"NM\x0a\x01\x00"s + "a.txt", "../x/"},
                                                                                 {"NM\x0a\x01\x00"s + "b.txt", ".."}}) {
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos);
    std::string name = to;
    name.resize(5, '\0');
    std::copy(name.begin(), name.end(), image.begin() + static_cast<std::ptrdiff_t>(at + 5));
  }
  const Collect got = ReadBack(image);
  for (const auto& [path, r] : got.Records) {
    EXPECT_EQ(r.Name.find('/'), std::string::npos) << path;
    EXPECT_EQ(r.Name.find('\0'), std::string::npos) << path;
    EXPECT_NE(r.Name, "..");
  }
}

// A tree twelve levels deep: the ISO tree keeps to eight (a relocation folder
// in the root, a placeholder with CL at each moved directory's place), Rock
// Ridge readers get the tree back whole, Joliet stays deep.
TEST(RockRidgeTest, DirectoriesPastEightLevelsAreMovedAndReadBackInPlace) {
  Tree t;
  std::string deep, other;
  iso::TDEntry* d = t.Root();
  for (int i = 1; i <= 12; ++i) {
    const std::string n = "L" + std::to_string(i);
    d = t.Dir(d, n, n);
    deep += "/" + n;
  }
  t.File(d, "bottom.txt", "BOTTOM.TXT", 5);
  // A second chain whose ninth level has the same name: both move, apart.
  iso::TDEntry* o = t.Root();
  for (int i = 1; i <= 7; ++i) {
    o = t.Dir(o, "M" + std::to_string(i), "M" + std::to_string(i));
    other += "/M" + std::to_string(i);
  }
  t.File(t.Dir(o, "L8", "L8"), "m.txt", "M.TXT", 3);
  t.Dir(t.Root(), "rr_moved", "RR_MOVED");  // the folder's own name is taken

  iso::SessionLayout l;
  const auto image = BuildImage(t, true, &l);
  ASSERT_NE(l.Relocated, nullptr);
  EXPECT_EQ(l.Relocated->Folder.LongName, "rr_moved_1");
  EXPECT_EQ(l.Relocated->MovedNames, (std::vector<std::string>{"L8", "L8_1"}));

  const Collect rr = ReadBack(image);
  EXPECT_TRUE(rr.Problems.empty());
  ASSERT_EQ(rr.Records.count(deep + "/bottom.txt"), 1u);
  EXPECT_EQ(rr.Records.at(deep + "/bottom.txt").Size, 5u);
  EXPECT_EQ(rr.Records.count(other + "/L8/m.txt"), 1u);
  EXPECT_TRUE(rr.Records.at(deep.substr(0, deep.find("/L9"))).IsDirectory()) << "the placeholder reads as the folder";
  EXPECT_EQ(rr.Records.count("/rr_moved"), 1u);
  EXPECT_EQ(rr.Records.size(), 12u + 1 + 8 + 1 + 1) << "the relocation folder stays hidden";

  // The plain ISO view: no directory below level eight, every file present once.
  iso::ImageSource disc(image);
  auto plain = iso::FindDescriptor(disc, 0, false);
  ASSERT_TRUE(plain.has_value());
  Collect iso9660;
  iso::TDEntry top;
  iso::ReadTree(disc, *plain, top, iso9660);
  std::size_t files = 0;
  for (const auto& [path, r] : iso9660.Records) {
    const auto levels = 1 + static_cast<std::size_t>(std::count(path.begin(), path.end(), '/'));
    EXPECT_LE(levels, r.IsDirectory() ? 8u : 9u) << path;
    if (path.ends_with(".TXT")) ++files;
  }
  EXPECT_EQ(files, 2u);
  EXPECT_EQ(iso9660.Records.count("/RR_MOVED_1/L8_1"), 1u);
  // The path table agrees: every parent before its child, no level past eight.
  const std::size_t at = std::size_t{l.IsoLPathSector} * iso::kSectorSize;
  std::vector<int> level{0, 1};
  for (std::size_t p = at; p < at + l.IsoPathTableSize;) {
    const std::size_t n = image[p];
    const std::size_t parent = std::size_t{image[p + 6]} | std::size_t{image[p + 7]} << 8;
    ASSERT_LT(parent, level.size());
    if (p > at) level.push_back(level[parent] + 1);
    p += 8 + n + n % 2;
  }
  EXPECT_EQ(level.size(), 1u + 1 + 12 + 8 + 1 + 1);
  EXPECT_LE(*std::max_element(level.begin(), level.end()), 8);

  // Joliet keeps the tree as it is.
  auto joliet = iso::FindDescriptor(disc, 0, true);
  ASSERT_TRUE(joliet.has_value());
  Collect j;
  iso::ReadTree(disc, *joliet, top, j);
  EXPECT_EQ(j.Records.count(deep + "/bottom.txt"), 1u);
  EXPECT_EQ(j.Records.count("/rr_moved_1"), 0u);
}

}  // namespace
