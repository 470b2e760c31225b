#pragma once
// File streams with 64-bit sizes and positions.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "base/result.h"

namespace platform {

enum class OpenMode {
  Read,          // existing file, shared for reading
  CreateWrite,   // create or truncate, write only
  AppendWrite,   // existing file, write only, positioned at its end
  ReadWrite,     // existing file, read and write
  CreateNew,     // a new file, read and write; fails when the file exists
};

class FileStream {
 public:
  FileStream() = default;
  ~FileStream();
  FileStream(FileStream&& other) noexcept;
  FileStream& operator=(FileStream&& other) noexcept;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  static base::Result<FileStream> Open(const std::string& path, OpenMode mode);
  // Opens a disc image for reading without waiting on it: a regular file or
  // a block device; anything else (a FIFO, a socket, a terminal) is refused.
  static base::Result<FileStream> OpenImage(const std::string& path);
  // Opens a file the program keeps (options, lists, task files) for reading
  // without waiting on it: only a regular file; a FIFO, a device or a folder
  // is refused with InvalidInput.
  static base::Result<FileStream> OpenRegular(const std::string& path);
  // Creates "<path><suffix>" for writing a replacement that is then renamed over
  // `path`. What has that name already (a leftover of a crash, a symbolic
  // link) is removed first, a link as itself, and the file is created
  // exclusively: nothing is ever followed or truncated. `tempPath` gets the
  // name.
  static base::Result<FileStream> CreateTempBeside(const std::string& path, std::string& tempPath,
                                                   const std::string& suffix = ".tmp");

  bool IsOpen() const { return FHandle != kNoHandle; }
  // Reads up to `count` bytes; fewer only at the end of the file. Returns the
  // number read, or -1 on an error.
  std::int64_t Read(void* buffer, std::size_t count);
  // Writes all `count` bytes or fails.
  base::Status Write(const void* buffer, std::size_t count);
  // The same at an explicit offset; the stream's position stays where it is.
  std::int64_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const;
  base::Status WriteAt(std::uint64_t offset, const void* buffer, std::size_t count);
  // Copies up to `count` bytes from the current position of `source` to the
  // current position of this stream, using the fastest way the system offers.
  // Returns the number copied (fewer when the source ends early), or an error
  // when reading or writing failed.
  base::Result<std::uint64_t> CopyFrom(FileStream& source, std::uint64_t count);
  base::Status Seek(std::uint64_t position);
  std::int64_t Size() const;  // -1 when unknown
  std::uint64_t Position() const { return FPosition; }
  base::Status Sync();
  // Cuts or extends the file to `size` bytes.
  base::Status Truncate(std::uint64_t size);
  // Asks the file system to keep unwritten ranges unallocated where it can
  // (NTFS needs asking; Linux file systems do it anyway).
  void MakeSparse();
  // Starts writing a range to the disk without waiting for it, where the
  // system offers that; a later Sync then has less to wait for.
  void StartWriteback(std::uint64_t offset, std::uint64_t length);
  // An exclusive advisory lock against other opens of the file, taken
  // without waiting; false when someone else holds it.
  bool TryLock();
  void Unlock();
  void Close();

 private:
  // A file descriptor on Linux, a HANDLE on Windows.
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t FHandle = kNoHandle;
  bool FLocked = false;
  std::uint64_t FPosition = 0;
};

// Starts the writeback of what a writer has written, every few megabytes of
// one run of bytes: the final Sync then has little left to wait for, and the
// file's dirty memory stays bounded.
class WritebackPacer {
 public:
  static constexpr std::uint64_t kStep = 16u << 20;
  // After `length` bytes were written at `offset`.
  void Wrote(FileStream& file, std::uint64_t offset, std::uint64_t length);
  // After a write or copy at the stream's position, which it has moved to `file.Position()`.
  void WroteUpTo(FileStream& file);

 private:
  std::uint64_t FFrom = 0;  // first byte written since the writeback was last started
  std::uint64_t FTo = 0;
};

// Appends `bytes` at the end of the file in one write, creating the file when
// missing. Other writers appending at the same time cannot overwrite it.
// Only a regular file is appended to: a FIFO or a device is refused, never
// waited on.
base::Status AppendToFile(const std::string& path, const std::string& bytes);

// Removes a file; false when it could not be removed (missing counts as removed).
bool RemoveFile(const std::string& path);
// Renames over an existing target atomically where the system allows it.
base::Status RenameFile(const std::string& from, const std::string& to);
// Renames only when nothing of the target's name exists; fails otherwise.
base::Status RenameNoReplace(const std::string& from, const std::string& to);
// Sets a file's last-write time (UTC seconds); false when it could not be set.
bool SetFileWriteTime(const std::string& path, std::int64_t unixSec);

// Asks the system to bring the first `bytes` of a file into its file cache,
// so that a later read finds them there. Only a hint: a file that is missing,
// not a regular file or unreadable is passed over, and nothing is returned.
void PrefetchFile(const std::string& path, std::uint64_t bytes);

}  // namespace platform
