// zantic-cli sessions, ls and extract over an image file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/build_iso.h"
#include "cli/disc_commands.h"
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
  Outcome Cli(const std::string& command, std::vector<std::string> args) {
    engine::TKavoBurner burner;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    args.insert(args.begin(), {"--image", Image});
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

}  // namespace
