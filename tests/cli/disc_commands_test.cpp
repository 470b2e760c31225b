// zantic-cli sessions, ls and extract over an image file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <filesystem>
#include <string>

#include "cli/build_iso.h"
#include "cli/disc_commands.h"
#include "engine/import/import_fixture.h"
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

class DiscCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir.Write("src/Read Me.txt", "hello");
    Dir.Write("src/docs/Makefile", testsupport::PatternContent(5000, 2));
    engine::TKavoBurner writer;
    writer.AddFolderToCompilation("\\", Dir.Str() + "/src", false, false, true, 0x3F, "*.*");
    Image = Dir.Str() + "/disc.iso";
    writer.WriteImageFile(Image, engine::SaveMode::Quick);
  }
  Outcome Cli(const std::string& command, std::vector<std::string> args) { return CliOn(Image, command, std::move(args)); }
  Outcome CliOn(const std::string& image, const std::string& command, std::vector<std::string> args) {
    engine::TKavoBurner burner;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    args.insert(args.begin(), {"--image", image});
    Outcome r;
    r.Code = cli::RunDiscCommand(burner, command, args, out, err);
    r.Out = Slurp(out);
    r.Err = Slurp(err);
    return r;
  }
  testsupport::TempDir Dir;
  std::string Image;
};

TEST_F(DiscCommands, ListsSessionsAndFiles) {
  const Outcome s = Cli("sessions", {});
  EXPECT_EQ(s.Code, cli::kExitOk);
  EXPECT_EQ(s.Out.substr(0, s.Out.find('\n')), " Number     Start     Size");
  EXPECT_NE(s.Out.find("  001      000:02:00     0 MB\n Free      "), std::string::npos) << s.Out;

  const Outcome ls = Cli("ls", {"--session", "5", "docs"});
  EXPECT_EQ(ls.Code, cli::kExitOk) << ls.Err;
  EXPECT_NE(ls.Out.find("-         5000  "), std::string::npos) << ls.Out;
  EXPECT_NE(ls.Out.find("  /docs/Makefile\n"), std::string::npos) << ls.Out;
  EXPECT_EQ(ls.Out.find("Read Me"), std::string::npos);
}

TEST_F(DiscCommands, ExtractsIntoTheChosenFolderOnly) {
  const std::string into = Dir.Str() + "/out";
  const Outcome one = Cli("extract", {"/docs/Makefile", into});
  EXPECT_EQ(one.Code, cli::kExitOk) << one.Err;
  EXPECT_EQ(std::filesystem::file_size(into + "/Makefile"), 5000u);
  const Outcome all = Cli("extract", {"/", into + "/all"});
  EXPECT_EQ(all.Code, cli::kExitOk) << all.Err;
  EXPECT_EQ(std::filesystem::file_size(into + "/all/Read Me.txt"), 5u);
  EXPECT_EQ(std::filesystem::file_size(into + "/all/docs/Makefile"), 5000u);

  EXPECT_EQ(Cli("extract", {"/", "/"}).Code, cli::kExitBadInput);
  EXPECT_EQ(Cli("extract", {"/missing.txt", into}).Code, cli::kExitBadInput);
  EXPECT_EQ(Cli("ls", {"--session", "x"}).Code, cli::kExitBadInput);
}


