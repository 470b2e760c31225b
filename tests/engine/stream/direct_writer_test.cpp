// The direct .iso writer, driven through TKavoBurner as the front ends use it,
// and checked with the test reader's own parsing of the written file.
#include "engine/stream/direct_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/kavo_burner.h"
#include "platform/file_find.h"
#include "support/iso_reader.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace rd = testsupport::isoread;
using engine::SaveMode;
using engine::TKavoBurner;

std::uint64_t RoundUp(std::uint64_t n) { return (n + 2047) / 2048 * 2048; }

bool SameBytes(const std::string& want, rd::Bytes got) {
  return std::equal(want.begin(), want.end(), got.begin(),
                    [](char w, std::uint8_t g) { return static_cast<std::uint8_t>(w) == g; });
}

// The file's bytes at its extent, then zeros to the end of its last sector.
void ExpectDataAt(const rd::Image& image, const rd::DirRecord& r, const std::string& content) {
  ASSERT_EQ(r.DataLength, content.size());
  if (content.empty()) {
    EXPECT_EQ(r.Extent, 0u) << "empty files have extent 0";
    return;
  }
  const auto bytes = image.At(r.Extent, RoundUp(content.size()));
  EXPECT_TRUE(SameBytes(content, bytes)) << "data at sector " << r.Extent;
  EXPECT_TRUE(std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(content.size()), bytes.end(),
                          [](std::uint8_t b) { return b == 0; }))
      << "zeros after the data";
}

class ImageFile : public testing::Test {
 protected:
  ImageFile() {
    FBurner.OnDebugMessage = [this](device::TSCSIDevice&, const std::string& m, std::uint8_t kind) {
      FMessages.emplace_back(m, kind);
    };
    FBurner.OnWriteDone = [this](TKavoBurner&, const std::string& error) { FDone.push_back(error); };
    FTarget = FDir.Str() + "/out.iso";
  }

  std::string Source(const std::string& relative, const std::string& content) {
    return FDir.Write("src/" + relative, content);
  }
  void Add(const std::string& destPath, const std::string& source) {
    ASSERT_EQ(FBurner.AddFileToCompilation(destPath, source, false), 1) << source;
  }
  // Writes the image and returns the error of its one OnWriteDone.
  std::string Write() {
    FDone.clear();
    EXPECT_EQ(FBurner.WriteImageFile(FTarget, SaveMode::Quick), 1);
    if (FDone.size() != 1) {
      ADD_FAILURE() << "OnWriteDone fired " << FDone.size() << " times";
      return "<no OnWriteDone>";
    }
    return FDone.front();
  }
  bool HasMessage(std::uint8_t kind, const std::string& a, const std::string& b) const {
    for (const auto& [m, k] : FMessages)
      if (k == kind && m.find(a) != std::string::npos && m.find(b) != std::string::npos) return true;
    return false;
  }
  // Anything in the target's folder other than the target and the sources.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(FDir.Path()))
      if (e.path().filename() != "src" && e.path().filename() != "out.iso") out.push_back(e.path().filename().string());
    return out;
  }
  // The file records of the written image, by path, in one tree.
  std::map<std::string, rd::DirRecord> Files(const rd::Image& image, bool joliet) const {
    const auto d = image.Descriptors();
    std::map<std::string, rd::DirRecord> out;
    for (const auto& e : image.Tree(d.at(joliet ? 1 : 0).Root, joliet))
      if (!e.Record.IsDirectory()) out[e.Path] = e.Record;
    return out;
  }

  testsupport::TempDir FDir;
  TKavoBurner FBurner;
  std::string FTarget;
  std::vector<std::pair<std::string, std::uint8_t>> FMessages;
  std::vector<std::string> FDone;
};

