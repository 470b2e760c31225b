#include "engine/device/write_thread.h"

#include "platform/process.h"

namespace device {

TThWrite::TThWrite(Params params) : FParams(std::move(params)) {
  FThread = std::thread([this] {
    // A drive's buffer holds a fraction of a second: the writer must get the
    // processor whenever it has a block, whatever else the machine runs.
    platform::SetCurrentThreadTimeCritical();
    RunDisc();
  });
}

TThWrite::~TThWrite() { Join(); }

void TThWrite::Join() {
  if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

std::string TThWrite::CurrentFile() const {
  std::lock_guard lock(FFileMutex);
  return FCurrentFile;
}

}  // namespace device
