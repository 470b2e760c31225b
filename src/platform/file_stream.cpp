// The parts of FileStream that are the same on every system.
#include "platform/file_stream.h"

namespace platform {

FileStream::~FileStream() { Close(); }

FileStream::FileStream(FileStream&& other) noexcept
    : FHandle(std::exchange(other.FHandle, kNoHandle)),
      FLocked(std::exchange(other.FLocked, false)),
      FPosition(std::exchange(other.FPosition, 0)) {}

FileStream& FileStream::operator=(FileStream&& other) noexcept {
  if (this != &other) {
    Close();
    FHandle = std::exchange(other.FHandle, kNoHandle);
    FLocked = std::exchange(other.FLocked, false);
    FPosition = std::exchange(other.FPosition, 0);
  }
  return *this;
}

base::Result<FileStream> FileStream::CreateTempBeside(const std::string& path, std::string& tempPath,
                                                     const std::string& suffix) {
  std::string name = path + suffix;
  // Removing a link removes the link, not what it points to; a name taken
  // again between the two steps makes the exclusive create fail.
  if (!RemoveFile(name)) return base::MakeError(base::ErrorKind::System, "cannot remove " + name);
  auto created = Open(name, OpenMode::CreateNew);
  if (created.Ok()) tempPath = std::move(name);
  return created;
}

void WritebackPacer::Wrote(FileStream& file, std::uint64_t offset, std::uint64_t length) {
  if (FTo != offset) FFrom = offset;
  FTo = offset + length;
  if (FTo - FFrom >= kStep) {
    file.StartWriteback(FFrom, FTo - FFrom);
    FFrom = FTo;
  }
}

void WritebackPacer::WroteUpTo(FileStream& file) {
  const std::uint64_t end = file.Position();
  if (end < FTo) FFrom = FTo = end;  // the stream went back: a new run
  Wrote(file, FTo, end - FTo);
}

}  // namespace platform