TEST_F(ImageFile, QuickSaveWritesBothTreesAndEveryFileWhereItsRecordsPoint) {
  const std::string readme = testsupport::PatternContent(5000, 1);
  const std::string sector = testsupport::PatternContent(2048, 2);
  const std::string big = testsupport::PatternContent(3 * 2048 + 5, 3);
  const std::string umlaut = "\xC3\x84rger caf\xC3\xA9.txt";  // "Ärger café.txt"
  ASSERT_NE(FBurner.MakeCompilationDir("\\", "Docs"), nullptr);
  Add("\\Docs", Source("docs/readme.md", readme));
  Add("\\", Source("one.txt", "Z"));
  Add("\\", Source("empty.dat", ""));
  ASSERT_NE(FBurner.MakeCompilationDir("\\Docs", "Deep"), nullptr);
  Add("\\Docs\\Deep", Source("x.y", sector));
  const std::string umlautSource = Source(umlaut, big);
  Add("\\", umlautSource);
  FBurner.SetIdVolume("backup");
  // Its ISO name: the file system's 8.3 alias where it gives one (Windows),
  // else the long name uppercased.
  platform::FindData found;
  ASSERT_TRUE(platform::GetFileInfo(umlautSource, found));
  const std::string umlautIso =
      (found.AlternateName.empty() ? "\xC3\x84RGER CAF\xC3\xA9.TXT" : found.AlternateName) + ";1";

  EXPECT_EQ(Write(), "");
  ASSERT_TRUE(fs::exists(FTarget));
  EXPECT_TRUE(Leftovers().empty());
  const rd::Image image = rd::Image::FromFile(FTarget);

  const auto d = image.Descriptors();
  ASSERT_EQ(d.size(), 3u);
  // Files from sector 150 in creation order: readme (3 sectors), one.txt,
  // x.y, the umlaut file (4 sectors).
  EXPECT_EQ(d[0].VolumeSpaceSize, 159u);
  EXPECT_EQ(image.SectorCount(), 159u) << "the direct writer never pads the image";
  EXPECT_EQ(rd::Text(d[0].Raw, 40, 6), "BACKUP");

  std::vector<std::string> isoPaths, jolietPaths;
  for (const auto& e : image.Tree(d[0].Root, false)) isoPaths.push_back(e.Path);
  for (const auto& e : image.Tree(d[1].Root, true)) jolietPaths.push_back(e.Path);
  EXPECT_EQ(isoPaths, (std::vector<std::string>{"DOCS", "ONE.TXT;1", "EMPTY.DAT;1", umlautIso, "DOCS/README.MD;1",
                                                "DOCS/DEEP", "DOCS/DEEP/X.Y;1"}));
  EXPECT_EQ(jolietPaths, (std::vector<std::string>{"Docs", "one.txt;1", "empty.dat;1", umlaut + ";1",
                                                   "Docs/readme.md;1", "Docs/Deep", "Docs/Deep/x.y;1"}));

  struct Want {
    std::string IsoPath, JolietPath, Content;
  };
  const std::vector<Want> want = {{"DOCS/README.MD;1", "Docs/readme.md;1", readme},
                                  {"ONE.TXT;1", "one.txt;1", "Z"},
                                  {"EMPTY.DAT;1", "empty.dat;1", ""},
                                  {"DOCS/DEEP/X.Y;1", "Docs/Deep/x.y;1", sector},
                                  {umlautIso, umlaut + ";1", big}};
  const auto isoFiles = Files(image, false);
  const auto jolietFiles = Files(image, true);
  ASSERT_EQ(isoFiles.size(), want.size());
  ASSERT_EQ(jolietFiles.size(), want.size());
  for (const Want& w : want) {
    SCOPED_TRACE(w.JolietPath);
    ExpectDataAt(image, isoFiles.at(w.IsoPath), w.Content);
    ExpectDataAt(image, jolietFiles.at(w.JolietPath), w.Content);
    EXPECT_EQ(isoFiles.at(w.IsoPath).Extent, jolietFiles.at(w.JolietPath).Extent);
  }
  EXPECT_EQ(isoFiles.at("DOCS/README.MD;1").Extent, 150u);
  EXPECT_EQ(isoFiles.at("ONE.TXT;1").Extent, 153u);
  EXPECT_EQ(isoFiles.at("DOCS/DEEP/X.Y;1").Extent, 154u);
  EXPECT_EQ(jolietFiles.at(umlaut + ";1").Extent, 155u);
}

struct SizeCase {
  bool PostGap;
  std::uint64_t FileBytes;  // one file, 0 for an empty compilation
  std::uint32_t ImageSectors;
};

class ImageSectors : public ImageFile, public testing::WithParamInterface<SizeCase> {};

// The size reported for the progress bar counts the post-gap minimum of 300
// sectors; the .iso file itself is never extended.
TEST_P(ImageSectors, CountThePostGapMinimumButTheFileHoldsTheVolume) {
  const SizeCase& c = GetParam();
  FBurner.SetWritePostGap(c.PostGap);
  if (c.FileBytes != 0) Add("\\", Source("data.bin", std::string(static_cast<std::size_t>(c.FileBytes), 'd')));
  FBurner.SetDoDebug(true);
  EXPECT_EQ(FBurner.PrepareLayout(engine::LayoutTarget::ImageFile), 1);
  EXPECT_FALSE(FBurner.DoDebug()) << "the layout quiets the engine";
  EXPECT_EQ(FBurner.ImageSectors(), c.ImageSectors);
  EXPECT_EQ(Write(), "");
  EXPECT_TRUE(FBurner.DoDebug()) << "building the header turns it back on";
  const std::uint64_t volume = 150 + RoundUp(c.FileBytes) / 2048;
  EXPECT_EQ(fs::file_size(FTarget), volume * 2048);
  EXPECT_EQ(rd::Image::FromFile(FTarget).Descriptors().at(0).VolumeSpaceSize, volume);
}

