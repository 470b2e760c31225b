#pragma once
// Buffered, sector-aware output of an image file.
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "base/result.h"
#include "platform/file_stream.h"

namespace stream {

class ImageOutput {
 public:
  explicit ImageOutput(platform::FileStream& out, std::size_t bufferSize = 1u << 20);

  base::Status Append(std::span<const std::uint8_t> bytes);
  base::Status AppendZeros(std::uint64_t count);
  // Copies `count` bytes of the source and zero-fills to the next sector
  // boundary. Bytes the source does not deliver (it ended early or failed)
  // are written as zeros, so the next file stays in its sector. `copied`
  // receives the bytes that came from the source; the status fails only when
  // writing fails. `cancelled` is asked between pieces; when it answers true
  // the copy stops and `copied` tells how far it got. When `grew` is given it
  // tells whether the source holds more than `count` bytes.
  base::Status AppendFile(platform::FileStream& source, std::uint64_t count, std::uint64_t& copied,
                          const std::function<bool()>& cancelled, bool* grew = nullptr);
  base::Status Flush();
  // Flushes and waits until the file's data are on the disk. An image is
  // renamed into place only after this: a rename that reaches the disk
  // before the data could otherwise leave the name on a partial image, and
  // an error the disk reports late is seen here or nowhere.
  base::Status Sync();
  std::uint64_t Position() const { return FWritten + FFill; }

 private:
  base::Status MakeRoom(std::size_t bytes);

  platform::FileStream& FOut;
  std::vector<std::uint8_t> FBuffer;
  std::size_t FFill = 0;
  std::uint64_t FWritten = 0;
  platform::WritebackPacer FWriteback;
};

}  // namespace stream
