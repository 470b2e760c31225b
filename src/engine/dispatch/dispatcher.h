#pragma once
// Delivers events on the caller's thread: the windows post into the Qt event
// loop, the command line runs a plain queue.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace dispatch {

class Dispatcher {
 public:
  virtual ~Dispatcher() = default;
  virtual void Post(std::function<void()> call) = 0;
};

// Runs each call at once on whatever thread posts it; for callers that are
// already on the right thread.
class ImmediateDispatcher final : public Dispatcher {
 public:
  void Post(std::function<void()> call) override { call(); }
};

// Queues calls until the owning thread runs them.
class QueueDispatcher final : public Dispatcher {
 public:
  void Post(std::function<void()> call) override {
    {
      std::lock_guard lock(FMutex);
      FQueue.push_back(std::move(call));
    }
    FReady.notify_one();
  }
  // Waits up to `timeout` for calls and runs all that are queued; returns how
  // many ran.
  std::size_t RunPending(std::chrono::milliseconds timeout) {
    std::deque<std::function<void()>> batch;
    {
      std::unique_lock lock(FMutex);
      FReady.wait_for(lock, timeout, [this] { return !FQueue.empty(); });
      batch.swap(FQueue);
    }
    for (auto& call : batch) call();
    return batch.size();
  }

 private:
  std::mutex FMutex;
  std::condition_variable FReady;
  std::deque<std::function<void()>> FQueue;
};

}  // namespace dispatch
