// Checking a session: against its checksum file, or only reading it.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/health/checksum_burn.h"
#include "engine/health/disc_reader.h"
#include "engine/health/checksum_file.h"
#include "engine/health/disc_check.h"
#include "engine/health/session_files.h"
#include "engine/kavo_burner.h"
#include "support/temp_dir.h"

namespace {

using health::Verdict;

class DiscCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir.Write("src/big.bin", testsupport::PatternContent(40000, 3));
    Dir.Write("src/docs/note.txt", "note");
    Dir.Write("src/docs/README", "no extension");
    Dir.Write("src/empty.txt", "");
  }
  // Builds the image, with the checksum file when asked.
  std::vector<std::uint8_t> Build(bool sums, const std::string& extra = {}) {
    engine::TKavoBurner writer;
    writer.AddFolderToCompilation("\\", Dir.Str() + "/src", false, false, true, 0x3F, "*.*");
    std::unique_ptr<health::ChecksumAttachment> attached;
    if (sums) {
      auto a = health::AttachChecksumFile(writer, {});
      EXPECT_TRUE(a.Ok()) << a.Err().Message;
      if (a.Ok()) attached = std::move(a.Value());
      EXPECT_EQ(attached->Hashed, 4u);
    }
    if (!extra.empty()) {
      const std::string path = Dir.Write("x/" + std::string(health::kChecksumFileName), extra);
      writer.AddFileToCompilation("\\", path, false);
    }
    const std::string image = Dir.Str() + "/disc.iso";
    EXPECT_EQ(writer.WriteImageFile(image, engine::SaveMode::Quick), 1);
    return testsupport::ReadAll(image);
  }
  health::CheckReport Check(iso::ImageSource& disc) {
    auto r = health::CheckSession(disc, 1, health::ReadSettings{}, {});
    EXPECT_TRUE(r.Ok());
    return r.Ok() ? r.Value() : health::CheckReport{};
  }
  static Verdict Of(const health::CheckReport& r, const std::string& path) {
    const auto it = std::find_if(r.Files.begin(), r.Files.end(), [&](const auto& f) { return f.Path == path; });
    EXPECT_NE(it, r.Files.end()) << path;
    return it == r.Files.end() ? Verdict::Read : it->Result;
  }
  std::uint32_t ExtentOf(iso::ImageSource& disc, const std::string& path) {
    auto tree = health::ReadSessionTree(disc, 1);
    for (const auto& f : tree.Value().Files)
      if (f.Path == path) return f.Extent;
    ADD_FAILURE() << path;
    return 0;
  }
  testsupport::TempDir Dir;
};

TEST_F(DiscCheck, AGoodDiscPassesAndHiddenChecksumsNameFilesAsPeersDo) {
  iso::ImageSource disc(Build(true));
  const auto r = Check(disc);
  EXPECT_TRUE(r.HasChecksums);
  EXPECT_EQ(r.Faults(), 0u);
  EXPECT_EQ(r.Files.size(), 4u);
  for (const auto& f : r.Files) EXPECT_EQ(f.Result, Verdict::Good) << f.Path;
  EXPECT_EQ(Of(r, "docs/README"), Verdict::Good);
}

TEST_F(DiscCheck, NamesTheDamagedTheUnreadableWithSectorsAndTheMissing) {
  auto bytes = Build(true);
  {
    iso::ImageSource probe(bytes);
    const std::uint32_t big = ExtentOf(probe, "big.bin");
    bytes[std::size_t{big} * 2048 + 7] ^= 1;  // silent corruption
  }
  iso::ImageSource disc(bytes);
  const std::uint32_t note = ExtentOf(disc, "docs/note.txt");
  disc.FailingSectors = {note};
  const auto r = Check(disc);
  EXPECT_EQ(Of(r, "big.bin"), Verdict::Damaged);
  EXPECT_EQ(Of(r, "docs/note.txt"), Verdict::Unreadable);
  for (const auto& f : r.Files)
    if (f.Path == "docs/note.txt") {
      EXPECT_EQ(f.Sectors, (std::vector<health::SectorRange>{{note, 1}}));
    }
  EXPECT_EQ(Of(r, "empty.txt"), Verdict::Good);
  EXPECT_EQ(r.Faults(), 2u);

  // A listed file that is not on the disc.
  const std::string hex(64, '0');
  iso::ImageSource crafted(Build(false, health::ChecksumLine(hex, "gone.txt") + hex + "  ../../escape\n"));
  const auto c = Check(crafted);
  EXPECT_EQ(Of(c, "gone.txt"), Verdict::Missing);
  EXPECT_EQ(Of(c, "big.bin"), Verdict::Read);
  EXPECT_EQ(c.Faults(), 1u);
  EXPECT_EQ(c.Notes.size(), 1u);
}

