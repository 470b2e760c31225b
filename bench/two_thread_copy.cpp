// A burn's data path and nothing else: one thread reads the sources into
// 64 KiB blocks of a 4 MiB ring, another writes the blocks to one file at
// rising offsets, starting the writeback every 16 MiB and flushing at the end,
// as the cache and the virtual recorder do. No compilation, no SCSI, no disc
// state, no thread priorities. What the burn costs beyond this is the
// engine's; what this costs beyond the image writer is the two-thread shape.
// Files follow each other in the blocks without padding.
//
//   two_thread_copy OUT < LIST     one source path per line
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_stream.h"

namespace {

constexpr std::size_t kBlock = 65536;
constexpr std::size_t kBlocks = 64;
constexpr std::size_t kResume = kBlocks * 3 / 4;  // the cache's pause rule

struct TRing {
  std::vector<std::vector<std::uint8_t>> Blocks = std::vector<std::vector<std::uint8_t>>(kBlocks);
  std::vector<std::size_t> Counts = std::vector<std::size_t>(kBlocks);
  std::size_t Head = 0, Tail = 0;  // blocks filled, blocks written
  bool Done = false;
  bool Failed = false;
  bool ReaderWaiting = false, WriterWaiting = false;
  std::mutex Lock;
  std::condition_variable Room, Data;  // each woken only when its thread waits
};

// Waits for a free block; false when the writer failed.
bool WaitForRoom(TRing& ring) {
  std::unique_lock lock(ring.Lock);
  if (ring.Head - ring.Tail + 1 >= kBlocks) {
    ring.ReaderWaiting = true;
    ring.Room.wait(lock, [&] { return ring.Head - ring.Tail <= kResume || ring.Failed; });
    ring.ReaderWaiting = false;
  }
  return !ring.Failed;
}

void Queue(TRing& ring, std::size_t count) {
  std::lock_guard lock(ring.Lock);
  ring.Counts[ring.Head % kBlocks] = count;
  ++ring.Head;
  if (ring.WriterWaiting) ring.Data.notify_one();
}

void Read(TRing& ring, const std::vector<std::string>& sources) {
  std::size_t fill = 0;  // bytes in the block at Head
  bool ok = true;
  for (const auto& path : sources) {
    auto opened = platform::FileStream::Open(path, platform::OpenMode::Read);
    if (!opened) {
      std::fprintf(stderr, "two_thread_copy: cannot open %s\n", path.c_str());
      ok = false;
      break;
    }
    for (;;) {
      if (fill == 0 && !WaitForRoom(ring)) return;
      auto& block = ring.Blocks[ring.Head % kBlocks];
      const std::int64_t got = opened.Value().Read(block.data() + fill, kBlock - fill);
      if (got < 0) {
        std::fprintf(stderr, "two_thread_copy: cannot read %s\n", path.c_str());
        ok = false;
      }
      if (got <= 0) break;
      fill += static_cast<std::size_t>(got);
      if (fill == kBlock) {
        Queue(ring, fill);
        fill = 0;
      }
    }
    if (!ok) break;
  }
  if (ok && fill > 0) Queue(ring, fill);
  std::lock_guard lock(ring.Lock);
  ring.Failed = ring.Failed || !ok;
  ring.Done = true;
  ring.Data.notify_one();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: two_thread_copy OUT < LIST\n");
    return 2;
  }
  auto out = platform::FileStream::Open(argv[1], platform::OpenMode::CreateWrite);
  if (!out) {
    std::fprintf(stderr, "two_thread_copy: cannot create %s\n", argv[1]);
    return 1;
  }
  std::vector<std::string> sources;
  for (std::string line; std::getline(std::cin, line);)
    if (!line.empty()) sources.push_back(line);
  TRing ring;
  for (auto& b : ring.Blocks) b.resize(kBlock);
  const auto start = std::chrono::steady_clock::now();
  std::thread reader(Read, std::ref(ring), std::cref(sources));
  platform::WritebackPacer pacer;
  std::uint64_t offset = 0;
  bool ok = true;
  for (;;) {
    std::size_t slot = 0, count = 0;
    {
      std::unique_lock lock(ring.Lock);
      ring.WriterWaiting = true;
      ring.Data.wait(lock, [&] { return ring.Head != ring.Tail || ring.Done; });
      ring.WriterWaiting = false;
      if (ring.Head == ring.Tail) break;
      slot = ring.Tail % kBlocks;
      count = ring.Counts[slot];
    }
    if (!out.Value().WriteAt(offset, ring.Blocks[slot].data(), count)) {
      ok = false;
      std::lock_guard lock(ring.Lock);
      ring.Failed = true;
      ring.Room.notify_one();
      break;
    }
    pacer.Wrote(out.Value(), offset, count);
    offset += count;
    std::lock_guard lock(ring.Lock);
    ++ring.Tail;
    if (ring.ReaderWaiting && ring.Head - ring.Tail <= kResume) ring.Room.notify_one();
  }
  reader.join();
  ok = ok && !ring.Failed && out.Value().Sync().Ok();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!ok) {
    std::fprintf(stderr, "two_thread_copy: the copy failed\n");
    return 1;
  }
  std::printf("%.1f MB in %.2f s\n", static_cast<double>(offset) / 1e6, seconds);
  return 0;
}