INSTANTIATE_TEST_SUITE_P(ImageFile, ImageSectors,
                         testing::Values(SizeCase{true, 0, 300}, SizeCase{false, 0, 150},
                                         SizeCase{true, 149 * 2048, 300}, SizeCase{false, 149 * 2048, 299},
                                         SizeCase{true, 151 * 2048 - 100, 301}));

struct CacheCase {
  std::uint32_t Set, Want;
};

class CacheSize : public testing::TestWithParam<CacheCase> {};

TEST_P(CacheSize, SetterEnforcesTwoMegabytesAndWholeSectors) {
  TKavoBurner b;
  EXPECT_EQ(b.CacheSize(), 4194304u);
  b.SetCacheSize(GetParam().Set);
  EXPECT_EQ(b.CacheSize(), GetParam().Want);
}

INSTANTIATE_TEST_SUITE_P(ImageFile, CacheSize,
                         testing::Values(CacheCase{1000000, 2097152}, CacheCase{3000001, 2998272},
                                         CacheCase{0, 2097152}, CacheCase{2097151, 2097152},
                                         CacheCase{2097152, 2097152}, CacheCase{4194305, 4194304},
                                         CacheCase{0xFFFFFFFFu, 4294965248u}));

TEST(ImageFileVersion, AssignmentsAreIgnored) {
  TKavoBurner b;
  EXPECT_EQ(b.Version(), "1.23");
  b.SetVersion("2.0");
  EXPECT_EQ(b.Version(), "1.23");
}

enum class Damage { Shrink, Vanish };

class DamagedSource : public ImageFile, public testing::WithParamInterface<Damage> {};

// A source that lost bytes after it was added: its sectors are zero-filled,
// later files stay where their records point, and the image is kept with an
// error that says so.
TEST_P(DamagedSource, KeepsTheImageAndEveryLaterFileInPlace) {
  const std::string a = testsupport::PatternContent(5000, 4);
  const std::string b = testsupport::PatternContent(3000, 5);
  const std::string aPath = Source("a.bin", a);
  Add("\\", aPath);
  Add("\\", Source("b.bin", b));
  std::string aNow;
  if (GetParam() == Damage::Shrink) {
    aNow = a.substr(0, 1000);
    Source("a.bin", aNow);
  } else {
    fs::remove(aPath);
  }

  EXPECT_EQ(Write(), "IMAGE WRITTEN, BUT 1 FILE(S) COULD NOT BE READ COMPLETELY");
  EXPECT_TRUE(HasMessage(4, aPath, "COULD NOT BE READ COMPLETELY"));
  EXPECT_TRUE(Leftovers().empty());
  ASSERT_TRUE(fs::exists(FTarget)) << "the image is kept";
  const rd::Image image = rd::Image::FromFile(FTarget);
  EXPECT_EQ(image.SectorCount(), 155u);
  const auto files = Files(image, false);
  const rd::DirRecord& aRec = files.at("A.BIN;1");
  EXPECT_EQ(aRec.Extent, 150u);
  std::string aWant = aNow;
  aWant.resize(5000, '\0');
  ExpectDataAt(image, aRec, aWant);
  EXPECT_EQ(files.at("B.BIN;1").Extent, 153u);
  ExpectDataAt(image, files.at("B.BIN;1"), b);
}

INSTANTIATE_TEST_SUITE_P(ImageFile, DamagedSource, testing::Values(Damage::Shrink, Damage::Vanish));

TEST_F(ImageFile, GrownSourceGivesOnlyItsRecordedBytes) {
  const std::string a = testsupport::PatternContent(3000, 6);
  const std::string b = testsupport::PatternContent(100, 7);
  const std::string aPath = Source("a.bin", a);
  Add("\\", aPath);
  Add("\\", Source("b.bin", b));
  Source("a.bin", a + testsupport::PatternContent(5000, 8));

  EXPECT_EQ(Write(), "");
  EXPECT_TRUE(HasMessage(4, aPath, "CHANGED SIZE"));
  EXPECT_FALSE(HasMessage(4, aPath, "COULD NOT BE READ"));
  const rd::Image image = rd::Image::FromFile(FTarget);
  const auto files = Files(image, true);
  ExpectDataAt(image, files.at("a.bin;1"), a);
  EXPECT_EQ(files.at("b.bin;1").Extent, 152u);
  ExpectDataAt(image, files.at("b.bin;1"), b);
  EXPECT_EQ(image.SectorCount(), 153u);
}

class AbortedWrite : public ImageFile, public testing::WithParamInterface<bool> {};

