// Outputs that must not replace what is there, and inputs that must not
// block: build-iso, read, vdisc create/press/export and --image; what check
// and ls print of hostile names; what a burn makes of names that differ only
// in case and of an earlier session's checksum file.
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
#include "cli/check_command.h"
#include "cli/disc_commands.h"
#include "cli/burn.h"
#include "cli/read_command.h"
#include "cli/task_commands.h"
#include "cli/options.h"
#include "cli/vdisc.h"
#include "engine/device/transport.h"
#include "engine/health/checksum_burn.h"
#include "engine/health/session_files.h"
#include "engine/kavo_burner.h"
#include "platform/file_stream.h"
#include "platform/process.h"
#include "support/temp_dir.h"
#include "vdrive/disc_image.h"
#include "vdrive/registration.h"

namespace {

struct Outcome {
  int Code = -1;
  std::string Err;
  std::string Out;
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
  r.Out = Slurp(out);
  r.Err = Slurp(err);
  return r;
}

Outcome BuildIso(const std::vector<std::string>& args) {
  std::string error;
  auto options = cli::ParseBuildIso(args, error);
  if (!options) return {cli::kExitBadInput, error, {}};
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

// A disc of one file pressed from an image, in the virtual recorder.
class DiscHealth : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir.Write("src/data.bin", testsupport::PatternContent(50000, 4));
    Image = Dir.Str() + "/disc.iso";
    engine::TKavoBurner writer;
    writer.AddFolderToCompilation("\\", Dir.Str() + "/src", false, false, true, 0x3F, "*.*");
    auto sums = health::AttachChecksumFile(writer, {});
    ASSERT_EQ(writer.WriteImageFile(Image, engine::SaveMode::Quick), 1);
  }
  void TearDown() override {
    vdrive::UnregisterVirtualRecorders();
    device::FinalizeTransport();
    platform::UnsetEnvironment("ZANTIC_VDISC");
  }
  void Press(const char* media, const std::string& image) {
    Disc = Dir.Str() + "/d.zvd";
    ASSERT_EQ(Vdisc({"press", Disc, "--media", media, image}).Code, 0);
    platform::SetEnvironment("ZANTIC_VDISC", Disc);
    device::FinalizeTransport();
    vdrive::RegisterVirtualRecorders();
  }
  template <typename F>
  Outcome Cli(F command, const std::vector<std::string>& args, const std::string& fifo = {}) {
    const auto call = [&] {
      engine::TKavoBurner burner;
      return Capture([&](std::FILE* out, std::FILE* err) { return command(burner, args, out, err); });
    };
    return fifo.empty() ? call() : WithinSeconds(fifo, call);
  }
  // The extent of the file whose name as recorded is `name`, and the end of the last file.
  std::pair<std::uint32_t, std::uint32_t> Extent(const std::string& name) {
    iso::ImageSource disc(testsupport::ReadAll(Image));
    const auto tree = health::ReadSessionTree(disc, 1);
    std::pair<std::uint32_t, std::uint32_t> r{0, 0};
    for (const auto& f : tree.Value().Files) {
      if (f.Listed == name) r.first = f.Extent;
      r.second = std::max(r.second, f.Extent + static_cast<std::uint32_t>(f.Sectors()));
    }
    return r;
  }
  void Patch(std::size_t at, const std::vector<std::uint8_t>& bytes) {
    std::fstream f(Image, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at));
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  testsupport::TempDir Dir;
  std::string Image, Disc;
};

