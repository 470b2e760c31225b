// zantic-cli task and schedule: what reaches the image, the exit codes, and
// that nothing is marked done that was not burnt.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "appcore/ini_file.h"
#include "appcore/schedule.h"
#include "cli/build_iso.h"
#include "cli/check_command.h"
#include "cli/disc_commands.h"
#include "cli/schedule_commands.h"
#include "cli/task_commands.h"
#include "cli/vdisc.h"
#include "engine/device/transport.h"
#include "engine/kavo_burner.h"
#include "platform/file_stream.h"
#include "platform/process.h"
#include "vdrive/registration.h"
#include "support/iso_reader.h"
#include "support/temp_dir.h"

namespace {

namespace isoread = testsupport::isoread;

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

CliRun Task(std::vector<std::string> args) {
  engine::TKavoBurner burner;
  Captured out, err;
  CliRun r;
  r.Code = cli::RunTaskCommand(args, burner, out.File, err.File);
  r.Out = out.Text();
  r.Err = err.Text();
  return r;
}

CliRun Schedule(std::vector<std::string> args) {
  engine::TKavoBurner burner;
  Captured out, err;
  CliRun r;
  r.Code = cli::RunScheduleCommand(args, burner, out.File, err.File);
  r.Out = out.Text();
  r.Err = err.Text();
  return r;
}

class TaskCli : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir.Write("src/a.txt", "hello");
    FDir.Write("src/Photos (x86)/p.jpg", "pic");
    FDir.MakeDir("pf");
    const std::string s = FDir.Str() + "/src";
    FTask = FDir.Write("t.mvt", "Holiday(Docs(" + s + "/a.txt*5()#)#)%" + s + "/Photos %28x86%29*3()#" + s +
                                    "/gone*1()#)#\r\n");
  }
  testsupport::TempDir FDir;
  std::string FTask;
};

TEST_F(TaskCli, ShowSumsTheStoredSizes) {
  const CliRun r = Task({"show", FTask});
  EXPECT_EQ(r.Code, cli::kExitOk) << r.Err;
  EXPECT_NE(r.Out.find("Total: 9 bytes (0 MB)"), std::string::npos) << r.Out;
  EXPECT_EQ(Task({"show", FDir.Write("bad.mvt", "Root(a(")}).Code, cli::kExitBadInput);
  EXPECT_EQ(Task({"show", FDir.Str() + "/none.mvt"}).Code, cli::kExitBadInput);
}

TEST_F(TaskCli, IsoHoldsTheTaskAndReportsMissingSources) {
  const std::string iso = FDir.Str() + "/out.iso";
  const CliRun r = Task({"iso", FTask, "-o", iso, "--program-folder", FDir.Str() + "/pf"});
  EXPECT_EQ(r.Code, cli::kExitIncomplete) << r.Err;
  EXPECT_NE(r.Err.find("source not found: " + FDir.Str() + "/src/gone"), std::string::npos) << r.Err;
  const auto img = isoread::Image::FromFile(iso);
  std::set<std::string> paths;
  for (const auto& d : img.Descriptors())
    if (d.Type == 2)
      for (const auto& e : img.Tree(d.Root, true)) paths.insert(e.Path);
  EXPECT_TRUE(paths.count("Docs/a.txt;1") == 1 || paths.count("Docs/a.txt") == 1) << r.Out;
  EXPECT_TRUE(paths.count("Photos (x86)/p.jpg;1") == 1 || paths.count("Photos (x86)/p.jpg") == 1);
  EXPECT_EQ(isoread::Text(img.Descriptors().front().Raw, 40, 7), "HOLIDAY");
}

