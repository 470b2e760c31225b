#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "platform/file_stream.h"
#include "platform/win32_text.h"

namespace platform {

namespace {

// ReadFile and WriteFile count in DWORDs; smaller calls keep the counts exact.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;
constexpr std::size_t kCopyBufferSize = std::size_t{1} << 20;
constexpr std::uint64_t kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
// The advisory lock is one byte far past any real data: Windows locks keep
// other handles from reading a locked range, and the data must stay readable.
constexpr DWORD kLockOffsetHigh = 0x40000000;

HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

base::Error SystemError(const std::string& what, DWORD err) {
  return base::MakeError(base::ErrorKind::System, what + ": " + win32::ErrorText(err));
}

base::Error NotOpenError() { return base::MakeError(base::ErrorKind::Internal, "file stream is not open"); }

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  o.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return o;
}

FILETIME FileTimeFromUnix(std::int64_t unixSec) {
  const auto ticks = static_cast<std::uint64_t>(unixSec * win32::kTicksPerSecond + win32::kUnixEpochTicks);
  FILETIME ft{};
  ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

}  // namespace

base::Result<FileStream> FileStream::Open(const std::string& path, OpenMode mode) {
  DWORD access = GENERIC_READ;
  // Sources stay readable and writable by others while we read them, as
  // on Linux; a change under us is found by the size check of the reader.
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  DWORD disposition = OPEN_EXISTING;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  switch (mode) {
    case OpenMode::Read:
      flags |= FILE_FLAG_SEQUENTIAL_SCAN;
      break;
    case OpenMode::CreateWrite:
      access = GENERIC_WRITE;
      share = FILE_SHARE_READ;
      disposition = CREATE_ALWAYS;
      break;
    case OpenMode::AppendWrite:
      access = GENERIC_WRITE;
      share = FILE_SHARE_READ;
      break;
    case OpenMode::ReadWrite:
      access = GENERIC_READ | GENERIC_WRITE;
      break;
    case OpenMode::CreateNew:
      access = GENERIC_READ | GENERIC_WRITE;
      disposition = CREATE_NEW;
      break;
  }
  const HANDLE h = CreateFileW(win32::WidePath(path).c_str(), access, share, nullptr, disposition, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return SystemError(mode == OpenMode::CreateNew ? "cannot create " + path : "cannot open " + path, GetLastError());
  FileStream stream;
  stream.FHandle = reinterpret_cast<std::intptr_t>(h);
  if (mode == OpenMode::AppendWrite) {
    const std::int64_t size = stream.Size();
    if (size < 0) return SystemError("cannot examine " + path, GetLastError());
    stream.FPosition = static_cast<std::uint64_t>(size);
  }
  return base::Result<FileStream>(std::move(stream));
}

base::Result<FileStream> FileStream::OpenImage(const std::string& path) {
  auto opened = Open(path, OpenMode::Read);
  if (!opened) return opened;
  // Pipes and consoles would block a reader; disk files and volumes do not.
  if (GetFileType(H(opened.Value().FHandle)) != FILE_TYPE_DISK)
    return base::MakeError(base::ErrorKind::InvalidInput, path + " is not a regular file or block device");
  return opened;
}

base::Result<FileStream> FileStream::OpenRegular(const std::string& path) {
  auto opened = Open(path, OpenMode::Read);
  if (!opened) return opened;
  BY_HANDLE_FILE_INFORMATION info{};
  const HANDLE h = H(opened.Value().FHandle);
  if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return base::MakeError(base::ErrorKind::InvalidInput, path + " is not a regular file");
  return opened;
}

// Every transfer names its offset, so FPosition is the one position there is.
std::int64_t FileStream::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const {
  if (!IsOpen()) return -1;
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t total = 0;
  while (total < count) {
    if (offset > kMaxOffset) return -1;
    const auto chunk = static_cast<DWORD>(std::min(count - total, kMaxChunk));
    OVERLAPPED at = At(offset);
    DWORD got = 0;
    if (!ReadFile(H(FHandle), bytes + total, chunk, &got, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return -1;
    }
    if (got == 0) break;
    total += got;
    offset += got;
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
    if (offset > kMaxOffset) return SystemError("cannot write", ERROR_FILE_TOO_LARGE);
    const auto chunk = static_cast<DWORD>(std::min(count - total, kMaxChunk));
    OVERLAPPED at = At(offset);
    DWORD put = 0;
    if (!WriteFile(H(FHandle), bytes + total, chunk, &put, &at)) return SystemError("cannot write", GetLastError());
    // A write that makes no progress would otherwise loop for ever.
    if (put == 0) return SystemError("cannot write", ERROR_DISK_FULL);
    total += put;
    offset += put;
  }
  return base::Ok();
}

base::Status FileStream::Write(const void* buffer, std::size_t count) {
  base::Status written = WriteAt(FPosition, buffer, count);
  if (written) FPosition += count;
  return written;
}

base::Result<std::uint64_t> FileStream::CopyFrom(FileStream& source, std::uint64_t count) {
  if (!IsOpen() || !source.IsOpen()) return NotOpenError();
  std::uint64_t copied = 0;
  if (count == 0) return copied;
  const auto bufferSize = static_cast<std::size_t>(std::min<std::uint64_t>(count, kCopyBufferSize));
  const std::unique_ptr<unsigned char[]> buffer(new unsigned char[bufferSize]);
  while (copied < count) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(count - copied, bufferSize));
    const std::int64_t got = source.Read(buffer.get(), want);
    if (got < 0) return SystemError("cannot read", GetLastError());
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
  LARGE_INTEGER size{};
  if (!IsOpen() || !GetFileSizeEx(H(FHandle), &size)) return -1;
  return static_cast<std::int64_t>(size.QuadPart);
}

base::Status FileStream::Sync() {
  if (!IsOpen()) return NotOpenError();
  if (!FlushFileBuffers(H(FHandle))) return SystemError("cannot flush to disk", GetLastError());
  return base::Ok();
}

base::Status FileStream::Truncate(std::uint64_t size) {
  if (!IsOpen()) return NotOpenError();
  if (size > kMaxOffset) return SystemError("cannot resize", ERROR_FILE_TOO_LARGE);
  // The file pointer is used for nothing else: every transfer names its offset.
  LARGE_INTEGER to{};
  to.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFilePointerEx(H(FHandle), to, nullptr, FILE_BEGIN) || !SetEndOfFile(H(FHandle)))
    return SystemError("cannot resize", GetLastError());
  return base::Ok();
}

void FileStream::MakeSparse() {
  if (!IsOpen()) return;
  DWORD returned = 0;
  // Refused on FAT and by old systems: the file then fills its gaps with zeros.
  DeviceIoControl(H(FHandle), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
}

// Windows has no call that starts a range's writeback without waiting.
void FileStream::StartWriteback(std::uint64_t, std::uint64_t) {}

bool FileStream::TryLock() {
  if (!IsOpen()) return false;
  if (!FLocked) {
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    FLocked = LockFileEx(H(FHandle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
  }
  return FLocked;
}

void FileStream::Unlock() {
  if (FLocked) {
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    UnlockFileEx(H(FHandle), 0, 1, 0, &at);
  }
  FLocked = false;
}

void FileStream::Close() {
  Unlock();
  if (FHandle != kNoHandle) CloseHandle(H(FHandle));
  FHandle = kNoHandle;
  FPosition = 0;
}

base::Status AppendToFile(const std::string& path, const std::string& bytes) {
  // Append access alone: the system puts every write at the end of the file,
  // so writers appending at the same time cannot overwrite each other.
  const HANDLE h = CreateFileW(win32::WidePath(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return SystemError("cannot open " + path, GetLastError());
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return base::MakeError(base::ErrorKind::InvalidInput, path + " is not a regular file");
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const auto chunk = static_cast<DWORD>(std::min(bytes.size() - done, kMaxChunk));
    DWORD put = 0;
    if (!WriteFile(h, bytes.data() + done, chunk, &put, nullptr) || put == 0) {
      const DWORD err = put == 0 && GetLastError() == ERROR_SUCCESS ? ERROR_WRITE_FAULT : GetLastError();
      CloseHandle(h);
      return SystemError("cannot write " + path, err);
    }
    done += put;
  }
  if (!CloseHandle(h)) return SystemError("cannot write " + path, GetLastError());
  return base::Ok();
}

bool RemoveFile(const std::string& path) {
  const std::wstring wide = win32::WidePath(path);
  if (DeleteFileW(wide.c_str())) return true;
  const DWORD err = GetLastError();
  if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return true;
  // Linux removes a read-only file; Windows wants the attribute off first.
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (err == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_READONLY) != 0 && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    SetFileAttributesW(wide.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    if (DeleteFileW(wide.c_str())) return true;
    SetFileAttributesW(wide.c_str(), attributes);
  }
  return false;
}

base::Status RenameFile(const std::string& from, const std::string& to) {
  if (!MoveFileExW(win32::WidePath(from).c_str(), win32::WidePath(to).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return SystemError("cannot rename " + from + " to " + to, GetLastError());
  return base::Ok();
}

base::Status RenameNoReplace(const std::string& from, const std::string& to) {
  if (!MoveFileExW(win32::WidePath(from).c_str(), win32::WidePath(to).c_str(), MOVEFILE_WRITE_THROUGH))
    return SystemError("cannot rename " + from + " to " + to, GetLastError());
  return base::Ok();
}

bool SetFileWriteTime(const std::string& path, std::int64_t unixSec) {
  const HANDLE h = CreateFileW(win32::WidePath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const FILETIME written = FileTimeFromUnix(unixSec);
  const bool ok = SetFileTime(h, nullptr, nullptr, &written) != 0;
  CloseHandle(h);
  return ok;
}

void PrefetchFile(const std::string& path, std::uint64_t bytes) {
  // Plain reads on the worker bring the data into the system cache; the
  // stream's own read then copies from memory.
  const HANDLE h = CreateFileW(win32::WidePath(path).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  if (GetFileType(h) == FILE_TYPE_DISK) {
    thread_local std::unique_ptr<char[]> scratch(new char[1 << 16]);
    DWORD got = 0;
    while (bytes > 0 && ReadFile(h, scratch.get(), 1 << 16, &got, nullptr) && got > 0)
      bytes -= std::min<std::uint64_t>(bytes, got);
  }
  CloseHandle(h);
}

}  // namespace platform
