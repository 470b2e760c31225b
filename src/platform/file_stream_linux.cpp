#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "platform/file_stream.h"

namespace platform {

namespace {

// Linux transfers at most about 2 GiB per call; asking for less keeps every
// count well inside ssize_t.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;
constexpr std::size_t kCopyBufferSize = std::size_t{1} << 20;
constexpr std::uint64_t kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());

// strerror_r comes in a GNU flavour (returns the text) and an XSI one (fills
// the buffer); these overloads accept whichever the C library declares.
[[maybe_unused]] std::string ErrnoTextFrom(const char* text, const char*) { return text; }
[[maybe_unused]] std::string ErrnoTextFrom(int rc, const char* buffer) {
  return rc == 0 ? std::string(buffer) : std::string("unknown error");
}

std::string ErrnoText(int err) {
  char buffer[256] = {};
  return ErrnoTextFrom(strerror_r(err, buffer, sizeof buffer), buffer) + " (errno " + std::to_string(err) + ")";
}

base::Error SystemError(const std::string& what, int err) {
  return base::MakeError(base::ErrorKind::System, what + ": " + ErrnoText(err));
}

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

base::Error NotOpenError() { return base::MakeError(base::ErrorKind::Internal, "file stream is not open"); }

bool CopyFallsBack(int err) {
  // Another file system, an old kernel, or a file that cannot be copied in
  // the kernel: plain reads and writes still work.
  return err == EXDEV || err == ENOSYS || err == EINVAL || err == EOPNOTSUPP || err == ENOTSUP;
}

}  // namespace

base::Result<FileStream> FileStream::Open(const std::string& path, OpenMode mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::Read:
      flags |= O_RDONLY;
      break;
    case OpenMode::CreateWrite:
      flags |= O_WRONLY | O_CREAT | O_TRUNC;
      break;
    case OpenMode::AppendWrite:
      // Not O_APPEND: writes go through explicit offsets, which O_APPEND ignores.
      flags |= O_WRONLY;
      break;
    case OpenMode::ReadWrite:
      flags |= O_RDWR;
      break;
    case OpenMode::CreateNew:
      flags |= O_RDWR | O_CREAT | O_EXCL;
      break;
  }
  FileStream stream;
  const int fd = open(path.c_str(), flags, 0644);
  if (fd < 0) return SystemError(mode == OpenMode::CreateNew ? "cannot create " + path : "cannot open " + path, errno);
  stream.FHandle = fd;
  if (mode == OpenMode::AppendWrite) {
    const std::int64_t size = stream.Size();
    if (size < 0) return SystemError("cannot examine " + path, errno);
    stream.FPosition = static_cast<std::uint64_t>(size);
  }
  return base::Result<FileStream>(std::move(stream));
}

base::Result<FileStream> FileStream::OpenImage(const std::string& path) {
  // Non-blocking so that a FIFO without a writer cannot hold the open.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return SystemError("cannot open " + path, errno);
  FileStream stream;
  stream.FHandle = fd;
  struct stat st {};
  if (fstat(fd, &st) != 0) return SystemError("cannot examine " + path, errno);
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))
    return base::MakeError(base::ErrorKind::InvalidInput, path + " is not a regular file or block device");
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return SystemError("cannot open " + path, errno);
  return base::Result<FileStream>(std::move(stream));
}

base::Result<FileStream> FileStream::OpenRegular(const std::string& path) {
  // Non-blocking so that a FIFO without a writer cannot hold the open.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return SystemError("cannot open " + path, errno);
  FileStream stream;
  stream.FHandle = fd;
  struct stat st {};
  if (fstat(fd, &st) != 0) return SystemError("cannot examine " + path, errno);
  if (!S_ISREG(st.st_mode)) return base::MakeError(base::ErrorKind::InvalidInput, path + " is not a regular file");
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return SystemError("cannot open " + path, errno);
  return base::Result<FileStream>(std::move(stream));
}