TEST_F(DiscCheck, WithoutAChecksumFileEverythingIsReadAndOnlyUnreadableFilesFail) {
  iso::ImageSource disc(Build(false));
  auto r = Check(disc);
  EXPECT_FALSE(r.HasChecksums);
  EXPECT_EQ(r.Faults(), 0u);
  EXPECT_EQ(Of(r, "big.bin"), Verdict::Read);
  disc.FailingSectors = {ExtentOf(disc, "big.bin") + 2};
  r = Check(disc);
  EXPECT_EQ(Of(r, "big.bin"), Verdict::Unreadable);
  EXPECT_EQ(r.Faults(), 1u);
}

TEST_F(DiscCheck, AUserFileWithTheChecksumFilesNameIsNotReplaced) {
  Dir.Write("src/" + std::string(health::kChecksumFileName), "mine");
  engine::TKavoBurner writer;
  writer.AddFolderToCompilation("\\", Dir.Str() + "/src", false, false, true, 0x3F, "*.*");
  const auto a = health::AttachChecksumFile(writer, {});
  ASSERT_FALSE(a.Ok());
  EXPECT_EQ(a.Err().Kind, base::ErrorKind::InvalidInput);
}

TEST_F(DiscCheck, NamesItWroteItselfAreVerifiedAlsoWithoutJoliet) {
#ifndef _WIN32
  // Characters the file tree reader renames for paths, kept in the checksum file.
  for (const char* name : {"a:b.txt", "back\\slash.txt", "line\nbreak.txt", "ctl\x01.txt", "cr\r"})
    Dir.Write("src/odd/" + std::string(name), name);
  const std::size_t oddNames = 5;
#else
  // No such names on Windows.
  const std::size_t oddNames = 0;
#endif
  for (const bool joliet : {true, false}) {
    engine::TKavoBurner writer;
    writer.SetJolietFileSystem(joliet);
    writer.AddFolderToCompilation("\\", Dir.Str() + "/src", false, false, true, 0x3F, "*.*");
    auto attached = health::AttachChecksumFile(writer, {});
    ASSERT_TRUE(attached.Ok()) << attached.Err().Message;
    const std::string image = Dir.Str() + "/names.iso";
    ASSERT_EQ(writer.WriteImageFile(image, engine::SaveMode::Quick), 1);
    iso::ImageSource disc(testsupport::ReadAll(image));
    const auto r = Check(disc);
    EXPECT_TRUE(r.HasChecksums) << joliet;
    EXPECT_EQ(r.Faults(), 0u) << joliet;
    for (const auto& f : r.Files) EXPECT_EQ(f.Result, Verdict::Good) << joliet << " " << f.Path;
    EXPECT_GE(r.Files.size(), joliet ? 4u + oddNames : 4u);
  }
}

TEST_F(DiscCheck, AnUnusableChecksumLineOrFileFailsTheCheck) {
  auto bytes = Build(true);
  std::uint32_t sums = 0;
  {
    iso::ImageSource probe(bytes);
    sums = ExtentOf(probe, health::kChecksumFileName);
  }
  bytes[std::size_t{sums} * 2048 + 3] = 'z';  // the first line's digest is no longer hexadecimal
  iso::ImageSource disc(bytes);
  auto r = Check(disc);
  EXPECT_FALSE(r.ChecksumProblem.empty());
  const auto unverified = std::count_if(r.Files.begin(), r.Files.end(),
                                        [](const auto& f) { return f.Result == Verdict::Unverified; });
  EXPECT_EQ(unverified, 1);
  EXPECT_EQ(r.Faults(), 2u);
  // An unreadable checksum file is a fault of its own, never a read-only check.
  disc.FailingSectors = {sums};
  r = Check(disc);
  EXPECT_TRUE(r.HasChecksums);
  EXPECT_FALSE(r.ChecksumProblem.empty());
}

TEST_F(DiscCheck, AVolumeLargerThanTheDiscIsReadOnlyAsFarAsTheDiscGoes) {
  auto bytes = Build(false);
  const std::size_t sectors = bytes.size() / 2048;
  for (std::size_t i = 0; i < 8; ++i) bytes[16 * 2048 + 80 + i] = 0xFF;  // 8 TiB
  iso::ImageSource huge(bytes);
  EXPECT_EQ(health::SessionEnd(huge, 1, health::SessionBounds::FileSystem), sectors);
}

}  // namespace
