#pragma once
// A burn of the filled compilation or of an image file, with the read-back
// verify after it, for a caller that runs an event loop: Start returns at
// once, progress is read from the burner while it runs, and the end comes
// once through the burner's dispatcher as a typed value.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace engine {
class TKavoBurner;
}

namespace appcore {

enum class BurnOutcome {
  Done,          // written (and, when asked, verified)
  Failed,        // the write ended with an error
  Aborted,       // cancelled by the person
  VerifyFailed,  // written, but what was read back differs or could not be read
};

struct BurnEnd {
  BurnOutcome Outcome = BurnOutcome::Failed;
  std::string Error;       // the engine's text; empty when done
  bool TestWrite = false;  // nothing was recorded
  bool Verified = false;
  std::uint64_t Sectors = 0;
};

struct BurnRequest {
  std::string ImageFile;  // empty: the burner's compilation
  bool Verify = false;    // read every written sector back (not for a test write)
};

class BurnRun {
 public:
  explicit BurnRun(engine::TKavoBurner& burner);
  ~BurnRun();
  BurnRun(const BurnRun&) = delete;
  BurnRun& operator=(const BurnRun&) = delete;

  // Starts the write; `onEnd` runs once, on the burner's dispatcher, also
  // when the write could not start. Handlers of the burner's write events
  // are this run's until it ends.
  void Start(const BurnRequest& request, std::function<void(const BurnEnd&)> onEnd);
  // Takes the burner's write events as Start does, for a write the caller
  // starts itself (an image file's build); no verify.
  void Watch(std::function<void(const BurnEnd&)> onEnd);
  void Cancel();
  bool Running() const { return FRunning; }
  // Known once the burn has laid out its image (0 before).
  std::uint64_t TotalBytes() const;
  // Called when the drive starts closing the track.
  std::function<void()> OnFinalizing;

 private:
  void Ended(const std::string& error);
  void Finish(const BurnEnd& end);

  engine::TKavoBurner& FBurner;
  BurnRequest FRequest;
  std::function<void(const BurnEnd&)> FOnEnd;
  bool FRunning = false;
  bool FTestWrite = false;
  std::uint64_t FSectors = 0;
  // A verify's end that arrives after the run is gone finds this false.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

}  // namespace appcore
