// zantic-cli build-iso: argument parsing, what a source becomes on the disc,
// and how bad input and failures reach the exit code.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "cli/build_iso.h"
#include "cli/options.h"
#include "engine/kavo_burner.h"
#include "support/iso_reader.h"
#include "support/temp_dir.h"

namespace {

using testsupport::TempDir;

struct Captured {
  std::FILE* File = std::tmpfile();
  ~Captured() { std::fclose(File); }
  std::string Text() const {
    std::fflush(File);
    std::rewind(File);
    std::string s;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, File)) s.append(buf, n);
    return s;
  }
};

struct CliRun {
  int Code = -1;
  std::string Out;
  std::string Err;
};

namespace isoread = testsupport::isoread;

// Joliet paths (version suffix dropped) to their records.
std::map<std::string, isoread::DirRecord> JolietFiles(const isoread::Image& img) {
  std::map<std::string, isoread::DirRecord> files;
  for (const auto& d : img.Descriptors())
    if (d.Type == 2)
      for (const auto& e : img.Tree(d.Root, true)) {
        std::string path = "/" + e.Path;
        if (path.size() > 2 && path.compare(path.size() - 2, 2, ";1") == 0) path.resize(path.size() - 2);
        files.emplace(path, e.Record);
      }
  return files;
}

std::string Content(const isoread::Image& img, const isoread::DirRecord& r) {
  const auto bytes = img.At(r.Extent, r.DataLength);
  return std::string(bytes.begin(), bytes.end());
}

CliRun BuildIso(const std::vector<std::string>& args) {
  std::string error;
  auto options = cli::ParseBuildIso(args, error);
  if (!options) return CliRun{cli::kExitBadInput, "", error};
  engine::TKavoBurner burner;
  Captured out, err;
  CliRun r;
  r.Code = cli::RunBuildIso(burner, *options, out.File, err.File);
  r.Out = out.Text();
  r.Err = err.Text();
  return r;
}

TEST(CliOptions, ParsesIdentifiersSwitchesAndSources) {
  std::string error;
  auto o = cli::ParseBuildIso({"-V", "Label", "--publisher=ACME", "--no-joliet", "--replace", "-o", "x.iso", "a",
                               "--", "-dash-named"},
                              error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->Volume, "Label");
  EXPECT_EQ(o->Publisher, "ACME");
  EXPECT_FALSE(o->Joliet);
  EXPECT_TRUE(o->Replace);
  EXPECT_EQ(o->Output, "x.iso");
  EXPECT_EQ(o->Sources, (std::vector<std::string>{"a", "-dash-named"}));
}

TEST(CliOptions, RefusesMistakesWithAMessage) {
  const std::vector<std::vector<std::string>> bad = {
      {"a"},                       // no output
      {"-o", "x.iso"},             // no source
      {"-o", "x.iso", "--bogus", "a"},
      {"a", "-o"},                 // value missing
  };
  for (const auto& args : bad) {
    std::string error;
    EXPECT_FALSE(cli::ParseBuildIso(args, error));
    EXPECT_FALSE(error.empty());
  }
  std::string error;
  auto help = cli::ParseBuildIso({"--help"}, error);
  ASSERT_TRUE(help);
  EXPECT_TRUE(help->Help);
}

TEST(CliBuildIso, FolderBecomesNamedFolderAndFileGoesToRoot) {
  TempDir t;
  t.Write("Photos/2024/beach.jpg", "sand");
  t.Write("Photos/list.txt", "one");
  const std::string single = t.Write("single.txt", "root file");
  const std::string out = (t.Path() / "o.iso").string();
  const CliRun r = BuildIso({"-V", "Holiday", "-o", out, (t.Path() / "Photos/").string(), single});
  ASSERT_EQ(r.Code, cli::kExitOk) << r.Err;
  EXPECT_NE(r.Out.find("Files:     3"), std::string::npos) << r.Out;

  const auto img = isoread::Image::FromFile(out);
  const auto joliet = JolietFiles(img);
  ASSERT_TRUE(joliet.count("/Photos/2024/beach.jpg"));
  ASSERT_TRUE(joliet.count("/Photos/list.txt"));
  ASSERT_TRUE(joliet.count("/single.txt"));
  EXPECT_EQ(Content(img, joliet.at("/single.txt")), "root file");
  EXPECT_EQ(Content(img, joliet.at("/Photos/2024/beach.jpg")), "sand");
  EXPECT_EQ(isoread::Text(img.Descriptors().front().Raw, 40, 8), "HOLIDAY ");
}

TEST(CliBuildIso, BadInputGivesMessageAndExitCode) {
  TempDir t;
  const std::string out = (t.Path() / "o.iso").string();
  CliRun r = BuildIso({"-o", out, (t.Path() / "missing").string()});
  EXPECT_EQ(r.Code, cli::kExitBadInput);
  EXPECT_NE(r.Err.find("source not found"), std::string::npos);

  t.MakeDir("empty");
  r = BuildIso({"-o", out, t.Write("dir-only/.keep-out", ""), (t.Path() / "empty").string()});
  // The empty folder still becomes a folder, so there is something to write.
  EXPECT_EQ(r.Code, cli::kExitOk) << r.Err;

  r = BuildIso({"-o", t.Str(), t.Write("a.txt", "a")});
  EXPECT_EQ(r.Code, cli::kExitBadInput);
  EXPECT_NE(r.Err.find("folder"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(out + ".part"));
}

TEST(CliBuildIso, UnwritableOutputFailsAndLeavesNothing) {
  TempDir t;
  const std::string src = t.Write("a.txt", "a");
  const std::string out = (t.Path() / "no-such-folder" / "o.iso").string();
  const CliRun r = BuildIso({"-o", out, src});
  EXPECT_EQ(r.Code, cli::kExitFailed);
  EXPECT_NE(r.Err.find("CAN'T CREATE FILE"), std::string::npos) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(CliBuildIso, RefusedSourcesAreReportedAndCounted) {
  TempDir t;
  // Without Rock Ridge a name longer than Joliet allows is refused.
  const std::string longName = std::string(120, 'n') + ".bin";
  const std::string refused = t.Write(longName, "x");
  const std::string small = t.Write("small.txt", "ok");
  const std::string out = (t.Path() / "o.iso").string();
  const CliRun r = BuildIso({"--no-rock-ridge", "-o", out, refused, small});
  EXPECT_EQ(r.Code, cli::kExitIncomplete) << r.Err;
  EXPECT_NE(r.Err.find(longName), std::string::npos) << r.Err;
  EXPECT_NE(r.Out.find("Left out:  1"), std::string::npos) << r.Out;
  ASSERT_TRUE(std::filesystem::exists(out));
  // With it (the default) the name is kept whole, as is a dotless one of 255
  // bytes (not on Windows, whose paths here stop at 260 characters).
#ifndef _WIN32
  const std::string longest = t.Write(std::string(255, 'd'), "y");
  const CliRun rr = BuildIso({"-o", out, refused, small, longest});
#else
  const CliRun rr = BuildIso({"-o", out, refused, small});
#endif
  EXPECT_EQ(rr.Code, cli::kExitOk) << rr.Err;
}

}  // namespace