TEST(ScheduleCli, ListsDueTasksAndRefusesBadNames) {
  testsupport::TempDir dir;
  dir.Write("Schedule/W.mvt", "W(/data*1()#)#\r\n");
  dir.Write("Schedule/ScheduleList.ini",
            "[Count]\nValue=1\n[Task]\nTask0=W\n[W]\nScheduling=1 Days\nLast Backup=2001-01-01\n");
  const CliRun listed = Schedule({"list", "--program-folder", dir.Str()});
  EXPECT_NE(listed.Out.find("2001-01-01   yes"), std::string::npos) << listed.Out;
  EXPECT_EQ(Schedule({"run", "Missing", "--program-folder", dir.Str()}).Code, cli::kExitBadInput);
  EXPECT_EQ(Schedule({"run", "../W", "--program-folder", dir.Str()}).Code, cli::kExitBadInput);
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST_F(TaskCli, AListOrOptionsTooLargeToReadFailAndAreNeverWrittenOver) {
  std::string padding;
  for (int i = 0; i < 4300; ++i) padding += "; " + std::string(1000, 'x') + "\n";  // over 4 MiB
  const std::string list = "[Count]\nValue=2\n[Task]\nTask0=W\nTask1=V\n[W]\nScheduling=1 Days\n"
                           "Last Backup=2001-01-01\n[V]\nScheduling=1 Days\nLast Backup=2001-01-01\n" + padding;
  const std::string pf = FDir.Str() + "/pf";
  FDir.Write("pf/Schedule/W.mvt", "W(" + FDir.Str() + "/src/a.txt*5()#)#\r\n");
  const std::string listPath = FDir.Write("pf/Schedule/ScheduleList.ini", list);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"list"}, {"run", "W"}, {"daemon", "--once"}}) {
    std::vector<std::string> full = args;
    full.insert(full.end(), {"--program-folder", pf});
    const CliRun r = Schedule(full);
    EXPECT_EQ(r.Code, cli::kExitFailed) << args.front() << r.Err;
    EXPECT_TRUE(FileText(listPath) == list) << args.front();
  }
  const std::string options = "[Burning]\nCloseDisc=0\n" + padding;
  const std::string optionsPath = FDir.Write("pf/Option.ini", options);
  const CliRun iso = Task({"iso", FTask, "-o", FDir.Str() + "/out.iso", "--program-folder", pf});
  EXPECT_EQ(iso.Code, cli::kExitFailed) << iso.Err;
  EXPECT_FALSE(std::filesystem::exists(FDir.Str() + "/out.iso"));
  EXPECT_TRUE(FileText(optionsPath) == options);
}

// Burns onto virtual discs of this process's recorders (ZANTIC_VDISC).
class BurnTaskCli : public TaskCli {
 protected:
  void SetUp() override {
    TaskCli::SetUp();
    platform::SetEnvironment("ZANTIC_VDRIVE_TIMESCALE", "0.001");
    FGood = NewDisc("good.zvd");
    FBad = NewDisc("bad.zvd");
    platform::SetEnvironment("ZANTIC_VDISC", FGood + platform::kPathListSeparator + FBad);
    device::FinalizeTransport();
    vdrive::RegisterVirtualRecorders();
    // Open sessions, so that a later burn can carry the last one over.
    FDir.Write("pf/Option.ini", "[Burning]\nCloseDisc=0\nImportSession=1\nSessionNo=-1\n");
    FDir.Write("pf/Schedule/ScheduleList.ini",
               "[Count]\nValue=1\n[Task]\nTask0=W\n[W]\nScheduling=1 Days\nLast Backup=2001-01-01\n");
    FDir.Write("pf/Schedule/W.mvt", "W(" + FDir.Write("new/report.txt", "weekly") + "*6()#)#\r\n");
  }
  void TearDown() override {
    vdrive::UnregisterVirtualRecorders();
    device::FinalizeTransport();
    platform::UnsetEnvironment("ZANTIC_VDISC");
    platform::UnsetEnvironment("ZANTIC_VDRIVE_TIMESCALE");
  }
  std::string NewDisc(const std::string& name) {
    const std::string path = FDir.Str() + "/" + name;
    Captured out, err;
    EXPECT_EQ(cli::RunVdisc({"create", path, "--media", "dvd+r", "--blocks", "30000"}, out.File, err.File), 0)
        << err.Text();
    return path;
  }
  std::string Listing(const std::string& disc) {
    engine::TKavoBurner burner;
    Captured out, err;
    EXPECT_EQ(cli::RunDiscCommand(burner, "ls", {"--device", disc}, out.File, err.File), cli::kExitOk)
        << err.Text();
    return out.Text();
  }
  std::string LastBackup() const {
    return appcore::IniFile(FDir.Str() + "/pf/Schedule/ScheduleList.ini").ReadString("W", "Last Backup", "");
  }
  std::string FGood, FBad;
};

