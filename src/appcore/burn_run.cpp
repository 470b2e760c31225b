#include "appcore/burn_run.h"

#include "appcore/texts.h"
#include "engine/kavo_burner.h"
#include "engine/texts.h"

namespace appcore {

BurnRun::BurnRun(engine::TKavoBurner& burner) : FBurner(burner) {}

BurnRun::~BurnRun() {
  // The handlers refer to this run.
  FBurner.OnWriteDone = nullptr;
  FBurner.OnFinalizingTrack = nullptr;
}

void BurnRun::Start(const BurnRequest& request, std::function<void(const BurnEnd&)> onEnd) {
  FRequest = request;
  FOnEnd = std::move(onEnd);
  FTestWrite = FBurner.TestWrite();
  FRunning = true;
  FBurner.SetRecordWrites(request.Verify && !FTestWrite);
  FBurner.OnWriteDone = [this](engine::TKavoBurner&, const std::string& error) { Ended(error); };
  FBurner.OnFinalizingTrack = [this](engine::TKavoBurner&) {
    if (OnFinalizing) OnFinalizing();
  };
  if (request.ImageFile.empty()) FBurner.StartCompilationBurn();
  else FBurner.StartImageFileBurn(request.ImageFile);
  FSectors = FBurner.ImageSectors();
}

void BurnRun::Cancel() {
  if (FRunning) FBurner.CancelOperation();
}

void BurnRun::Ended(const std::string& error) {
  BurnEnd end;
  end.Error = error;
  end.TestWrite = FTestWrite;
  end.Sectors = FSectors;
  end.Outcome = error.empty()                              ? BurnOutcome::Done
                : error == engine::texts::kOperationAborted ? BurnOutcome::Aborted
                                                            : BurnOutcome::Failed;
  if (end.Outcome == BurnOutcome::Done && FRequest.Verify && !FTestWrite) {
    auto say = [this](const char* text) {
      if (FBurner.OnDebugMessage) FBurner.OnDebugMessage(FBurner, text, device::kMsgProgress);
    };
    say(texts::kVerifying);
    const std::string mismatch = FBurner.VerifyLastBurn(nullptr);
    if (mismatch.empty()) {
      end.Verified = true;
      say(texts::kVerified);
    } else {
      end.Error = mismatch;
      end.Outcome = mismatch == engine::texts::kOperationAborted ? BurnOutcome::Aborted : BurnOutcome::VerifyFailed;
    }
  }
  FRunning = false;
  FBurner.OnFinalizingTrack = nullptr;
  if (FOnEnd) FOnEnd(end);
}

}  // namespace appcore
