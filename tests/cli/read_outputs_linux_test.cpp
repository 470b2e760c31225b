// read, check, ls and vdisc export against hostile outputs, names and
// incomplete discs: nothing replaced, nothing blocked, nothing passed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>

#include "cli/build_iso.h"
#include "cli/check_command.h"
#include "cli/disc_commands.h"
#include "cli/read_command.h"
#include "cli/vdisc.h"
#include "engine/device/transport.h"
#include "engine/health/checksum_burn.h"
#include "engine/health/session_files.h"
#include "engine/kavo_burner.h"
#include "platform/process.h"
#include "support/temp_dir.h"
#include "vdrive/disc_image.h"
#include "vdrive/medium.h"
#include "vdrive/registration.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int Code = -1;
  std::string Out, Err;
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

using Command = std::function<int(engine::TKavoBurner&, std::FILE*, std::FILE*)>;

// Runs the command, failing instead of hanging when it blocks on `fifo`.
Outcome RunCommand(const Command& command, const std::string& fifo = {}) {
  auto running = std::async(std::launch::async, [&] {
    engine::TKavoBurner burner;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Outcome r;
    r.Code = command(burner, out, err);
    r.Out = Slurp(out);
    r.Err = Slurp(err);
    return r;
  });
  if (!fifo.empty() && running.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
    std::ofstream unblock(fifo);
    ADD_FAILURE() << "blocked on the FIFO " << fifo;
  }
  return running.get();
}

Outcome Read(const std::vector<std::string>& args, const std::string& fifo = {}) {
  return RunCommand([&](engine::TKavoBurner& b, std::FILE* o, std::FILE* e) { return cli::RunRead(b, args, o, e); }, fifo);
}

std::string Text(const std::string& path) {
  const auto bytes = testsupport::ReadAll(path);
  return std::string(bytes.begin(), bytes.end());
}

class HealthCli : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir.Write("src/data.bin", testsupport::PatternContent(50000, 4));
    Image = Dir.Str() + "/disc.iso";
    Write(Image, false);
  }
  void TearDown() override {
    if (!Disc.empty()) {
      vdrive::UnregisterVirtualRecorders();
      device::FinalizeTransport();
      platform::UnsetEnvironment("ZANTIC_VDISC");
    }
  }
  void Write(const std::string& image, bool sums) {
    engine::TKavoBurner writer;
    writer.AddFolderToCompilation("\\", Dir.Str() + "/src", false, false, true, 0x3F, "*.*");
    std::unique_ptr<health::ChecksumAttachment> attached;
    if (sums) attached = std::move(health::AttachChecksumFile(writer, {}).Value());
    ASSERT_EQ(writer.WriteImageFile(image, engine::SaveMode::Quick), 1);
  }
  // A pressed disc from `image` in the virtual recorder.
  void Press(const std::string& media, const std::string& image) {
    Disc = Dir.Str() + "/d.zvd";
    ASSERT_TRUE(vdrive::TDiscFile::Press(Disc, *vdrive::MediaFromName(media), image).Ok());
    platform::SetEnvironment("ZANTIC_VDISC", Disc);
    device::FinalizeTransport();
    vdrive::RegisterVirtualRecorders();
  }
  testsupport::TempDir Dir;
  std::string Image, Disc;
};

TEST_F(HealthCli, ReadNeverWritesOverItsDiscANodeOrAMapBesideAFolder) {
  Press("dvd-rom", Image);
  const auto disc = testsupport::ReadAll(Disc);
  fs::create_hard_link(Disc, Dir.Path() / "same.zvd");
  fs::create_symlink("/dev/null", Dir.Path() / "null");
  const std::string fifo = Dir.Str() + "/pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_directory(Dir.Path() / "folder");
  const std::string map = Dir.Write("folder.map", "mine");
  for (const std::string& out : {Disc, Dir.Str() + "/same.zvd", Dir.Str() + "/null", fifo, Dir.Str() + "/folder"}) {
    const Outcome r = Read({"--device", Disc, "-o", out}, fifo);
    EXPECT_EQ(r.Code, cli::kExitBadInput) << out << ": " << r.Err;
  }
  EXPECT_EQ(Read({"--image", Image, "-o", Image}).Code, cli::kExitBadInput);
  EXPECT_EQ(testsupport::ReadAll(Disc), disc);
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_EQ(Text(map), "mine");
  const Outcome good = Read({"--device", Disc, "-o", Dir.Str() + "/copy.iso"});
  EXPECT_EQ(good.Code, cli::kExitOk) << good.Err;
  EXPECT_EQ(testsupport::ReadAll(Dir.Str() + "/copy.iso"), testsupport::ReadAll(Image));
}

TEST_F(HealthCli, TemporaryFilesNeverFollowLinksAndMapsThatAreFifosNeverBlock) {
  const std::string victim = Dir.Write("victim", "precious");
  const std::string out = Dir.Str() + "/copy.iso";
  fs::create_symlink(victim, out + ".part");
  fs::create_symlink(victim, out + ".map.new");
  ASSERT_EQ(Read({"--image", Image, "-o", out}).Code, cli::kExitOk);
  EXPECT_EQ(Text(victim), "precious");
  EXPECT_EQ(testsupport::ReadAll(out), testsupport::ReadAll(Image));
  fs::remove(out + ".part");
  const std::string mine = Dir.Write("copy.iso.part", "an ordinary file of that name");
  ASSERT_EQ(Read({"--image", Image, "-o", out}).Code, cli::kExitOk);
  EXPECT_EQ(Text(mine), "an ordinary file of that name");

  const std::string fifo = Dir.Str() + "/pipe.map";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Read({"--image", Image, "--map", fifo}, fifo).Code, cli::kExitBadInput);
  fs::remove(out + ".map");
  ASSERT_EQ(::mkfifo((out + ".map").c_str(), 0600), 0);
  EXPECT_EQ(Read({"--image", Image, "-o", out, "--resume"}, out + ".map").Code, cli::kExitBadInput);
}