TEST_F(DiscHealth, ReadNeverWritesOverItsDiscANodeALinkedFileOrAMapBesideAFolder) {
  Press("dvd-rom", Image);
  const auto disc = testsupport::ReadAll(Disc);
  std::filesystem::create_hard_link(Disc, Dir.Path() / "same.zvd");
  std::filesystem::create_symlink("/dev/null", Dir.Path() / "null");
  const std::string fifo = Dir.Str() + "/pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(Dir.Path() / "folder");
  const std::string map = Dir.Write("folder.map", "mine");
  for (const std::string& out : {Disc, Dir.Str() + "/same.zvd", Dir.Str() + "/null", fifo, Dir.Str() + "/folder"})
    EXPECT_EQ(Cli(cli::RunRead, {"--device", Disc, "-o", out}, fifo).Code, cli::kExitBadInput) << out;
  EXPECT_EQ(Cli(cli::RunRead, {"--image", Image, "-o", Image}).Code, cli::kExitBadInput);
  EXPECT_EQ(testsupport::ReadAll(Disc), disc);
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_EQ(Text(map), "mine");
  // Maps that are FIFOs are refused at once.
  EXPECT_EQ(Cli(cli::RunRead, {"--image", Image, "--map", fifo}, fifo).Code, cli::kExitBadInput);
  const std::string out = Dir.Str() + "/copy.iso";
  ASSERT_EQ(::mkfifo((out + ".map").c_str(), 0600), 0);
  EXPECT_EQ(Cli(cli::RunRead, {"--device", Disc, "-o", out, "--resume"}, out + ".map").Code, cli::kExitBadInput);
  std::filesystem::remove(out + ".map");
  // Temporary files follow no link and replace no file of their name.
  const std::string victim = Dir.Write("victim", "precious");
  std::filesystem::create_symlink(victim, out + ".part");
  std::filesystem::create_symlink(victim, out + ".map.new");
  const std::string stale = Dir.Write("copy.iso.part-0123abcd", "left by a killed read");
  const Outcome good = Cli(cli::RunRead, {"--device", Disc, "-o", out});
  EXPECT_EQ(good.Code, cli::kExitOk) << good.Err;
  EXPECT_EQ(testsupport::ReadAll(out), testsupport::ReadAll(Image));
  EXPECT_EQ(Text(victim), "precious");
  EXPECT_FALSE(std::filesystem::exists(stale));
}

TEST_F(DiscHealth, RunOutSectorsAFileOwnsStayUnreadable) {
  // The volume ends two sectors short of the track, inside the last file.
  const std::uint32_t end = Extent("").second;
  std::filesystem::resize_file(Image, std::uint64_t{end} * 2048);
  const std::uint32_t short2 = end - 2;
  std::vector<std::uint8_t> size(8);
  for (std::size_t i = 0; i < 4; ++i) size[i] = size[7 - i] = static_cast<std::uint8_t>(short2 >> (8 * i));
  Patch(16 * 2048 + 80, size);
  Press("cd-rom", Image);
  ASSERT_EQ(Vdisc({"fault", Disc, "--unreadable", std::to_string(short2) + "+2"}).Code, 0);
  const Outcome r = Cli(cli::RunRead, {"--device", Disc, "-o", Dir.Str() + "/copy.iso", "--retries", "0"});
  EXPECT_EQ(r.Code, cli::kExitFailed) << r.Out << r.Err;
  EXPECT_NE(Text(Dir.Str() + "/copy.iso.map").find(std::to_string(short2) + " 2\n"), std::string::npos);
}

TEST_F(DiscHealth, ExportTakesOnlySessionsWrittenWholeUnlessAskedFor) {
  vdrive::TDisc d = vdrive::BlankDisc(vdrive::TMedia::DvdPlusR, 2000);
  d.Tracks = {vdrive::TTrack{0, 0, 300, 1, false}};  // a burn at work, or cut short
  const std::string open = Dir.Str() + "/open.zvd", iso = Dir.Str() + "/open.iso";
  ASSERT_TRUE(vdrive::TDiscFile::Create(open, d).Ok());
  for (const auto& extra : std::vector<std::vector<std::string>>{{}, {"--session", "1"}}) {
    std::vector<std::string> args{"export", open, iso};
    args.insert(args.end(), extra.begin(), extra.end());
    const Outcome r = Vdisc(args);
    EXPECT_EQ(r.Code, cli::kExitFailed);
    EXPECT_NE(r.Err.find("not written whole"), std::string::npos) << r.Err;
  }
  EXPECT_FALSE(std::filesystem::exists(iso));
  EXPECT_EQ(Vdisc({"export", open, iso, "--incomplete"}).Code, cli::kExitOk);
  EXPECT_EQ(std::filesystem::file_size(iso), 300u * 2048);
}

