#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/process.h"

namespace platform {

const char kPathListSeparator = ':';

namespace {

void (*gOnStop)() = nullptr;

extern "C" void OnStopSignal(int) {
  if (gOnStop != nullptr) gOnStop();
}

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

// CAP_SYS_NICE in the effective set: root's, or granted to the program.
bool HasSysNice() {
  constexpr int kCapSysNice = 23;
  std::FILE* f = std::fopen("/proc/self/status", "re");
  if (f == nullptr) return geteuid() == 0;
  char line[256];
  bool has = false;
  while (std::fgets(line, sizeof line, f) != nullptr) {
    unsigned long long mask = 0;
    if (std::sscanf(line, "CapEff: %llx", &mask) == 1) {
      has = ((mask >> kCapSysNice) & 1u) != 0;
      break;
    }
  }
  std::fclose(f);
  return has;
}

}  // namespace

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

void PrepareConsole() {}

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

std::optional<std::string> GetEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void SetEnvironment(const std::string& name, const std::string& value) { setenv(name.c_str(), value.c_str(), 1); }

void UnsetEnvironment(const std::string& name) { unsetenv(name.c_str()); }

int ThreadNiceFloor() {
  if (HasSysNice()) return -20;
  rlimit limit{};
  if (getrlimit(RLIMIT_NICE, &limit) != 0) return 20;
  // The limit counts from the top: 20 - rlim_cur is the lowest nice value.
  const rlim_t cur = std::min<rlim_t>(limit.rlim_cur, 40);
  return 20 - static_cast<int>(cur);
}

void SetCurrentThreadTimeCritical() {
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  errno = 0;
  const int now = getpriority(PRIO_PROCESS, tid);
  if (errno != 0) return;
  const int target = std::max(-20, ThreadNiceFloor());
  if (target < now) setpriority(PRIO_PROCESS, tid, target);
}

void CatchStopRequests(void (*onStop)()) {
  gOnStop = onStop;
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

void HoldStopRequests() {
  // Blocked before any worker thread starts, so that every thread keeps them
  // blocked and a request stays pending until it is looked for.
  const sigset_t set = StopSignals();
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

bool StopRequestPending() {
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  return sigismember(&pending, SIGINT) == 1 || sigismember(&pending, SIGTERM) == 1;
}

bool WaitForStopRequest(int seconds) {
  const sigset_t set = StopSignals();
  const timespec wait{seconds, 0};
  const int got = sigtimedwait(&set, nullptr, &wait);
  return got == SIGINT || got == SIGTERM;
}

}  // namespace platform
