#include <dirent.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "support/priority.h"

namespace testsupport {

std::vector<int> ThreadNices() {
  std::vector<int> nices;
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return nices;
  while (const dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(std::atoi(e->d_name)));
    if (errno == 0) nices.push_back(nice);  // a thread that ended meanwhile is gone
  }
  closedir(dir);
  return nices;
}

int CurrentThreadNice() { return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))); }

void SetCurrentThreadNice(int nice) { setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), nice); }

void DropPriorityPrivileges() {
  const rlimit none{0, 0};
  if (setrlimit(RLIMIT_NICE, &none) != 0) std::_Exit(90);
  if (geteuid() != 0) return;
  constexpr uid_t kNobody = 65534;
  if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) std::_Exit(91);
}

}  // namespace testsupport
