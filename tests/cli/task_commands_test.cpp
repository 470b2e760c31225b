// zantic-cli task and schedule: what reaches the image, the exit codes, and
// that nothing is marked done that was not burnt.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "appcore/ini_file.h"
#include "cli/build_iso.h"
#include "cli/schedule_commands.h"
#include "cli/task_commands.h"
#include "engine/kavo_burner.h"
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
  Captured out, err;
  CliRun r;
  r.Code = cli::RunScheduleCommand(args, out.File, err.File);
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

TEST_F(TaskCli, BurningSaysItIsNotThereYet) {
  const CliRun r = Task({"burn", FTask});
  EXPECT_EQ(r.Code, cli::kExitFailed);
  EXPECT_NE(r.Err.find(cli::kBurnNotAvailable), std::string::npos);
}

TEST(ScheduleCli, ADueTaskThatCannotBurnStaysDue) {
  testsupport::TempDir dir;
  dir.Write("Schedule/W.mvt", "W(/data*1()#)#\r\n");
  const std::string list = dir.Write("Schedule/ScheduleList.ini",
                                     "[Count]\nValue=1\n[Task]\nTask0=W\n[W]\nScheduling=1 Days\nLast Backup=2001-01-01\n");
  const CliRun listed = Schedule({"list", "--program-folder", dir.Str()});
  EXPECT_NE(listed.Out.find("2001-01-01   yes"), std::string::npos) << listed.Out;
  const CliRun daemon = Schedule({"daemon", "--once", "--program-folder", dir.Str()});
  EXPECT_EQ(daemon.Code, cli::kExitFailed);
  EXPECT_NE(daemon.Err.find(cli::kBurnNotAvailable), std::string::npos);
  EXPECT_EQ(appcore::IniFile(list).ReadString("W", "Last Backup", ""), "2001-01-01");
  EXPECT_EQ(Schedule({"run", "Missing", "--program-folder", dir.Str()}).Code, cli::kExitBadInput);
  EXPECT_EQ(Schedule({"run", "../W", "--program-folder", dir.Str()}).Code, cli::kExitBadInput);
}

}  // namespace