// An abort leaves the target as it was: absent, or with its old content.
TEST_P(AbortedWrite, LeavesTheTargetUntouched) {
  const bool targetExisted = GetParam();
  if (targetExisted) FDir.Write("out.iso", "an older image");
  Add("\\", Source("a.bin", testsupport::PatternContent(10000, 9)));
  Add("\\", Source("b.bin", "b"));
  int progressCalls = 0;
  FBurner.OnProgress = [&progressCalls](TKavoBurner& sender, const engine::Progress&) {
    ++progressCalls;
    sender.CancelOperation();
  };

  EXPECT_EQ(Write(), "OPERATION ABORTED BY USER");
  EXPECT_GT(progressCalls, 0);
  if (targetExisted) {
    const auto bytes = testsupport::ReadAll(FTarget);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "an older image");
  } else {
    EXPECT_FALSE(fs::exists(FTarget));
  }
  EXPECT_TRUE(Leftovers().empty()) << Leftovers().front();

  // The request belongs to that operation; the next write runs to its end.
  FBurner.OnProgress = nullptr;
  EXPECT_EQ(Write(), "");
  EXPECT_EQ(fs::file_size(FTarget), 156u * 2048);
}

INSTANTIATE_TEST_SUITE_P(ImageFile, AbortedWrite, testing::Bool());

TEST_F(ImageFile, UncreatableTargetIsReportedWithItsName) {
  Add("\\", Source("a.bin", "a"));
  FTarget = FDir.Str() + "/missing/out.iso";
  EXPECT_EQ(Write(), "CAN'T CREATE FILE \"" + FTarget + "\"");
  EXPECT_FALSE(fs::exists(FDir.Path() / "missing"));
}

TEST_F(ImageFile, TargetThatIsAFolderIsNotReplaced) {
  Add("\\", Source("a.bin", "a"));
  FTarget = FDir.MakeDir("out.iso");
  EXPECT_EQ(Write(), "CAN'T CREATE FILE \"" + FTarget + "\"");
  EXPECT_TRUE(fs::is_directory(FTarget));
  EXPECT_TRUE(fs::is_empty(FTarget));
  EXPECT_TRUE(Leftovers().empty()) << Leftovers().front();
}

TEST_F(ImageFile, LargerOldTargetIsReplacedWhole) {
  FDir.Write("out.iso", std::string(400 * 2048, 'x'));
  Add("\\", Source("a.bin", "a"));
  EXPECT_EQ(Write(), "");
  EXPECT_EQ(fs::file_size(FTarget), 151u * 2048);
  const rd::Image image = rd::Image::FromFile(FTarget);
  ExpectDataAt(image, Files(image, false).at("A.BIN;1"), "a");
}

// The boot image is copied whole and zero-filled to its last sector; a size
// that is not a multiple of 2048 is normal, not damage.
TEST(DirectWriter, BootImageIsPaddedToWholeSectors) {
  testsupport::TempDir dir;
  const std::string boot = testsupport::PatternContent(3000, 10);
  iso::CompilationTables tables;
  iso::LayoutOptions options;
  options.Bootable = true;
  options.BootImageSectors = 2;
  const iso::SessionLayout layout = iso::ComputeLayout(tables, options);
  iso::HeaderInput in;
  in.Tables = &tables;
  in.Layout = &layout;
  in.Now = in.NowAgain = {2024, 1, 1, 0, 0, 0, 0};
  in.BootRecord.assign(2048, 0);
  in.BootCatalog.assign(2048, 0);
  auto header = iso::BuildHeaderStream(in);
  ASSERT_TRUE(header.Ok());

  stream::DirectWriteInput w;
  w.Tables = &tables;
  w.Layout = &layout;
  w.Header = &header.Value();
  w.BootImagePath = dir.Write("boot.img", boot);
  w.OutputPath = dir.Str() + "/boot.iso";
  std::vector<std::string> messages;
  w.Message = [&messages](const std::string& m, std::uint8_t) { messages.push_back(m); };
  const stream::DirectWriteResult r = stream::WriteImageDirect(w);
  EXPECT_EQ(r.Error, "");
  EXPECT_TRUE(r.DamagedFiles.empty());
  EXPECT_TRUE(messages.empty()) << messages.front();
  EXPECT_TRUE(r.ImageKept);
  const rd::Image image = rd::Image::FromFile(w.OutputPath);
  EXPECT_EQ(image.SectorCount(), 150u);
  const auto bytes = image.At(layout.BootImageSector, 4096);
  EXPECT_TRUE(SameBytes(boot, bytes));
  EXPECT_TRUE(std::all_of(bytes.begin() + 3000, bytes.end(), [](std::uint8_t b) { return b == 0; }));
}

}  // namespace
