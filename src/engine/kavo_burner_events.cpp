// How the component meets its caller: events carried to the dispatcher's
// thread, and one progress reading taken under a lock.
#include <cmath>
#include <condition_variable>
#include <mutex>

#include "engine/device/erase_thread.h"
#include "engine/device/write_thread.h"
#include "engine/dispatch/dispatcher.h"
#include "engine/kavo_burner.h"
#include "engine/stream/cache_thread.h"
#include "engine/stream/image_file_writer.h"

namespace engine {
namespace {
// The speed is the bytes moved over about this long.
constexpr auto kSpeedWindow = std::chrono::seconds(3);
}  // namespace

void TKavoBurner::SetDispatcher(dispatch::Dispatcher* dispatcher) {
  // Handlers stay where they are while an operation runs.
  if (!FOperationDone || FErasing) return;
  FDispatcherThread = std::this_thread::get_id();
  FDispatcher = dispatcher;
}

bool TKavoBurner::OffCallerThread() const {
  return FDispatcher.load() != nullptr && std::this_thread::get_id() != FDispatcherThread.load();
}

void TKavoBurner::Raise(std::function<void()> call) {
  dispatch::Dispatcher* dispatcher = FDispatcher.load();
  if (!OffCallerThread()) {
    if (*FAlive) call();
    return;
  }
  dispatcher->Post([alive = FAlive, call = std::move(call)] {
    if (*alive) call();
  });
}

bool TKavoBurner::RaiseAndWait(const std::function<void()>& call) {
  if (!OffCallerThread()) {
    call();
    return true;
  }
  // The handler runs under the call's own lock, so it either runs whole
  // before the wait gives up or not at all: `call` is never used late.
  struct Pending {
    std::mutex Mutex;
    std::condition_variable Answered;
    bool Done = false;
    bool Abandoned = false;
  };
  auto pending = std::make_shared<Pending>();
  FDispatcher.load()->Post([alive = FAlive, pending, &call] {
    std::lock_guard lock(pending->Mutex);
    if (pending->Abandoned || !*alive) return;
    call();
    pending->Done = true;
    pending->Answered.notify_all();
  });
  // Only a running operation's cancel counts: an add on a thread of the
  // caller's own must not see the cancel of a burn that ended earlier.
  const auto cancel = PauseCancelToken();
  const auto stop = StopWaitsToken();
  const auto wakeUp = [pending] {
    { std::lock_guard lock(pending->Mutex); }
    pending->Answered.notify_all();
  };
  // Declared before the lock: removed only after it is let go.
  const base::CancelWake onCancel(cancel.get(), wakeUp);
  const base::CancelWake onStop(stop.get(), wakeUp);
  std::unique_lock lock(pending->Mutex);
  pending->Answered.wait(lock, [&] {
    return pending->Done || base::IsCancelled(cancel.get()) || stop->Cancelled() || !*FAlive;
  });
  if (!pending->Done) {
    pending->Abandoned = true;
    return false;
  }
  return true;
}

void TKavoBurner::RaiseDebugMessage(const std::string& message, std::uint8_t kind) {
  if (!OffCallerThread()) {
    if (OnDebugMessage) OnDebugMessage(*this, message, kind);
    return;
  }
  Raise([this, message, kind] {
    if (OnDebugMessage) OnDebugMessage(*this, message, kind);
  });
}

void TKavoBurner::SetPhase(OperationPhase phase, std::uint64_t total) {
  std::lock_guard lock(FProgressMutex);
  if (FPhase == OperationPhase::Idle && phase != OperationPhase::Idle) {
    FPhaseStart = std::chrono::steady_clock::now();
    FSpeedSamples.clear();
    FSyncDone = 0;
    FSyncFile.clear();
    FProgressTotal = 0;
  }
  FPhase = phase;
  if (total != 0) FProgressTotal = total;
}

void TKavoBurner::SetSyncProgress(std::uint64_t done, const std::string& file) {
  std::lock_guard lock(FProgressMutex);
  FSyncDone = done;
  FSyncFile = file;
}

TKavoBurner::SyncOperation::SyncOperation(TKavoBurner& burner, OperationPhase phase) : FBurner(burner) {
  // Inside a running operation (the import of a burn) the operation's token
  // and phase hold; a cancel of an earlier operation never reaches a new one.
  if (FBurner.FSyncDepth++ == 0 && !FBurner.OperationClaimed()) {
    FBurner.NewCancelToken();
    FBurner.SetPhase(phase);
    FOwnsPhase = true;
  }
}

TKavoBurner::SyncOperation::~SyncOperation() {
  --FBurner.FSyncDepth;
  if (FOwnsPhase) FBurner.SetPhase(OperationPhase::Idle);
}

bool TKavoBurner::StartBackground(OperationPhase phase, std::function<void(TKavoBurner&)> work, TNotifyEvent done) {
  if (!ClaimOperation()) return false;
  SetPhase(phase);
  RunOnWorker([this, work = std::move(work), done = std::move(done)] {
    work(*this);
    Raise([this, done] {
      FOperationDone = true;
      ReleaseOperation();
      if (done) done(*this);
    });
  });
  return true;
}

ProgressSnapshot TKavoBurner::ProgressNow() const {
  ProgressSnapshot p;
  std::lock_guard lock(FProgressMutex);
  p.Phase = FPhase;
  if (FPhase == OperationPhase::Idle) return p;
  const auto now = std::chrono::steady_clock::now();
  p.Elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - FPhaseStart);
  p.BytesTotal = FProgressTotal;
  if (FWriter) {
    p.BytesWritten = FWriter->BytesWritten();
    p.CurrentFile = FWriter->CurrentFile();
  } else if (FFileWriter) {
    p.BytesWritten = FFileWriter->BytesWritten();
    p.CurrentFile = FFileWriter->CurrentFile();
  } else {
    p.BytesWritten = FSyncDone;
    p.CurrentFile = FSyncFile;
  }
  if (FCache && (FWriter || FFileWriter))
    p.CacheFillPercent =
        static_cast<int>(std::lround(static_cast<double>(FCache->CacheBytes()) / FCacheSize * 100.0));
  p.DriveBufferSize = DeviceBufferSize();
  p.DriveFreeBufferSize = DeviceFreeBufferSize();
  FSpeedSamples.emplace_back(now, p.BytesWritten);
  while (FSpeedSamples.size() > 2 && now - FSpeedSamples[1].first >= kSpeedWindow) FSpeedSamples.pop_front();
  const auto& [then, bytes] = FSpeedSamples.front();
  const double seconds = std::chrono::duration<double>(now - then).count();
  if (seconds >= 0.5 && p.BytesWritten >= bytes)
    p.SpeedKBps = static_cast<std::uint32_t>(static_cast<double>(p.BytesWritten - bytes) / 1000.0 / seconds);
  return p;
}

}  // namespace engine