TEST_F(BurnTaskCli, TaskBurnAndAScheduledRunBurnTheDiscAndMarkOnlySuccessDone) {
  const CliRun task = Task({"burn", FTask, "--device", FGood, "--program-folder", FDir.Str() + "/pf"});
  EXPECT_EQ(task.Code, cli::kExitIncomplete) << task.Err;
  EXPECT_NE(task.Err.find("source not found: " + FDir.Str() + "/src/gone"), std::string::npos) << task.Err;
  std::string ls = Listing(FGood);
  EXPECT_NE(ls.find("a.txt"), std::string::npos) << ls;
  EXPECT_NE(ls.find("p.jpg"), std::string::npos) << ls;

  // The scheduled run imports the task's earlier session and adds its own.
  const CliRun run = Schedule({"run", "W", "--device", FGood, "--program-folder", FDir.Str() + "/pf"});
  EXPECT_EQ(run.Code, cli::kExitOk) << run.Err;
  ls = Listing(FGood);
  EXPECT_NE(ls.find("report.txt"), std::string::npos) << ls;
  EXPECT_NE(ls.find("a.txt"), std::string::npos) << ls;
  const std::string today = appcore::FormatDate(appcore::Today());
  EXPECT_EQ(LastBackup(), today);
  const std::string log = FileText(FDir.Str() + "/pf/Schedule/Log.txt");
  EXPECT_EQ(log.rfind("Start backup task:" + FDir.Str() + "/pf/Schedule/W.mvt " + today + " ", 0), 0u) << log;
  EXPECT_NE(log.find("\r\nBackup task done " + today + " "), std::string::npos) << log;
  const CliRun listed = Schedule({"list", "--program-folder", FDir.Str() + "/pf"});
  EXPECT_NE(listed.Out.find(today + "   no"), std::string::npos) << listed.Out;
}

TEST_F(BurnTaskCli, AFailedScheduledBurnLeavesTheTaskDueAndUnlogged) {
  Captured out, err;
  ASSERT_EQ(cli::RunVdisc({"fault", FBad, "--write-error", "20"}, out.File, err.File), 0) << err.Text();
  const CliRun daemon = Schedule({"daemon", "--once", "--device", FBad, "--program-folder", FDir.Str() + "/pf"});
  EXPECT_EQ(daemon.Code, cli::kExitFailed) << daemon.Err;
  EXPECT_NE(daemon.Err.find("task W was not burnt; it stays due"), std::string::npos) << daemon.Err;
  EXPECT_EQ(LastBackup(), "2001-01-01");
  const std::string log = FileText(FDir.Str() + "/pf/Schedule/Log.txt");
  EXPECT_NE(log.find("Start backup task:"), std::string::npos) << log;
  EXPECT_EQ(log.find("Backup task done"), std::string::npos) << log;
}

TEST_F(BurnTaskCli, TaskBurnsAddTheChecksumFileUnlessTheOptionsSayNo) {
  const CliRun task = Task({"burn", FTask, "--device", FGood, "--program-folder", FDir.Str() + "/pf"});
  EXPECT_EQ(task.Code, cli::kExitIncomplete) << task.Err;
  EXPECT_NE(Listing(FGood).find("/~zantic.sha256"), std::string::npos);
  engine::TKavoBurner burner;
  Captured out, err;
  EXPECT_EQ(cli::RunCheck(burner, {"--device", FGood}, out.File, err.File), cli::kExitOk) << err.Text();
  EXPECT_NE(out.Text().find("checksums compared"), std::string::npos) << out.Text();

  FDir.Write("pf/Option.ini", "[Burning]\nCloseDisc=0\nChecksums=0\n");
  const CliRun plain = Task({"burn", FTask, "--device", FBad, "--program-folder", FDir.Str() + "/pf"});
  EXPECT_EQ(plain.Code, cli::kExitIncomplete) << plain.Err;
  const std::string ls = Listing(FBad);
  EXPECT_NE(ls.find("a.txt"), std::string::npos) << ls;
  EXPECT_EQ(ls.find("zantic.sha256"), std::string::npos) << ls;
}

TEST_F(BurnTaskCli, ADiscAnotherProgramHoldsIsSaidToBeInUse) {
  auto held = platform::FileStream::Open(FGood, platform::OpenMode::ReadWrite);
  ASSERT_TRUE(held.Ok());
  ASSERT_TRUE(held.Value().TryLock());
  // Named among other drives, and as the only drive there is.
  for (const std::string& discs : {FGood + platform::kPathListSeparator + FBad, FGood}) {
    platform::SetEnvironment("ZANTIC_VDISC", discs);
    device::FinalizeTransport();
    vdrive::UnregisterVirtualRecorders();
    vdrive::RegisterVirtualRecorders();
    const CliRun burn = Task({"burn", FTask, "--device", FGood, "--program-folder", FDir.Str() + "/pf"});
    EXPECT_EQ(burn.Code, cli::kExitFailed) << burn.Err;
    EXPECT_NE(burn.Err.find("the disc " + FGood + " is in use by another program"), std::string::npos) << burn.Err;
    EXPECT_EQ(burn.Err.find("no optical drive answers"), std::string::npos) << burn.Err;
  }
}

}  // namespace
