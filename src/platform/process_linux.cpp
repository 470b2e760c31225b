#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

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

void SetCurrentThreadNice(int nice) {
  // Per-thread nice value.
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), nice);
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