// Reads and writes use explicit offsets (pread/pwrite), so FPosition is the
// one position there is and CopyFrom can move both streams without seeking.
std::int64_t FileStream::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const {
  if (!IsOpen()) return -1;
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t total = 0;
  while (total < count) {
    if (offset > kMaxOffset) {
      errno = EOVERFLOW;
      return -1;
    }
    const std::size_t chunk = std::min(count - total, kMaxChunk);
    const ssize_t got = pread(Fd(FHandle), bytes + total, chunk, static_cast<off_t>(offset));
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    total += static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return static_cast<std::int64_t>(total);
}

std::int64_t FileStream::Read(void* buffer, std::size_t count) {
  const std::int64_t got = ReadAt(FPosition, buffer, count);
  if (got > 0) FPosition += static_cast<std::uint64_t>(got);
  return got;
}

base::Status FileStream::WriteAt(std::uint64_t offset, const void* buffer, std::size_t count) {
  if (!IsOpen()) return NotOpenError();
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t total = 0;
  while (total < count) {
    if (offset > kMaxOffset) return SystemError("cannot write", EFBIG);
    const std::size_t chunk = std::min(count - total, kMaxChunk);
    const ssize_t put = pwrite(Fd(FHandle), bytes + total, chunk, static_cast<off_t>(offset));
    if (put < 0) {
      if (errno == EINTR) continue;
      return SystemError("cannot write", errno);
    }
    // A write that makes no progress would otherwise loop for ever.
    if (put == 0) return SystemError("cannot write", ENOSPC);
    total += static_cast<std::size_t>(put);
    offset += static_cast<std::uint64_t>(put);
  }
  return base::Ok();
}

base::Status FileStream::Write(const void* buffer, std::size_t count) {
  base::Status written = WriteAt(FPosition, buffer, count);
  if (written) FPosition += count;
  return written;
}

namespace {

// Bytes of hole in `fd` from `offset` on, at most `limit`; 0 at data, at the
// end, or where the file system cannot tell.
std::uint64_t HoleAt(int fd, off_t offset, std::uint64_t limit) {
  off_t data = lseek(fd, offset, SEEK_DATA);
  if (data < 0) {
    struct stat st {};
    if (errno != ENXIO || fstat(fd, &st) != 0) return 0;
    data = st.st_size;  // a hole up to the end
  }
  return data > offset ? std::min(limit, static_cast<std::uint64_t>(data - offset)) : 0;
}

// Bytes of data in `fd` from `offset` up to the next hole, at most `limit`.
std::uint64_t DataAt(int fd, off_t offset, std::uint64_t limit) {
  const off_t hole = lseek(fd, offset, SEEK_HOLE);
  return hole > offset ? std::min(limit, static_cast<std::uint64_t>(hole - offset)) : limit;
}

bool AtEnd(int fd, off_t offset) {
  struct stat st {};
  return fstat(fd, &st) == 0 && st.st_size <= offset;
}

}  // namespace

base::Result<std::uint64_t> FileStream::CopyFrom(FileStream& source, std::uint64_t count) {
  if (!IsOpen() || !source.IsOpen()) return NotOpenError();
  std::uint64_t copied = 0;
  while (copied < count) {
    if (source.FPosition > kMaxOffset || FPosition > kMaxOffset) break;  // the fallback reports it
    auto sourceOffset = static_cast<off_t>(source.FPosition);
    auto targetOffset = static_cast<off_t>(FPosition);
    // A hole in a sparse source stays a hole where the copy appends, so a
    // mostly empty 9 GiB file costs neither the time nor the disk space;
    // inside existing bytes it is written out, since they must become zeros.
    std::uint64_t want = std::min<std::uint64_t>(count - copied, kMaxChunk);
    if (AtEnd(Fd(FHandle), targetOffset)) {
      if (const std::uint64_t hole = HoleAt(Fd(source.FHandle), sourceOffset, count - copied); hole > 0) {
        if (FPosition + hole > kMaxOffset) break;
        if (ftruncate(Fd(FHandle), static_cast<off_t>(FPosition + hole)) != 0) return SystemError("cannot resize", errno);
        copied += hole;
        source.FPosition += hole;
        FPosition += hole;
        continue;
      }
      want = DataAt(Fd(source.FHandle), sourceOffset, want);
    }
    const auto chunk = static_cast<std::size_t>(want);
    const ssize_t moved = copy_file_range(Fd(source.FHandle), &sourceOffset, Fd(FHandle), &targetOffset, chunk, 0);
    if (moved < 0) {
      if (errno == EINTR) continue;
      if (CopyFallsBack(errno)) break;
      return SystemError("cannot copy", errno);
    }
    // Zero is the end of the source, except on file systems (proc, sysfs) that
    // report a size of zero for files with content: let a plain read decide.
    if (moved == 0) break;
    copied += static_cast<std::uint64_t>(moved);
    source.FPosition += static_cast<std::uint64_t>(moved);
    FPosition += static_cast<std::uint64_t>(moved);
  }
  if (copied == count) return copied;

  const auto bufferSize = static_cast<std::size_t>(std::min<std::uint64_t>(count - copied, kCopyBufferSize));
  const std::unique_ptr<unsigned char[]> buffer(new unsigned char[bufferSize]);
  while (copied < count) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(count - copied, bufferSize));
    const std::int64_t got = source.Read(buffer.get(), want);
    if (got < 0) return SystemError("cannot read", errno);
    if (got == 0) break;
    const base::Status written = Write(buffer.get(), static_cast<std::size_t>(got));
    if (!written) return written.Err();
    copied += static_cast<std::uint64_t>(got);
  }
  return copied;
}

