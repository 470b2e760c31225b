#pragma once
// An exclusive lock on a file that the operating system releases when its
// holder ends, however it ends: a lock file left by a process that died does
// not block the next one.
#include <memory>
#include <string>

#include "base/result.h"

namespace platform {

class FileLock {
 public:
  FileLock();
  ~FileLock();
  FileLock(FileLock&&) noexcept;
  FileLock& operator=(FileLock&&) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool Held() const;
  void Release();

  struct Impl;

 private:
  friend base::Result<bool> TryLockFile(const std::string& path, FileLock& lock);
  std::unique_ptr<Impl> FImpl;
};

// Creates `path` when missing and takes the lock without waiting: true when
// taken (`lock` holds it), false when another process or another FileLock
// holds it, an error when the file cannot be opened.
base::Result<bool> TryLockFile(const std::string& path, FileLock& lock);

}  // namespace platform
