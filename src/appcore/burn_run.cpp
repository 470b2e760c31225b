#include "appcore/burn_run.h"

#include "appcore/texts.h"
#include "engine/kavo_burner.h"
#include "engine/texts.h"

namespace appcore {

BurnRun::BurnRun(engine::TKavoBurner& burner) : FBurner(burner) {}

BurnRun::~BurnRun() {
  // The handlers refer to this run; a verify still running is stopped.
  *FAlive = false;
  if (FRunning) FBurner.CancelOperation();
  FBurner.OnWriteDone = nullptr;
  FBurner.OnFinalizingTrack = nullptr;
}

void BurnRun::Watch(std::function<void(const BurnEnd&)> onEnd) {
  FRequest = BurnRequest{};
  FOnEnd = std::move(onEnd);
  FTestWrite = false;
  FRunning = true;
  FSectors = 0;
  FBurner.SetRecordWrites(false);
  FBurner.OnWriteDone = [this](engine::TKavoBurner&, const std::string& error) { Ended(error); };
  FBurner.OnFinalizingTrack = nullptr;
}

void BurnRun::Start(const BurnRequest& request, std::function<void(const BurnEnd&)> onEnd) {
  FRequest = request;
  FOnEnd = std::move(onEnd);
  FTestWrite = FBurner.TestWrite();
  FRunning = true;
  FSectors = 0;
  FBurner.SetRecordWrites(request.Verify && !FTestWrite);
  FBurner.OnWriteDone = [this](engine::TKavoBurner&, const std::string& error) { Ended(error); };
  FBurner.OnFinalizingTrack = [this](engine::TKavoBurner&) {
    if (OnFinalizing) OnFinalizing();
  };
  // Both return at once; the layout and everything after it run on the
  // burner's worker; a refusal too ends through the write event.
  if (request.ImageFile.empty()) FBurner.StartCompilationBurn();
  else FBurner.StartImageFileBurn(request.ImageFile);
}

std::uint64_t BurnRun::TotalBytes() const {
  if (FRunning && FSectors == 0) return FBurner.ProgressNow().BytesTotal;
  return FSectors * 2048;
}

void BurnRun::Cancel() {
  if (FRunning) FBurner.CancelOperation();
}

void BurnRun::Ended(const std::string& error) {
  // One end a run: a write event after it (a late refusal) is not this run's.
  if (!FRunning) return;
  BurnEnd end;
  end.Error = error;
  end.TestWrite = FTestWrite;
  // Read only after a burn that ran: a refused start may have found another
  // operation still laying out.
  if (error.empty()) FSectors = FBurner.ImageSectors();
  end.Sectors = FSectors;
  end.Outcome = error.empty()                              ? BurnOutcome::Done
                : error == engine::texts::kOperationAborted ? BurnOutcome::Aborted
                                                            : BurnOutcome::Failed;
  if (end.Outcome != BurnOutcome::Done || !FRequest.Verify || FTestWrite) {
    Finish(end);
    return;
  }
  auto say = [this](const char* text) {
    if (FBurner.OnDebugMessage) FBurner.OnDebugMessage(FBurner, text, device::kMsgProgress);
  };
  say(texts::kVerifying);
  auto verified = [this, say, end](const std::string& mismatch) mutable {
    if (mismatch.empty()) {
      end.Verified = true;
      say(texts::kVerified);
    } else {
      end.Error = mismatch;
      end.Outcome = mismatch == engine::texts::kOperationAborted ? BurnOutcome::Aborted : BurnOutcome::VerifyFailed;
    }
    Finish(end);
  };
  // Reading a whole disc back takes minutes: it runs on the burner's worker
  // and ends through the dispatcher like the write.
  auto mismatch = std::make_shared<std::string>();
  const bool started = FBurner.StartBackground(
      engine::OperationPhase::Verifying, [mismatch](engine::TKavoBurner& b) { *mismatch = b.VerifyLastBurn(nullptr); },
      [alive = FAlive, mismatch, verified](engine::TKavoBurner&) mutable {
        if (*alive) verified(*mismatch);
      });
  // Without a dispatcher this runs on the writer's thread, which cannot
  // start the worker: the verify runs here.
  if (!started) verified(FBurner.VerifyLastBurn(nullptr));
}

void BurnRun::Finish(const BurnEnd& end) {
  FRunning = false;
  FBurner.OnFinalizingTrack = nullptr;
  if (FOnEnd) FOnEnd(end);
}

}  // namespace appcore
