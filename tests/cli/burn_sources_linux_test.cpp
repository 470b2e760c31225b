// What a burn makes of its sources, through the command line on a virtual
// recorder: names a Linux folder holds side by side that differ only in
// case, and the checksum file of a burn without checksums over an earlier
// session that had one.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/build_iso.h"
#include "cli/burn.h"
#include "cli/check_command.h"
#include "cli/disc_commands.h"
#include "cli/options.h"
#include "cli/task_commands.h"
#include "cli/vdisc.h"
#include "engine/device/transport.h"
#include "engine/kavo_burner.h"
#include "platform/process.h"
#include "support/temp_dir.h"
#include "vdrive/registration.h"

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

class BurnSources : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetEnvironment("ZANTIC_VDRIVE_TIMESCALE", "0.001"); }
  void TearDown() override {
    vdrive::UnregisterVirtualRecorders();
    device::FinalizeTransport();
    platform::UnsetEnvironment("ZANTIC_VDISC");
    platform::UnsetEnvironment("ZANTIC_VDRIVE_TIMESCALE");
  }
  void NewDisc(const char* media) {
    Disc = Dir.Str() + "/d.zvd";
    ASSERT_EQ(Capture([&](std::FILE* o, std::FILE* e) {
                return cli::RunVdisc({"create", Disc, "--media", media, "--blocks", "30000"}, o, e);
              }).Code,
              0);
    platform::SetEnvironment("ZANTIC_VDISC", Disc);
    device::FinalizeTransport();
    vdrive::RegisterVirtualRecorders();
  }
  Outcome Burn(std::vector<std::string> args) {
    args.insert(args.begin(), {"--device", Disc});
    engine::TKavoBurner burner;
    return Capture([&](std::FILE* o, std::FILE* e) { return cli::RunBurn(burner, args, false, o, e); });
  }
  Outcome Disc_(const std::string& command, std::vector<std::string> args = {}) {
    args.insert(args.begin(), {"--device", Disc});
    engine::TKavoBurner burner;
    if (command == "check")
      return Capture([&](std::FILE* o, std::FILE* e) { return cli::RunCheck(burner, args, o, e); });
    return Capture([&](std::FILE* o, std::FILE* e) { return cli::RunDiscCommand(burner, command, args, o, e); });
  }
  testsupport::TempDir Dir;
  std::string Disc;
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
    const bool second = r.Err.find(d + "/" + b + "\"") != std::string::npos;
    EXPECT_NE(first, second) << r.Err;
    return first ? a : b;
  };

  std::string error;
  const auto options = cli::ParseBuildIso({"-o", Dir.Str() + "/o.iso", d}, error);
  ASSERT_TRUE(options) << error;
  engine::TKavoBurner builder;
  const Outcome iso = Capture([&](std::FILE* o, std::FILE* e) { return cli::RunBuildIso(builder, *options, o, e); });
  EXPECT_EQ(iso.Code, cli::kExitIncomplete) << iso.Err;
  EXPECT_NE(iso.Out.find("Left out:  2"), std::string::npos) << iso.Out;

  NewDisc("dvd+r");
  const Outcome burn = Burn({d});
  EXPECT_EQ(burn.Code, cli::kExitIncomplete) << burn.Err;
  EXPECT_NE(burn.Out.find("Left out:  2"), std::string::npos) << burn.Out;

  // A task whose item is the folder, to an image and onto the disc.
  const std::string task = Dir.Write("t.mvt", "T(" + d + "*0()#)#\r\n");
  const std::string pf = Dir.Str() + "/pf";
  Dir.Write("pf/Option.ini", "[Burning]\nCloseDisc=0\nChecksums=0\n");
  engine::TKavoBurner tasks;
  const Outcome taskIso = Capture([&](std::FILE* o, std::FILE* e) {
    return cli::RunTaskCommand({"iso", task, "-o", Dir.Str() + "/t.iso", "--program-folder", pf}, tasks, o, e);
  });
  EXPECT_EQ(taskIso.Code, cli::kExitIncomplete) << taskIso.Err;
  const Outcome taskBurn = Capture([&](std::FILE* o, std::FILE* e) {
    return cli::RunTaskCommand({"burn", task, "--device", Disc, "--program-folder", pf}, tasks, o, e);
  });
  EXPECT_EQ(taskBurn.Code, cli::kExitIncomplete) << taskBurn.Err;
  EXPECT_NE(taskBurn.Out.find("Left out:  2"), std::string::npos) << taskBurn.Out;

  for (const Outcome* r : {&iso, &taskIso, &taskBurn}) {
    refused(*r, "Same.txt", "same.txt");
    refused(*r, "Sub", "sub");
  }
  // The other of each pair is on the disc, whole.
  const std::string left = refused(burn, "Same.txt", "same.txt");
  const std::string kept = left == "Same.txt" ? "same.txt" : "Same.txt";
  refused(burn, "Sub", "sub");
  const Outcome ls = Disc_("ls", {"/d"});
  EXPECT_NE(ls.Out.find("/d/" + kept), std::string::npos) << ls.Out;
  EXPECT_EQ(ls.Out.find("/d/" + left), std::string::npos) << ls.Out;
  const Outcome got = Disc_("extract", {"/d/" + kept, Dir.Str() + "/out"});
  EXPECT_EQ(got.Code, cli::kExitOk) << got.Err;
  EXPECT_EQ(testsupport::ReadAll(Dir.Str() + "/out/" + kept),
            testsupport::ReadAll(Dir.Str() + "/d/" + kept));
}

TEST_F(BurnSources, ABurnWithoutChecksumsLeavesNoStaleLineForAFileItReplaces) {
  NewDisc("dvd+r");
  const std::string d = Dir.Str() + "/d";
  Dir.Write("d/a.txt", "first");
  Dir.Write("d/b.txt", "kept");
  ASSERT_EQ(Burn({"--checksums", d}).Code, cli::kExitOk);
  Dir.Write("d/a.txt", "edited after the first burn");
  const Outcome second = Burn({"--import-session", "-1", d});
  ASSERT_EQ(second.Code, cli::kExitOk) << second.Err;
  const Outcome check = Disc_("check");
  EXPECT_EQ(check.Code, cli::kExitOk) << check.Out << check.Err;
  EXPECT_NE(check.Out.find(" 0 damaged"), std::string::npos) << check.Out;
  // Files only imported keep their lines and are still compared.
  Dir.Write("e/c.txt", "another");
  ASSERT_EQ(Burn({"--import-session", "-1", Dir.Str() + "/e"}).Code, cli::kExitOk);
  const Outcome third = Disc_("check");
  EXPECT_EQ(third.Code, cli::kExitOk) << third.Out << third.Err;
  EXPECT_NE(third.Out.find(" 0 damaged"), std::string::npos) << third.Out;
}

}  // namespace
