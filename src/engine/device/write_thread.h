#pragma once
// TThWrite: the writer thread of a burn. It takes the stream block by block
// from the read-ahead cache and writes it to the disc; the end step reports
// once, with the cache's text as the result. Image files are written by
// stream::TImageFileWriter.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "base/cancel_token.h"
#include "engine/stream/cache_thread.h"

namespace device {

class TSCSIDevice;
class TSleeper;

// One WRITE (10) as it was sent, for reading the disc back afterwards.
struct TWrittenBlock {
  std::uint32_t Lba = 0;
  std::uint32_t Blocks = 0;
  std::uint64_t Hash = 0;
};
std::uint64_t BlockHash(std::span<const std::uint8_t> bytes);
// After a write or a blank: track-at-once page, slowest speed, tray loaded.
void ReturnToNeutralState(TSCSIDevice& device);

// What a write to a disc needs besides the stream.
struct TDiscWrite {
  TSCSIDevice* Device = nullptr;
  TSleeper* Sleeper = nullptr;       // the device's pauses
  bool Compilation = true;           // false: an existing image file is burned
  std::uint32_t StartAddress = 0;    // first sector of the image on the disc
  std::uint32_t ImageSectors = 0;
  std::vector<std::uint8_t> HeaderCopy;  // the image's first 65,536 bytes, for media written in place
  bool TestWrite = false;
  bool UnderrunProtection = true;
  bool FinalizeDisc = false;
  bool FinalizeTrack = true;
  bool PerformOPC = false;
  std::uint16_t ReadSpeed = 0;
  std::uint16_t WriteSpeed = 0;
  bool RecordBlocks = false;  // keep a hash per write for a read-back check
  bool Streaming = false;     // BD: WRITE (12) with the Streaming bit, past defect management
  std::function<void()> FinalizingTrack;
  std::function<void(const std::string& message, std::uint8_t kind)> Message;
};

class TThWrite {
 public:
  struct Params {
    std::uint64_t ImageBytes = 0;
    stream::TCacheThread* Cache = nullptr;
    std::recursive_mutex* Lock = nullptr;
    base::CancelTokenPtr Cancel;
    // Called once on the writer thread at the end, with the result text
    // (empty on success).
    std::function<void(const std::string& error)> Done;
    TDiscWrite Disc;
  };

  explicit TThWrite(Params params);
  ~TThWrite();
  TThWrite(const TThWrite&) = delete;
  TThWrite& operator=(const TThWrite&) = delete;

  std::uint64_t BytesWritten() const { return FBytesWritten; }
  bool Writing() const { return FWriting; }
  std::string CurrentFile() const;
  // The writes of a disc write, when asked for; read once the writer has ended.
  const std::vector<TWrittenBlock>& WrittenBlocks() const { return FWrittenBlocks; }
  void Join();
  bool OnWriterThread() const { return FThread.get_id() == std::this_thread::get_id(); }

 private:
  void RunDisc();
  std::string StartDisc(std::uint8_t& medium, bool& bufferPolling);
  std::string WriteDisc(std::uint8_t medium, bool bufferPolling);
  // One WRITE (10) with the busy/not-ready retry rule; the result text.
  std::string WriteBlock(std::uint32_t lba, std::span<std::uint8_t> data);
  std::string WriteHeaderCopy(std::uint8_t medium);
  // The flush, the closes and the waits after the data; the result text of
  // the whole write (the data's own when it had one).
  std::string FinishDisc(std::uint8_t medium, const std::string& result);
  std::string Flush(std::uint8_t medium);
  std::string CloseMedium(std::uint8_t medium, std::uint32_t track);
  // One command of the ending: a busy drive is waited for (bounded, and an
  // abort ends the wait), any other refusal gets one more try. Empty on
  // success, else the result text naming `step`.
  std::string EndCommand(const std::string& step, const std::function<bool()>& send);
  std::string EndFailure(const std::string& step) const;
  void Pause(std::uint32_t ms);
  bool Cancelled() const { return base::IsCancelled(FParams.Cancel.get()); }

  Params FParams;
  std::atomic<std::uint64_t> FBytesWritten{0};
  std::atomic<bool> FWriting{true};
  mutable std::mutex FFileMutex;
  std::string FCurrentFile;
  std::vector<TWrittenBlock> FWrittenBlocks;
  std::uint32_t FTrack = 0;  // the number of the track being written
  bool FEndAbortable = true;  // an abort ends the waits of the ending
  std::thread FThread;
};

}  // namespace device
