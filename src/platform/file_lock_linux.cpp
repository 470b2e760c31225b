#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/file_lock.h"

namespace platform {

struct FileLock::Impl {
  int Fd = -1;
  ~Impl() {
    // Closing the descriptor drops the flock.
    if (Fd >= 0) ::close(Fd);
  }
};

FileLock::FileLock() = default;
FileLock::~FileLock() = default;
FileLock::FileLock(FileLock&&) noexcept = default;
FileLock& FileLock::operator=(FileLock&&) noexcept = default;

bool FileLock::Held() const { return FImpl != nullptr; }
void FileLock::Release() { FImpl.reset(); }

base::Result<bool> TryLockFile(const std::string& path, FileLock& lock) {
  lock.Release();
  // flock belongs to the open file description, so a second open in this
  // process conflicts too, as a second runner in the same program must.
  // A link is never followed (the holder's id below would truncate what it
  // points to), nor a FIFO waited on.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return base::MakeError(base::ErrorKind::System, "cannot open " + path + ": " + std::strerror(errno));
  auto impl = std::make_unique<FileLock::Impl>();
  impl->Fd = fd;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    return base::MakeError(base::ErrorKind::System, "cannot lock " + path + ": not a regular file");
  int rc;
  do rc = ::flock(fd, LOCK_EX | LOCK_NB);
  while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    if (errno == EWOULDBLOCK) return false;
    return base::MakeError(base::ErrorKind::System, "cannot lock " + path + ": " + std::strerror(errno));
  }
  // The holder's process id, for a person who wonders who holds it.
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0) (void)!::pwrite(fd, pid.data(), pid.size(), 0);
  lock.FImpl = std::move(impl);
  return true;
}

}  // namespace platform
