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

}  // namespace platform
