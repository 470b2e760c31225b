#include <windows.h>

#include <string>

#include "platform/file_lock.h"
#include "platform/win32_text.h"

namespace platform {

struct FileLock::Impl {
  HANDLE File = INVALID_HANDLE_VALUE;
  ~Impl() {
    if (File == INVALID_HANDLE_VALUE) return;
    OVERLAPPED at{};
    UnlockFileEx(File, 0, 1, 0, &at);
    CloseHandle(File);
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
  // Shared access so that a second runner can open it and find it locked;
  // the system drops the lock when the holder's handle goes with its process.
  // A link is opened as itself and refused, never followed.
  const HANDLE file = CreateFileW(win32::WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return base::MakeError(base::ErrorKind::System, "cannot open " + path + ": error " + std::to_string(GetLastError()));
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    CloseHandle(file);
    return base::MakeError(base::ErrorKind::System, "cannot lock " + path + ": not a regular file");
  }
  auto impl = std::make_unique<FileLock::Impl>();
  impl->File = file;
  OVERLAPPED at{};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    const DWORD error = GetLastError();
    impl->File = INVALID_HANDLE_VALUE;
    CloseHandle(file);
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return false;
    return base::MakeError(base::ErrorKind::System, "cannot lock " + path + ": error " + std::to_string(error));
  }
  lock.FImpl = std::move(impl);
  return true;
}

}  // namespace platform
