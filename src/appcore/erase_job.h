#pragma once
// An erase from its request to its one end, for every front end: the disc
// in the request's drive is read and checked (one that cannot be erased is
// told through the Interaction), the front end may ask the person, then the
// drive blanks (a BD-RE formats) while its percentage comes as events, and
// the end says how it went. The tray opens after it when the request asks.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "appcore/drive_jobs.h"

namespace dispatch {
class Dispatcher;
}
namespace engine {
class Interaction;
class TKavoBurner;
}  // namespace engine

namespace appcore {

struct EraseRequest {
  std::string Drive;  // empty: the chosen drive
  bool Quick = true;
  // KB/s when the front end knows it; else the speed box's text, read for
  // the disc found ("" or "Max": the drive's fastest).
  std::optional<std::uint16_t> SpeedKBps;
  std::string SpeedText;
  bool EjectAfter = false;
};

struct EraseEnd {
  bool Refused = false;  // the disc cannot be erased; nothing was started
  bool Erased = false;   // the blank ended well
  std::string Reason;    // why the wait for the drive was given up; empty when unknown
};

struct EraseEvents {
  // The disc may be erased: the front end asks the person, then calls Go,
  // or does not (and no end comes).
  std::function<void(std::uint8_t medium)> OnErasable;
  // Rising; 100 only for a blank that ended well.
  std::function<void(int percent)> OnProgress;
  // Once for a refused disc, and once after Go.
  std::function<void(const EraseEnd&)> OnEnd;
};

class EraseJob {
 public:
  // Every call is made, and every event comes, on `dispatcher`'s thread.
  EraseJob(engine::TKavoBurner& burner, DriveJobs& jobs, dispatch::Dispatcher& dispatcher);
  ~EraseJob();
  EraseJob(const EraseJob&) = delete;
  EraseJob& operator=(const EraseJob&) = delete;

  // Reads the disc in the request's drive and checks it; `ask` is used on
  // the burner's worker.
  void Check(EraseRequest request, EraseEvents events, std::shared_ptr<engine::Interaction> ask);
  // Blanks the disc the last Check found erasable.
  void Go();
  // Between Go and the end.
  bool Running() const { return FRunning; }
  int Percent() const { return FPercent; }

 private:
  void Ended(bool withError, const std::string& reason);

  engine::TKavoBurner& FBurner;
  DriveJobs& FJobs;
  dispatch::Dispatcher& FDispatcher;
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
  EraseRequest FRequest;
  EraseEvents FEvents;
  std::string FDevice;
  std::uint8_t FMedium = 0;
  std::uint64_t FGeneration = 0;
  bool FRunning = false;
  int FPercent = 0;
};

}  // namespace appcore