TEST_F(DiscHealth, NamesArePrintedEscapedAndACutImageFailsTheCheck) {
  const std::string evil = "evil\x1b[2J\xc2\x9b" "2J.txt";
  Dir.Write("src/" + evil, "intact text");
  SetUp();
  const auto [extent, end] = Extent(evil);
  ASSERT_NE(extent, 0u);
  Patch(std::size_t{extent} * 2048, {'X'});
  const Outcome check = Cli(cli::RunCheck, {"--image", Image});
  EXPECT_EQ(check.Code, cli::kExitFailed);
  EXPECT_NE(check.Out.find("damaged    /evil\\x1b[2J\\u009b2J.txt"), std::string::npos) << check.Out;
  const auto ls = [&](const std::vector<std::string>& args) {
    engine::TKavoBurner burner;
    return Capture([&](std::FILE* out, std::FILE* err) { return cli::RunDiscCommand(burner, "ls", args, out, err); });
  };
  for (const Outcome& r : {check, ls({"--image", Image})}) {
    EXPECT_EQ((r.Out + r.Err).find('\x1b'), std::string::npos) << r.Out;
    EXPECT_EQ((r.Out + r.Err).find("\xc2\x9b"), std::string::npos) << r.Out;
  }
  std::filesystem::resize_file(Image, std::uint64_t{extent} * 2048);
  const Outcome cut = Cli(cli::RunCheck, {"--image", Image});
  EXPECT_EQ(cut.Code, cli::kExitFailed) << cut.Out;
  EXPECT_NE(cut.Out.find("left out"), std::string::npos) << cut.Out;
}

// A blank disc in the virtual recorder, burnt through the command line.
class BurnSources : public DiscHealth {
 protected:
  void Blank() {
    platform::SetEnvironment("ZANTIC_VDRIVE_TIMESCALE", "0.001");
    Disc = Dir.Str() + "/d.zvd";
    ASSERT_EQ(Vdisc({"create", Disc, "--media", "dvd+r", "--blocks", "30000"}).Code, 0);
    platform::SetEnvironment("ZANTIC_VDISC", Disc);
    device::FinalizeTransport();
    vdrive::RegisterVirtualRecorders();
  }
  void TearDown() override {
    DiscHealth::TearDown();
    platform::UnsetEnvironment("ZANTIC_VDRIVE_TIMESCALE");
  }
  Outcome Burn(std::vector<std::string> args) {
    args.insert(args.begin(), {"--device", Disc});
    return Cli([](engine::TKavoBurner& b, const std::vector<std::string>& a, std::FILE* o,
                  std::FILE* e) { return cli::RunBurn(b, a, false, o, e); }, args);
  }
  Outcome TaskCommand(const std::vector<std::string>& args) {
    return Cli([](engine::TKavoBurner& b, const std::vector<std::string>& a, std::FILE* o,
                  std::FILE* e) { return cli::RunTaskCommand(a, b, o, e); }, args);
  }
  Outcome Ls(const std::vector<std::string>& args) {
    return Cli([](engine::TKavoBurner& b, const std::vector<std::string>& a, std::FILE* o,
                  std::FILE* e) { return cli::RunDiscCommand(b, "ls", a, o, e); }, args);
  }
};

