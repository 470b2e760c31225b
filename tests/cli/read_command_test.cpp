// zantic-cli read over an image file: the image, its map, and bad input.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/build_iso.h"
#include "cli/check_command.h"
#include "cli/read_command.h"
#include "engine/health/sector_map.h"
#include "engine/kavo_burner.h"
#include "support/temp_dir.h"

namespace {

struct Outcome {
  int Code = -1;
  std::string Out;
  std::string Err;
};

std::string Slurp(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string s;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, f)) s.append(buf, n);
  std::fclose(f);
  return s;
}

class ReadCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir.Write("src/data.bin", testsupport::PatternContent(50000, 4));
    engine::TKavoBurner writer;
    writer.AddFolderToCompilation("\\", Dir.Str() + "/src", false, false, true, 0x3F, "*.*");
    Image = Dir.Str() + "/disc.iso";
    writer.WriteImageFile(Image, engine::SaveMode::Quick);
  }
  Outcome Run(int (*command)(engine::TKavoBurner&, const std::vector<std::string>&, std::FILE*, std::FILE*),
              const std::vector<std::string>& args) {
    engine::TKavoBurner burner;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Outcome r;
    r.Code = command(burner, args, out, err);
    r.Out = Slurp(out);
    r.Err = Slurp(err);
    return r;
  }
  testsupport::TempDir Dir;
  std::string Image;
};

TEST_F(ReadCommand, CopiesTheSessionWritesAnEmptyMapAndListsAMapsDamage) {
  const std::string copy = Dir.Str() + "/copy.iso";
  const Outcome r = Run(cli::RunRead, {"--image", Image, "-o", copy});
  ASSERT_EQ(r.Code, cli::kExitOk) << r.Err;
  EXPECT_EQ(testsupport::ReadAll(copy), testsupport::ReadAll(Image));
  EXPECT_FALSE(std::filesystem::exists(copy + ".part"));
  auto map = health::LoadSectorMap(copy + ".map");
  ASSERT_TRUE(map.Ok());
  EXPECT_EQ(std::uint64_t{map.Value().Sectors} * 2048, std::filesystem::file_size(Image));
  EXPECT_TRUE(map.Value().Unreadable.empty());

  // A map naming the file's first sector and sector 0.
  const Outcome ls = Run(cli::RunRead, {"--image", Image, "--map", copy + ".map"});
  EXPECT_EQ(ls.Code, cli::kExitOk);
  health::SectorMap damaged = map.Value();
  const auto at = ls.Out.find("file");  // nothing listed for an empty map
  EXPECT_EQ(at, std::string::npos) << ls.Out;
  damaged.Unreadable = {{0, 1}};
  ASSERT_TRUE(health::SaveSectorMap(Dir.Str() + "/bad.map", damaged).Ok());
  const Outcome hit = Run(cli::RunRead, {"--image", Image, "--map", Dir.Str() + "/bad.map"});
  EXPECT_NE(hit.Out.find("session 1: sectors of no file: 0"), std::string::npos) << hit.Out;
}

TEST_F(ReadCommand, RefusesBadArgumentsAndAMapOfAnotherDisc) {
  const std::string copy = Dir.Str() + "/copy.iso";
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"-o", copy},                                          // no disc
           {"--image", Image, "--device", "x", "-o", copy},      // two discs
           {"--image", Image},                                    // no output
           {"--image", Image, "--resume"},                        // resume what
           {"--image", Image, "-o", copy, "--map", "m"},          // both modes
           {"--image", Image, "-o", copy, "--session", "0"},
           {"--image", Image, "-o", copy, "--retries", "-1"},
           {"--image", Image, "-o", copy, "--speed", "99999"},
           {"--image", Image, "-o", copy, "--resume"},            // no map yet
       }) {
    EXPECT_EQ(Run(cli::RunRead, args).Code, cli::kExitBadInput) << args.back();
  }
  EXPECT_FALSE(std::filesystem::exists(copy));
  // The map says another size: --resume must not touch the image.
  ASSERT_EQ(Run(cli::RunRead, {"--image", Image, "-o", copy}).Code, cli::kExitOk);
  health::SectorMap other;
  other.Sectors = 17;
  ASSERT_TRUE(health::SaveSectorMap(copy + ".map", other).Ok());
  const Outcome r = Run(cli::RunRead, {"--image", Image, "-o", copy, "--resume"});
  EXPECT_EQ(r.Code, cli::kExitBadInput);
  EXPECT_NE(r.Err.find("not the same disc"), std::string::npos) << r.Err;
  EXPECT_EQ(testsupport::ReadAll(copy), testsupport::ReadAll(Image));
}

TEST_F(ReadCommand, CheckReadsADiscWithoutChecksums) {
  const Outcome r = Run(cli::RunCheck, {"--image", Image});
  EXPECT_EQ(r.Code, cli::kExitOk) << r.Err;
  EXPECT_NE(r.Out.find("1 files"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("read test only"), std::string::npos) << r.Out;
  EXPECT_EQ(Run(cli::RunCheck, {"--image", Dir.Str() + "/missing.iso"}).Code, cli::kExitFailed);
  EXPECT_EQ(Run(cli::RunCheck, {}).Code, cli::kExitBadInput);
}

}  // namespace
