#include "engine/stream/image_output.h"

#include <algorithm>
#include <cstring>

namespace stream {
namespace {
constexpr std::uint64_t kSector = 2048;
constexpr std::uint64_t kDirectCopyMin = 1u << 20;
constexpr std::uint64_t kDirectCopyPiece = 64u << 20;
}  // namespace

ImageOutput::ImageOutput(platform::FileStream& out, std::size_t bufferSize) : FOut(out), FBuffer(bufferSize) {}

base::Status ImageOutput::Flush() {
  if (FFill == 0) return base::Ok();
  auto s = FOut.Write(FBuffer.data(), FFill);
  if (!s) return s;
  FWritten += FFill;
  FFill = 0;
  FWriteback.WroteUpTo(FOut);
  return base::Ok();
}

base::Status ImageOutput::Sync() {
  if (auto s = Flush(); !s) return s;
  return FOut.Sync();
}

base::Status ImageOutput::MakeRoom(std::size_t bytes) {
  if (FBuffer.size() - FFill >= bytes) return base::Ok();
  return Flush();
}

base::Status ImageOutput::Append(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    if (FFill == FBuffer.size())
      if (auto s = Flush(); !s) return s;
    const std::size_t n = std::min(bytes.size(), FBuffer.size() - FFill);
    std::memcpy(FBuffer.data() + FFill, bytes.data(), n);
    FFill += n;
    bytes = bytes.subspan(n);
  }
  return base::Ok();
}

base::Status ImageOutput::AppendZeros(std::uint64_t count) {
  while (count > 0) {
    if (FFill == FBuffer.size())
      if (auto s = Flush(); !s) return s;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, FBuffer.size() - FFill));
    std::memset(FBuffer.data() + FFill, 0, n);
    FFill += n;
    count -= n;
  }
  return base::Ok();
}

base::Status ImageOutput::AppendFile(platform::FileStream& source, std::uint64_t count, std::uint64_t& copied,
                                     const std::function<bool()>& cancelled, bool* grew) {
  copied = 0;
  if (grew != nullptr) *grew = false;
  bool sourceEnded = false;
  bool probed = false;  // whether the read past the end has been made
  std::uint64_t left = count;
  if (count >= kDirectCopyMin) {
    // Large sources go file to file inside the kernel, without passing
    // through this buffer; in pieces, so that an abort is seen in time.
    if (auto s = Flush(); !s) return s;
    while (left > 0 && !sourceEnded) {
      if (cancelled && cancelled()) return base::Ok();
      const std::uint64_t piece = std::min(left, kDirectCopyPiece);
      auto moved = FOut.CopyFrom(source, piece);
      // On an error the read and write below tell which side failed.
      if (!moved) break;
      FWritten += moved.Value();
      FWriteback.WroteUpTo(FOut);
      copied += moved.Value();
      left -= moved.Value();
      if (moved.Value() < piece) sourceEnded = true;
    }
  }
  while (left > 0) {
    if (cancelled && cancelled()) return base::Ok();
    if (FFill == FBuffer.size())
      if (auto s = Flush(); !s) return s;
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, FBuffer.size() - FFill));
    std::int64_t got = 0;
    if (!sourceEnded) {
      // The last piece asks for one byte more where the buffer has room, so a
      // source that grew shows without a call of its own.
      const bool probe = grew != nullptr && want == left && FFill + want < FBuffer.size();
      got = source.Read(FBuffer.data() + FFill, want + (probe ? 1 : 0));
      if (got < 0) got = 0;
      if (probe) {
        probed = true;
        if (static_cast<std::size_t>(got) > want) {
          *grew = true;
          got = static_cast<std::int64_t>(want);
        }
      }
      if (static_cast<std::size_t>(got) < want) sourceEnded = true;  // stays ended: no later bytes are trusted
    }
    std::memset(FBuffer.data() + FFill + got, 0, want - static_cast<std::size_t>(got));
    copied += static_cast<std::uint64_t>(got);
    FFill += want;
    left -= want;
  }
  if (grew != nullptr && !probed && !sourceEnded && !(cancelled && cancelled())) {
    std::uint8_t extra = 0;
    *grew = source.Read(&extra, 1) > 0;
  }
  const std::uint64_t rest = count % kSector;
  return rest == 0 ? base::Ok() : AppendZeros(kSector - rest);
}

}  // namespace stream