TEST_F(BurnSources, ASecondNameEqualButForCaseIsReportedAsLeftOut) {
  const std::string d = Dir.Str() + "/d";
  Dir.Write("d/Same.txt", "upper");
  Dir.Write("d/same.txt", "lower");
  Dir.Write("d/Sub/x.txt", "in Sub");
  Dir.Write("d/sub/y.txt", "in sub");
  // Which of a pair comes first is the folder's listing order.
  const auto refused = [&](const Outcome& r, const std::string& a, const std::string& b) {
    const bool first = r.Err.find(d + "/" + a + "\"") != std::string::npos;
    EXPECT_NE(first, r.Err.find(d + "/" + b + "\"") != std::string::npos) << r.Err;
    return first ? a : b;
  };
  const Outcome iso = BuildIso({"-o", Dir.Str() + "/o.iso", d});
  EXPECT_EQ(iso.Code, cli::kExitIncomplete) << iso.Err;
  EXPECT_NE(iso.Out.find("Left out:  2"), std::string::npos) << iso.Out;
  Blank();
  const Outcome burn = Burn({d});
  EXPECT_EQ(burn.Code, cli::kExitIncomplete) << burn.Err;
  EXPECT_NE(burn.Out.find("Left out:  2"), std::string::npos) << burn.Out;
  // A task whose item is the folder, to an image and onto the disc.
  const std::string task = Dir.Write("t.mvt", "T(" + d + "*0()#)#\r\n");
  const std::string pf = Dir.Str() + "/pf";
  Dir.Write("pf/Option.ini", "[Burning]\nCloseDisc=0\nChecksums=0\n");
  const Outcome taskIso = TaskCommand({"iso", task, "-o", Dir.Str() + "/t.iso", "--program-folder", pf});
  EXPECT_EQ(taskIso.Code, cli::kExitIncomplete) << taskIso.Err;
  const Outcome taskBurn = TaskCommand({"burn", task, "--device", Disc, "--program-folder", pf});
  EXPECT_EQ(taskBurn.Code, cli::kExitIncomplete) << taskBurn.Err;
  EXPECT_NE(taskBurn.Out.find("Left out:  2"), std::string::npos) << taskBurn.Out;
  for (const Outcome* r : {&iso, &burn, &taskIso, &taskBurn}) refused(*r, "Sub", "sub");
  for (const Outcome* r : {&iso, &taskIso, &taskBurn}) refused(*r, "Same.txt", "same.txt");
  // The other of the pair is on the disc, whole.
  const std::string left = refused(burn, "Same.txt", "same.txt");
  const std::string kept = left == "Same.txt" ? "same.txt" : "Same.txt";
  const Outcome ls = Ls({"--device", Disc, "/d"});
  EXPECT_NE(ls.Out.find("/d/" + kept), std::string::npos) << ls.Out;
  EXPECT_EQ(ls.Out.find("/d/" + left), std::string::npos) << ls.Out;
  const Outcome got = Cli([](engine::TKavoBurner& b, const std::vector<std::string>& a, std::FILE* o,
                             std::FILE* e) { return cli::RunDiscCommand(b, "extract", a, o, e); },
                          {"--device", Disc, "/d/" + kept, Dir.Str() + "/out"});
  EXPECT_EQ(got.Code, cli::kExitOk) << got.Err;
  EXPECT_EQ(Text(Dir.Str() + "/out/" + kept), Text(d + "/" + kept));
}

TEST_F(BurnSources, ABurnWithoutChecksumsLeavesNoStaleLineForAFileItReplaces) {
  Blank();
  const std::string d = Dir.Str() + "/d";
  Dir.Write("d/a.txt", "first");
  Dir.Write("d/b.txt", "kept");
  ASSERT_EQ(Burn({"--checksums", d}).Code, cli::kExitOk);
  Dir.Write("d/a.txt", "edited after the first burn");
  ASSERT_EQ(Burn({"--import-session", "-1", d}).Code, cli::kExitOk);
  // Files only imported keep their lines and are still compared.
  Dir.Write("e/c.txt", "another");
  ASSERT_EQ(Burn({"--import-session", "-1", Dir.Str() + "/e"}).Code, cli::kExitOk);
  for (const char* session : {"2", "3"}) {
    const Outcome check = Cli(cli::RunCheck, {"--device", Disc, "--session", session});
    EXPECT_EQ(check.Code, cli::kExitOk) << check.Out << check.Err;
    EXPECT_NE(check.Out.find(" 0 damaged"), std::string::npos) << check.Out;
  }
}

}  // namespace
