#pragma once
// Work of the windows that is not drive work (reading a task file, measuring
// what was dropped, writing a task file) off the caller's thread. Pieces run
// one at a time in the order asked; each returns what to do with its result,
// and that runs on the dispatcher's thread. Drive work goes through
// DriveJobs instead.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace dispatch {
class Dispatcher;
}

namespace appcore {

class Worker {
 public:
  // What runs on the dispatcher's thread once a piece has ended.
  using Delivery = std::function<void()>;
  using Piece = std::function<Delivery()>;

  explicit Worker(dispatch::Dispatcher& dispatcher);
  // Every piece already asked for runs to its end (a save is finished, not
  // cut off: the owner cancels what should stop early); results not yet
  // delivered are dropped. Called on the dispatcher's thread.
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Queues `piece` after everything asked before. A piece must not touch
  // what only the dispatcher's thread may; its delivery may.
  void Run(Piece piece);

 private:
  void Loop();

  dispatch::Dispatcher& FDispatcher;
  std::mutex FMutex;
  std::condition_variable FWake;
  std::deque<Piece> FQueue;
  bool FStopping = false;
  // Cleared on destruction, on the dispatcher's thread: a delivery still
  // queued there finds it false.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
  std::thread FThread;  // last: started once the rest is ready
};

}  // namespace appcore
