#include "appcore/worker.h"

#include <utility>

#include "engine/dispatch/dispatcher.h"

namespace appcore {

Worker::Worker(dispatch::Dispatcher& dispatcher) : FDispatcher(dispatcher), FThread([this] { Loop(); }) {}

Worker::~Worker() {
  *FAlive = false;
  {
    std::lock_guard lock(FMutex);
    FStopping = true;
  }
  FWake.notify_all();
  FThread.join();
}

void Worker::Run(Piece piece) {
  {
    std::lock_guard lock(FMutex);
    FQueue.push_back(std::move(piece));
  }
  FWake.notify_all();
}

void Worker::Loop() {
  for (;;) {
    Piece piece;
    {
      std::unique_lock lock(FMutex);
      FWake.wait(lock, [this] { return FStopping || !FQueue.empty(); });
      if (FQueue.empty()) return;  // stopping, and nothing is left
      piece = std::move(FQueue.front());
      FQueue.pop_front();
    }
    Delivery delivery = piece();
    if (!delivery) continue;
    FDispatcher.Post([alive = FAlive, delivery = std::move(delivery)] {
      if (*alive) delivery();
    });
  }
}

}  // namespace appcore
