// Outputs that must not replace what is there, and inputs that must not
// block: build-iso, vdisc create/press/export and --image.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include "cli/build_iso.h"
#include "cli/disc_commands.h"
#include "cli/options.h"
#include "cli/vdisc.h"
#include "engine/kavo_burner.h"
#include "platform/file_stream.h"
#include "support/temp_dir.h"

namespace {

struct Outcome {
  int Code = -1;
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

template <typename F>
Outcome Capture(F&& call) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  Outcome r;
  r.Code = call(out, err);
  Slurp(out);
  r.Err = Slurp(err);
  return r;
}

Outcome BuildIso(const std::vector<std::string>& args) {
  std::string error;
  auto options = cli::ParseBuildIso(args, error);
  if (!options) return {cli::kExitBadInput, error};
  engine::TKavoBurner burner;
  return Capture([&](std::FILE* out, std::FILE* err) { return cli::RunBuildIso(burner, *options, out, err); });
}

Outcome Vdisc(const std::vector<std::string>& args) {
  return Capture([&](std::FILE* out, std::FILE* err) { return cli::RunVdisc(args, out, err); });
}

// Runs `call` and fails instead of hanging when it blocks on the FIFO:
// opening the FIFO's writing end lets a blocked reader go on.
Outcome WithinSeconds(const std::string& fifo, std::function<Outcome()> call) {
  auto running = std::async(std::launch::async, std::move(call));
  if (running.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
    std::ofstream unblock(fifo);
    ADD_FAILURE() << "blocked on the FIFO " << fifo;
  }
  return running.get();
}

std::string Text(const std::string& path) {
  const auto bytes = testsupport::ReadAll(path);
  return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> Names(const testsupport::TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Outputs, BuildIsoRefusesANodeOrASourceAsItsOutput) {
  testsupport::TempDir dir;
  const std::string source = dir.Write("a.txt", "keep me");
  const std::string fifo = dir.Str() + "/node";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const Outcome node = BuildIso({"-o", fifo, source});
  EXPECT_EQ(node.Code, cli::kExitBadInput);
  EXPECT_NE(node.Err.find("not a regular file"), std::string::npos) << node.Err;
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));

  // The same file under another name, not only the same name.
  std::filesystem::create_symlink(source, dir.Path() / "alias.iso");
  for (const std::string& out : {source, dir.Str() + "/./a.txt", dir.Str() + "/alias.iso"}) {
    const Outcome same = BuildIso({"-o", out, source});
    EXPECT_EQ(same.Code, cli::kExitBadInput) << out;
    EXPECT_NE(same.Err.find("one of the sources"), std::string::npos) << same.Err;
  }
  EXPECT_EQ(Text(source), "keep me");
}

TEST(Outputs, BuildIsoRemovesStalePartsOfItsOwnNamingOnly) {
  testsupport::TempDir dir;
  const std::string source = dir.Write("src/a.txt", "data");
  const std::string out = dir.Str() + "/out.iso";
  dir.Write("out.iso.part-deadbeef", "left by a killed run");
  dir.Write("out.iso.part-notmine", "someone else's");
  dir.Write("other.iso.part-01234567", "another target's");
  const std::string busy = dir.Write("out.iso.part-0badf00d", "a run at work");
  auto held = platform::FileStream::Open(busy, platform::OpenMode::ReadWrite);
  ASSERT_TRUE(held.Ok());
  ASSERT_TRUE(held.Value().TryLock());
  for (const char* quick : {"--quick", "--verbose"}) {
    const Outcome r = BuildIso({quick, "-o", out, dir.Str() + "/src"});
    EXPECT_EQ(r.Code, cli::kExitOk) << r.Err;
    EXPECT_EQ(Names(dir), (std::vector<std::string>{"other.iso.part-01234567", "out.iso", "out.iso.part-0badf00d",
                                                    "out.iso.part-notmine", "src"}));
  }
}

// Files may grow no larger than `bytes` while it lives, as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &FOld);
    FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = FOld;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &FOld);
    std::signal(SIGXFSZ, FOldHandler);
  }

 private:
  rlimit FOld{};
  void (*FOldHandler)(int) = nullptr;
};

TEST(Outputs, VdiscExportNeverDestroysItsDisc) {
  testsupport::TempDir dir;
  const std::string image = dir.Write("in.iso", testsupport::PatternContent(600 * 2048, 3));
  const std::string disc = dir.Str() + "/d.zvd";
  ASSERT_EQ(Vdisc({"press", disc, "--media", "dvd-rom", image}).Code, cli::kExitOk);
  const auto before = testsupport::ReadAll(disc);
  std::filesystem::create_hard_link(disc, dir.Path() / "same.iso");
  for (const std::string& out : {disc, dir.Str() + "/same.iso"}) {
    const Outcome r = Vdisc({"export", disc, out});
    EXPECT_EQ(r.Code, cli::kExitBadInput) << out;
    EXPECT_NE(r.Err.find("the disc file itself"), std::string::npos) << r.Err;
  }
  EXPECT_EQ(testsupport::ReadAll(disc), before);
  EXPECT_EQ(Vdisc({"info", disc}).Code, cli::kExitOk);

  // A disk that fills up halfway leaves the old output as it was and nothing beside it.
  const std::string old = dir.Write("old.iso", "an earlier export");
  {
    FileSizeLimit full(256 * 1024);
    EXPECT_EQ(Vdisc({"export", disc, old}).Code, cli::kExitFailed);
  }
  EXPECT_EQ(Text(old), "an earlier export");
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"d.zvd", "in.iso", "old.iso", "same.iso"}));
  const Outcome done = Vdisc({"export", disc, old});
  EXPECT_EQ(done.Code, cli::kExitOk) << done.Err;
  EXPECT_EQ(Text(old), Text(image));
}

TEST(Outputs, VdiscCreateAndPressLeaveNothingOnFailure) {
  testsupport::TempDir dir;
  const std::string existing = dir.Write("taken.zvd", "not a disc");
  EXPECT_EQ(Vdisc({"create", existing, "--media", "cd-r"}).Code, cli::kExitFailed);
  EXPECT_EQ(Text(existing), "not a disc");
  const std::string image = dir.Write("in.iso", testsupport::PatternContent(600 * 2048, 4));
  {
    FileSizeLimit full(256 * 1024);
    EXPECT_EQ(Vdisc({"press", dir.Str() + "/p.zvd", "--media", "dvd-rom", image}).Code, cli::kExitFailed);
  }
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"in.iso", "taken.zvd"}));

  const Outcome help = Vdisc({"info", "--help"});
  EXPECT_EQ(help.Code, cli::kExitOk);
  EXPECT_EQ(help.Err, "");
}

TEST(Outputs, AFifoAsAnImageIsRefusedAtOnce) {
  testsupport::TempDir dir;
  const std::string fifo = dir.Str() + "/pipe.iso";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const Outcome press = WithinSeconds(fifo, [&] { return Vdisc({"press", dir.Str() + "/p.zvd", "--media", "cd-rom", fifo}); });
  EXPECT_EQ(press.Code, cli::kExitFailed);
  EXPECT_NE(press.Err.find("not a regular file or block device"), std::string::npos) << press.Err;
  const Outcome ls = WithinSeconds(fifo, [&] {
    engine::TKavoBurner burner;
    return Capture([&](std::FILE* out, std::FILE* err) {
      return cli::RunDiscCommand(burner, "ls", {"--image", fifo}, out, err);
    });
  });
  EXPECT_EQ(ls.Code, cli::kExitBadInput);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "p.zvd"));
}

}  // namespace
