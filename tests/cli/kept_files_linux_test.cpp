// The files the program keeps beside a person's data (task files, options,
// the schedule list and its lock) when a FIFO or a link stands in their
// place: refused at once, never waited on, never followed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "cli/build_iso.h"
#include "cli/options.h"
#include "cli/schedule_commands.h"
#include "cli/task_commands.h"
#include "engine/kavo_burner.h"
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

enum class Command { Task, Schedule };

Outcome RunCli(Command command, const std::vector<std::string>& args) {
  engine::TKavoBurner burner;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  Outcome r;
  r.Code = command == Command::Task ? cli::RunTaskCommand(args, burner, out, err)
                                    : cli::RunScheduleCommand(args, burner, out, err);
  Slurp(out);
  r.Err = Slurp(err);
  return r;
}

// Fails instead of hanging when the command blocks on the FIFO: opening
// both of its ends lets a blocked open go on.
Outcome WithinSeconds(const std::string& fifo, Command command, const std::vector<std::string>& args) {
  ::signal(SIGPIPE, SIG_IGN);
  auto running = std::async(std::launch::async, [&] { return RunCli(command, args); });
  if (running.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
    const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ADD_FAILURE() << "blocked on the FIFO " << fifo;
    running.wait();
    ::close(fd);
  }
  return running.get();
}

TEST(KeptFiles, FifosAsTaskOptionAndListFilesAreRefused) {
  testsupport::TempDir dir;
  const std::string source = dir.Write("src/a.txt", "hello");
  const std::string task = dir.Write("t.mvt", "T(" + source + "*5()#)#\r\n");
  const std::string fifoTask = dir.Str() + "/fifo.mvt";
  const std::string pf = dir.MakeDir("pf");
  const std::string options = pf + "/Option.ini";
  const std::string list = dir.MakeDir("pf/Schedule") + "/ScheduleList.ini";
  for (const std::string& name : {fifoTask, options, list}) ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0) << name;

  const Outcome show = WithinSeconds(fifoTask, Command::Task, {"show", fifoTask});
  EXPECT_NE(show.Code, cli::kExitOk);
  EXPECT_NE(show.Err.find("cannot be read"), std::string::npos) << show.Err;

  const Outcome iso = WithinSeconds(options, Command::Task, {"iso", task, "-o", dir.Str() + "/t.iso", "--program-folder", pf});
  EXPECT_EQ(iso.Code, cli::kExitFailed) << iso.Err;
  EXPECT_NE(iso.Err.find("not a regular file"), std::string::npos) << iso.Err;
  EXPECT_FALSE(std::filesystem::exists(dir.Str() + "/t.iso"));

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"list", "--program-folder", pf}, {"daemon", "--once", "--program-folder", pf}}) {
    const Outcome listed = WithinSeconds(list, Command::Schedule, args);
    EXPECT_EQ(listed.Code, cli::kExitFailed) << args[0] << ": " << listed.Err;
    EXPECT_NE(listed.Err.find("not a regular file"), std::string::npos) << listed.Err;
  }
  EXPECT_TRUE(std::filesystem::is_fifo(list));
  EXPECT_TRUE(std::filesystem::is_fifo(options));
}

TEST(KeptFiles, ARunOfATaskThatIsNotThereLeavesTheLockAndWhatALinkNamesAlone) {
  testsupport::TempDir dir;
  const std::string victim = dir.Write("victim.txt", "precious");
  const std::string pf = dir.MakeDir("pf");
  const std::string lock = dir.MakeDir("pf/Schedule") + "/Runner.lock";
  std::filesystem::create_symlink(victim, lock);
  const Outcome missing = RunCli(Command::Schedule, {"run", "Nosuch", "--program-folder", pf});
  EXPECT_EQ(missing.Code, cli::kExitBadInput) << missing.Err;
  // A task that is there: the lock is refused, the run fails, the link's file stays.
  dir.Write("pf/Schedule/W.mvt", "W(" + victim + "*8()#)#\r\n");
  const Outcome linked = RunCli(Command::Schedule, {"run", "W", "--program-folder", pf});
  EXPECT_EQ(linked.Code, cli::kExitFailed) << linked.Err;
  EXPECT_NE(linked.Err.find("Runner.lock"), std::string::npos) << linked.Err;
  const auto bytes = testsupport::ReadAll(victim);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "precious");
  EXPECT_TRUE(std::filesystem::is_symlink(lock));
}

}  // namespace