TEST_F(DiscCommands, ExtractionNeverReplacesAFileUnasked) {
  const std::string into = Dir.Str() + "/out";
  Dir.Write("out/docs/Makefile", "my own");
  const Outcome refused = Cli("extract", {"/", into});
  EXPECT_EQ(refused.Code, cli::kExitFailed);
  // The path is shown with the system's separators.
  EXPECT_NE(refused.Err.find("docs" + std::string(1, std::filesystem::path::preferred_separator) +
                             "Makefile\" ALREADY EXISTS, NOT REPLACED"),
            std::string::npos)
      << refused.Err;
  EXPECT_EQ(testsupport::ReadAll(into + "/docs/Makefile").size(), 6u);
  EXPECT_EQ(std::filesystem::file_size(into + "/Read Me.txt"), 5u);  // the rest came out

  const Outcome replaced = Cli("extract", {"--overwrite", "/", into});
  EXPECT_EQ(replaced.Code, cli::kExitOk) << replaced.Err;
  EXPECT_EQ(std::filesystem::file_size(into + "/docs/Makefile"), 5000u);

  // A link inside the destination is never followed, at the top either.
  const std::string outside = Dir.MakeDir("elsewhere");
  std::filesystem::create_directories(Dir.Path() / "in");
  std::error_code ec;
  std::filesystem::create_directory_symlink(outside, Dir.Path() / "in" / "docs", ec);
  if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
  EXPECT_EQ(Cli("extract", {"/docs", Dir.Str() + "/in"}).Code, cli::kExitFailed);
  EXPECT_EQ(Cli("extract", {"--overwrite", "/", Dir.Str() + "/in"}).Code, cli::kExitFailed);
  EXPECT_TRUE(std::filesystem::is_empty(outside));
}

TEST_F(DiscCommands, EveryEntryLeftOutFailsTheExtractionAndTheListing) {
  using importtest::Rec;
  // More entries in one folder than a compilation takes: all are listed and extracted.
  std::vector<Rec> many;
  for (int i = 0; i < 66000; ++i) many.push_back({"F" + std::to_string(i) + ".TXT;1", 60, 3, 0});
  auto big = importtest::Craft(1700, 20, 2048, {{20, {{"BIG", 100, 1550 * 2048, 2}}}, {100, many}});
  const Outcome ls = CliOn(Dir.WriteBytes("big.iso", big), "ls", {"/BIG"});
  EXPECT_EQ(ls.Code, cli::kExitOk) << ls.Err.substr(0, 300);
  EXPECT_EQ(std::count(ls.Out.begin(), ls.Out.end(), '\n'), 66000);

  // BAD.TXT points past the end of the disc: left out, so its folder is not done.
  auto bytes = importtest::Craft(80, 20, 2048, {{20, {{"SMALL", 21, 2048, 2}, {"OTHER", 22, 2048, 2}}},
                                                {21, {{"GOOD.TXT;1", 60, 3, 0}, {"BAD.TXT;1", 70, 1 << 20, 0}}},
                                                {22, {{"FINE.TXT;1", 60, 3, 0}}}});
  std::copy_n("abc", 3, bytes.begin() + 60 * 2048);
  const std::string crafted = Dir.WriteBytes("crafted.iso", bytes);
  EXPECT_EQ(CliOn(crafted, "extract", {"/OTHER", Dir.Str() + "/x"}).Code, cli::kExitOk);
  EXPECT_EQ(CliOn(crafted, "extract", {"/SMALL/GOOD.TXT", Dir.Str() + "/x"}).Code, cli::kExitOk);
  const Outcome small = CliOn(crafted, "extract", {"/SMALL", Dir.Str() + "/y"});
  EXPECT_EQ(small.Code, cli::kExitFailed);
  EXPECT_EQ(CliOn(crafted, "extract", {"/", Dir.Str() + "/z"}).Code, cli::kExitFailed);
  EXPECT_EQ(CliOn(crafted, "ls", {"/OTHER"}).Code, cli::kExitOk);
  const Outcome listed = CliOn(crafted, "ls", {"/SMALL"});
  EXPECT_EQ(listed.Code, cli::kExitFailed);
  EXPECT_NE(listed.Out.find("GOOD.TXT"), std::string::npos);
  EXPECT_EQ(CliOn(crafted, "ls", {}).Code, cli::kExitFailed);
  EXPECT_EQ(std::filesystem::file_size(Dir.Str() + "/y/SMALL/GOOD.TXT"), 3u);
}

}  // namespace