TEST_F(HealthCli, RunOutSectorsAFileOwnsStayUnreadable) {
  // The volume ends two sectors short of the track, inside the last file.
  auto bytes = testsupport::ReadAll(Image);
  iso::ImageSource probe(bytes);
  std::uint32_t end = 0;
  const auto tree = health::ReadSessionTree(probe, 1);
  for (const auto& f : tree.Value().Files)
    end = std::max<std::uint32_t>(end, f.Extent + static_cast<std::uint32_t>(f.Sectors()));
  bytes.resize(std::size_t{end} * 2048);
  for (int i = 0; i < 4; ++i) {
    bytes[16 * 2048 + 80 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((end - 2) >> (8 * i));
    bytes[16 * 2048 + 87 - static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((end - 2) >> (8 * i));
  }
  const std::string cut = Dir.Str() + "/cut.iso";
  std::ofstream(cut, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                             static_cast<std::streamsize>(bytes.size()));
  Press("cd-rom", cut);
  std::FILE* out = std::tmpfile();
  ASSERT_EQ(cli::RunVdisc({"fault", Disc, "--unreadable", std::to_string(end - 2) + "+2"}, out, out), 0);
  std::fclose(out);
  const Outcome r = Read({"--device", Disc, "-o", Dir.Str() + "/copy.iso", "--retries", "0"});
  EXPECT_EQ(r.Code, cli::kExitFailed) << r.Out << r.Err;
  EXPECT_NE(Text(Dir.Str() + "/copy.iso.map").find(std::to_string(end - 2) + " 2"), std::string::npos);
  EXPECT_NE(r.Out.find("file /data.bin: sectors"), std::string::npos) << r.Out;
}

TEST_F(HealthCli, ExportTakesOnlySessionsWrittenWholeUnlessAskedFor) {
  vdrive::TDisc d = vdrive::BlankDisc(vdrive::TMedia::DvdPlusR, 2000);
  d.Tracks = {vdrive::TTrack{0, 0, 300, 1, false}};  // a burn at work, or cut short
  const std::string disc = Dir.Str() + "/open.zvd";
  ASSERT_TRUE(vdrive::TDiscFile::Create(disc, d).Ok());
  const std::string iso = Dir.Str() + "/open.iso";
  const auto exportRun = [&](std::vector<std::string> extra) {
    std::vector<std::string> args{"export", disc, iso};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCommand([&](engine::TKavoBurner&, std::FILE* o, std::FILE* e) { return cli::RunVdisc(args, o, e); });
  };
  for (const auto& extra : std::vector<std::vector<std::string>>{{}, {"--session", "1"}}) {
    const Outcome r = exportRun(extra);
    EXPECT_EQ(r.Code, cli::kExitFailed) << r.Err;
    EXPECT_NE(r.Err.find("not written whole"), std::string::npos) << r.Err;
  }
  EXPECT_FALSE(fs::exists(iso));
  EXPECT_EQ(exportRun({"--incomplete"}).Code, cli::kExitOk);
  EXPECT_EQ(fs::file_size(iso), 300u * 2048);
}

TEST_F(HealthCli, NamesArePrintedEscapedAndWhatTheTreeLeftOutFailsTheCheck) {
  const std::string evil = "evil\x1b[2J\xc2\x9b" "2J.txt";
  Dir.Write("src/" + evil, "intact text");
  Write(Image, true);
  auto bytes = testsupport::ReadAll(Image);
  iso::ImageSource probe(bytes);
  std::uint32_t extent = 0;
  const auto tree = health::ReadSessionTree(probe, 1);
  for (const auto& f : tree.Value().Files)
    if (f.Listed == evil) extent = f.Extent;
  ASSERT_NE(extent, 0u);
  bytes[std::size_t{extent} * 2048] ^= 1;
  std::ofstream(Image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
  const auto on = [&](const char* what, std::vector<std::string> args) {
    return RunCommand([&](engine::TKavoBurner& b, std::FILE* o, std::FILE* e) {
      return std::string(what) == "check" ? cli::RunCheck(b, args, o, e) : cli::RunDiscCommand(b, what, args, o, e);
    });
  };
  const Outcome check = on("check", {"--image", Image});
  EXPECT_EQ(check.Code, cli::kExitFailed);
  EXPECT_NE(check.Out.find("damaged    /evil\\x1b[2J\\u009b2J.txt"), std::string::npos) << check.Out;
  const Outcome ls = on("ls", {"--image", Image});
  for (const Outcome* r : {&check, &ls}) {
    const std::string all = r->Out + r->Err;
    EXPECT_EQ(all.find('\x1b'), std::string::npos) << all;
    EXPECT_EQ(all.find("\xc2\x9b"), std::string::npos) << all;
  }
  // Cut in the middle of the files: they are left out, and that is no pass.
  fs::resize_file(Image, std::size_t{extent} * 2048);
  const Outcome cut = on("check", {"--image", Image});
  EXPECT_EQ(cut.Code, cli::kExitFailed) << cut.Out;
  EXPECT_NE(cut.Out.find("left out"), std::string::npos) << cut.Out;
}

}  // namespace