base::Status FileStream::Seek(std::uint64_t position) {
  if (!IsOpen()) return NotOpenError();
  if (position > kMaxOffset) {
    return base::MakeError(base::ErrorKind::InvalidInput, "seek position " + std::to_string(position) + " is too large");
  }
  FPosition = position;
  return base::Ok();
}

std::int64_t FileStream::Size() const {
  struct stat st {};
  if (!IsOpen() || fstat(Fd(FHandle), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

base::Status FileStream::Sync() {
  if (!IsOpen()) return NotOpenError();
  if (fsync(Fd(FHandle)) != 0) return SystemError("cannot flush to disk", errno);
  return base::Ok();
}

base::Status FileStream::Truncate(std::uint64_t size) {
  if (!IsOpen()) return NotOpenError();
  if (size > kMaxOffset) return SystemError("cannot resize", EFBIG);
  if (ftruncate(Fd(FHandle), static_cast<off_t>(size)) != 0) return SystemError("cannot resize", errno);
  return base::Ok();
}

void FileStream::MakeSparse() {}

void FileStream::StartWriteback(std::uint64_t offset, std::uint64_t length) {
  if (IsOpen())
    sync_file_range(Fd(FHandle), static_cast<off_t>(offset), static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE);
}

bool FileStream::TryLock() {
  if (!IsOpen()) return false;
  if (!FLocked) FLocked = flock(Fd(FHandle), LOCK_EX | LOCK_NB) == 0;
  return FLocked;
}

void FileStream::Unlock() {
  if (FLocked) flock(Fd(FHandle), LOCK_UN);
  FLocked = false;
}

void FileStream::Close() {
  Unlock();
  if (FHandle != kNoHandle) close(Fd(FHandle));
  FHandle = kNoHandle;
  FPosition = 0;
}

base::Status AppendToFile(const std::string& path, const std::string& bytes) {
  // Non-blocking: opening a FIFO for writing would wait for a reader.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return SystemError("cannot open " + path, errno);
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return base::MakeError(base::ErrorKind::InvalidInput, path + " is not a regular file");
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, std::min(bytes.size() - done, kMaxChunk));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = n < 0 ? errno : EIO;
      close(fd);
      return SystemError("cannot write " + path, err);
    }
    done += static_cast<std::size_t>(n);
  }
  if (close(fd) != 0) return SystemError("cannot write " + path, errno);
  return base::Ok();
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0 || errno == ENOENT; }

base::Status RenameFile(const std::string& from, const std::string& to) {
  if (rename(from.c_str(), to.c_str()) != 0) return SystemError("cannot rename " + from + " to " + to, errno);
  return base::Ok();
}

base::Status RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return base::Ok();
  if (errno != EINVAL && errno != ENOSYS) return SystemError("cannot rename " + from + " to " + to, errno);
  // File systems without the flag: a hard link fails on an existing target.
  if (link(from.c_str(), to.c_str()) != 0) return SystemError("cannot rename " + from + " to " + to, errno);
  unlink(from.c_str());
  return base::Ok();
}

bool SetFileWriteTime(const std::string& path, std::int64_t unixSec) {
  struct timespec times[2] {};
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(unixSec);
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

void PrefetchFile(const std::string& path, std::uint64_t bytes) {
  // Non-blocking: a FIFO put in a file's place must not hold the worker.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return;
  struct stat st {};
  // The advice starts the reads and returns: the disk gets many at once.
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && bytes > 0)
    posix_fadvise(fd, 0, static_cast<off_t>(std::min(bytes, kMaxOffset)), POSIX_FADV_WILLNEED);
  close(fd);
}

}  // namespace platform
